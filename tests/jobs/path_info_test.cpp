// Path snapshots, tree operations and the message helpers, on real files.
#include "jobs/path_info.h"

#include "links.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(Messages, FormatStringReadsWideStringsAndFitsExactly) {
    std::wstring text = FormatString(L"%s.%s", L"D:\\Фото", L"Invalid path.");
    EXPECT_EQ(text, L"D:\\Фото.Invalid path.");
    EXPECT_EQ(text.size(), wcslen(text.c_str()));
    EXPECT_EQ(FormatString(L"%d%d%d%s", 2013, 5, 7, L".lock"), L"201357.lock");
    EXPECT_EQ(FormatString(L"%s", L""), L"");
}

TEST(Messages, SystemErrorTextFollowsTheLastError) {
    SetLastError(0);
    EXPECT_EQ(GetSystemErrorText(), L"");
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::wstring text = GetSystemErrorText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Name, parent and folder rules on existing folders and files, missing
// paths and a root.
class PathRules : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDir(dir_ / L"photos"));
        ASSERT_TRUE(WriteFileText(dir_ / L"b.txt", "abc"));
    }
    ScratchDir dir_;
};

TEST_F(PathRules, SeparatorNameParentAndFolder) {
    const std::wstring root = dir_.Path() + L"\\";
    struct Case {
        std::wstring path, withSeparator, name, parent, folder;
    };
    const Case cases[] = {
        {root + L"photos", root + L"photos\\", L"photos", root, root + L"photos\\"},
        {root + L"photos\\", root + L"photos\\", L"photos", root, root + L"photos\\"},
        {root + L"b.txt", root + L"b.txt", L"b.txt", root, root},
        {root + L"missing", root + L"missing", L"missing", L"", L""},
        {root + L"missing\\", root + L"missing\\", L"", L"", L""},
        {L"C:\\", L"C:\\", L"", L"", L"C:\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        CPathInfo info(c.path);
        EXPECT_EQ(info.PathWithSeparator(), c.withSeparator);
        EXPECT_EQ(info.GetName(), c.name);
        EXPECT_EQ(info.GetParent().GetPath(), c.parent);
        EXPECT_EQ(info.GetFolder(), c.folder);
    }
    EXPECT_FALSE(CPathInfo(root + L"missing").GetParent().Exists());
}

TEST_F(PathRules, RelativeNamesResolveAgainstTheCurrentFolder) {
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW((dir_ / L"photos").c_str()));
    EXPECT_EQ(CPathInfo(L"..\\b.txt").GetName(), L"b.txt");
    EXPECT_EQ(CPathInfo(L".").GetName(), L"photos");
    SetCurrentDirectoryW(dir_.Path().c_str());
    EXPECT_EQ(CPathInfo(L"photos").GetName(), L"photos");
    EXPECT_EQ(CPathInfo(L"b.txt").GetName(), L"b.txt");
    SetCurrentDirectoryW(saved);
}

TEST_F(PathRules, QueriesReadTheSnapshotUntilRefresh) {
    CPathInfo file(dir_ / L"b.txt");
    ASSERT_TRUE(WriteFileText(dir_ / L"b.txt", "longer text"));
    EXPECT_EQ(file.GetTotalSize(), 3u);
    file.Refresh();
    EXPECT_EQ(file.GetTotalSize(), 11u);

    CPathInfo folder(dir_ / L"photos");
    RemoveTree(dir_ / L"photos");
    EXPECT_TRUE(folder.IsDirectory());
    folder.Refresh();
    EXPECT_FALSE(folder.Exists());
}

