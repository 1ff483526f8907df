// The path module: the text rules (parent, stem, replacement, the names
// given beside a place, where one path lies against another), and the full
// and extended forms the file-system calls get for drive, UNC, relative and
// already extended paths, with '/', "." and "..", trailing dots and blanks,
// and lengths beyond 260 characters.
#include "engine/paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_files.h"

using testing_support::Narrow;

namespace {

struct Case {
    std::wstring input;
    std::wstring extended;
};

std::wstring CurrentFolder() {
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), &folder[0]));
    if (folder.back() != L'\\')
        folder += L'\\';
    return folder;
}

// Seven folders of 40 letters: beyond 260 characters below any drive.
std::wstring LongChain() {
    std::wstring chain;
    for (wchar_t c = L'a'; c < L'h'; ++c)
        chain += std::wstring(40, c) + L"\\";
    return chain;
}

struct TextCase {
    const wchar_t* input;
    const wchar_t* expected;
};

TEST(PathText, ParentOfKeepsTheSeparator) {
    const TextCase cases[] = {
        {L"D:\\a\\b.txt", L"D:\\a\\"}, {L"b.txt", L""}, {L"D:\\", L"D:\\"}, {L"", L""}};
    for (const TextCase& c : cases)
        EXPECT_EQ(ParentOf(c.input, L'\\'), c.expected) << Narrow(c.input);
    EXPECT_EQ(ParentOf(L"/photos/2012", L'/'), L"/photos/");
}

