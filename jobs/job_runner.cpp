// Headless job runs: one worker thread per job, joined before results are read.
#include "jobs/job_runner.h"

#include "common/unique_handle.h"
#include "jobs/decrypt_job.h"
#include "jobs/encrypt_job.h"

bool RunWorkerAndWait(LPTHREAD_START_ROUTINE worker, void* params) {
    UniqueThread thread(CreateThread(nullptr, 0, worker, params, 0, nullptr));
    if (!thread)
        return false;
    WaitForSingleObject(thread.Get(), INFINITE);
    return true;
}

EncryptionOutcome RunEncryption(const std::vector<std::wstring>& paths,
                                const std::wstring& containerPath, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, bool replaceExisting) {
    std::vector<CPathInfo> items;
    for (const std::wstring& path : paths)
        items.emplace_back(path);
    std::wstring container = containerPath;
    if (container.empty() && items.size() == 1)
        container = ContainerPathBesideItem(items[0]);
    uint64_t totalSize = 0;
    for (const CPathInfo& item : items)
        totalSize += item.GetTotalSize();

    EncryptionOutcome outcome;
    EncryptJobParams params{password,  progress,        items,  container,
                            totalSize, replaceExisting, outcome};
    outcome.started = RunWorkerAndWait(EncryptWorker, &params);
    return outcome;
}

DecryptionOutcome RunDecryption(const std::wstring& containerPath, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, size_t replaceConsent) {
    const CPathInfo container(containerPath);
    DecryptionOutcome outcome;
    DecryptJobParams params{progress, password, container, replaceConsent, outcome};
    outcome.started = RunWorkerAndWait(DecryptWorker, &params);
    return outcome;
}