TEST(TreeOperations, TotalSizeAndListing) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"t"));
    ASSERT_TRUE(MakeDir(dir / L"t\\sub"));
    ASSERT_TRUE(MakeDir(dir / L"t\\empty"));
    ASSERT_TRUE(WriteFileBytes(dir / L"t\\a", PatternBytes(1000, 1)));
    ASSERT_TRUE(WriteFileBytes(dir / L"t\\sub\\b", PatternBytes(24, 2)));
    ASSERT_TRUE(WriteFileText(dir / L"t\\hidden", "hh"));
    SetFileAttributesW((dir / L"t\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(CPathInfo(dir / L"t").GetTotalSize(), 1026u);
    EXPECT_EQ(CPathInfo(dir / L"t\\empty").GetTotalSize(), 0u);
    EXPECT_EQ(CPathInfo(dir / L"nothing").GetTotalSize(), 0u);

    std::vector<CPathInfo> children;
    ASSERT_TRUE(CPathInfo(dir / L"t").ListChildren(children, L"*.*"));
    std::vector<std::wstring> names;
    for (const CPathInfo& child : children) {
        names.push_back(child.GetName());
        EXPECT_TRUE(child.Exists());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a", L"empty", L"hidden", L"sub"}));

    std::vector<CPathInfo> none;
    EXPECT_FALSE(CPathInfo(dir / L"t\\a").ListChildren(none, L"*.*"));
    EXPECT_TRUE(none.empty());
}

TEST(TreeOperations, CreateDirectoriesBuildsTheChain) {
    ScratchDir dir;
    CPathInfo deep(dir / L"x\\y\\z");
    EXPECT_TRUE(deep.CreateDirectories());
    EXPECT_TRUE(deep.IsDirectory());
    EXPECT_TRUE(IsDir(dir / L"x\\y\\z"));
    EXPECT_TRUE(CPathInfo(dir / L"x\\y\\z\\").CreateDirectories());

    // A chain that cannot be made: it would pass through a file.
    ASSERT_TRUE(WriteFileText(dir / L"file", "x"));
    EXPECT_FALSE(CPathInfo(dir / L"file\\x\\y").CreateDirectories());
    EXPECT_FALSE(PathExists(dir / L"file\\x"));

    // Below a drive that does not exist. Only a letter the system positively
    // knows as unused will do: a prefix whose drive list is not up yet says
    // "no drives" and would hand out Z:, the Linux root.
    const DWORD drives = GetLogicalDrives();
    const DWORD needed = (1u << (L'C' - L'A')) | (1u << (L'Z' - L'A'));
    if ((drives & needed) != needed)
        GTEST_SKIP() << "the system lists no drives C: and Z:, so no letter is surely unused";
    wchar_t unused = 0;
    for (wchar_t letter = L'Y'; letter > L'D'; --letter) {
        const wchar_t root[] = {letter, L':', L'\\', 0};
        if (!(drives & (1u << (letter - L'A'))) && GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) {
            unused = letter;
            break;
        }
    }
    ASSERT_NE(unused, 0);
    EXPECT_FALSE(CPathInfo(std::wstring(1, unused) + L":\\x\\y").CreateDirectories());
}

TEST(TreeOperations, ReadOnlyFileStopsDeleteTreeInListingOrder) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"t"));
    for (const wchar_t* name : {L"a", L"b", L"c", L"d", L"e"})
        ASSERT_TRUE(WriteFileText(dir / (std::wstring(L"t\\") + name), "x"));
    ASSERT_TRUE(SetFileAttributesW((dir / L"t\\c").c_str(), FILE_ATTRIBUTE_READONLY));
    std::vector<CPathInfo> order;
    ASSERT_TRUE(CPathInfo(dir / L"t").ListChildren(order, L"*.*"));

    EXPECT_FALSE(CPathInfo(dir / L"t").DeleteTree());
    bool reached = false;
    for (const CPathInfo& child : order) {
        if (child.GetName() == L"c")
            reached = true;
        EXPECT_EQ(PathExists(child.GetPath()), reached) << Narrow(child.GetPath());
    }
    EXPECT_TRUE(IsDir(dir / L"t"));
}

// A link inside a tree: never followed when sizing, never emptied when
// deleting, so a cycle cannot recurse and the target keeps its files.
TEST(TreeOperations, FolderLinksAreNeitherCountedNorEmptied) {
    ScratchDir dir;
    ASSERT_TRUE(MakeDir(dir / L"target"));
    ASSERT_TRUE(WriteFileBytes(dir / L"target\\keep.bin", PatternBytes(500, 3)));
    ASSERT_TRUE(MakeDir(dir / L"t"));
    ASSERT_TRUE(WriteFileText(dir / L"t\\a", "abc"));
    if (!MakeFolderLink(dir / L"target", dir / L"t\\link") ||
        !MakeFolderLink(dir / L"t", dir / L"t\\loop"))
        GTEST_SKIP() << "folder links cannot be made on this system";
    ASSERT_TRUE(CPathInfo(dir / L"t\\link").IsLinkFolder());

    EXPECT_EQ(CPathInfo(dir / L"t").GetTotalSize(), 3u);
    bool deleted = CPathInfo(dir / L"t").DeleteTree();
    EXPECT_TRUE(PathExists(dir / L"target\\keep.bin"));
    EXPECT_EQ(ReadFileBytes(dir / L"target\\keep.bin"), PatternBytes(500, 3));
    if (deleted) {
        EXPECT_FALSE(PathExists(dir / L"t"));
    }
}

} // namespace
