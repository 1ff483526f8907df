// Path snapshots, tree operations, the Recycle Bin and message helpers.
#include "jobs/path_info.h"

#include "common/unique_handle.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdarg>
#include <map>
#include <mutex>
#include <cstdio>
#include <vector>

namespace {

bool EndsWithSeparator(const std::wstring& text) {
    return !text.empty() && text.back() == L'\\';
}

// The last component by the plain rule: text after the last '\', empty when
// the text ends in '\'.
std::wstring LastComponent(std::wstring path, bool isDirectory) {
    if (isDirectory && EndsWithSeparator(path))
        path.pop_back();
    size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos || cut + 1 == path.size())
        return std::wstring();
    return path.substr(cut + 1);
}

} // namespace

CPathInfo::CPathInfo(std::wstring path) : path_(std::move(path)) {
    Refresh();
}

CPathInfo::CPathInfo(const std::wstring& path, const WIN32_FIND_DATAW& found)
    : path_(path), exists_(true) {
    data_.dwFileAttributes = found.dwFileAttributes;
    data_.ftCreationTime = found.ftCreationTime;
    data_.ftLastAccessTime = found.ftLastAccessTime;
    data_.ftLastWriteTime = found.ftLastWriteTime;
    data_.nFileSizeHigh = found.nFileSizeHigh;
    data_.nFileSizeLow = found.nFileSizeLow;
}

void CPathInfo::Refresh() {
    WIN32_FILE_ATTRIBUTE_DATA fresh;
    exists_ = GetFileAttributesExW(ExtendedPath(path_).c_str(), GetFileExInfoStandard, &fresh) != 0;
    if (exists_)
        data_ = fresh;
}

