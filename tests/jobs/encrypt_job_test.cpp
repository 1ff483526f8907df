// The encryption worker on real trees: what the container holds, what stays
// on the disk after each kind of failure, cancellation and a full disk.
#include "jobs/encrypt_job.h"

#include "support/containers.h"
#include "job_test_support.h"
#include "jobs/job_runner.h"
#include "links.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using namespace testing_support;

namespace {

const std::wstring kPassword = L"pässwörd";

std::vector<std::pair<std::wstring, std::wstring>> Places(const std::vector<StoredEntry>& entries) {
    std::vector<std::pair<std::wstring, std::wstring>> places;
    for (const StoredEntry& e : entries)
        places.emplace_back(e.folderPath, e.name);
    return places;
}

TEST(EncryptLayout, OneFileGoesBesideItAndIsDeleted) {
    ScratchDir dir;
    const Bytes bytes = PatternBytes(5000, 1);
    ASSERT_TRUE(WriteFileBytes(dir / L"b.txt", bytes));
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"b.txt"}, L"", kPassword, progress);
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);

    std::vector<StoredEntry> entries;
    ASSERT_TRUE(ReadContainer(dir / L"b.txt.lock", kPassword, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].isFile);
    EXPECT_EQ(entries[0].folderPath, L"/");
    EXPECT_EQ(entries[0].name, L"b.txt");
    EXPECT_EQ(entries[0].data, bytes);
    EXPECT_FALSE(PathExists(dir / L"b.txt"));
    EXPECT_EQ(progress.GetTotal(), 5000u);
    EXPECT_EQ(progress.GetCurrent(), 5000u);
    EXPECT_EQ(progress.FinishedCalls(), 1);
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"b.txt.lock"});
}

// Files of several read blocks follow each other (they share the job's
// read-ahead blocks), with smaller ones between them.
TEST(EncryptLayout, FolderIsWrittenDepthFirstUnderItsOwnPath) {
    ScratchDir dir;
    const std::vector<TreeEntry> tree = {
        {L"photos", -1},
        {L"photos\\big.bin", 600000},
        {L"photos\\2012", -1},
        {L"photos\\2012\\x", 10},
        {L"photos\\2012\\large", (3 << 20) + 5},
        {L"photos\\2012\\larger", (2 << 20) + 77},
        {L"photos\\empty", -1},
        {L"photos\\zero", 0},
    };
    ASSERT_TRUE(MakeTree(dir.Path(), tree));
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"photos\\"}, L"", kPassword, progress);
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    const uint64_t total = 600010u + (3u << 20) + 5 + (2u << 20) + 77;
    EXPECT_EQ(progress.GetTotal(), total);
    EXPECT_EQ(progress.GetCurrent(), total);

    std::vector<StoredEntry> entries;
    ASSERT_TRUE(ReadContainer(dir / L"photos.lock", kPassword, entries));
    ASSERT_EQ(entries.size(), tree.size());
    EXPECT_EQ(entries[0].folderPath, L"/");
    EXPECT_EQ(entries[0].name, L"photos");
    // Pre-order: each record's folder was stored before it.
    std::vector<std::wstring> seenFolders = {L"/"};
    for (const StoredEntry& e : entries) {
        EXPECT_NE(std::find(seenFolders.begin(), seenFolders.end(), e.folderPath),
                  seenFolders.end())
            << Narrow(e.folderPath + L"|" + e.name);
        if (!e.isFile)
            seenFolders.push_back(e.folderPath == L"/" ? L"/" + e.name
                                                       : e.folderPath + L"/" + e.name);
    }
    for (size_t i = 1; i < tree.size(); ++i) {
        std::wstring folderPath = L"/" + ReplaceAll(ParentOf(tree[i].path, L'\\'), L"\\", L"/");
        folderPath.pop_back();
        std::wstring name = tree[i].path.substr(tree[i].path.rfind(L'\\') + 1);
        auto it = std::find_if(entries.begin(), entries.end(), [&](const StoredEntry& e) {
            return e.folderPath == folderPath && e.name == name;
        });
        ASSERT_NE(it, entries.end()) << Narrow(tree[i].path);
        EXPECT_EQ(it->isFile, tree[i].size >= 0);
        if (tree[i].size >= 0) {
            EXPECT_EQ(it->data, TreeFileBytes(tree, i));
        }
    }
    EXPECT_FALSE(PathExists(dir / L"photos"));
}

