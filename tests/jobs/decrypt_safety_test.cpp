// What a decryption may change: nothing before the user has agreed to
// replace the items that already exist, nothing at all for a container with
// a record it would refuse, and after a failure everything as it was, down to
// the letter case of a file it had moved aside.
#include "jobs/decrypt_job.h"
#include "jobs/restore_journal.h"

#include "support/containers.h"
#include "job_test_support.h"
#include "jobs/job_runner.h"
#include "links.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::wstring kPassword = L"decrypt safely";

class ExistingItems : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDir(dir_ / L"Photos"));
        ASSERT_TRUE(WriteFileText(dir_ / L"Photos\\a.jpg", "the one on the disk"));
        ASSERT_TRUE(WriteContainer(container_, kPassword,
                                   {FolderRecord(L"/", L"Photos"),
                                    FileRecord(L"/Photos", L"a.jpg", TextBytes("stored a")),
                                    FileRecord(L"/Photos", L"b.jpg", TextBytes("stored b"))}));
        containerBytes_ = ReadFileBytes(container_);
    }
    void ExpectUnchanged() {
        EXPECT_EQ(ReadFileBytes(dir_ / L"Photos\\a.jpg"), TextBytes("the one on the disk"));
        EXPECT_EQ(ListNames(dir_ / L"Photos"), std::vector<std::wstring>{L"a.jpg"});
        EXPECT_EQ(ReadFileBytes(container_), containerBytes_);
    }

    ScratchDir dir_;
    const std::wstring container_ = dir_ / L"Photos.lock";
    Bytes containerBytes_;
};

TEST_F(ExistingItems, NothingIsWrittenBeforeTheUserAgrees) {
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(container_, kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::NeedsConsent);
    EXPECT_EQ(dec.errorText, L"");
    EXPECT_EQ(dec.existingCount, 1u);
    EXPECT_EQ(dec.existing, std::vector<std::wstring>{dir_ / L"Photos\\a.jpg"});
    EXPECT_EQ(progress.FinishedCalls(), 1);
    ExpectUnchanged();
}

TEST_F(ExistingItems, ConsentForAnotherCountIsNoConsent) {
    ASSERT_TRUE(WriteFileText(dir_ / L"Photos\\b.jpg", "also on the disk"));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(container_, kPassword, progress, 1);
    EXPECT_EQ(dec.result, JobResult::NeedsConsent);
    EXPECT_EQ(dec.existingCount, 2u);
    EXPECT_EQ(ReadFileBytes(dir_ / L"Photos\\b.jpg"), TextBytes("also on the disk"));
}

