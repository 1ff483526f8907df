// The decryption worker: round trips through both jobs on real trees, every
// failure row with what stays on the disk, cancellation, and crafted
// containers that try to write outside their folder or lie about sizes.
#include "jobs/decrypt_job.h"

#include "support/containers.h"
#include "job_test_support.h"
#include "jobs/job_runner.h"
#include "jobs/job_texts.h"
#include "links.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

using namespace testing_support;

namespace {

const std::wstring kPassword = L"пароль密码\U0001F511";

std::wstring SystemText(DWORD code) {
    SetLastError(code);
    return GetSystemErrorText();
}

uint64_t SumOfFiles(const std::vector<TreeEntry>& tree) {
    uint64_t sum = 0;
    for (const TreeEntry& e : tree)
        sum += e.size > 0 ? static_cast<uint64_t>(e.size) : 0;
    return sum;
}

std::vector<TreeEntry> ManySizes() {
    std::vector<TreeEntry> tree = {{L"many", -1}};
    for (int k = 0; k < 40; ++k) {
        const int size = k == 13 || k == 27 ? (1 << 20) + 3 * k : (k * 37 % 9) * 100000 + k;
        tree.push_back({L"many\\f" + std::to_wstring(k), size});
    }
    return tree;
}

// Encrypt, then decrypt, real trees; the restored bytes equal the originals.
TEST(RoundTrip, TreesComeBackWhole) {
    struct Case {
        const char* what;
        std::vector<TreeEntry> tree;
        std::vector<std::wstring> selected; // relative to the scratch folder
        std::wstring container;             // relative; empty: beside the item
        std::wstring resultPath;            // relative
        ContainerFormat format = ContainerFormat::Authenticated;
    };
    const std::vector<Case> cases = {
        {"one file", {{L"b.txt", 3000}}, {L"b.txt"}, L"", L"b.txt"},
        {"one file, old format",
         {{L"b.txt", 3000}},
         {L"b.txt"},
         L"",
         L"b.txt",
         ContainerFormat::Legacy},
        {"nested unicode tree",
         {{L"Фото", -1},
          {L"Фото\\照片", -1},
          {L"Фото\\照片\\\U0001F600.bin", 700000},
          {L"Фото\\empty", -1},
          {L"Фото\\zero.txt", 0},
          {L"Фото\\a.txt", 12},
          {L"Фото\\del\x7f.txt", 5}}, // DEL is allowed in Windows names
         {L"Фото"},
         L"",
         L"Фото"},
        {"several items",
         {{L"x", -1}, {L"x\\one.txt", 10}, {L"y.txt", 20}},
         {L"x", L"y.txt"},
         L"backup.lock",
         L"backup"},
        {"one empty folder", {{L"hollow", -1}}, {L"hollow"}, L"", L"hollow"},
        // Enough files for the writer threads, whose buffers go from file to
        // file: sizes rise and fall below a block, with two above it.
        {"many files of varied sizes", ManySizes(), {L"many"}, L"", L"many"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        ASSERT_TRUE(MakeTree(dir.Path(), c.tree));
        std::vector<std::wstring> paths;
        for (const std::wstring& p : c.selected)
            paths.push_back(dir / p);
        CAtomicProgress encrypting;
        EncryptionOutcome enc = RunEncryption(paths, c.container.empty() ? L"" : dir / c.container,
                                              kPassword, encrypting, false, c.format);
        ASSERT_EQ(enc.result, JobResult::Succeeded) << Narrow(enc.errorText);
        for (const std::wstring& p : paths)
            EXPECT_FALSE(PathExists(p));
        std::wstring container = c.container.empty() ? paths[0] + L".lock" : dir / c.container;
        ASSERT_TRUE(PathExists(container));
        const Bytes containerBytes = ReadFileBytes(container);
        const uint64_t containerSize = containerBytes.size();
        ASSERT_GE(containerSize, 4u);
        EXPECT_EQ(Bytes(containerBytes.begin(), containerBytes.begin() + 4),
                  (Bytes{0, 0, 0, static_cast<uint8_t>(c.format)}));

        CAtomicProgress decrypting;
        DecryptionOutcome dec = RunDecryption(container, kPassword, decrypting);
        ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
        EXPECT_EQ(dec.warningText, L"");
        std::wstring restoredRoot = dir.Path();
        if (c.selected.size() > 1)
            restoredRoot = dir / L"backup";
        EXPECT_TRUE(TreeMatches(restoredRoot, c.tree));
        EXPECT_FALSE(PathExists(container));
        EXPECT_EQ(dec.resultPath, dir / c.resultPath);
        EXPECT_EQ(decrypting.GetTotal(), containerSize);
        EXPECT_EQ(decrypting.GetCurrent(), SumOfFiles(c.tree));
        EXPECT_EQ(decrypting.FinishedCalls(), 1);
        EXPECT_EQ(LeftoverNames(restoredRoot), std::vector<std::wstring>{});
    }
}

TEST(DecryptPlaces, RestoresBesideTheContainerWhereverItWas) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"moved"));
    ASSERT_TRUE(WriteContainer(dir / L"moved\\b.txt.lock", kPassword,
                               {FileRecord(L"/", L"b.txt", TextBytes("hello"))}));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(dir / L"moved\\b.txt.lock", kPassword, progress);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(dec.resultPath, dir / L"moved\\b.txt");
    EXPECT_EQ(ReadFileBytes(dir / L"moved\\b.txt"), TextBytes("hello"));
    EXPECT_EQ(ListNames(dir / L"moved"), std::vector<std::wstring>{L"b.txt"});
}

