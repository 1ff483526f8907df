// Runs a job without any window: a progress object made of atomics, and
// helpers that start a worker on its own thread with a parameter block and
// wait for it. Tests and the benchmark drive the jobs through these; the
// dialogs use the same workers with their progress window instead.
#pragma once

#include "common/progress_update.h"
#include "jobs/decrypt_job.h"
#include "jobs/encrypt_job.h"
#include "jobs/path_info.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Progress that only stores what the worker reports. Cancel() may be called
// from any thread; the worker sees it at its next block boundary.
class CAtomicProgress : public zelprogress::IProgressUpdate {
public:
    void SetTotal(uint64_t total) override { total_.store(total, std::memory_order_relaxed); }
    void SetCurrent(uint64_t current, uint64_t) override {
        current_.store(current, std::memory_order_relaxed);
    }
    void SetFinished(int32_t status) override {
        status_.store(status, std::memory_order_relaxed);
        finishedCalls_.fetch_add(1, std::memory_order_relaxed);
    }
    bool IsCancelled() override { return cancelled_.load(std::memory_order_relaxed); }
    uint64_t GetCurrent() override { return current_.load(std::memory_order_relaxed); }

    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    uint64_t GetTotal() const { return total_.load(std::memory_order_relaxed); }
    bool IsFinished() const { return finishedCalls_.load(std::memory_order_relaxed) > 0; }
    // How often SetFinished was called: exactly once for every job.
    int FinishedCalls() const { return finishedCalls_.load(std::memory_order_relaxed); }
    int32_t FinishedStatus() const { return status_.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> total_{0};
    std::atomic<uint64_t> current_{0};
    std::atomic<int32_t> status_{0};
    std::atomic<int> finishedCalls_{0};
    std::atomic<bool> cancelled_{false};
};

// Starts worker(params) on a new thread and waits for it to end. False (and
// the last error set) when the thread could not be started.
bool RunWorkerAndWait(LPTHREAD_START_ROUTINE worker, void* params);

// Encrypts the paths (snapshots taken now) into containerPath; an empty
// containerPath with one path means "beside the item". A file that already
// has the container's name is replaced only when replaceExisting is set.
EncryptionOutcome RunEncryption(const std::vector<std::wstring>& paths,
                                const std::wstring& containerPath, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress,
                                bool replaceExisting = false,
                                ContainerFormat format = ContainerFormat::Authenticated);

// Restores the container beside itself. Existing items are replaced only
// when replaceConsent equals their count (see DecryptionOutcome).
DecryptionOutcome RunDecryption(const std::wstring& containerPath, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, size_t replaceConsent = 0);