TEST(EncryptLayout, SeveralItemsGoUnderTheContainerStem) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"one"));
    ASSERT_TRUE(MakeDir(dir / L"out"));
    ASSERT_TRUE(WriteFileText(dir / L"one\\a.txt", "aaa"));
    ASSERT_TRUE(MakeTree(dir.Path(), {{L"two", -1}, {L"two\\b", 4}}));
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"one\\a.txt", dir / L"two"},
                                          dir / L"out\\backup.lock", kPassword, progress);
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    std::vector<StoredEntry> entries;
    ASSERT_TRUE(ReadContainer(dir / L"out\\backup.lock", kPassword, entries));
    using P = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(Places(entries), (std::vector<P>{P(L"/", L"backup"), P(L"/backup", L"a.txt"),
                                               P(L"/backup", L"two"), P(L"/backup/two", L"b")}));
    EXPECT_FALSE(PathExists(dir / L"one\\a.txt"));
    EXPECT_FALSE(PathExists(dir / L"two"));
}

TEST(ContainerPlan, PathsBesideTheItemAndDefaultName) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"photos"));
    ASSERT_TRUE(WriteFileText(dir / L"b.txt", "x"));
    const std::wstring root = dir.Path() + L"\\";
    EXPECT_EQ(ContainerPathBesideItem(CPathInfo(root + L"b.txt")), root + L"b.txt.lock");
    EXPECT_EQ(ContainerPathBesideItem(CPathInfo(root + L"photos")), root + L"photos.lock");
    EXPECT_EQ(ContainerPathBesideItem(CPathInfo(root + L"photos\\")), root + L"photos.lock");

    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW((dir / L"photos").c_str()));
    // "." is the folder itself: its container goes beside it, not into it.
    EXPECT_EQ(ContainerPathBesideItem(CPathInfo(L".")), root + L"photos.lock");
    EXPECT_EQ(ContainerPathBesideItem(CPathInfo(L"..\\b.txt")), root + L"b.txt.lock");
    SetCurrentDirectoryW(saved);

    EXPECT_EQ(DefaultContainerName(CTimeStamp::FromCalendar(2013, 5, 7, 9, 3, 5)),
              L"201357935.lock");
    EXPECT_EQ(DefaultContainerName(CTimeStamp::FromCalendar(2024, 12, 31, 23, 59, 58)),
              L"20241231235958.lock");

    std::wstring list;
    uint64_t total = 0;
    std::vector<CPathInfo> items = {CPathInfo(root + L"photos"), CPathInfo(root + L"b.txt")};
    EXPECT_EQ(SummarizeItems(items, list, total), -1);
    EXPECT_EQ(list, root + L"photos\\," + root + L"b.txt");
    EXPECT_EQ(total, 1u);
    items.emplace_back(root + L"gone");
    EXPECT_EQ(SummarizeItems(items, list, total), 2);
}

