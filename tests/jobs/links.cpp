// Creates folder links by running the Linux ln through Wine: Wine starts a
// Linux program named by its Unix path like any other process.
#include "links.h"

#include <windows.h>

#include <vector>

namespace testing_support {

namespace {

using UnixNameFn = char*(CDECL*)(const wchar_t*);

std::string UnixPath(UnixNameFn toUnix, const std::wstring& path) {
    char* name = toUnix(path.c_str());
    if (!name)
        return std::string();
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

bool MakeFolderLink(const std::wstring& target, const std::wstring& link) {
    return MakeFileLink(target, link);
}

bool MakeFileLink(const std::wstring& target, const std::wstring& link) {
    // A dangling link cannot be seen to appear: it is made to a file that
    // is deleted once the link shows.
    if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        HANDLE stand =
            CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (stand == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(stand);
        const bool made = MakeFileLink(target, link);
        return DeleteFileW(target.c_str()) && made;
    }
    auto toUnix = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return false;
    std::string unixTarget = UnixPath(toUnix, target);
    std::string unixLink = UnixPath(toUnix, link);
    if (unixTarget.empty() || unixLink.empty())
        return false;
    // Scratch paths hold no quotes, so plain quoting is enough.
    std::wstring command =
        L"\"Z:\\bin\\ln\" -s \"" + Widen(unixTarget) + L"\" \"" + Widen(unixLink) + L"\"";
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine does not report a Linux child's end through the handle; poll for
    // the link instead.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 10000) {
        if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace testing_support
