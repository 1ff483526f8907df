// The job benchmark's trees on real files: the check behind "restored tree
// verified" must catch every kind of damage a restore could do, the copy
// baseline must copy exactly, and the scenarios must keep the sizes the
// report names.
#include "bench/job_tree.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <functional>

using namespace testing_support;

namespace {

// A small tree of the many-files kind: 200 files of 0-16 KiB in 3 folders.
bench::TreeLayout SmallTree() {
    bench::TreeLayout layout;
    EXPECT_TRUE(bench::MakeScenario('b', 1, layout));
    return layout;
}

const bench::TreeFile& SomeNonEmptyFile(const bench::TreeLayout& layout) {
    for (const bench::TreeFile& file : layout.files) {
        if (file.size > 100)
            return file;
    }
    return layout.files.front();
}

void ChangeFile(const std::wstring& path, const std::function<void(Bytes&)>& change) {
    Bytes bytes = ReadFileBytes(path);
    change(bytes);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
}

TEST(JobTreeVerify, CatchesEveryKindOfDamage) {
    const bench::TreeLayout layout = SmallTree();
    const std::wstring someFile = SomeNonEmptyFile(layout).relativePath;
    struct Case {
        const char* what;
        std::function<void(const std::wstring& item)> damage;
        bool stillMatches;
    };
    const Case cases[] = {
        {"untouched", [](const std::wstring&) {}, true},
        {"one byte changed",
         [&](const std::wstring& item) {
             ChangeFile(item + L"\\" + someFile, [](Bytes& b) { b[b.size() / 2] ^= 1; });
         },
         false},
        {"one byte short",
         [&](const std::wstring& item) {
             ChangeFile(item + L"\\" + someFile, [](Bytes& b) { b.pop_back(); });
         },
         false},
        {"one byte too many",
         [&](const std::wstring& item) {
             ChangeFile(item + L"\\" + someFile, [](Bytes& b) { b.push_back(0); });
         },
         false},
        {"a file missing",
         [&](const std::wstring& item) { DeleteFileW((item + L"\\" + someFile).c_str()); }, false},
        {"an extra file",
         [&](const std::wstring& item) {
             ASSERT_TRUE(WriteFileText(item + L"\\" + layout.folders.back() + L"\\extra", "x"));
         },
         false},
        {"an extra folder",
         [&](const std::wstring& item) { ASSERT_TRUE(MakeDir(item + L"\\extra")); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::wstring item = dir / L"tree";
        ASSERT_TRUE(bench::WriteTree(item, layout));
        c.damage(item);
        std::string problem;
        EXPECT_EQ(bench::VerifyTree(item, layout, problem), c.stillMatches) << problem;
        EXPECT_EQ(problem.empty(), c.stillMatches);
    }
}

// A large single file is written and checked in 1 MiB chunks: damage far
// past the first chunk counts too.
TEST(JobTreeVerify, CatchesDamageBeyondTheFirstChunk) {
    bench::TreeLayout layout;
    ASSERT_TRUE(bench::MakeScenario('a', 1, layout)); // about 10 MiB
    ScratchDir dir;
    const std::wstring item = dir / L"large.bin";
    ASSERT_TRUE(bench::WriteTree(item, layout));
    std::string problem;
    ASSERT_TRUE(bench::VerifyTree(item, layout, problem)) << problem;
    ChangeFile(item, [](Bytes& b) { b[b.size() - 3] ^= 0x80; });
    EXPECT_FALSE(bench::VerifyTree(item, layout, problem));
}

TEST(JobTreeCopy, CopiesExactlyAndDeletesWhole) {
    const bench::TreeLayout layout = SmallTree();
    ScratchDir dir;
    const std::wstring item = dir / L"tree";
    const std::wstring copy = dir / L"copy";
    ASSERT_TRUE(bench::WriteTree(item, layout));

    bench::CopyCounts counts;
    ASSERT_TRUE(bench::CopyTree(item, copy, counts));
    std::string problem;
    EXPECT_TRUE(bench::VerifyTree(copy, layout, problem)) << problem;
    EXPECT_EQ(counts.files, layout.files.size());
    EXPECT_EQ(counts.folders, layout.folders.size() + 1);
    EXPECT_EQ(counts.bytes, layout.totalBytes);
    // The baseline never writes over something that is already there.
    EXPECT_FALSE(bench::CopyTree(item, copy, counts));

    EXPECT_TRUE(bench::DeleteTree(item));
    EXPECT_FALSE(PathExists(item));
    EXPECT_TRUE(bench::DeleteTree(item));
}

// The two floors must do the whole work they stand for: every file read to
// its end, every file of the layout written with its bytes.
TEST(JobTreeFloors, ReadEveryByteAndWriteTheWholeTree) {
    const bench::TreeLayout layout = SmallTree();
    ScratchDir dir;
    const std::wstring item = dir / L"tree";
    ASSERT_TRUE(bench::WriteTreeDurably(item, layout, 4));
    std::string problem;
    EXPECT_TRUE(bench::VerifyTree(item, layout, problem)) << problem;

    bench::CopyCounts read;
    ASSERT_TRUE(bench::ReadTree(item, read));
    EXPECT_EQ(read.files, layout.files.size());
    EXPECT_EQ(read.folders, layout.folders.size());
    EXPECT_EQ(read.bytes, layout.totalBytes);
    EXPECT_FALSE(bench::WriteTreeDurably(item, layout, 4));
}

TEST(JobTreeLayout, ScenariosKeepTheirSizes) {
    struct Case {
        char id;
        size_t files;
        size_t folders;
        uint64_t totalBytes; // 0: not fixed
        uint64_t largestAllowed;
    };
    const Case cases[] = {
        {'a', 1, 0, 1ull << 30, 1ull << 30},
        {'b', 20000, 210, 0, 16384},
        {'c', 2000, 20, 500ull << 20, 500ull << 20},
        {'m', 100000, 1050, 0, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        bench::TreeLayout layout, again;
        ASSERT_TRUE(bench::MakeScenario(c.id, 100, layout));
        ASSERT_TRUE(bench::MakeScenario(c.id, 100, again));
        EXPECT_EQ(layout.files.size(), c.files);
        EXPECT_EQ(layout.folders.size(), c.folders);
        if (c.totalBytes) {
            EXPECT_EQ(layout.totalBytes, c.totalBytes);
        }
        uint64_t sum = 0;
        for (size_t k = 0; k < layout.files.size(); ++k) {
            EXPECT_LE(layout.files[k].size, c.largestAllowed);
            // The same layout every run: the figures of two runs compare.
            EXPECT_EQ(layout.files[k].size, again.files[k].size);
            EXPECT_EQ(layout.files[k].relativePath, again.files[k].relativePath);
            sum += layout.files[k].size;
        }
        EXPECT_EQ(sum, layout.totalBytes);
    }
    bench::TreeLayout unknown;
    EXPECT_FALSE(bench::MakeScenario('d', 100, unknown));
}

} // namespace
