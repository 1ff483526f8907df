// Test trees, cancelling progress and direct worker runs.
#include "job_test_support.h"

#include "container_reader.h"
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

std::vector<std::wstring> LeftoverNames(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : ListNames(folder)) {
        if (name.find(kPartialMark) != std::wstring::npos ||
            name.find(kBackupMark) != std::wstring::npos)
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