// Every failure keeps the sources and leaves no container, no temporary file
// and any file that was at the container path before, even when the user
// agreed to replace that file.
class EncryptFailure : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeTree(dir_.Path(), tree_));
        ASSERT_TRUE(WriteFileText(dir_ / L"old.lock", "earlier container"));
    }
    void ExpectDiskUnchanged(const CAtomicProgress* progress = nullptr) {
        EXPECT_TRUE(TreeMatches(dir_.Path(), tree_));
        const std::string old = "earlier container";
        EXPECT_EQ(ReadFileBytes(dir_ / L"old.lock"), Bytes(old.begin(), old.end()));
        EXPECT_EQ(LeftoverNames(dir_.Path()), std::vector<std::wstring>{});
        EXPECT_EQ(LeftoverNames(dir_ / L"docs"), std::vector<std::wstring>{});
        EXPECT_EQ((progress ? *progress : progress_).FinishedCalls(), 1);
    }
    std::vector<CPathInfo> Items(std::initializer_list<const wchar_t*> names) {
        std::vector<CPathInfo> items;
        for (const wchar_t* name : names)
            items.emplace_back(dir_ / name);
        return items;
    }
    static std::wstring SystemText(DWORD code) {
        SetLastError(code);
        return GetSystemErrorText();
    }

    ScratchDir dir_;
    const std::vector<TreeEntry> tree_ = {
        {L"docs", -1},  {L"docs\\a.txt", 700}, {L"docs\\sub", -1}, {L"docs\\sub\\b.txt", 300000},
        {L"c.txt", 50},
    };
    CAtomicProgress progress_;
};

TEST_F(EncryptFailure, ContainerCannotBeCreated) {
    const std::wstring container = dir_ / L"no\\such\\folder.lock";
    EncryptionOutcome r =
        EncryptSnapshots(Items({L"docs", L"c.txt"}), container, kPassword, progress_);
    EXPECT_EQ(r.result, JobResult::Failed);
    EXPECT_EQ(r.errorText, L"Write " + container + L"." + SystemText(ERROR_PATH_NOT_FOUND));
    ExpectDiskUnchanged();
}

TEST_F(EncryptFailure, HeaderRefusedForAPasswordNoReaderAccepts) {
    const std::wstring tooLong(600, L'\x00e9'); // 1200 UTF-8 bytes
    EncryptionOutcome r =
        EncryptSnapshots(Items({L"c.txt"}), dir_ / L"new.lock", tooLong, progress_);
    EXPECT_EQ(r.result, JobResult::Failed);
    EXPECT_EQ(r.errorText, L"Write encryption header error.The password is too long: at most "
                           L"1024 bytes (in UTF-8) are allowed.");
    ExpectDiskUnchanged();
}

TEST_F(EncryptFailure, TopFolderWithoutAStem) {
    EncryptionOutcome r =
        EncryptSnapshots(Items({L"docs", L"c.txt"}), dir_ / L"nodot", kPassword, progress_);
    EXPECT_EQ(r.result, JobResult::Failed);
    EXPECT_EQ(r.errorText, L"Encrypt error." + SystemText(ERROR_INVALID_NAME));
    EXPECT_FALSE(PathExists(dir_ / L"nodot"));
    ExpectDiskUnchanged();
}

TEST_F(EncryptFailure, ItemDeletedAfterTheSnapshot) {
    std::vector<CPathInfo> items = Items({L"c.txt", L"gone.txt"});
    ASSERT_TRUE(WriteFileText(dir_ / L"gone.txt", "soon gone"));
    items[1] = CPathInfo(dir_ / L"gone.txt");
    ASSERT_TRUE(DeleteFileW((dir_ / L"gone.txt").c_str()));
    EncryptionOutcome r = EncryptSnapshots(items, dir_ / L"old.lock", kPassword, progress_, true);
    EXPECT_EQ(r.result, JobResult::Failed);
    EXPECT_EQ(r.errorText,
              L"Encrypt error." + (dir_ / L"gone.txt") + L"\n" + SystemText(ERROR_FILE_NOT_FOUND));
    ExpectDiskUnchanged();
}