TEST(DecryptPlaces, BareRelativeContainerNameRestoresIntoTheCurrentFolder) {
    ScratchDir dir;
    ASSERT_TRUE(
        WriteContainer(dir / L"c.lock", kPassword,
                       {FolderRecord(L"/", L"c"), FileRecord(L"/c", L"d.txt", TextBytes("dd"))}));
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(L"c.lock", kPassword, progress);
    SetCurrentDirectoryW(saved);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(ReadFileBytes(dir / L"c\\d.txt"), TextBytes("dd"));
    EXPECT_FALSE(PathExists(dir / L"c.lock"));
}

TEST(DecryptPlaces, ContainerWithoutRecordsRestoresNothingAndStays) {
    ScratchDir dir;
    ASSERT_TRUE(WriteContainer(dir / L"none.lock", kPassword, {}));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(dir / L"none.lock", kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::Succeeded);
    EXPECT_EQ(dec.resultPath, L"");
    EXPECT_TRUE(PathExists(dir / L"none.lock"));
}

TEST(DecryptPlaces, ContainerThatCannotBeDeletedLeavesAWarning) {
    ScratchDir dir;
    ASSERT_TRUE(
        WriteContainer(dir / L"ro.lock", kPassword, {FileRecord(L"/", L"r", TextBytes("r"))}));
    ASSERT_TRUE(SetFileAttributesW((dir / L"ro.lock").c_str(), FILE_ATTRIBUTE_READONLY));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(dir / L"ro.lock", kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::Succeeded);
    EXPECT_EQ(dec.warningText.rfind(L"Delete source file error.", 0), 0u);
    EXPECT_GT(dec.warningText.size(), wcslen(L"Delete source file error."));
    EXPECT_TRUE(PathExists(dir / L"ro.lock"));
    EXPECT_EQ(ReadFileBytes(dir / L"r"), TextBytes("r"));
}

// Failures of the decryption table. Each leaves the container, removes the
// files it restored, and keeps the file that was already at a target.
class DecryptFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDir(out_));
        ASSERT_TRUE(WriteFileText(out_ + L"\\second.txt", "was here before"));
    }
    // With consent to replace the one earlier file, second.txt.
    DecryptionOutcome Run(const std::vector<StoredEntry>& entries, const std::wstring& password,
                          CAtomicProgress& progress) {
        EXPECT_TRUE(WriteContainer(container_, kPassword, entries));
        containerBytes_ = ReadFileBytes(container_);
        return RunDecryption(container_, password, progress, 1);
    }
    // Only the container and the earlier file remain, unchanged, and
    // nothing appeared beside the output folder.
    void ExpectOnlyWhatWasThere() {
        EXPECT_EQ(ListNames(out_), (std::vector<std::wstring>{L"c.lock", L"second.txt"}));
        EXPECT_EQ(ReadFileBytes(out_ + L"\\second.txt"), TextBytes("was here before"));
        EXPECT_EQ(ReadFileBytes(container_), containerBytes_);
        EXPECT_EQ(ListNames(dir_.Path()), std::vector<std::wstring>{L"out"});
    }
    std::vector<StoredEntry> TwoFiles() const {
        return {FileRecord(L"/", L"first.txt", PatternBytes(3000, 1)),
                FileRecord(L"/", L"second.txt", PatternBytes(5000, 2))};
    }

    ScratchDir dir_;
    const std::wstring out_ = dir_ / L"out";
    const std::wstring container_ = out_ + L"\\c.lock";
    Bytes containerBytes_;
};

