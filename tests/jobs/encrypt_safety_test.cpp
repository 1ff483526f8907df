// What an encryption may delete and replace: only sources it stored and
// read back, never a file that changed or appeared meanwhile, never an
// earlier container without consent; and what stays is reported.
#include "jobs/encrypt_job.h"

#include "common/unique_handle.h"
#include "support/containers.h"
#include "engine/container_session.h"
#include "job_test_support.h"
#include "jobs/job_runner.h"
#include "links.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace testing_support;

namespace {

const std::wstring kPassword = L"safe keeping";

std::wstring SystemText(DWORD code) {
    return SystemErrorText(code);
}

const LeftItem* FindLeft(const EncryptionOutcome& out, const std::wstring& path) {
    for (const LeftItem& item : out.leftBehind) {
        if (SamePathText(item.path, path))
            return &item;
    }
    return nullptr;
}

// The first item is walked and stored whole before the second (a 3 MiB file
// read in three blocks) is opened, so an action after that file's first
// block (the third block of the job: each small file is one) meets the first
// item after it was stored and before anything is deleted.
class DuringTheJob : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeTree(dir_.Path(), {{L"f", -1},
                                           {L"f\\a.txt", 100},
                                           {L"f\\sub", -1},
                                           {L"f\\sub\\s.txt", 200},
                                           {L"big.bin", 3 << 20}}));
    }
    EncryptionOutcome Run(std::function<void()> action) {
        ActingProgress progress(3, std::move(action));
        return RunEncryption({dir_ / L"f", dir_ / L"big.bin"}, dir_ / L"both.lock", kPassword,
                             progress);
    }
    std::vector<StoredEntry> Stored() {
        std::vector<StoredEntry> entries;
        EXPECT_TRUE(ReadContainer(dir_ / L"both.lock", kPassword, entries));
        return entries;
    }

    ScratchDir dir_;
};

TEST_F(DuringTheJob, FilesAddedToAStoredFolderStayAndAreReported) {
    EncryptionOutcome out = Run([&] {
        WriteFileText(dir_ / L"f\\NEW.txt", "new");
        WriteFileText(dir_ / L"f\\sub\\NEW2.txt", "new too");
    });
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    EXPECT_EQ(ReadFileBytes(dir_ / L"f\\NEW.txt"), TextBytes("new"));
    EXPECT_EQ(ReadFileBytes(dir_ / L"f\\sub\\NEW2.txt"), TextBytes("new too"));
    // What was stored is gone from the disk and in the container.
    EXPECT_FALSE(PathExists(dir_ / L"f\\a.txt"));
    EXPECT_FALSE(PathExists(dir_ / L"f\\sub\\s.txt"));
    EXPECT_FALSE(PathExists(dir_ / L"big.bin"));
    EXPECT_EQ(Stored().size(), 6u);
    ASSERT_NE(FindLeft(out, dir_ / L"f"), nullptr);
    EXPECT_EQ(FindLeft(out, dir_ / L"f")->reason, LeftItem::Reason::Added);
    ASSERT_NE(FindLeft(out, dir_ / L"f\\sub"), nullptr);
    EXPECT_EQ(FindLeft(out, dir_ / L"f\\sub")->reason, LeftItem::Reason::Added);
    EXPECT_EQ(out.leftBehind.size(), 2u);
}

TEST_F(DuringTheJob, FileRewrittenAfterItWasReadStaysAndIsReported) {
    const Bytes stored = ReadFileBytes(dir_ / L"f\\a.txt");
    EncryptionOutcome out = Run([&] { WriteFileText(dir_ / L"f\\a.txt", "rewritten"); });
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    EXPECT_EQ(ReadFileBytes(dir_ / L"f\\a.txt"), TextBytes("rewritten"));
    std::vector<StoredEntry> entries = Stored();
    auto a = std::find_if(entries.begin(), entries.end(),
                          [](const StoredEntry& e) { return e.name == L"a.txt"; });
    ASSERT_NE(a, entries.end());
    EXPECT_EQ(a->data, stored);
    ASSERT_NE(FindLeft(out, dir_ / L"f\\a.txt"), nullptr);
    EXPECT_EQ(FindLeft(out, dir_ / L"f\\a.txt")->reason, LeftItem::Reason::Changed);
    // The folder stays because of its file; it needs no line of its own.
    EXPECT_EQ(out.leftBehind.size(), 1u);
    EXPECT_FALSE(PathExists(dir_ / L"f\\sub"));
}

