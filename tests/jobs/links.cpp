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

// True once something holds the name, seen or not (a dangling link).
bool NameTaken(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    HANDLE probe = CreateFileW(path.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(probe);
    return false;
}

bool MakeFolderLink(const std::wstring& target, const std::wstring& link) {
    return MakeFileLink(target, link);
}

bool MakeFileLink(const std::wstring& target, const std::wstring& link) {
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
        if (NameTaken(link))
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace testing_support