TEST_F(DecryptFailure, ContainerCannotBeOpened) {
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(out_ + L"\\missing.lock", kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::Failed);
    EXPECT_EQ(dec.errorText,
              L"Read file " + out_ + L"\\missing.lock error." + SystemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(progress.FinishedCalls(), 1);
}

TEST_F(DecryptFailure, HeaderProblemsChangeNothing) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::wstring password;
        std::wstring text;
    };
    const Bytes good = [&] {
        EXPECT_TRUE(WriteContainer(container_, kPassword, TwoFiles()));
        return ReadFileBytes(container_);
    }();
    const Bytes sealed = [&] {
        EXPECT_TRUE(
            WriteContainer(container_, kPassword, TwoFiles(), ContainerFormat::Authenticated));
        return ReadFileBytes(container_);
    }();
    Bytes flipped = sealed, added = sealed, costly = sealed;
    flipped[sealed.size() - 2000] ^= 0x20;
    added.push_back(0);
    costly[5] = 0x7F; // memory for the key: about 2 TiB
    const std::wstring changed = L"The container is damaged or was changed after it was written.";
    const Bytes zeroCheckLength = {0, 0, 0, 1, 0, 0, 0, 0};
    const Bytes shortCheckBlock = {0, 0, 0, 1, 0, 0, 0, 9, 1, 2};
    const std::vector<Case> cases = {
        {"not a container", TextBytes("plain text, not locked"), kPassword,
         L"The file couldn't be decrypted.(Maybe because the file wasn't encrypted or other "
         L"reasons.)"},
        {"check length 0", zeroCheckLength, kPassword, L"Check pwd error."},
        {"short check block", shortCheckBlock, kPassword, L"Check pwd error."},
        {"wrong password", good, L"Пароль密码\U0001F511", L"Invalid password."},
        {"sealed, wrong password", sealed, L"Пароль密码\U0001F511", L"Invalid password."},
        {"sealed, a byte changed", flipped, kPassword, changed},
        {"sealed, cut by a byte", Bytes(sealed.begin(), sealed.end() - 1), kPassword, changed},
        {"sealed, a byte added", added, kPassword, changed},
        {"sealed, a costly key", costly, kPassword,
         L"The container asks for more memory or time to check the password than this program "
         L"allows."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(container_, c.bytes));
        containerBytes_ = c.bytes;
        CAtomicProgress progress;
        DecryptionOutcome dec = RunDecryption(container_, c.password, progress);
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_EQ(dec.errorText, c.text);
        EXPECT_EQ(progress.FinishedCalls(), 1);
        ExpectOnlyWhatWasThere();
    }
}

// Cut short inside the second record's header, or inside its data: the
// survey finds it before anything is written, and the earlier second.txt
// survives.
TEST_F(DecryptFailure, TruncatedContainers) {
    ASSERT_TRUE(WriteContainer(container_, kPassword, TwoFiles()));
    const Bytes whole = ReadFileBytes(container_);
    const size_t secondBodyStart = whole.size() - 5000;
    struct Case {
        size_t cutAt;
        std::wstring textStart;
    };
    const Case cases[] = {
        {secondBodyStart - 20, L"Read file header error."},
        {secondBodyStart + 100,
         L"Decrypt error, target:second.txt.The container ends before the data of this file "
         L"does."},
        {whole.size() - 1, L"Decrypt error, target:second.txt."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cutAt);
        containerBytes_ = Bytes(whole.begin(), whole.begin() + c.cutAt);
        ASSERT_TRUE(WriteFileBytes(container_, containerBytes_));
        CAtomicProgress progress;
        DecryptionOutcome dec = RunDecryption(container_, kPassword, progress, 1);
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_EQ(dec.errorText.rfind(c.textStart, 0), 0u) << Narrow(dec.errorText);
        EXPECT_EQ(dec.resultPath, L"");
        ExpectOnlyWhatWasThere();
    }
}

