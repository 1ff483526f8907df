// Test trees, cancelling progress and direct worker runs.
#include "job_test_support.h"

#include "engine/block_pipe.h"

#include <atomic>

namespace testing_support {

Bytes TreeFileBytes(const std::vector<TreeEntry>& entries, size_t index) {
    return PatternBytes(static_cast<size_t>(entries[index].size), static_cast<uint32_t>(index + 7));
}

bool MakeTree(const std::wstring& root, const std::vector<TreeEntry>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::wstring path = root + L"\\" + entries[i].path;
        bool ok =
            entries[i].size < 0 ? MakeDir(path) : WriteFileBytes(path, TreeFileBytes(entries, i));
        if (!ok)
            return false;
    }
    return true;
}

bool TreeMatches(const std::wstring& root, const std::vector<TreeEntry>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::wstring path = root + L"\\" + entries[i].path;
        if (entries[i].size < 0 ? !IsDir(path)
                                : ReadFileBytes(path) != TreeFileBytes(entries, i) || IsDir(path))
            return false;
    }
    return true;
}

EncryptionOutcome EncryptSnapshots(const std::vector<CPathInfo>& items,
                                   const std::wstring& container, const std::wstring& password,
                                   zelprogress::IProgressUpdate& progress, bool replaceExisting) {
    EncryptRequest request;
    request.items = items;
    request.containerPath = container;
    for (const CPathInfo& item : items)
        request.totalSize += item.GetTotalSize();
    request.replaceExisting = replaceExisting;
    return RunEncryptJob(request, password, progress, RunWorkerAndWait);
}

namespace {

struct StopPoint {
    std::wstring folder;
    int flushes = 0;
    int at = 0;
    bool copied = false;
};
StopPoint g_stop;

// After the copy the flush fails: the job ends there, and what it would
// have done after a kill (nothing) is what the copy shows.
BOOL WINAPI CopyAtFlush(HANDLE file) {
    if (g_stop.flushes++ == g_stop.at) {
        g_stop.copied = CopyTree(g_stop.folder, g_stop.folder + L".stopped");
        SetLastError(ERROR_IO_DEVICE);
        return FALSE;
    }
    return FlushFileBuffers(file);
}

} // namespace

bool DecryptStoppedAt(const std::wstring& container, const std::wstring& password, int flushAt,
                      size_t replaceConsent) {
    g_stop = StopPoint{ParentOf(container, L'\\'), 0, flushAt, false};
    g_stop.folder.pop_back();
    g_flushRestoredFile = CopyAtFlush;
    CAtomicProgress progress;
    RunDecryption(container, password, progress, replaceConsent);
    g_flushRestoredFile = ::FlushFileBuffers;
    if (!g_stop.copied)
        return false;
    RemoveTree(g_stop.folder);
    return MoveFileW((g_stop.folder + L".stopped").c_str(), g_stop.folder.c_str()) != 0;
}

std::vector<std::wstring> LeftoverNames(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : ListNames(folder)) {
        if (name.find(kPartialMark) != std::wstring::npos ||
            name.find(kBackupMark) != std::wstring::npos ||
            name.find(L".tl-journal") != std::wstring::npos)
            found.push_back(name);
    }
    return found;
}

namespace {

std::atomic<int> g_readsLeft{0};
DWORD g_readError = ERROR_SUCCESS;

BOOL WINAPI ReadThenFail(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD got,
                         LPOVERLAPPED overlapped) {
    if (g_readsLeft.fetch_sub(1) <= 0) {
        SetLastError(g_readError);
        return FALSE;
    }
    return ::ReadFile(file, buffer, bytes, got, overlapped);
}

} // namespace

FailingReadAhead::FailingReadAhead(int failFrom, DWORD error) {
    g_readsLeft = failFrom;
    g_readError = error;
    g_readAheadFile = ReadThenFail;
}

FailingReadAhead::~FailingReadAhead() {
    g_readAheadFile = ::ReadFile;
}

} // namespace testing_support
