// Path text, the names beside a place, the probes the jobs make on a path,
// and the full and extended forms; see paths.h.
#include "engine/paths.h"

#include "common/unique_handle.h"

#include <vector>

namespace {

constexpr wchar_t kExtendedPrefix[] = L"\\\\?\\";
constexpr wchar_t kExtendedUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool EndsWithSeparator(const std::wstring& text) {
    return !text.empty() && text.back() == L'\\';
}

// Forms the system takes without any normalisation: the extended form, the
// device namespace (where GetFullPathNameW also puts "NUL" and "COM1") and
// the object manager's own.
bool IsVerbatim(const std::wstring& path) {
    return StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\") ||
           StartsWith(path, L"\\??\\");
}

// The number in decimal digits, as the names beside a place carry it. Made
// here: std::to_wstring brings in mingw's own wide formatter, and with it
// runtime imports that are not on the Windows 7 list.
std::wstring Decimal(unsigned number) {
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + number % 10));
        number /= 10;
    } while (number != 0);
    return digits;
}

bool IsLink(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when path or a folder above it, below base, is a link.
bool PassesThroughLink(const std::wstring& base, std::wstring path) {
    while (IsPathBelow(path, base)) {
        if (IsLink(path))
            return true;
        path = FolderOf(path);
    }
    return false;
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

std::wstring ParentOf(const std::wstring& text, wchar_t separator) {
    size_t cut = text.rfind(separator);
    if (cut == std::wstring::npos)
        return std::wstring();
    return text.substr(0, cut + 1);
}

std::wstring FolderOf(const std::wstring& path) {
    std::wstring folder = ParentOf(path, L'\\');
    if (!folder.empty())
        folder.pop_back();
    return folder;
}

std::wstring GetStem(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    size_t start = slash == std::wstring::npos ? 0 : slash + 1;
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < start)
        return std::wstring();
    return path.substr(start, dot - start);
}

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& what,
                        const std::wstring& with) {
    if (text.empty() || what.empty())
        return text;
    std::wstring out;
    out.reserve(text.size());
    size_t from = 0;
    for (;;) {
        size_t hit = text.find(what, from);
        if (hit == std::wstring::npos)
            break;
        out.append(text, from, hit - from);
        out += with;
        from = hit + what.size();
    }
    out.append(text, from, std::wstring::npos);
    return out;
}

bool IsRelativePath(const std::wstring& path) {
    if (!path.empty() && path[0] == L'\\')
        return false;
    return !(path.size() >= 3 && path[1] == L':' && path[2] == L'\\');
}

bool SamePathText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FoldCase(const std::wstring& name) {
    std::wstring folded = name;
    if (!folded.empty())
        CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}

bool IsPathBelow(const std::wstring& path, const std::wstring& folder) {
    std::wstring base = folder;
    if (!EndsWithSeparator(base))
        base += L'\\';
    if (path.size() <= base.size())
        return false;
    return SamePathText(path.substr(0, base.size()), base);
}

PathPlace PlaceOf(const std::wstring& path, const std::wstring& item) {
    const std::wstring full = GetFullPath(path);
    std::wstring itemPath = GetFullPath(item);
    // A drive's root keeps its separator: "C:" alone names a current folder.
    if (itemPath.size() > 3 && EndsWithSeparator(itemPath))
        itemPath.pop_back();
    if (SamePathText(full, itemPath))
        return PathPlace::Same;
    return IsPathBelow(full, itemPath) ? PathPlace::Below : PathPlace::Apart;
}

bool NameTaken(const std::wstring& path) {
    return GetFileAttributesW(ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool NameTakenUnseen(const std::wstring& path) {
    UniqueFileHandle probe(CreateFileW(ExtendedPath(path).c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                       nullptr));
    const DWORD error = GetLastError();
    return !probe && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
}

bool ListedPath(const std::wstring& path, std::wstring& listed, bool& isFolder) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileExW(ExtendedPath(path).c_str(), FindExInfoStandard, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!search)
        return false;
    isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    listed = ParentOf(path, L'\\') + found.cFileName;
    return true;
}

bool ReachedWithoutLinks(const std::wstring& folder, const std::wstring& path, bool itselfToo,
                         std::wstring* verifiedFolder) {
    if (!IsPathBelow(GetFullPath(path), folder))
        return false;
    if (itselfToo && IsLink(path))
        return false;
    const std::wstring holder = FolderOf(path);
    if (verifiedFolder && SamePathText(*verifiedFolder, holder))
        return true;
    if (PassesThroughLink(folder, holder))
        return false;
    if (verifiedFolder)
        *verifiedFolder = holder;
    return true;
}

bool MovePath(const std::wstring& from, const std::wstring& to, DWORD flags) {
    return MoveFileExW(ExtendedPath(from).c_str(), ExtendedPath(to).c_str(), flags) != 0;
}

std::wstring NameBeside(const std::wstring& path, const wchar_t* mark, int attempt) {
    std::wstring name = path + mark;
    if (attempt > 1)
        name += L"-" + Decimal(static_cast<unsigned>(attempt));
    return name;
}

bool FreeNameBeside(const std::wstring& path, const wchar_t* mark, std::wstring& name) {
    for (int k = 1; k <= kNamesBeside; ++k) {
        name = NameBeside(path, mark, k);
        if (NameTaken(name))
            continue;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return true;
        SetLastError(error);
        return false;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return false;
}

void RemoveLeftoversBeside(const std::wstring& path, const wchar_t* mark) {
    const DWORD error = GetLastError();
    const std::wstring folder = ParentOf(path, L'\\');
    const std::wstring stem = path.substr(folder.size()) + mark;
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileExW(ExtendedPath(path + mark + L"*").c_str(),
                                             FindExInfoStandard, &found, FindExSearchNameMatch,
                                             nullptr, 0));
    if (search) {
        do {
            // Only the exact names FreeNameBeside makes: stem, stem-2, ...
            std::wstring name = found.cFileName;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
                !SamePathText(name.substr(0, stem.size()), stem))
                continue;
            std::wstring rest = name.substr(stem.size());
            if (!rest.empty() && (rest[0] != L'-' || rest.size() < 2 ||
                                  rest.find_first_not_of(L"0123456789", 1) != std::wstring::npos))
                continue;
            DeleteFileW(ExtendedPath(folder + name).c_str());
        } while (FindNextFileW(search.Get(), &found));
    }
    SetLastError(error);
}

NewFilePlace LookOverPlace(const std::wstring& path, const wchar_t* mark) {
    NewFilePlace place;
    RemoveLeftoversBeside(path, mark);
    place.taken = NameTaken(path);
    if (!FreeNameBeside(path, mark, place.temporary)) {
        place.error = GetLastError();
        place.temporary.clear();
    }
    return place;
}

std::wstring NumberedName(const std::wstring& path, unsigned k) {
    const std::wstring folder = ParentOf(path, L'\\');
    const std::wstring name = path.substr(folder.size());
    size_t dot = name.rfind(L'.');
    if (dot == 0 || dot == std::wstring::npos)
        dot = name.size();
    return folder + name.substr(0, dot) + L" (" + Decimal(k) + L")" + name.substr(dot);
}