TEST(PathText, StemLiesBetweenLastSeparatorAndLastDot) {
    const TextCase cases[] = {
        {L"D:\\out\\backup.lock", L"backup"}, {L"D:\\out\\backup", L""},
        {L"D:\\my.dir\\backup", L""},         {L"backup.lock", L"backup"},
        {L"D:\\out\\a.b.lock", L"a.b"},       {L"D:\\out\\.lock", L""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(GetStem(c.input), c.expected) << Narrow(c.input);
}

TEST(PathText, ReplaceAllContinuesAfterEachReplacement) {
    EXPECT_EQ(ReplaceAll(L"/a/b/c", L"/", L"\\"), L"\\a\\b\\c");
    // A replacement that contains the searched text is not searched again.
    EXPECT_EQ(ReplaceAll(L"aXa", L"a", L"aa"), L"aaXaa");
    EXPECT_EQ(ReplaceAll(L"", L"/", L"\\"), L"");
    EXPECT_EQ(ReplaceAll(L"xxxx", L"xx", L"y"), L"yy");
}

// The names a job tries beside a place, and those the decryption gives a
// file stored twice: the number goes before the extension, never into a
// name that is all extension.
TEST(PathText, NamesBesideAPlace) {
    EXPECT_EQ(NameBeside(L"D:\\a.lock", kPartialMark, 1), L"D:\\a.lock.tl-partial");
    EXPECT_EQ(NameBeside(L"D:\\a.lock", kBackupMark, kNamesBeside), L"D:\\a.lock.tl-backup-16");
    const TextCase cases[] = {
        {L"D:\\x\\notes.txt", L"D:\\x\\notes (2).txt"},
        {L"D:\\x.y\\notes", L"D:\\x.y\\notes (2)"},
        {L"D:\\x\\.profile", L"D:\\x\\.profile (2)"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(NumberedName(c.input, 2), c.expected) << Narrow(c.input);
}

// Whether a container would lie on or inside an item: letter case, a
// separator that ends the item and a relative spelling do not hide it.
TEST(PathText, PlaceOfComparesFullPaths) {
    const struct {
        const wchar_t* path;
        const wchar_t* item;
        PathPlace place;
    } cases[] = {
        {L"C:\\a\\photos", L"C:\\A\\Photos\\", PathPlace::Same},
        {L"C:\\a\\photos\\x.lock", L"C:\\a\\photos", PathPlace::Below},
        {L"C:\\x.lock", L"C:\\", PathPlace::Below},
        {L"C:\\a\\photos.lock", L"C:\\a\\photos", PathPlace::Apart},
        {L"C:\\a\\b\\..\\photos\\x.lock", L"C:/a/photos", PathPlace::Below},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceOf(c.path, c.item), c.place) << Narrow(c.path) << " " << Narrow(c.item);
}

TEST(ExtendedPath, TakesTheFormTheSystemGivesEveryPath) {
    const std::wstring chain = LongChain();
    const std::vector<Case> cases = {
        {L"C:\\a\\b.txt", L"\\\\?\\C:\\a\\b.txt"},
        {L"C:\\a\\photos\\", L"\\\\?\\C:\\a\\photos\\"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"C:/a/b.txt", L"\\\\?\\C:\\a\\b.txt"},
        {L"C:\\a\\.\\x\\..\\b.txt", L"\\\\?\\C:\\a\\b.txt"},
        {L"C:\\a\\\\b.txt", L"\\\\?\\C:\\a\\b.txt"},
        // Windows drops a name's trailing dots and blanks; the extended form
        // would keep them and name another item.
        {L"C:\\a\\src.", L"\\\\?\\C:\\a\\src"},
        {L"C:\\a\\src. .", L"\\\\?\\C:\\a\\src"},
        {L"C:\\a\\notes.txt  ", L"\\\\?\\C:\\a\\notes.txt"},
        {L"\\\\server\\share\\a\\b.txt", L"\\\\?\\UNC\\server\\share\\a\\b.txt"},
        {L"//server/share/a/../b.txt", L"\\\\?\\UNC\\server\\share\\b.txt"},
        // Already in a form the system takes as it stands: unchanged.
        {L"\\\\?\\C:\\a\\..\\src.", L"\\\\?\\C:\\a\\..\\src."},
        {L"\\\\?\\UNC\\server\\share\\a", L"\\\\?\\UNC\\server\\share\\a"},
        {L"\\\\.\\COM1", L"\\\\.\\COM1"},
        {L"", L""},
        // Long paths are taken whole, however they are written.
        {L"C:\\" + chain + L"far down.txt", L"\\\\?\\C:\\" + chain + L"far down.txt"},
        {L"C:/" + chain + L"x/../far down.txt.", L"\\\\?\\C:\\" + chain + L"far down.txt"},
        {L"\\\\server\\share\\" + chain, L"\\\\?\\UNC\\server\\share\\" + chain},
        {L"\\\\?\\C:\\" + chain + L"x\\..", L"\\\\?\\C:\\" + chain + L"x\\.."},
        // Relative paths are made full from the current folder first.
        {L"x\\y.txt", L"\\\\?\\" + CurrentFolder() + L"x\\y.txt"},
        {L".\\" + chain + L"y.txt", L"\\\\?\\" + CurrentFolder() + chain + L"y.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(ExtendedPath(c.input)), Narrow(c.extended)) << Narrow(c.input);
}

TEST(ExtendedPath, FullPathStaysInTheOrdinaryForm) {
    const std::wstring chain = LongChain();
    const std::vector<Case> cases = {
        {L"C:/a/./x/../b.txt", L"C:\\a\\b.txt"},
        {L"C:\\a\\src.", L"C:\\a\\src"},
        {L"//server/share/a", L"\\\\server\\share\\a"},
        {L"C:\\" + chain + L"x\\..\\far down.txt", L"C:\\" + chain + L"far down.txt"},
        {L"x", CurrentFolder() + L"x"},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(GetFullPath(c.input)), Narrow(c.extended)) << Narrow(c.input);
}

// The forms are made between a failed call and the text of its error.
TEST(ExtendedPath, KeepsTheLastError) {
    for (const std::wstring& path : {std::wstring(L"C:\\a"), std::wstring(L"x\\..\\y"),
                                     std::wstring(L"\\\\?\\C:\\a"), std::wstring()}) {
        ::SetLastError(ERROR_SHARING_VIOLATION);
        ExtendedPath(path);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << Narrow(path);
        GetFullPath(path);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << Narrow(path);
    }
}

} // namespace
