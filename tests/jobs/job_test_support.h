// Shared pieces of the job tests: trees made from tables, progress objects
// that cancel at a chosen moment, and direct worker runs on snapshots.
#pragma once

#include "jobs/encrypt_job.h"
#include "jobs/job_runner.h"
#include "support/test_files.h"

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// One entry of a test tree: a folder when size is -1, else a file of size
// pattern bytes seeded by its position in the table.
struct TreeEntry {
    std::wstring path; // relative, '\' separated
    int size;
};

// Creates the entries below root in table order.
bool MakeTree(const std::wstring& root, const std::vector<TreeEntry>& entries);
// True when every entry exists below root with its content.
bool TreeMatches(const std::wstring& root, const std::vector<TreeEntry>& entries);
Bytes TreeFileBytes(const std::vector<TreeEntry>& entries, size_t index);

// Runs an action once SetCurrent has been called `after` times, on the
// worker thread, while the job is between two blocks.
class ActingProgress : public CAtomicProgress {
public:
    ActingProgress(int after, std::function<void()> action)
        : remaining_(after), action_(std::move(action)) {}
    void SetCurrent(uint64_t current, uint64_t reserved) override {
        CAtomicProgress::SetCurrent(current, reserved);
        if (--remaining_ == 0)
            action_();
    }

private:
    int remaining_;
    std::function<void()> action_;
};

// Cancels once SetCurrent has been called `after` times (0: from the start).
class CancellingProgress : public ActingProgress {
public:
    explicit CancellingProgress(int after) : ActingProgress(after, [this] { Cancel(); }) {
        if (after == 0)
            Cancel();
    }
};

// Runs the encryption worker on snapshots the caller has already taken.
EncryptionOutcome EncryptSnapshots(const std::vector<CPathInfo>& items,
                                   const std::wstring& container, const std::wstring& password,
                                   zelprogress::IProgressUpdate& progress,
                                   bool replaceExisting = false);

// A decryption killed while it restores: the folder that holds the container
// (a folder of its own inside a scratch folder) is copied as it is when the job forces its
// flushAt-th file (0 is the first) to the device, and once the job has ended the copy takes the
// folder's place again. The folder then holds exactly what a kill at that
// moment would have left. False when the moment never came.
bool DecryptStoppedAt(const std::wstring& container, const std::wstring& password, int flushAt,
                      size_t replaceConsent = 0);

// Names in folder that look like a temporary, backup or journal file of a job.
std::vector<std::wstring> LeftoverNames(const std::wstring& folder);

// While it lives, the read-ahead's reads (on whatever thread) fail from the
// given read on with error, as a disk that goes bad partway would.
class FailingReadAhead {
public:
    FailingReadAhead(int failFrom, DWORD error);
    ~FailingReadAhead();
    FailingReadAhead(const FailingReadAhead&) = delete;
    FailingReadAhead& operator=(const FailingReadAhead&) = delete;
};

} // namespace testing_support