// A file another program holds open stays, and the user is told why; the
// others go.
TEST_F(DuringTheJob, FileInUseStaysAndIsReported) {
    UniqueFileHandle reader(CreateFileW((dir_ / L"f\\a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.IsValid());
    EncryptionOutcome out = Run([] {});
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    reader.Reset();
    EXPECT_TRUE(PathExists(dir_ / L"f\\a.txt"));
    ASSERT_EQ(out.leftBehind.size(), 1u);
    EXPECT_EQ(out.leftBehind[0].reason, LeftItem::Reason::CouldNotDelete);
    EXPECT_EQ(out.leftBehind[0].error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(PathExists(dir_ / L"big.bin"));
}

// A source another program is writing cannot be stored as it is: the job
// names that file and deletes nothing.
TEST_F(DuringTheJob, FileBeingWrittenFailsTheJobByItsOwnName) {
    UniqueFileHandle writer(CreateFileW((dir_ / L"f\\sub\\s.txt").c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    ASSERT_TRUE(writer.IsValid());
    EncryptionOutcome out = Run([] {});
    EXPECT_EQ(out.result, JobResult::Failed);
    EXPECT_EQ(out.errorText, L"Encrypt error." + (dir_ / L"f\\") + L"\nThe file " +
                                 (dir_ / L"f\\sub\\s.txt") + L" could not be read. " +
                                 SystemText(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(PathExists(dir_ / L"f\\a.txt"));
    EXPECT_TRUE(PathExists(dir_ / L"big.bin"));
    EXPECT_EQ(ListNames(dir_.Path()), (std::vector<std::wstring>{L"big.bin", L"f"}));
}

// A read that fails partway through a large file fails on the thread that
// reads ahead: the job stops with that file's name and the system's reason,
// deletes nothing and leaves no container.
TEST_F(DuringTheJob, ReadFailingPartwayThroughALargeFileKeepsEverything) {
    EncryptionOutcome out;
    {
        FailingReadAhead failing(1, ERROR_CRC);
        out = Run([] {});
    }
    EXPECT_EQ(out.result, JobResult::Failed);
    EXPECT_EQ(out.errorText, L"Encrypt error." + (dir_ / L"big.bin") + L"\nThe file " +
                                 (dir_ / L"big.bin") + L" could not be read. " +
                                 SystemText(ERROR_CRC));
    EXPECT_EQ(ListNames(dir_.Path()), (std::vector<std::wstring>{L"big.bin", L"f"}));
    EXPECT_TRUE(PathExists(dir_ / L"f\\sub\\s.txt"));
}

// A read-only file is the one line: the folders that stay only because
// they hold it, however deep, are no news.
TEST(EncryptHonestOutcome, ReadOnlySourceIsReported) {
    struct {
        const wchar_t* selected;
        const wchar_t* readOnly;
    } const cases[] = {{L"r.txt", L"r.txt"}, {L"t", L"t\\sub\\r.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.readOnly));
        ScratchDir dir;
        ASSERT_TRUE(MakeTree(dir.Path(), {{L"t", -1}, {L"t\\sub", -1}, {L"t\\a", 5}}));
        const std::wstring file = dir / c.readOnly;
        ASSERT_TRUE(WriteFileText(file, "read only"));
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
        CAtomicProgress progress;
        EncryptionOutcome out = RunEncryption({dir / c.selected}, L"", kPassword, progress);
        ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
        ASSERT_EQ(out.leftBehind.size(), 1u);
        EXPECT_EQ(out.leftBehind[0].path, file);
        EXPECT_EQ(out.leftBehind[0].reason, LeftItem::Reason::CouldNotDelete);
        EXPECT_EQ(out.leftBehind[0].error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(PathExists(dir / c.selected + L".lock"));
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(EncryptHonestOutcome, OnlyLinksStoreNothingAndWriteNothing) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"target"));
    if (!MakeFolderLink(dir / L"target", dir / L"door"))
        GTEST_SKIP() << "folder links cannot be made on this system";
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"door"}, L"", kPassword, progress);
    EXPECT_EQ(out.result, JobResult::Failed);
    EXPECT_EQ(out.errorText, L"Found no file/folder for encryption.");
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"door", L"target"}));
}

TEST(EncryptHonestOutcome, TheListShowsTheFirstFewAndCountsTheRest) {
    std::vector<LeftItem> items = {
        {L"C:\\a", LeftItem::Reason::Changed},
        {L"C:\\b", LeftItem::Reason::NotStored},
        {L"C:\\c", LeftItem::Reason::Added},
        {L"C:\\d", LeftItem::Reason::CouldNotDelete, ERROR_ACCESS_DENIED},
    };
    std::wstring denied = SystemText(ERROR_ACCESS_DENIED);
    while (!denied.empty() && (denied.back() == L'\n' || denied.back() == L'\r' ||
                               denied.back() == L'.' || denied.back() == L' '))
        denied.pop_back();
    // What was stored is said to be in the container, and what was not is not.
    EXPECT_EQ(Narrow(DescribeLeftItems(items)),
              Narrow(L"\nC:\\a (encrypted, but changed afterwards: the container holds the "
                     L"earlier version)\nC:\\b (a link, not encrypted)"
                     L"\nC:\\c (holds items added while it was encrypted, which are not "
                     L"encrypted)\nC:\\d (encrypted, but could not be deleted: " +
                     denied + L")"));
    for (int k = 0; k < 4; ++k)
        items.push_back({L"C:\\more", LeftItem::Reason::Changed});
    const std::wstring text = DescribeLeftItems(items);
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 6);
    EXPECT_EQ(text.substr(text.rfind(L'\n')), L"\nand 3 more");
    EXPECT_EQ(DescribeLeftItems({}), L"");
}

// An earlier file at the container's place is replaced only with consent,
// and then goes to the Recycle Bin: it may hold files found nowhere else.
TEST(EncryptNeverReplaces, AnEarlierContainerWithoutConsent) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"r.doc", "report"));
    ASSERT_TRUE(WriteFileText(dir / L"r.doc.lock", "an earlier container"));
    for (bool consent : {false, true}) {
        SCOPED_TRACE(consent);
        CAtomicProgress progress;
        EncryptionOutcome out = RunEncryption({dir / L"r.doc"}, L"", kPassword, progress, consent);
        EXPECT_EQ(out.result, consent ? JobResult::Succeeded : JobResult::Failed)
            << Narrow(out.errorText);
        if (!consent) {
            EXPECT_EQ(out.errorText,
                      L"Write " + (dir / L"r.doc.lock") + L"." + SystemText(ERROR_ALREADY_EXISTS));
            EXPECT_EQ(ReadFileBytes(dir / L"r.doc.lock"), TextBytes("an earlier container"));
            EXPECT_EQ(ReadFileBytes(dir / L"r.doc"), TextBytes("report"));
            EXPECT_EQ(LeftoverNames(dir.Path()), std::vector<std::wstring>{});
        } else {
            std::vector<StoredEntry> entries;
            ASSERT_TRUE(ReadContainer(dir / L"r.doc.lock", kPassword, entries));
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].data, TextBytes("report"));
            EXPECT_FALSE(PathExists(dir / L"r.doc"));
            EXPECT_NE(FindRecycled(TextBytes("an earlier container")), L"");
        }
    }
}