TEST_F(DecryptFailure, TargetThatIsAFolderIsKept) {
    ASSERT_TRUE(MakeDir(out_ + L"\\first.txt"));
    CAtomicProgress progress;
    DecryptionOutcome dec = Run(TwoFiles(), kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::Failed);
    EXPECT_EQ(dec.errorText,
              L"Decrypt error, target:first.txt.A folder has the name this file needs.");
    EXPECT_TRUE(IsDir(out_ + L"\\first.txt"));
    RemoveDirectoryW((out_ + L"\\first.txt").c_str());
    ExpectOnlyWhatWasThere();
}

// A file stored twice (another writer stores two selected items of one name
// so) restores both, the later one beside the first under a free name that
// the success names. A file and a folder of one name cannot both exist:
// such a container changes nothing.
TEST_F(DecryptFailure, OnePlaceStoredTwice) {
    struct Case {
        std::vector<StoredEntry> entries;
        std::wstring besideTheFirst; // empty: refused
    };
    const Case cases[] = {
        {{FileRecord(L"/", L"first.txt", TextBytes("one")),
          FileRecord(L"/", L"first.txt", TextBytes("two"))},
         L"first (2).txt"},
        {{FileRecord(L"/", L"A.TXT", TextBytes("one")), FileRecord(L"/", L"a.txt", TextBytes("2"))},
         L"a (2).txt"},
        {{FolderRecord(L"/", L"x"), FileRecord(L"/", L"X", TextBytes("one"))}, L""},
        {{FileRecord(L"/", L"x", TextBytes("one")), FolderRecord(L"/", L"x")}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.entries[1].name));
        CAtomicProgress progress;
        DecryptionOutcome dec = Run(c.entries, kPassword, progress);
        if (c.besideTheFirst.empty()) {
            EXPECT_EQ(dec.result, JobResult::Failed);
            EXPECT_EQ(dec.errorText.rfind(L"Read file header error.The entry /", 0), 0u)
                << Narrow(dec.errorText);
            EXPECT_NE(dec.errorText.find(L" is stored more than once."), std::wstring::npos);
            ExpectOnlyWhatWasThere();
            continue;
        }
        ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
        EXPECT_EQ(ReadFileBytes(out_ + L"\\" + c.entries[0].name), c.entries[0].data);
        EXPECT_EQ(ReadFileBytes(out_ + L"\\" + c.besideTheFirst), c.entries[1].data);
        EXPECT_EQ(dec.renamed, std::vector<std::wstring>{out_ + L"\\" + c.besideTheFirst});
        EXPECT_NE(DescribeRenamedItems(dec).find(c.besideTheFirst), std::wstring::npos);
        for (const std::wstring& name : ListNames(out_)) {
            if (name != L"second.txt")
                DeleteFileW((out_ + L"\\" + name).c_str());
        }
    }
}

TEST_F(DecryptFailure, ReplacingAnEarlierFileSucceedsWithoutLeftovers) {
    CAtomicProgress progress;
    DecryptionOutcome dec = Run(TwoFiles(), kPassword, progress);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(ReadFileBytes(out_ + L"\\second.txt"), PatternBytes(5000, 2));
    EXPECT_EQ(ListNames(out_), (std::vector<std::wstring>{L"first.txt", L"second.txt"}));
}

// An exception nobody raised on purpose still says that, and why; so does
// running out of memory, and a failure raised without a text. Every failure
// ends the progress as one (status 1), as the encryption does.
TEST_F(DecryptFailure, UnforeseenExceptionIsTold) {
    struct Case {
        const char* what;
        std::function<void()> raise;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"standard exception", [] { throw std::runtime_error("disk gremlin"); },
         "An unexpected error stopped the job: disk gremlin."},
        {"out of memory", [] { throw std::bad_alloc(); }, "Not enough memory."},
        {"failure without a text", [] { throw CJobFailure(std::wstring()); },
         "An unexpected error stopped the job."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ActingProgress progress(1, c.raise);
        DecryptionOutcome dec = Run(TwoFiles(), kPassword, progress);
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_EQ(Narrow(dec.errorText), c.text);
        EXPECT_EQ(progress.FinishedCalls(), 1);
        EXPECT_EQ(progress.FinishedStatus(), 1);
        ExpectOnlyWhatWasThere();
    }
}

