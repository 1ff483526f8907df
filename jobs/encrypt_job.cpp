// The encryption worker. The container is written under a temporary name
// beside its final path and moved into place only when every byte is on the
// disk; only then are the sources deleted. Any doubt leaves every source and
// any earlier file at the container path as they were.
#include "jobs/encrypt_job.h"

#include "jobs/job_texts.h"

#include <algorithm>
#include <new>

namespace {

constexpr int kContainerBufferBytes = 0x100000;
constexpr int64_t kReadBlockBytes = 0x40000;

// Counts what reaches the container, so the size on the disk can be checked.
class CountingOutputStream : public IOutputStream {
public:
    explicit CountingOutputStream(IOutputStream& sink) : sink_(sink) {}
    int Write(const uint8_t* data, int offset, int count) override {
        int accepted = sink_.Write(data, offset, count);
        if (accepted > 0)
            count_ += static_cast<uint64_t>(accepted);
        return accepted;
    }
    bool Close() override { return sink_.Close(); }
    bool Flush() override { return sink_.Flush(); }
    uint64_t Count() const { return count_; }

private:
    IOutputStream& sink_;
    uint64_t count_ = 0;
};

std::wstring ChildFolderPath(const std::wstring& folderPath, const std::wstring& name) {
    if (!folderPath.empty() && folderPath.back() == L'/')
        return folderPath + name;
    return folderPath + L'/' + name;
}

// A name beside the container that nothing uses yet.
std::wstring ChoosePartialPath(const std::wstring& containerPath) {
    std::wstring candidate;
    for (unsigned k = 0; k < 10000; ++k) {
        candidate = containerPath + FormatString(L".partial%lx-%x", GetCurrentThreadId(), k);
        if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND)
            break;
    }
    return candidate;
}

// Stores exactly the size the snapshot gave. A file that ends early or has
// bytes beyond that size would shift every later record of the container.
bool EncryptFileBody(zelprogress::IProgressUpdate& progress, const CPathInfo& file,
                     IOutputStream& container, EncFile& cipher, std::wstring& reason) {
    using namespace jobtext;
    const int64_t size = static_cast<int64_t>(file.GetTotalSize());
    if (size <= 0) {
        // Deleting a file that has gained content since would lose it.
        CPathInfo now(file.GetPath());
        if (now.IsFile() && now.GetTotalSize() > 0) {
            reason = kTheFile + file.GetPath() + kFileGrew;
            return false;
        }
        return true;
    }
    const int block = static_cast<int>(std::min(size, kReadBlockBytes));
    CBufferedFileInputStream stream(block);
    if (!stream.Open(file.GetPath())) {
        reason = GetSystemErrorText();
        return false;
    }
    IInputStream& input = static_cast<CBufferedInputStream&>(stream);
    std::vector<uint8_t> buffer(static_cast<size_t>(block));
    int64_t remaining = size;
    while (remaining > 0) {
        SetLastError(0);
        int count =
            input.Read(buffer.data(), 0, static_cast<int>(std::min<int64_t>(block, remaining)));
        if (count <= 0) {
            reason = kTheFile + file.GetPath() + kFileEndedEarly + GetSystemErrorText();
            return false;
        }
        if (progress.IsCancelled())
            return false;
        SetLastError(0);
        if (!cipher.EncryptBlock(buffer.data(), 0, count, container)) {
            reason = GetSystemErrorText();
            return false;
        }
        remaining -= count;
        progress.SetCurrent(progress.GetCurrent() + static_cast<uint64_t>(count), 0);
    }
    uint8_t extra = 0;
    if (input.Read(&extra, 0, 1) > 0) {
        reason = kTheFile + file.GetPath() + kFileGrew;
        return false;
    }
    return true;
}

[[noreturn]] void Fail(const std::wstring& text) {
    throw JobFailure(text);
}

void RefuseContainerInsideItems(const std::vector<CPathInfo>& items,
                                const std::wstring& containerPath) {
    if (const CPathInfo* holder = FindItemHoldingPath(items, containerPath))
        Fail(jobtext::kWrite + containerPath + L"." + jobtext::kContainerInsideItem +
             holder->PathWithSeparator() + jobtext::kContainerInsideItemEnd);
}

