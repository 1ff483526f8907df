// Deleting what the encryption stored; see stored_sources.h.
#include "jobs/stored_sources.h"

#include "common/unique_handle.h"
#include "engine/paths.h"
#include "jobs/path_info.h"

#include <algorithm>
#include <utility>

bool SizeAndWriteTime(HANDLE file, uint64_t& size, FILETIME& lastWrite) {
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(file, &bytes) || !GetFileTime(file, nullptr, nullptr, &lastWrite))
        return false;
    size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
}

namespace {

bool SameFileTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

enum class DeleteResult { Deleted, Gone, Changed, Failed };

// True when the folder (ending in '\\') holds an entry that is neither in
// the list of what stays nor a folder that stays for what it holds.
bool HoldsUnlisted(const std::wstring& folder, const std::vector<LeftItem>& left,
                   const std::vector<std::wstring>& keptFolders) {
    std::vector<CPathInfo> children;
    CPathInfo(folder).ListChildren(children, L"*.*");
    for (const CPathInfo& child : children) {
        const std::wstring& path = child.GetPath();
        if (std::none_of(left.begin(), left.end(),
                         [&](const LeftItem& item) { return SamePathText(item.path, path); }) &&
            std::none_of(keptFolders.begin(), keptFolders.end(),
                         [&](const std::wstring& kept) { return SamePathText(kept, path); }))
            return true;
    }
    return false;
}

// Deletes a file only if it still has the size and last-write time it had
// when it was read. The check and the deletion happen on one handle that
// lets nobody write in between.
DeleteResult DeleteFileIfUnchanged(const std::wstring& path, uint64_t size,
                                   const FILETIME& lastWrite, DWORD& error) {
    UniqueFileHandle file(CreateFileW(ExtendedPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                   ? DeleteResult::Gone
                   : DeleteResult::Failed;
    }
    // Opened without backup semantics, the handle cannot be a folder's.
    uint64_t now = 0;
    FILETIME written;
    if (!SizeAndWriteTime(file.Get(), now, written)) {
        error = GetLastError();
        return DeleteResult::Failed;
    }
    if (now != size || !SameFileTime(written, lastWrite))
        return DeleteResult::Changed;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
        error = GetLastError();
        return DeleteResult::Failed;
    }
    return DeleteResult::Deleted;
}

} // namespace

void CStoredSources::DeleteUnchanged(zelprogress::IProgressUpdate& progress,
                                     std::vector<LeftItem>& left) {
    for (const Link& link : links_) {
        left.push_back(LeftItem{link.path, link.reason});
        MarkKept(link.folder);
    }
    bool cancelled = false;
    for (const File& file : files_) {
        const std::wstring path = folders_[file.folder].path + file.name;
        // After a cancel the container is complete; what is not yet deleted
        // simply stays, and is reported like everything else that stays.
        if (!cancelled && progress.IsCancelled())
            cancelled = true;
        DWORD error = ERROR_SUCCESS;
        DeleteResult result = cancelled
                                  ? DeleteResult::Failed
                                  : DeleteFileIfUnchanged(path, file.size, file.lastWrite, error);
        if (cancelled)
            error = ERROR_CANCELLED;
        if (result == DeleteResult::Deleted || result == DeleteResult::Gone)
            continue;
        left.push_back(LeftItem{path,
                                result == DeleteResult::Changed ? LeftItem::Reason::Changed
                                                                : LeftItem::Reason::CouldNotDelete,
                                error});
        MarkKept(file.folder);
    }
    // Deepest first: the walk added every folder before those below it.
    std::vector<std::wstring> keptFolders;
    for (size_t i = folders_.size(); i-- > 0;) {
        Folder& folder = folders_[i];
        if (!folder.stored || (!cancelled && RemoveDirectoryW(ExtendedPath(folder.path).c_str())))
            continue;
        const DWORD error = cancelled ? ERROR_CANCELLED : GetLastError();
        std::wstring path = folder.path;
        path.pop_back();
        // A folder that stays only because of what is already listed, also
        // deeper down, needs no line of its own; one that holds something
        // new does.
        if (error == ERROR_DIR_NOT_EMPTY && HoldsUnlisted(folder.path, left, keptFolders))
            left.push_back(LeftItem{path, LeftItem::Reason::Added, error});
        else if (!folder.keeps)
            left.push_back(LeftItem{path, LeftItem::Reason::CouldNotDelete, error});
        else
            keptFolders.push_back(path);
        MarkKept(folder.parent);
    }
}