// An exception nobody raised on purpose names the item and what it says.
TEST_F(EncryptFailure, UnforeseenExceptionIsTold) {
    ActingProgress progress(1, [] { throw std::runtime_error("disk gremlin"); });
    EncryptionOutcome r =
        EncryptSnapshots(Items({L"c.txt", L"docs"}), dir_ / L"old.lock", kPassword, progress, true);
    EXPECT_EQ(r.result, JobResult::Failed);
    EXPECT_EQ(Narrow(r.errorText), Narrow(L"Encrypt error." + (dir_ / L"c.txt") +
                                          L"\nAn unexpected error stopped the job: disk gremlin."));
    ExpectDiskUnchanged(&progress);
}

TEST_F(EncryptFailure, FolderDeletedAfterTheSnapshotFailsAtItsListing) {
    ASSERT_TRUE(MakeDir(dir_ / L"brief"));
    std::vector<CPathInfo> items = Items({L"c.txt", L"brief"});
    ASSERT_TRUE(RemoveDirectoryW((dir_ / L"brief").c_str()));
    EncryptionOutcome r = EncryptSnapshots(items, dir_ / L"old.lock", kPassword, progress_, true);
    EXPECT_EQ(r.result, JobResult::Failed);
    EXPECT_EQ(r.errorText.rfind(L"Encrypt error." + (dir_ / L"brief\\") + L"\n", 0), 0u)
        << Narrow(r.errorText);
    ExpectDiskUnchanged();
}

// The job stores each file as it is when it opens it, whatever the snapshot
// said; the size in its record is the size it then reads.
TEST_F(EncryptFailure, SelectedFileChangedSinceTheSnapshotIsStoredAsItIsNow) {
    const std::wstring path = dir_ / L"docs\\sub\\b.txt";
    for (size_t newSize : {size_t{299999}, size_t{300001}, size_t{0}}) {
        SCOPED_TRACE(newSize);
        std::vector<CPathInfo> items = Items({L"docs\\sub\\b.txt"});
        const Bytes changed = PatternBytes(newSize, 99);
        ASSERT_TRUE(WriteFileBytes(path, changed));
        CAtomicProgress progress;
        EncryptionOutcome r = EncryptSnapshots(items, path + L".lock", kPassword, progress);
        ASSERT_EQ(r.result, JobResult::Succeeded) << Narrow(r.errorText);
        std::vector<StoredEntry> entries;
        ASSERT_TRUE(ReadContainer(path + L".lock", kPassword, entries));
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].data, changed);
        EXPECT_FALSE(PathExists(path));
        ASSERT_TRUE(WriteFileBytes(path, TreeFileBytes(tree_, 3)));
        ASSERT_TRUE(DeleteFileW((path + L".lock").c_str()));
    }
    EXPECT_TRUE(TreeMatches(dir_.Path(), tree_));
    EXPECT_EQ(LeftoverNames(dir_ / L"docs\\sub"), std::vector<std::wstring>{});
}

TEST_F(EncryptFailure, ContainerInsideASelectedFolderIsRefused) {
    const std::wstring inside[] = {dir_ / L"docs\\x.lock", dir_ / L"DOCS\\sub\\x.lock",
                                   dir_ / L"c.txt"};
    for (const std::wstring& container : inside) {
        SCOPED_TRACE(Narrow(container));
        CAtomicProgress progress;
        EncryptionOutcome r =
            EncryptSnapshots(Items({L"docs", L"c.txt"}), container, kPassword, progress);
        EXPECT_EQ(r.result, JobResult::Failed);
        EXPECT_EQ(r.errorText.rfind(L"Write " + container + L".The container cannot", 0), 0u)
            << Narrow(r.errorText);
        EXPECT_FALSE(PathExists(dir_ / L"docs\\x.lock"));
        ExpectDiskUnchanged(&progress);
    }
}