// Whatever the existing item is, it is asked about, and after a Yes its
// bytes are in the Recycle Bin. Under Wine a link to a file is the file
// (Windows moves a link itself), so the file it points to goes to the bin
// instead of being deleted; a dangling link, which holds no bytes and which
// Wine lets a Windows program neither move nor delete, is replaced.
TEST_F(ExistingItems, WithConsentTheyGoToTheRecycleBin) {
    enum class Kind { File, ReadOnly, LinkToAFileOutside, DanglingLink };
    for (Kind kind : {Kind::File, Kind::ReadOnly, Kind::LinkToAFileOutside, Kind::DanglingLink}) {
        SCOPED_TRACE(static_cast<int>(kind));
        // Contents of their own: the Recycle Bin is shared by the tests.
        const Bytes mine =
            TextBytes("the one on the disk " + std::to_string(static_cast<int>(kind)));
        ScratchDir dir;
        const std::wstring existing = dir / L"Photos\\a.jpg";
        const std::wstring outside = dir / L"outside.jpg";
        ASSERT_TRUE(MakeDir(dir / L"Photos"));
        if (kind == Kind::File || kind == Kind::ReadOnly) {
            ASSERT_TRUE(WriteFileBytes(existing, mine));
        }
        if (kind == Kind::ReadOnly) {
            ASSERT_TRUE(SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        if (kind == Kind::LinkToAFileOutside || kind == Kind::DanglingLink) {
            if (kind == Kind::LinkToAFileOutside) {
                ASSERT_TRUE(WriteFileBytes(outside, mine));
            }
            if (!MakeFileLink(outside, existing))
                GTEST_SKIP() << "file links cannot be made on this system";
        }
        const std::wstring container = dir / L"Photos.lock";
        ASSERT_TRUE(WriteContainer(container, kPassword,
                                   {FolderRecord(L"/", L"Photos"),
                                    FileRecord(L"/Photos", L"a.jpg", TextBytes("stored a"))}));
        CAtomicProgress asking, replacing;
        DecryptionOutcome ask = RunDecryption(container, kPassword, asking);
        EXPECT_EQ(ask.existingCount, 1u) << Narrow(ask.errorText);
        EXPECT_FALSE(ask.recycleBinMissing);
        DecryptionOutcome dec = RunDecryption(container, kPassword, replacing, 1);
        ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
        EXPECT_EQ(ReadFileBytes(existing), TextBytes("stored a"));
        EXPECT_EQ(ListNames(dir / L"Photos"), std::vector<std::wstring>{L"a.jpg"});
        if (kind == Kind::LinkToAFileOutside) {
            EXPECT_TRUE(ReadFileBytes(outside) == mine || !FindRecycled(mine).empty());
        } else if (kind != Kind::DanglingLink) {
            const std::wstring recycled = FindRecycled(mine);
            ASSERT_NE(recycled, L"");
            EXPECT_EQ(GetFileAttributesW(recycled.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
        }
    }
}

TEST_F(ExistingItems, TheQuestionListsTheFirstFewAndCountsTheRest) {
    DecryptionOutcome outcome;
    outcome.existingCount = 7;
    outcome.existing = {L"C:\\a", L"C:\\b"};
    EXPECT_EQ(DescribeExistingItems(outcome), L"\nC:\\a\nC:\\b\nand 5 more");
    outcome.recycleBinMissing = true;
    EXPECT_NE(DescribeExistingItems(outcome).find(L"deleted for good"), std::wstring::npos);
}

// A failure after a file was replaced puts the earlier file back under its
// own name, in its own letter case.
TEST(DecryptRollBack, EarlierFileComesBackUnderItsOwnName) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"a.txt", "mine"));
    ASSERT_TRUE(WriteContainer(dir / L"c.lock", kPassword,
                               {FileRecord(L"/", L"A.TXT", TextBytes("stored")),
                                FileRecord(L"/", L"big.bin", PatternBytes(2500000, 1))}));
    // Blocks: A.TXT's one, then the first of big.bin.
    CancellingProgress progress(2);
    DecryptionOutcome dec = RunDecryption(dir / L"c.lock", kPassword, progress, 1);
    EXPECT_EQ(dec.result, JobResult::Cancelled);
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"a.txt", L"c.lock"}));
    EXPECT_EQ(ReadFileBytes(dir / L"a.txt"), TextBytes("mine"));
}

// A folder record that cannot be made fails the job like a file would.
TEST(DecryptFolders, FolderThatCannotBeMadeFailsTheJob) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"empty", "a file where a folder goes"));
    ASSERT_TRUE(
        WriteContainer(dir / L"c.lock", kPassword,
                       {FileRecord(L"/", L"x.txt", TextBytes("x")), FolderRecord(L"/", L"empty")}));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(dir / L"c.lock", kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::Failed);
    EXPECT_EQ(dec.errorText, L"Decrypt error, target:empty.A file has the name this folder needs.");
    EXPECT_EQ(ListNames(dir.Path()), (std::vector<std::wstring>{L"c.lock", L"empty"}));
}

// Records whose folders have no records of their own (another writer's
// container) get their folders made; a run that then fails takes every
// folder it made away again, the ones above a record's own folder too.
TEST(DecryptFolders, MissingFoldersAreMadeAndTakenAwayOnFailure) {
    for (bool cancelled : {false, true}) {
        SCOPED_TRACE(cancelled);
        ScratchDir dir;
        // Blocks: x.txt's, then the first of big.bin.
        ASSERT_TRUE(WriteContainer(dir / L"c.lock", kPassword,
                                   {FileRecord(L"/no/folder", L"x.txt", TextBytes("x")),
                                    FolderRecord(L"/deep/er", L"c"),
                                    FileRecord(L"/", L"big.bin", PatternBytes(2500000, 1))}));
        CancellingProgress progress(cancelled ? 2 : -1);
        DecryptionOutcome dec = RunDecryption(dir / L"c.lock", kPassword, progress);
        EXPECT_EQ(dec.result, cancelled ? JobResult::Cancelled : JobResult::Succeeded)
            << Narrow(dec.errorText);
        if (cancelled) {
            EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"c.lock"});
        } else {
            EXPECT_EQ(ReadFileBytes(dir / L"no\\folder\\x.txt"), TextBytes("x"));
            EXPECT_TRUE(IsDir(dir / L"deep\\er\\c"));
        }
    }
}