void RunEncryption(EncryptJobParams& params) {
    using namespace jobtext;
    const std::wstring containerPath = params.containerPath;
    const auto& items = params.items;
    auto& progress = params.progress;
    std::wstring partialPath;
    try {
        std::wstring password = params.password;
        RC4EncStdFile cipher(password);
        WipeSecret(password);
        RefuseContainerInsideItems(items, containerPath);

        partialPath = ChoosePartialPath(containerPath);
        CBufferedFileOutputStream file(kContainerBufferBytes);
        if (!file.Open(partialPath, false)) {
            std::wstring text = kWrite + containerPath + L"." + GetSystemErrorText();
            partialPath.clear();
            Fail(text);
        }
        progress.SetTotal(params.totalSize);
        CountingOutputStream container(static_cast<CBufferedOutputStream&>(file));

        SetLastError(0);
        if (!cipher.WriteHeader(container))
            Fail(kWriteHeaderError + GetSystemErrorText());
        std::wstring folderPath = L"/";
        if (items.size() > 1) {
            EntryInfo top;
            top.isFile = false;
            top.name = GetStem(containerPath);
            SetLastError(0);
            if (!cipher.WriteEntryHeader(folderPath, top, container))
                Fail(kEncryptError + GetSystemErrorText());
            folderPath += top.name;
        }
        for (const CPathInfo& item : items) {
            std::wstring reason;
            if (!EncryptItem(progress, folderPath, item, container, cipher, reason)) {
                if (progress.IsCancelled())
                    Fail(std::wstring());
                Fail(kEncryptError + item.PathWithSeparator() + L"\n" + reason);
            }
        }

        // Every byte must have reached the device before anything is deleted.
        SetLastError(0);
        if (!file.Commit() || !static_cast<CBufferedOutputStream&>(file).Close())
            Fail(kWrite + containerPath + L"." + GetSystemErrorText());
        CPathInfo written(partialPath);
        if (!written.IsFile() || written.GetTotalSize() != container.Count())
            Fail(kWrite + containerPath + L"." + kContainerIncomplete);
        if (!MoveFileExW(partialPath.c_str(), containerPath.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            Fail(kWrite + containerPath + L"." + GetSystemErrorText());
        partialPath.clear();

        if (CPathInfo(containerPath).Exists()) {
            for (const CPathInfo& item : items) {
                // A selected link was not stored, so it stays.
                if (!item.IsLinkFolder())
                    item.DeleteTree();
            }
        }
        params.succeeded = true;
    } catch (const JobFailure& failure) {
        params.errorText = failure.Text();
    } catch (const std::bad_alloc&) {
        params.errorText = std::wstring(kEncryptError) + kOutOfMemory;
    }
    if (!partialPath.empty())
        DeleteFileW(partialPath.c_str());
    if (!params.succeeded && progress.IsCancelled())
        params.errorText.clear();
}

} // namespace

DWORD WINAPI EncryptWorker(LPVOID raw) {
    auto* params = static_cast<EncryptJobParams*>(raw);
    try {
        RunEncryption(*params);
    } catch (...) {
        params->succeeded = false;
    }
    params->progress.SetFinished(params->succeeded ? 0 : 1);
    return 0;
}

bool EncryptItem(zelprogress::IProgressUpdate& progress, const std::wstring& folderPath,
                 const CPathInfo& item, IOutputStream& container, EncFile& cipher,
                 std::wstring& reason) {
    if (progress.IsCancelled())
        return false;
    if (!item.Exists()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        reason = GetSystemErrorText();
        return false;
    }
    if (item.IsLinkFolder())
        return true;
    EntryInfo entry;
    entry.isFile = item.IsFile();
    entry.name = item.GetName();
    if (entry.isFile) {
        entry.modifiedTime = CTimeStamp::FromFileTime(item.GetLastWriteTime()).Seconds();
        entry.size = static_cast<int64_t>(item.GetTotalSize());
    }
    SetLastError(0);
    if (!cipher.WriteEntryHeader(folderPath, entry, container)) {
        reason = GetSystemErrorText();
        return false;
    }
    if (!item.IsDirectory())
        return EncryptFileBody(progress, item, container, cipher, reason);

    const std::wstring childFolderPath = ChildFolderPath(folderPath, entry.name);
    std::vector<CPathInfo> children;
    if (!item.ListChildren(children, L"*.*")) {
        reason = GetSystemErrorText();
        return false;
    }
    for (const CPathInfo& child : children) {
        if (!EncryptItem(progress, childFolderPath, child, container, cipher, reason))
            return false;
    }
    return true;
}

std::wstring ContainerPathBesideItem(const CPathInfo& item) {
    const std::wstring& path = item.GetPath();
    if (IsRelativePath(path)) {
        CPathInfo full(GetFullPath(path));
        if (full.Exists())
            return ContainerPathBesideItem(full);
    }
    std::wstring folder = item.IsFile() ? item.GetFolder() : item.GetParent().GetFolder();
    return folder + item.GetName() + L".lock";
}

std::wstring DefaultContainerName(const CTimeStamp& when) {
    return FormatString(L"%d%d%d%d%d%d%s", when.Year(), when.Month(), when.Day(), when.Hour(),
                        when.Minute(), when.Second(), L".lock");
}

int SummarizeItems(const std::vector<CPathInfo>& items, std::wstring& listText,
                   uint64_t& totalSize) {
    listText.clear();
    totalSize = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].Exists())
            return static_cast<int>(i);
        listText += L',';
        listText += items[i].PathWithSeparator();
        totalSize += items[i].GetTotalSize();
    }
    if (!listText.empty())
        listText.erase(0, 1);
    return -1;
}

const CPathInfo* FindItemHoldingPath(const std::vector<CPathInfo>& items,
                                     const std::wstring& containerPath) {
    const std::wstring container = GetFullPath(containerPath);
    for (const CPathInfo& item : items) {
        std::wstring itemPath = GetFullPath(item.GetPath());
        if (itemPath.size() > 3 && itemPath.back() == L'\\')
            itemPath.pop_back();
        if (SamePathText(container, itemPath) ||
            (item.IsDirectory() && IsPathBelow(container, itemPath)))
            return &item;
    }
    return nullptr;
}
