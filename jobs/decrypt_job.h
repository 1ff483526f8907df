// The decryption job: restores every file and folder of a ".lock" container
// into the folder that holds it, then deletes the container. Nothing is ever
// written outside that folder, and a failed or cancelled run leaves every
// file that existed before it as it was. The worker needs nothing but its
// parameter block and never touches a window.
#pragma once

#include "common/progress_update.h"
#include "engine/container.h"
#include "jobs/path_info.h"

#include <windows.h>

#include <string>
#include <vector>

// Handed to DecryptWorker; lives with its owner until the worker has ended.
// Everything but the inputs is written by the worker and read by the owner
// only after the worker thread has ended.
struct DecryptJobParams {
    zelprogress::IProgressUpdate& progress;
    const std::wstring& password;
    std::wstring& resultPath; // first restored item; kept when already set
    std::vector<CPathInfo>& createdFiles;
    const CPathInfo& container;
    bool& succeeded;
    std::wstring& errorText;
    // Set on success when the container could not be deleted; the owner
    // shows it before reporting success.
    std::wstring& warningText;
};

// Thread entry; params is a DecryptJobParams. Calls SetFinished exactly once.
DWORD WINAPI DecryptWorker(LPVOID params);

// A file this job put in place over an existing one: its entry in the
// created-files list, and where the file it replaced waits until the job has
// either succeeded or been undone. New files need no entry of their own, so
// the journal costs nothing per file in the usual case.
struct RestoredFile {
    size_t created;
    std::wstring backup;
};

// Restores one file record whose body follows in container: written in
// place when nothing had the target's name (claimed by exclusive creation),
// otherwise under a temporary name and then moved into place, an existing
// file moved aside first.
// False on failure or cancel, with nothing of this record left behind and
// the last error telling why.
bool DecryptFileEntry(zelprogress::IProgressUpdate& progress, const std::wstring& outputFolder,
                      std::wstring& resultPath, std::vector<CPathInfo>& createdFiles,
                      std::vector<RestoredFile>& restored, const EntryInfo& entry,
                      IInputStream& container, EncFile& cipher);

// The folder that holds the container, as a full path without a final '\'.
std::wstring OutputFolderOf(const CPathInfo& container);
// Where a record is restored: the output folder, its folder path and name,
// with '/' turned into '\'.
std::wstring TargetPathOf(const std::wstring& outputFolder, const EntryInfo& entry);
// Why a record may not be restored where it says (empty when it may): a
// "." or ".." component, a drive, root or device name, a backslash, a colon,
// a control character, a link on the way, or any other way out of the folder.
// verifiedFolder, when given, remembers between calls the last folder found
// free of links.
std::wstring CheckEntryPlace(const std::wstring& outputFolder, const EntryInfo& entry,
                             std::wstring* verifiedFolder = nullptr);