TEST_F(EncryptFailure, CancelAtSeveralPointsLeavesNoTrace) {
    // 0: before the first item; 1: after the first block; 3: inside the
    // 300000-byte file, whose blocks are 262144 bytes.
    for (int after : {0, 1, 2, 3}) {
        SCOPED_TRACE(after);
        CancellingProgress progress(after);
        EncryptionOutcome r = EncryptSnapshots(Items({L"c.txt", L"docs"}), dir_ / L"old.lock",
                                               kPassword, progress, true);
        EXPECT_EQ(r.result, JobResult::Cancelled);
        EXPECT_EQ(r.errorText, L"");
        EXPECT_EQ(progress.FinishedCalls(), 1);
        ExpectDiskUnchanged(&progress);
    }
}

TEST_F(EncryptFailure, ReadOnlySourceIsPackedButStays) {
    ASSERT_TRUE(SetFileAttributesW((dir_ / L"c.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EncryptionOutcome r =
        EncryptSnapshots(Items({L"c.txt"}), dir_ / L"c.txt.lock", kPassword, progress_);
    EXPECT_EQ(r.result, JobResult::Succeeded) << Narrow(r.errorText);
    EXPECT_TRUE(PathExists(dir_ / L"c.txt"));
    std::vector<StoredEntry> entries;
    ASSERT_TRUE(ReadContainer(dir_ / L"c.txt.lock", kPassword, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].data, TreeFileBytes(tree_, 4));
}

// A link inside a selected folder is neither stored nor followed, and its
// target keeps its files, even when the link closes a cycle.
TEST(EncryptLinks, FolderLinksAreSkipped) {
    ScratchDir dir;
    ASSERT_TRUE(MakeTree(dir.Path(), {{L"target", -1}, {L"target\\keep", 40}}));
    const Bytes keep = ReadFileBytes(dir / L"target\\keep");
    ASSERT_TRUE(MakeTree(dir.Path(), {{L"t", -1}, {L"t\\a", 5}}));
    if (!MakeFolderLink(dir / L"target", dir / L"t\\link") ||
        !MakeFolderLink(dir / L"t", dir / L"t\\loop"))
        GTEST_SKIP() << "folder links cannot be made on this system";
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"t"}, L"", kPassword, progress);
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    std::vector<StoredEntry> entries;
    ASSERT_TRUE(ReadContainer(dir / L"t.lock", kPassword, entries));
    using P = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(Places(entries), (std::vector<P>{P(L"/", L"t"), P(L"/t", L"a")}));
    EXPECT_EQ(ReadFileBytes(dir / L"target\\keep"), keep);
}

// A file that is a reparse point (a file link, or any other kind: this Wine
// cannot make one, so the seam says which) is neither stored nor followed;
// it stays with its reason. Two names of one file (a hard link) store it
// once and delete it once, by the name it was stored under.
TEST(EncryptLinks, FileLinksAreSkippedAndOneFileIsStoredOnce) {
    ScratchDir dir;
    ASSERT_TRUE(
        MakeTree(dir.Path(), {{L"t", -1}, {L"t\\a", 5}, {L"t\\link.txt", 7}, {L"t\\b", 9}}));
    ASSERT_TRUE(CreateHardLinkW((dir / L"t\\b2").c_str(), (dir / L"t\\b").c_str(), nullptr));
    const Bytes linkBytes = ReadFileBytes(dir / L"t\\link.txt");
    g_identifyOpenedFile = [](HANDLE file, const std::wstring& path, OpenedFileIdentity& id) {
        const bool done = IdentifyOpenedFile(file, path, id);
        if (path.size() > 8 && path.compare(path.size() - 8, 8, L"link.txt") == 0)
            id.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        return done;
    };
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"t"}, L"", kPassword, progress);
    g_identifyOpenedFile = IdentifyOpenedFile;
    ASSERT_EQ(out.result, JobResult::Succeeded) << Narrow(out.errorText);
    std::vector<StoredEntry> entries;
    ASSERT_TRUE(ReadContainer(dir / L"t.lock", kPassword, entries));
    std::vector<std::wstring> names;
    for (const StoredEntry& e : entries)
        names.push_back(e.name);
    std::sort(names.begin() + 1, names.end());
    const std::wstring twin = names.back(); // b or b2, whichever was met first
    EXPECT_EQ(names, (std::vector<std::wstring>{L"t", L"a", twin}));
    EXPECT_EQ(ReadFileBytes(dir / L"t\\link.txt"), linkBytes);
    EXPECT_EQ(ListNames(dir / L"t"),
              (std::vector<std::wstring>{twin == L"b" ? L"b2" : L"b", L"link.txt"}));
    ASSERT_EQ(out.leftBehind.size(), 2u);
    for (LeftItem::Reason reason : {LeftItem::Reason::NotStored, LeftItem::Reason::SameFile})
        EXPECT_EQ(std::count_if(out.leftBehind.begin(), out.leftBehind.end(),
                                [&](const LeftItem& item) { return item.reason == reason; }),
                  1);
    EXPECT_NE(DescribeLeftItems(out.leftBehind).find(L"the same file as one encrypted"),
              std::wstring::npos);
}

