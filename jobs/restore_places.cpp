// The decryption's small path questions; see restore_places.h.
#include "jobs/restore_places.h"

#include "common/unique_handle.h"
#include "jobs/path_info.h"

#include <windows.h>

std::wstring FolderOf(const std::wstring& path) {
    std::wstring folder = ParentOf(path, L'\\');
    if (!folder.empty())
        folder.pop_back();
    return folder;
}

std::wstring ShownPlace(const EntryInfo& entry) {
    std::wstring text = entry.folderPath;
    if (text.empty() || text.back() != L'/')
        text += L'/';
    text += entry.name;
    for (wchar_t& c : text) {
        if (c < 0x20)
            c = L'?';
    }
    return text;
}

bool NameTakenUnseen(const std::wstring& path) {
    UniqueFileHandle probe(CreateFileW(ExtendedPath(path).c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                       nullptr));
    const DWORD error = GetLastError();
    return !probe && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
}
