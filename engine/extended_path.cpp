// Full and extended forms of paths.
#include "engine/extended_path.h"

#include <windows.h>

#include <vector>

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

// Forms the system takes without any normalisation: the extended form, the
// device namespace (where GetFullPathNameW also puts "NUL" and "COM1") and
// the object manager's own.
bool IsVerbatim(const std::wstring& path) {
    return StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\") ||
           StartsWith(path, L"\\??\\");
}

} // namespace

std::wstring GetFullPath(const std::wstring& path) {
    if (path.empty())
        return path;
    const DWORD error = GetLastError();
    // Asked first for the length it needs; asked again should the current
    // folder have changed in between.
    std::vector<wchar_t> buffer;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    while (n != 0 && n >= buffer.size()) {
        buffer.resize(n);
        n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                             nullptr);
    }
    SetLastError(error);
    return n == 0 ? path : std::wstring(buffer.data(), n);
}

std::wstring ExtendedPath(const std::wstring& path) {
    if (path.empty() || IsVerbatim(path))
        return path;
    const std::wstring full = GetFullPath(path);
    if (IsVerbatim(full))
        return full;
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return kExtendedPrefix + full;
    if (StartsWith(full, L"\\\\"))
        return kExtendedUncPrefix + full.substr(2);
    return full;
}
