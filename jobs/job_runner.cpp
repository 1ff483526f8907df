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
                                zelprogress::IProgressUpdate& progress, bool replaceExisting,
                                ContainerFormat format) {
    EncryptRequest request;
    for (const std::wstring& path : paths)
        request.items.emplace_back(path);
    request.containerPath = containerPath;
    if (request.containerPath.empty() && request.items.size() == 1)
        request.containerPath = ContainerPathBesideItem(request.items[0]);
    for (const CPathInfo& item : request.items)
        request.totalSize += item.GetTotalSize();
    request.replaceExisting = replaceExisting;
    request.format = format;
    return RunEncryptJob(request, password, progress, RunWorkerAndWait);
}

DecryptionOutcome RunDecryption(const std::wstring& containerPath, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, size_t replaceConsent) {
    DecryptRequest request;
    request.container = CPathInfo(containerPath);
    request.replaceConsent = replaceConsent;
    return RunDecryptJob(request, password, progress, RunWorkerAndWait);
}