// Under Wine a Unix link to a file is its target to every Windows program:
// the target's bytes are stored under the link's name. Whatever the link
// leaves behind, the restore brings the bytes back under that name.
TEST(EncryptLinks, UnixFileLinkComesBackThroughTheProgram) {
    ScratchDir dir;
    const std::vector<TreeEntry> tree = {
        {L"outside", -1}, {L"outside\\single.txt", 300}, {L"src", -1}, {L"src\\own.txt", 20}};
    ASSERT_TRUE(MakeTree(dir.Path(), tree));
    const Bytes single = ReadFileBytes(dir / L"outside\\single.txt");
    if (!MakeFileLink(dir / L"outside\\single.txt", dir / L"src\\filelink"))
        GTEST_SKIP() << "file links cannot be made on this system";
    CAtomicProgress encrypting, asking, restoring;
    EncryptionOutcome enc = RunEncryption({dir / L"src"}, L"", kPassword, encrypting);
    ASSERT_EQ(enc.result, JobResult::Succeeded) << Narrow(enc.errorText);
    DecryptionOutcome dec = RunDecryption(dir / L"src.lock", kPassword, asking);
    if (dec.result == JobResult::NeedsConsent)
        dec = RunDecryption(dir / L"src.lock", kPassword, restoring, dec.existingCount);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(ReadFileBytes(dir / L"src\\filelink"), single);
    EXPECT_EQ(ReadFileBytes(dir / L"src\\own.txt"), TreeFileBytes(tree, 3));
}

// A disk that fills up while the container is written: the job fails and
// nothing of the container stays on that disk.
TEST(EncryptDiskFull, FailsAndKeepsTheSources) {
    if (GetFileAttributesW(L"T:\\") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no small full-disk drive T: (needs root and scripts/test.sh)";
    ScratchDir dir;
    const std::vector<TreeEntry> tree = {{L"big", -1}, {L"big\\x", 3 << 20}, {L"big\\y", 5000}};
    ASSERT_TRUE(MakeTree(dir.Path(), tree));
    const std::wstring container = L"T:\\jobs_disk_full.lock";
    CAtomicProgress progress;
    EncryptionOutcome out = RunEncryption({dir / L"big"}, container, kPassword, progress);
    EXPECT_EQ(out.result, JobResult::Failed);
    // The item that failed and the system's reason, then the file it concerns.
    EXPECT_EQ(Narrow(out.errorText), Narrow(L"Encrypt error." + (dir / L"big\\") + L"\n" +
                                            WithoutLineEnd(SystemErrorText(ERROR_DISK_FULL)) +
                                            L"\nWrite " + container + L"."));
    EXPECT_TRUE(TreeMatches(dir.Path(), tree));
    for (const std::wstring& name : ListNames(L"T:"))
        EXPECT_EQ(name.find(L"jobs_disk_full"), std::wstring::npos) << Narrow(name);
}

} // namespace