// A run stopped before its end leaves its temporary container; the next run
// on the same container removes it, and leaves alone one a running job holds.
TEST(EncryptNeverReplaces, LeftoversOfAnEarlierRunDoNotPileUp) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"a.txt", "a"));
    ASSERT_TRUE(WriteFileText(dir / L"a.txt.lock.tl-partial", "left by a stopped run"));
    ASSERT_TRUE(WriteFileText(dir / L"a.txt.lock.tl-partial-2", "held by a running job"));
    UniqueFileHandle held(CreateFileW((dir / L"a.txt.lock.tl-partial-2").c_str(), GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"a.txt"}, L"", kPassword, progress);
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    EXPECT_EQ(ListNames(dir.Path()),
              (std::vector<std::wstring>{L"a.txt.lock", L"a.txt.lock.tl-partial-2"}));
}

// Windows drops a trailing dot or blank from a name: the item is stored
// under the name it really has, and the container restores.
TEST(EncryptTrimmedNames, StoredUnderTheirRealNameAndRestored) {
    struct Case {
        const char* what;
        std::vector<std::wstring> given; // relative to the scratch folder
        std::wstring container;          // relative; empty: beside the item
        std::wstring expectedContainer;
        std::wstring expectedTop;
    };
    const Case cases[] = {
        {"folder with a dot", {L"src."}, L"", L"src.lock", L"src"},
        {"file with a blank", {L"file.txt "}, L"", L"file.txt.lock", L"file.txt"},
        {"container with a dot before its extension",
         {L"src", L"file.txt"},
         L"backup..lock",
         L"backup..lock",
         L"backup"},
        {"container with a blank before its extension",
         {L"src", L"file.txt"},
         L"backup .lock",
         L"backup .lock",
         L"backup"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        ASSERT_TRUE(MakeTree(dir.Path(), {{L"src", -1}, {L"src\\in.bin", 1000}}));
        ASSERT_TRUE(WriteFileText(dir / L"file.txt", "text"));
        std::vector<std::wstring> paths;
        for (const std::wstring& p : c.given)
            paths.push_back(dir / p);
        CAtomicProgress progress;
        EncryptionOutcome out = RunEncryption(paths, c.container.empty() ? L"" : dir / c.container,
                                              kPassword, progress);
        ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
        std::vector<StoredEntry> entries;
        ASSERT_TRUE(ReadContainer(dir / c.expectedContainer, kPassword, entries));
        EXPECT_EQ(entries[0].name, c.expectedTop);

        CAtomicProgress decrypting;
        DecryptionOutcome dec = RunDecryption(dir / c.expectedContainer, kPassword, decrypting);
        ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
        EXPECT_EQ(dec.resultPath, dir / c.expectedTop);
    }
}

// One item given twice, however it is written, is told as that.
TEST(EncryptTrimmedNames, OneItemGivenTwiceIsRefusedAsSuch) {
    ScratchDir dir;
    ASSERT_TRUE(MakeTree(dir.Path(), {{L"x", -1}, {L"x\\a.txt", 5}}));
    const std::vector<std::wstring> twice[] = {
        {dir / L"x\\a.txt", dir / L"x\\a.txt"},
        {dir / L"x\\a.txt", dir / L"X\\A.TXT"},
        {dir / L"x", dir / L"x\\"},
    };
    for (const std::vector<std::wstring>& paths : twice) {
        SCOPED_TRACE(Narrow(paths[1]));
        CAtomicProgress progress;
        EncryptionOutcome out = RunEncryption(paths, dir / L"both.lock", kPassword, progress);
        EXPECT_EQ(out.result, JobResult::Failed);
        EXPECT_EQ(Narrow(out.errorText),
                  Narrow(L"Encrypt error." + CPathInfo(paths[0]).PathWithSeparator() +
                         L" was given twice. Give each item only once and try again."));
        EXPECT_FALSE(PathExists(dir / L"both.lock"));
        EXPECT_TRUE(PathExists(dir / L"x\\a.txt"));
    }
}

TEST(EncryptTrimmedNames, ItemsThatWouldShareANameAreRefused) {
    ScratchDir dir;
    ASSERT_TRUE(MakeTree(dir.Path(), {{L"x", -1}, {L"y", -1}, {L"x\\a.txt", 5}, {L"y\\A.TXT", 6}}));
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"x\\a.txt", dir / L"y\\A.TXT"},
                                          dir / L"both.lock", kPassword, progress);
    EXPECT_EQ(out.result, JobResult::Failed);
    EXPECT_EQ(out.errorText, L"Encrypt error." + (dir / L"x\\a.txt") + L" and " +
                                 (dir / L"y\\A.TXT") +
                                 L" have the same name apart from letter case, and a folder on "
                                 L"Windows holds only one of them. Rename one and try again.");
    EXPECT_FALSE(PathExists(dir / L"both.lock"));
    EXPECT_TRUE(PathExists(dir / L"x\\a.txt"));
}

