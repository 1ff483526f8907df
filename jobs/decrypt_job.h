// The decryption job: restores every file and folder of a ".lock" container
// into the folder that holds it, then deletes the container. Before anything
// is written the job reads every record header: a container with a record
// it would refuse changes nothing, and items that already exist are replaced
// only with the user's consent, and then kept in the Recycle Bin. Nothing is
// ever written outside the folder, a failed or cancelled run leaves the
// folder as it was, and the container is deleted only once the restored
// files are on the device. The worker needs nothing but its parameter block
// and never touches a window.
#pragma once

#include "common/progress_update.h"
#include "engine/container.h"
#include "jobs/job_result.h"
#include "jobs/job_start.h"
#include "jobs/path_info.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// What a decryption came to. Written by the worker, read by its owner only
// after the worker thread has ended.
struct DecryptionOutcome {
    bool started = false;                 // the worker thread ran
    JobResult result = JobResult::Failed; // meaningful once started
    std::wstring errorText;               // set exactly when result is Failed
    // Set on success when the container could not be deleted; the owner
    // shows it before reporting success.
    std::wstring warningText;
    // The first item restored; the owner may preset it (kept when set).
    std::wstring resultPath;
    // With NeedsConsent: how many items of the container already exist,
    // and the first few of them. Nothing has been written then.
    size_t existingCount = 0;
    std::vector<std::wstring> existing;
    // With existing items: the drive has no Recycle Bin, so what is
    // replaced would be deleted for good. The question says so.
    bool recycleBinMissing = false;
    // Files stored more than once, restored beside the first under a free
    // name: how many, and the first few of those names.
    size_t renamedCount = 0;
    std::vector<std::wstring> renamed;
};

// What a decryption is asked to do, filled in by name; the password and the
// progress come beside it.
struct DecryptRequest {
    CPathInfo container;
    // How many existing items the user agreed to replace: the count an
    // earlier run reported in existingCount. Any other count asks again.
    size_t replaceConsent = 0;
    // The first item an earlier run of the same container restored, kept as
    // the result when set.
    std::wstring resultPath;
};

// Builds the worker's parameter block from the request and runs the worker
// through start; the worker calls progress.SetFinished exactly once. The
// outcome's started tells whether it ran.
DecryptionOutcome RunDecryptJob(const DecryptRequest& request, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, const JobStarter& start);

// How a restored file is forced to the device before the container may go.
// Whether a disk really got the bytes cannot be watched from a test, so
// tests swap this for a recorder. FlushFileBuffers is the default.
using FlushFileFunction = BOOL(WINAPI*)(HANDLE file);
extern FlushFileFunction g_flushRestoredFile;
// How a file the restore writes is created. A kill between the creation and
// the journal's record of it cannot be timed from a test, so tests swap this
// for one that looks at the journal first. CreateFileW is the default.
using CreateFileFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                           DWORD, HANDLE);
extern CreateFileFunction g_createRestoredFile;

// The user-visible list of existing items: the first few and how many more,
// and a line when what is replaced cannot go to the Recycle Bin.
std::wstring DescribeExistingItems(const DecryptionOutcome& outcome);
// After a success: which files were restored under another name because the
// container stored them more than once; empty when none were.
std::wstring DescribeRenamedItems(const DecryptionOutcome& outcome);

// The folder that holds the container, as a full path without a final '\'.
std::wstring OutputFolderOf(const CPathInfo& container);
// Where a record is restored: the output folder, then its folders and name
// as Windows names them (a trailing dot or blank dropped). Meaningful only
// for a record CheckEntryPlace accepts.
std::wstring TargetPathOf(const std::wstring& outputFolder, const EntryInfo& entry);
// The record's place as the user can read it; control characters shown as '?'.
std::wstring ShownPlace(const EntryInfo& entry);
// Why a record may not be restored where it says (empty when it may): a
// name the stored-name rule refuses (".", "..", separators, a drive, device
// names, control characters), a link on the way, or any other way out of
// the folder. verifiedFolder, when given, remembers between calls the last
// folder found free of links.
std::wstring CheckEntryPlace(const std::wstring& outputFolder, const EntryInfo& entry,
                             std::wstring* verifiedFolder = nullptr);
