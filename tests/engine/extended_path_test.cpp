// The full and extended forms of paths: what the file-system calls get for
// drive, UNC, relative and already extended paths, with '/', "." and "..",
// trailing dots and blanks, and lengths beyond 260 characters.
#include "engine/extended_path.h"

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