// Records from another writer may end a name in a dot or a blank: they are
// restored the way Windows creates such names.
TEST(DecryptTrimmedNames, RestoredAsWindowsNamesThem) {
    ScratchDir dir;
    ASSERT_TRUE(WriteContainer(
        dir / L"c.lock", kPassword,
        {FolderRecord(L"/", L"src."), FileRecord(L"/src.", L"file.txt ", TextBytes("content"))}));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(dir / L"c.lock", kPassword, progress);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(dec.resultPath, dir / L"src");
    EXPECT_EQ(ReadFileBytes(dir / L"src\\file.txt"), TextBytes("content"));
}

// What a stopped run left, told apart by its journal. Its own files and
// temporary files are restored again without a question; a file the user
// changed after the stop, and the user's file it had moved aside, are the
// user's: asked about, and after a Yes in the Recycle Bin. The run that
// asks changes nothing.
TEST(DecryptLeftovers, TheNextRunTellsTheStoppedRunsFilesFromTheUsers) {
    struct Case {
        const char* what;
        bool hadMine; // a.txt existed, and the stopped run was allowed to replace it
        bool edited;  // the user changed the restored a.txt after the stop
        size_t asked;
        int recycled; // a.txt's earlier contents in the bin: 1 mine, 2 edited
    };
    const Case cases[] = {
        {"nothing of the user's", false, false, 0, 0},
        {"a restored file edited", false, true, 1, 2},
        {"the user's file moved aside", true, false, 1, 1},
        {"moved aside, and then edited", true, true, 1, 1 | 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::wstring out = dir / L"out";
        const std::wstring container = out + L"\\c.lock";
        ASSERT_TRUE(MakeDir(out));
        ASSERT_TRUE(WriteContainer(container, kPassword,
                                   {FileRecord(L"/", L"a.txt", TextBytes("stored a")),
                                    FileRecord(L"/", L"b.txt", TextBytes("stored b")),
                                    FileRecord(L"/", L"c.txt", TextBytes("stored c"))}));
        // Contents of their own: the Recycle Bin is shared by the tests.
        const std::string mine = std::string("mine: ") + c.what;
        const std::string edited = std::string("edited: ") + c.what;
        if (c.hadMine) {
            ASSERT_TRUE(WriteFileText(out + L"\\a.txt", mine));
        }
        // Stopped while b.txt is written: a.txt is in its place.
        ASSERT_TRUE(DecryptStoppedAt(container, kPassword, 1, c.hadMine ? 1 : 0));
        ASSERT_EQ(ReadFileBytes(out + L"\\a.txt"), TextBytes("stored a"));
        if (c.edited) {
            ASSERT_TRUE(WriteFileText(out + L"\\a.txt", edited));
        }
        const std::vector<std::wstring> stopped = ListNames(out);

        CAtomicProgress asking;
        DecryptionOutcome ask = RunDecryption(container, kPassword, asking);
        EXPECT_EQ(ask.existingCount, c.asked) << Narrow(ask.errorText);
        if (c.asked > 0) {
            EXPECT_EQ(ask.existing, std::vector<std::wstring>{out + L"\\a.txt"});
            EXPECT_EQ(ListNames(out), stopped);
            EXPECT_EQ(ReadFileBytes(out + L"\\a.txt"), TextBytes(c.edited ? edited : "stored a"));
            CAtomicProgress replacing;
            ask = RunDecryption(container, kPassword, replacing, c.asked);
        }
        ASSERT_EQ(ask.result, JobResult::Succeeded) << Narrow(ask.errorText);
        EXPECT_EQ(ListNames(out), (std::vector<std::wstring>{L"a.txt", L"b.txt", L"c.txt"}));
        EXPECT_EQ(ReadFileBytes(out + L"\\a.txt"), TextBytes("stored a"));
        EXPECT_EQ(ReadFileBytes(out + L"\\b.txt"), TextBytes("stored b"));
        for (int k : {1, 2})
            EXPECT_EQ(!FindRecycled(TextBytes(k == 1 ? mine : edited)).empty(),
                      (c.recycled & k) != 0)
                << k;
    }
}

// Leftovers that no journal vouches for are files like any other: a
// survey neither moves nor deletes them, and they count as existing.
TEST(DecryptLeftovers, WithoutAJournalNothingIsTakenForTheRunsOwn) {
    ScratchDir dir;
    ASSERT_TRUE(WriteContainer(dir / L"c.lock", kPassword,
                               {FileRecord(L"/", L"a.txt", TextBytes("stored a")),
                                FileRecord(L"/", L"b.txt", TextBytes("stored b"))}));
    ASSERT_TRUE(WriteFileText(dir / L"a.txt", "half restored, or the user's"));
    ASSERT_TRUE(WriteFileText(dir / L"a.txt.tl-backup", "mine"));
    ASSERT_TRUE(WriteFileText(dir / L"b.txt.tl-partial", "half"));
    const std::vector<std::wstring> before = ListNames(dir.Path());
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(dir / L"c.lock", kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::NeedsConsent);
    EXPECT_EQ(dec.existingCount, 1u);
    EXPECT_EQ(ReadFileBytes(dir / L"a.txt"), TextBytes("half restored, or the user's"));
    EXPECT_EQ(ListNames(dir.Path()), before);
}

// A file the stopped run only began (killed between its last write and the
// journal's note that it was whole) may since hold the user's edit: the
// next run writes its place again without asking, but never loses it.
TEST(DecryptLeftovers, AFileOnlyBegunGoesToTheRecycleBin) {
    ScratchDir dir;
    const std::wstring container = dir / L"c.lock";
    ASSERT_TRUE(
        WriteContainer(container, kPassword, {FileRecord(L"/", L"a.txt", TextBytes("stored a"))}));
    {
        CRestoreJournal journal;
        ASSERT_TRUE(journal.Create(CRestoreJournal::PathFor(container)));
        ASSERT_TRUE(journal.Append({JournalRecord::Kind::Partial, dir / L"a.txt", L"", {}}));
    }
    const std::string edit = "finished, then edited by the user before the note";
    ASSERT_TRUE(WriteFileText(dir / L"a.txt", edit));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(container, kPassword, progress);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(ReadFileBytes(dir / L"a.txt"), TextBytes("stored a"));
    EXPECT_NE(FindRecycled(TextBytes(edit)), L"");
}

// Every file the restore creates is in the journal before it exists: a
// kill between the creation and the record would leave a file that the next
// run cannot tell from the user's, and it would stay behind for good. The
// journal is read as the creation starts (through a copy: the job holds the
// file open for writing).
struct CreationCheck {
    std::wstring journal;
    std::wstring copy;
    std::vector<std::wstring> unrecorded;
    int calls = 0;
};
CreationCheck g_creations;

HANDLE WINAPI CreateAfterLookingAtTheJournal(LPCWSTR name, DWORD access, DWORD share,
                                             LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                             DWORD flags, HANDLE templateFile) {
    ++g_creations.calls;
    bool recorded = false;
    UniqueFileHandle journal(CreateFileW(g_creations.journal.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
    char bytes[4096];
    DWORD got = 0;
    if (journal && ReadFile(journal.Get(), bytes, sizeof bytes, &got, nullptr) &&
        WriteFileBytes(g_creations.copy, Bytes(bytes, bytes + got))) {
        for (const JournalRecord& record : CRestoreJournal::Load(g_creations.copy))
            recorded |= record.kind == JournalRecord::Kind::Partial &&
                        SamePathText(ExtendedPath(record.path), name);
    }
    if (!recorded)
        g_creations.unrecorded.push_back(name);
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

TEST(DecryptLeftovers, EveryFileIsInTheJournalBeforeItExists) {
    ScratchDir dir;
    const std::wstring container = dir / L"c.lock";
    // A small file is written in its place, a large one under a temporary name.
    ASSERT_TRUE(WriteContainer(container, kPassword,
                               {FileRecord(L"/", L"small.txt", TextBytes("stored")),
                                FileRecord(L"/", L"large.bin", PatternBytes(3 << 20, 7))}));
    g_creations = CreationCheck{CRestoreJournal::PathFor(container), dir / L"journal copy", {}, 0};
    g_createRestoredFile = CreateAfterLookingAtTheJournal;
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(container, kPassword, progress);
    g_createRestoredFile = ::CreateFileW;
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(g_creations.calls, 2);
    EXPECT_EQ(g_creations.unrecorded, std::vector<std::wstring>{});
}

// A disk that fills up during the restore: the reason is the system's, and
// what was restored is removed again.
TEST(DecryptDiskFull, SaysTheDiskIsFull) {
    if (GetDriveTypeW(L"T:\\") == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "no small drive T: (the test runner maps one when run as root)";
    wchar_t folder[64];
    _snwprintf(folder, 64, L"T:\\decrypt_%lu", GetCurrentProcessId());
    ASSERT_TRUE(MakeDir(folder));
    const std::wstring container = std::wstring(folder) + L"\\c.lock";
    // The container takes most of the disk; its content does not fit again.
    ASSERT_TRUE(WriteContainer(container, kPassword,
                               {FileRecord(L"/", L"big.bin", PatternBytes(700000, 4))}));
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(container, kPassword, progress);
    EXPECT_EQ(dec.result, JobResult::Failed);
    EXPECT_EQ(dec.errorText, L"Decrypt error, target:big.bin." + SystemErrorText(ERROR_DISK_FULL));
    EXPECT_EQ(ListNames(folder), std::vector<std::wstring>{L"c.lock"});
    RemoveTree(folder);
}

} // namespace

namespace {

// The flush recorder: counts the files forced to the device, notes whether
// the container was still there at each, and can refuse one.
struct FlushRecord {
    std::wstring container;
    int calls = 0;
    int withoutContainer = 0;
    int failAt = -1;
};
FlushRecord g_flushes;

BOOL WINAPI RecordFlush(HANDLE file) {
    if (!PathExists(g_flushes.container))
        ++g_flushes.withoutContainer;
    if (g_flushes.calls++ == g_flushes.failAt) {
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    return FlushFileBuffers(file);
}

class DurableRestore : public ::testing::Test {
protected:
    void SetUp() override {
        g_flushes = FlushRecord();
        g_flushes.container = dir_ / L"c.lock";
        g_flushRestoredFile = RecordFlush;
        std::vector<StoredEntry> records = {FolderRecord(L"/", L"many")};
        for (int k = 0; k < 20; ++k)
            records.push_back(
                FileRecord(L"/many", L"f" + std::to_wstring(k), PatternBytes(100 + k, k)));
        ASSERT_TRUE(WriteContainer(g_flushes.container, kPassword, records));
    }
    void TearDown() override { g_flushRestoredFile = ::FlushFileBuffers; }

    ScratchDir dir_;
};

// Every restored file is on the device before the container goes.
TEST_F(DurableRestore, EveryFileIsFlushedWhileTheContainerIsStillThere) {
    CAtomicProgress progress;
    DecryptionOutcome dec = RunDecryption(g_flushes.container, kPassword, progress);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(g_flushes.calls, 20);
    EXPECT_EQ(g_flushes.withoutContainer, 0);
    EXPECT_FALSE(PathExists(g_flushes.container));
}

// A file the device would not take fails the job: the container stays and
// what was restored goes again.
TEST_F(DurableRestore, AFileThatCannotBeFlushedFailsTheJob) {
    for (int failAt : {0, 15}) {
        SCOPED_TRACE(failAt);
        g_flushes.calls = 0;
        g_flushes.failAt = failAt;
        CAtomicProgress progress;
        DecryptionOutcome dec = RunDecryption(g_flushes.container, kPassword, progress);
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_EQ(dec.errorText.rfind(L"Decrypt error, target:f", 0), 0u) << Narrow(dec.errorText);
        EXPECT_NE(dec.errorText.find(SystemErrorText(ERROR_IO_DEVICE)), std::wstring::npos);
        EXPECT_TRUE(PathExists(g_flushes.container));
        EXPECT_EQ(ListNames(dir_ / L"many"), std::vector<std::wstring>{});
    }
}

// The container's reads fail partway (on the thread that reads ahead): the
// job fails with the system's reason, the container stays as it was, and
// nothing restored, half-written or set aside is left.
TEST(DecryptReadFailure, PartwayThroughTheContainerUndoesEverything) {
    ScratchDir dir;
    const std::wstring container = dir / L"r.lock";
    ASSERT_TRUE(
        WriteContainer(container, kPassword,
                       {FolderRecord(L"/", L"r"), FileRecord(L"/r", L"small", PatternBytes(300, 1)),
                        FileRecord(L"/r", L"large", PatternBytes(3 << 20, 2)),
                        FileRecord(L"/r", L"after", PatternBytes(300, 3))}));
    const Bytes before = ReadFileBytes(container);
    for (int failFrom : {1, 2}) {
        SCOPED_TRACE(failFrom);
        DecryptionOutcome dec;
        {
            FailingReadAhead failing(failFrom, ERROR_CRC);
            CAtomicProgress progress;
            dec = RunDecryption(container, kPassword, progress);
        }
        EXPECT_EQ(dec.result, JobResult::Failed);
        EXPECT_NE(dec.errorText.find(SystemErrorText(ERROR_CRC)), std::wstring::npos)
            << Narrow(dec.errorText);
        EXPECT_EQ(ReadFileBytes(container), before);
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"r.lock"});
    }
}

} // namespace