// The read-back check sees every way a container on the disk can differ
// from what its writer wrote.
TEST(EncryptReadBack, CatchesAContainerThatDiffersFromWhatWasWritten) {
    ScratchDir dir;
    const std::wstring path = dir / L"c.lock";
    for (ContainerFormat format : {ContainerFormat::Legacy, ContainerFormat::Authenticated}) {
        SCOPED_TRACE(static_cast<int>(format));
        DeleteFileW(path.c_str());
        CContainerWriter writer(kPassword, format);
        ASSERT_TRUE(writer.Create(path));
        Bytes body = PatternBytes(5000, 3);
        ASSERT_TRUE(writer.WriteHeader() && writer.AddFolder(L"/", L"top") &&
                    writer.AddFile(L"/top", L"a.bin", 0, body.size()) &&
                    writer.WriteBody(body.data(), body.size()) && writer.Commit() &&
                    writer.Close());
        const Bytes good = ReadFileBytes(path);
        struct Case {
            const char* what;
            Bytes bytes;
            ReadBack expected;
        };
        ASSERT_GT(good.size(), 5000u);
        Bytes flipped = good;
        flipped.at(good.size() - 2500) ^= 1;
        Bytes extra = good;
        extra.push_back(0);
        const Case cases[] = {
            {"as written", good, ReadBack::Same},
            {"one bit of a body", flipped, ReadBack::Differs},
            {"cut short", Bytes(good.begin(), good.end() - 1), ReadBack::Differs},
            {"a stray byte at the end", extra, ReadBack::Differs},
            {"empty", Bytes(), ReadBack::Differs},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            ASSERT_TRUE(WriteFileBytes(path, c.bytes));
            CAtomicProgress progress;
            EXPECT_EQ(ReadContainerBack(path, kPassword, writer.RecordCount(),
                                        writer.BytesWritten(), writer.Checksum(), progress),
                      c.expected);
        }
    }
}

} // namespace
