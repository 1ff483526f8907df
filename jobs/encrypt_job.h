// The encryption job: writes the selected items into one ".lock" container
// and, once the container is surely on disk, deletes them. The worker needs
// nothing but its parameter block, so dialogs, tests and the benchmark all
// drive the same code. Also here: where a container goes by default.
#pragma once

#include "common/progress_update.h"
#include "engine/container.h"
#include "jobs/path_info.h"
#include "jobs/timestamp.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Handed to EncryptWorker; lives with its owner until the worker has ended.
// The worker writes succeeded and errorText; the owner reads them only after
// the worker thread has ended.
struct EncryptJobParams {
    const std::wstring& password;
    zelprogress::IProgressUpdate& progress;
    const std::vector<CPathInfo>& items;
    bool& succeeded;
    const std::wstring& containerPath;
    const uint64_t& totalSize;
    std::wstring& errorText;
};

// Thread entry; params is an EncryptJobParams. Calls SetFinished exactly once.
DWORD WINAPI EncryptWorker(LPVOID params);

// Writes one item, and for a folder everything below it, under folderPath.
// On failure reason holds what to tell the user after the item's path (the
// system text, or which file changed size); a cancel leaves it empty.
// Folder links are skipped: neither stored nor entered.
bool EncryptItem(zelprogress::IProgressUpdate& progress, const std::wstring& folderPath,
                 const CPathInfo& item, IOutputStream& container, EncFile& cipher,
                 std::wstring& reason);

// One item: the container beside it, named after it. A relative item is
// resolved against the current folder first.
std::wstring ContainerPathBesideItem(const CPathInfo& item);
// Several items: the default file name offered for the container, the date
// and time numbers run together, e.g. "201357935.lock".
std::wstring DefaultContainerName(const CTimeStamp& when);
// The comma-separated list of the items as shown to the user and their total
// size. Returns the index of the first item that does not exist, or -1.
int SummarizeItems(const std::vector<CPathInfo>& items, std::wstring& listText,
                   uint64_t& totalSize);
// The item that the container path equals or lies inside (compared as full
// paths, ignoring case), or null. Such a container would be deleted with it.
const CPathInfo* FindItemHoldingPath(const std::vector<CPathInfo>& items,
                                     const std::wstring& containerPath);
