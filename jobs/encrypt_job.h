// The encryption job: writes the selected items into one ".lock" container
// and, once the container is on the disk and has been read back whole,
// deletes exactly what it stored. The worker needs nothing but its parameter
// block, so dialogs, tests and the benchmark all drive the same code. Also
// here: where a container goes by default.
#pragma once

#include "common/progress_update.h"
#include "engine/container.h"
#include "jobs/job_result.h"
#include "jobs/job_start.h"
#include "jobs/path_info.h"
#include "jobs/timestamp.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A source that is still on the disk after a successful job, and why.
struct LeftItem {
    enum class Reason {
        Changed,       // written to after it was stored
        NotStored,     // a link (or other reparse point): neither stored nor entered
        SameFile,      // the same file as one stored under another name
        Added,         // a folder that holds items added after it was listed
        CouldNotDelete // the system refused (read-only, in use); see error
    };
    std::wstring path;
    Reason reason;
    DWORD error = ERROR_SUCCESS;
};

// What an encryption came to. Written by the worker, read by its owner only
// after the worker thread has ended.
struct EncryptionOutcome {
    bool started = false; // the worker thread ran
    // Meaningful once started; never NeedsConsent (the dialog asks first).
    JobResult result = JobResult::Failed;
    std::wstring errorText; // set exactly when result is Failed
    // Sources that stay beside the complete container, in the order met.
    std::vector<LeftItem> leftBehind;
};

// What an encryption is asked to do, filled in by name. The password and the
// progress come beside it: the one stays where its owner wipes it, the other
// is a window or a test's.
struct EncryptRequest {
    std::vector<CPathInfo> items; // snapshots taken by the caller
    std::wstring containerPath;
    uint64_t totalSize = 0;
    // The user agreed to replace a file that already has the container's
    // name (it goes to the Recycle Bin); without it such a file is never
    // touched.
    bool replaceExisting = false;
    // The old format only when asked for: it protects little.
    ContainerFormat format = ContainerFormat::Authenticated;
    // The user was told that the Recycle Bin cannot take that file and
    // agreed to have it deleted.
    bool replaceForGood = false;
};

// Builds the worker's parameter block from the request and runs the worker
// through start; the worker calls progress.SetFinished exactly once. The
// outcome's started tells whether it ran.
EncryptionOutcome RunEncryptJob(const EncryptRequest& request, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, const JobStarter& start);

// What the encryption learns about a file it has opened (as itself, with
// FILE_FLAG_OPEN_REPARSE_POINT): its attributes, whose reparse-point bit
// tells a link or any other reparse point from content, and the index that
// tells one file met under two names on its volume. Windows answers through the
// handle; this Wine cannot make a file reparse point, so tests swap in one
// that supplies the attributes for chosen paths.
struct OpenedFileIdentity {
    DWORD attributes = 0;
    uint64_t index = 0; // unique on its volume
};
using IdentifyFileFunction = bool (*)(HANDLE file, const std::wstring& path,
                                      OpenedFileIdentity& identity);
bool IdentifyOpenedFile(HANDLE file, const std::wstring& path, OpenedFileIdentity& identity);
extern IdentifyFileFunction g_identifyOpenedFile;

// Reads a container back from the disk with the decryption's reading code
// and compares it with what its writer reported: every record passes the
// name rules a restore applies, every body has its length, and the bytes
// have the count and checksum they were written with.
enum class ReadBack { Same, Differs, Cancelled };
ReadBack ReadContainerBack(const std::wstring& path, const std::wstring& password, uint64_t records,
                           uint64_t bytes, uint64_t checksum,
                           zelprogress::IProgressUpdate& progress);

// The user-visible list of what stayed: the first few items with their
// reasons, and how many more there are. Empty when nothing stayed.
std::wstring DescribeLeftItems(const std::vector<LeftItem>& items);

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
// True when every item is a link: nothing would be stored.
bool NothingToStore(const std::vector<CPathInfo>& items);