bool CPathInfo::IsDirectory() const {
    return exists_ && (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CPathInfo::IsFile() const {
    return exists_ && (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CPathInfo::IsLinkFolder() const {
    return IsDirectory() && (data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool CPathInfo::IsLink() const {
    return exists_ && (data_.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::wstring CPathInfo::PathWithSeparator() const {
    if (IsDirectory() && !EndsWithSeparator(path_))
        return path_ + L'\\';
    return path_;
}

std::wstring CPathInfo::GetName() const {
    // A bare name from the command line has no '\' to cut at; its full path
    // gives the name the user sees in the folder.
    if (!path_.empty() && IsRelativePath(path_))
        return LastComponent(GetFullPath(path_), IsDirectory());
    return LastComponent(path_, IsDirectory());
}

CPathInfo CPathInfo::GetParent() const {
    if (!exists_)
        return CPathInfo(std::wstring());
    std::wstring s = path_;
    if (IsDirectory() && EndsWithSeparator(s))
        s.pop_back();
    return CPathInfo(ParentOf(s, L'\\'));
}

std::wstring CPathInfo::GetFolder() const {
    if (IsDirectory())
        return PathWithSeparator();
    if (IsFile())
        return GetParent().PathWithSeparator();
    return std::wstring();
}

uint64_t CPathInfo::GetTotalSize() const {
    if (IsLink())
        return 0;
    if (IsFile())
        return (static_cast<uint64_t>(data_.nFileSizeHigh) << 32) | data_.nFileSizeLow;
    if (!IsDirectory() || IsLinkFolder())
        return 0;
    std::vector<CPathInfo> children;
    if (!ListChildren(children, L"*.*"))
        return kUnknownTotalSize;
    uint64_t sum = 0;
    for (const CPathInfo& child : children) {
        uint64_t size = child.GetTotalSize();
        if (size == kUnknownTotalSize)
            return kUnknownTotalSize;
        sum += size;
    }
    return sum;
}

bool CPathInfo::ListChildren(std::vector<CPathInfo>& children, const std::wstring& pattern) const {
    if (!IsDirectory())
        return false;
    const std::wstring folder = PathWithSeparator();
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileExW(ExtendedPath(folder + pattern).c_str(),
                                             FindExInfoStandard, &found, FindExSearchNameMatch,
                                             nullptr, 0));
    if (!search)
        return false;
    do {
        const wchar_t* name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
            continue;
        children.emplace_back(folder + name, found);
    } while (FindNextFileW(search.Get(), &found));
    return true;
}

bool CPathInfo::CreateDirectories() {
    if (exists_)
        return true;
    std::wstring s = path_;
    if (s.empty())
        return false;
    if (EndsWithSeparator(s))
        s.pop_back();
    CPathInfo parent(ParentOf(s, L'\\'));
    if (parent.GetPath().empty())
        return true;
    if (!parent.CreateDirectories())
        return false;
    if (!CreateDirectoryW(ExtendedPath(PathWithSeparator()).c_str(), nullptr))
        return false;
    Refresh();
    return true;
}

bool CPathInfo::DeleteTree() const {
    if (IsLinkFolder()) {
        // Removing the link must never touch its target. Windows removes a
        // directory link with RemoveDirectoryW; Wine shows a Unix symbolic
        // link as such a folder but may only let it go as a file.
        if (RemoveDirectoryW(ExtendedPath(path_).c_str()))
            return true;
        DWORD err = GetLastError();
        if (DeleteFileW(ExtendedPath(path_).c_str()))
            return true;
        SetLastError(err);
        return false;
    }
    if (IsDirectory()) {
        std::vector<CPathInfo> children;
        ListChildren(children, L"*.*");
        for (const CPathInfo& child : children) {
            if (!child.DeleteTree())
                return false;
        }
        return RemoveDirectoryW(ExtendedPath(path_).c_str()) != 0;
    }
    return DeleteFileW(ExtendedPath(path_).c_str()) != 0;
}

std::wstring GetSystemErrorText() {
    return SystemErrorText(GetLastError());
}

namespace {

// inserts: null to leave the message's inserts as they are.
std::wstring SystemMessage(DWORD code, const DWORD_PTR* inserts) {
    if (code == 0)
        return std::wstring();
    wchar_t* text = nullptr;
    const DWORD how = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                      (inserts ? FORMAT_MESSAGE_ARGUMENT_ARRAY : FORMAT_MESSAGE_IGNORE_INSERTS);
    DWORD n = FormatMessageW(how, nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&text), 0,
                             reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
    UniqueLocal owner(text);
    std::wstring result = (n > 0 && text) ? std::wstring(text, n) : std::wstring();
    SetLastError(code);
    return result;
}

} // namespace

std::wstring SystemErrorText(DWORD code) {
    return SystemMessage(code, nullptr);
}

std::wstring SystemErrorTextAbout(DWORD code, const std::wstring& subject) {
    // A message may name inserts up to %99; each gets the subject.
    DWORD_PTR inserts[99];
    for (DWORD_PTR& insert : inserts)
        insert = reinterpret_cast<DWORD_PTR>(subject.c_str());
    return SystemMessage(code, inserts);
}

std::wstring WithoutLineEnd(std::wstring text) {
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return text;
}

namespace {

// The shell takes neither the "\\?\" prefix nor relative paths.
std::wstring ShellPath(const std::wstring& path) {
    std::wstring full = GetFullPath(path);
    if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + full.substr(8);
    if (full.compare(0, 4, L"\\\\?\\") == 0)
        return full.substr(4);
    return full;
}

} // namespace

bool HasRecycleBin(const std::wstring& path) {
    // Only local fixed drives keep a bin (network shares and removable
    // drives do not). The shell's answer counts every item in the bin, so it
    // is asked once per drive.
    const std::wstring full = ShellPath(path);
    if (full.size() < 3 || full[1] != L':' || full[2] != L'\\')
        return false;
    const std::wstring root = FoldCase(full.substr(0, 3));
    static std::mutex mutex;
    static std::map<std::wstring, bool> known;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = known.find(root);
    if (it != known.end())
        return it->second;
    SHQUERYRBINFO info = {};
    info.cbSize = sizeof info;
    const bool has = GetDriveTypeW(root.c_str()) == DRIVE_FIXED &&
                     SHQueryRecycleBinW(root.c_str(), &info) == S_OK;
    known.emplace(root, has);
    return has;
}

bool FitsRecycleBin(const std::wstring& path) {
    return ShellPath(path).size() < MAX_PATH;
}

bool MoveToRecycleBin(const std::wstring& path) {
    std::vector<std::wstring> paths = {path};
    MoveToRecycleBin(paths);
    if (paths.empty())
        return true;
    if (GetLastError() == ERROR_SUCCESS)
        SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

MoveOutcome MoveIntoPlace(const std::wstring& from, const std::wstring& to, Replacing replacing) {
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (replacing != Replacing::Nothing && NameTaken(to) && !MoveToRecycleBin(to)) {
        if (GetLastError() != ERROR_NOT_SUPPORTED || replacing != Replacing::EvenForGood)
            return MoveOutcome::NotRecycled;
        flags |= MOVEFILE_REPLACE_EXISTING;
    }
    // The place is taken again here, where it counts: without
    // MOVEFILE_REPLACE_EXISTING a file that took the name meanwhile stays.
    return MovePath(from, to, flags) ? MoveOutcome::Moved : MoveOutcome::Failed;
}

void MoveToRecycleBin(std::vector<std::wstring>& paths) {
    // Without a bin, or for a path too long for it, the shell would delete
    // for good, so it is not asked.
    std::wstring from;
    for (const std::wstring& path : paths) {
        const std::wstring full = ShellPath(path);
        if (full.size() < MAX_PATH && HasRecycleBin(full))
            from += full + L'\0';
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    if (!from.empty()) {
        from.push_back(L'\0'); // the list ends with an empty path
        // One operation for all: each costs milliseconds under Wine. The
        // call needs no COM of the caller's (starting COM under Wine takes
        // seconds, for its service process).
        SHFILEOPSTRUCTW operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
        const int result = SHFileOperationW(&operation);
        SetLastError(result != 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
    }
    // What is still in its place was not moved, whatever the shell said.
    const DWORD error = GetLastError();
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [](const std::wstring& path) {
                                   return GetFileAttributesW(ExtendedPath(path).c_str()) ==
                                          INVALID_FILE_ATTRIBUTES;
                               }),
                paths.end());
    SetLastError(error);
}

std::wstring FormatString(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int length = _vscwprintf(format, measure);
    va_end(measure);
    std::wstring result;
    if (length > 0) {
        std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
        _vsnwprintf(buffer.data(), static_cast<size_t>(length), format, args);
        result.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(args);
    return result;
}