TEST_F(DecryptFailure, CancelAtSeveralPointsUndoesEverything) {
    // Blocks are at most 1 MiB: the big file gives three of them.
    std::vector<StoredEntry> entries = {FileRecord(L"/", L"first.txt", PatternBytes(10, 1)),
                                        FileRecord(L"/", L"second.txt", PatternBytes(2500000, 2)),
                                        FileRecord(L"/", L"third.txt", PatternBytes(10, 3))};
    for (int after : {0, 1, 2, 4}) {
        SCOPED_TRACE(after);
        CancellingProgress progress(after);
        DecryptionOutcome dec = Run(entries, kPassword, progress);
        EXPECT_EQ(dec.result, JobResult::Cancelled);
        EXPECT_EQ(dec.errorText, L"");
        EXPECT_EQ(progress.FinishedCalls(), 1);
        ExpectOnlyWhatWasThere();
    }
}

// Crafted records that point outside the output folder, or carry sizes that
// cannot be true, fail the job before anything is written for them.
TEST_F(DecryptFailure, CraftedRecordsStayInsideTheOutputFolder) {
    const std::wstring outside = L"Read file header error.The entry ";
    const std::wstring badSize = L"Decrypt error, target:x.";
    struct Case {
        StoredEntry entry;
        std::wstring textStart;
    };
    StoredEntry negative = FileRecord(L"/", L"x", {});
    negative.size = -5;
    StoredEntry huge = FileRecord(L"/", L"x", {});
    huge.size = 0x7fffffffffffll;
    const std::vector<Case> cases = {
        {FileRecord(L"/..", L"x", TextBytes("x")), outside},
        {FileRecord(L"/", L"..", TextBytes("x")), outside},
        {FolderRecord(L"/", L".."), outside},
        {FileRecord(L"/a/../..", L"x", TextBytes("x")), outside},
        {FileRecord(L"/", L"a\\..\\..\\x", TextBytes("x")), outside},
        {FileRecord(L"/", L"C:x", TextBytes("x")), outside},
        {FileRecord(L"C:/", L"x", TextBytes("x")), outside},
        {FileRecord(L"C:\\", L"x", TextBytes("x")), outside},
        {FileRecord(L"\\", L"x", TextBytes("x")), outside},
        {FileRecord(L"//", L"x", TextBytes("x")), outside},
        {FileRecord(L"/", L"x\x01y", TextBytes("x")), outside},
        {FileRecord(L"/", L"...", TextBytes("x")), outside},
        {FileRecord(L"/", L"NUL", TextBytes("x")), outside},
        {FileRecord(L"/", L"COM\u00b9.txt", TextBytes("x")), outside},
        {FileRecord(L"/", L"LPT\u00b3", TextBytes("x")), outside},
        {FolderRecord(L"/", L". ."), outside},
        {FileRecord(L"/", std::wstring(98301 / 3, L'\u20ac'), TextBytes("x")), outside},
        {FileRecord(L"/" + std::wstring(256, L'd'), L"x", TextBytes("x")), outside},
        {FileRecord(L"/", L"a/b", TextBytes("x")), outside},
        // The codec already refuses a negative size as a damaged header.
        {negative, L"Read file header error."},
        {huge, badSize + L"The container ends before the data of this file does."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.entry.folderPath + L"|" + c.entry.name));
        CAtomicProgress progress;
        DecryptionOutcome dec =
            Run({FileRecord(L"/", L"first.txt", TextBytes("ok")), c.entry}, kPassword, progress);
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_EQ(dec.errorText.rfind(c.textStart, 0), 0u) << Narrow(dec.errorText);
        ExpectOnlyWhatWasThere();
    }
}

TEST_F(DecryptFailure, LinkInTheOutputFolderIsNotFollowed) {
    ASSERT_TRUE(MakeDir(dir_ / L"elsewhere"));
    if (!MakeFolderLink(dir_ / L"elsewhere", out_ + L"\\door"))
        GTEST_SKIP() << "folder links cannot be made on this system";
    for (const StoredEntry& entry :
         {FileRecord(L"/door", L"x", TextBytes("x")), FolderRecord(L"/", L"door")}) {
        SCOPED_TRACE(Narrow(entry.folderPath + L"|" + entry.name));
        CAtomicProgress progress;
        DecryptionOutcome dec = Run({entry}, kPassword, progress);
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_EQ(dec.errorText.rfind(L"Read file header error.The entry ", 0), 0u)
            << Narrow(dec.errorText);
        EXPECT_EQ(ListNames(dir_ / L"elsewhere"), std::vector<std::wstring>{});
    }
}

} // namespace
