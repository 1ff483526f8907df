// The decryption worker. Records are checked before anything is made for
// them; restored files are journalled so a failure or cancel can delete
// exactly what this job made and put back what it moved aside.
#include "jobs/decrypt_job.h"

#include "common/unique_handle.h"
#include "jobs/job_texts.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

namespace {

constexpr int kContainerBufferBytes = 0x2000;
constexpr int64_t kWriteBlockBytes = 0x100000;

// Counts what the codec and the body reads take from the container, so a
// record's size can be checked against what is left of it.
class CountingInputStream : public IInputStream {
public:
    explicit CountingInputStream(IInputStream& source) : source_(source) {}
    int Read(uint8_t* buffer, int offset, int count) override {
        int got = source_.Read(buffer, offset, count);
        if (got > 0)
            count_ += got;
        return got;
    }
    void Close() override { source_.Close(); }
    int64_t Count() const { return count_; }

private:
    IInputStream& source_;
    int64_t count_ = 0;
};

// Deletes a temporary file unless dismissed, keeping the last error of the
// failure that got us here.
class PartialFileGuard {
public:
    explicit PartialFileGuard(const std::wstring& path) : path_(path) {}
    ~PartialFileGuard() {
        if (path_.empty())
            return;
        DWORD err = GetLastError();
        DeleteFileW(path_.c_str());
        SetLastError(err);
    }
    PartialFileGuard(const PartialFileGuard&) = delete;
    PartialFileGuard& operator=(const PartialFileGuard&) = delete;
    void Dismiss() { path_.clear(); }

private:
    std::wstring path_;
};

// A name beside path, with the given mark, that nothing uses yet.
std::wstring FreeNameBeside(const std::wstring& path, const wchar_t* mark) {
    std::wstring candidate;
    for (unsigned k = 0; k < 10000; ++k) {
        candidate = path + FormatString(L"%s%lx-%x", mark, GetCurrentThreadId(), k);
        if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND)
            break;
    }
    return candidate;
}

bool IsReservedDeviceName(const std::wstring& component) {
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* name : kNames) {
        if (SamePathText(base, name))
            return true;
    }
    if (base.size() == 4 &&
        (SamePathText(base.substr(0, 3), L"COM") || SamePathText(base.substr(0, 3), L"LPT")))
        return base[3] >= L'0' && base[3] <= L'9';
    return false;
}

// One name of a path as stored: something Windows keeps as it is.
bool IsPlainComponent(const std::wstring& component) {
    if (component.empty() || component == L"." || component == L"..")
        return false;
    for (wchar_t c : component) {
        if (c < 0x20 || c == L'\\' || c == L'/' || c == L':')
            return false;
    }
    // Windows drops trailing dots and blanks, so "..." or ".. " would name
    // the folder above.
    if (component.back() == L'.' || component.back() == L' ')
        return false;
    return !IsReservedDeviceName(component);
}

// The record's place as the user can read it; control characters shown as '?'.
std::wstring ShownPlace(const EntryInfo& entry) {
    std::wstring text = entry.folderPath;
    if (text.empty() || text.back() != L'/')
        text += L'/';
    text += entry.name;
    for (wchar_t& c : text) {
        if (c < 0x20)
            c = L'?';
    }
    return text;
}

bool IsLink(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when path or a folder above it, below base, is a link.
bool PassesThroughLink(const std::wstring& base, std::wstring path) {
    while (IsPathBelow(path, base)) {
        if (IsLink(path))
            return true;
        path = ParentOf(path, L'\\');
        if (!path.empty())
            path.pop_back();
    }
    return false;
}

// Creates path as a new empty file; false (nothing touched) when anything
// already has that name or it cannot be created.
bool CreateExclusively(const std::wstring& path) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

// Deciphers the record's body into path, a file nothing else uses that is
// new or empty, and checks on the disk that it got exactly the record's
// size; written then holds the file's snapshot. False on failure or cancel,
// with the last error telling why.
bool WriteBody(zelprogress::IProgressUpdate& progress, const std::wstring& path,
               const EntryInfo& entry, IInputStream& container, EncFile& cipher,
               CPathInfo& written) {
    {
        const int block =
            static_cast<int>(std::min(std::max<int64_t>(entry.size, 0), kWriteBlockBytes));
        CBufferedFileOutputStream file(block);
        // Appending to a new or empty file writes the same bytes as creating
        // it. Create mode would also truncate the empty file, and a file
        // truncated to nothing is flushed to the disk as it is closed on
        // some file systems (ext4 under Wine): a third of the time of
        // restoring many small files.
        if (!file.Open(path, true))
            return false;
        IOutputStream& output = static_cast<CBufferedOutputStream&>(file);
        std::vector<uint8_t> buffer(static_cast<size_t>(block));
        int64_t remaining = entry.size;
        while (remaining > 0) {
            int count = container.Read(buffer.data(), 0,
                                       static_cast<int>(std::min<int64_t>(block, remaining)));
            if (count <= 0)
                return false;
            if (!cipher.DecryptBlock(buffer.data(), 0, count, output))
                return false;
            remaining -= count;
            progress.SetCurrent(progress.GetCurrent() + static_cast<uint64_t>(count), 0);
            if (progress.IsCancelled())
                return false;
        }
        if (!output.Close())
            return false;
    }
    written = CPathInfo(path);
    if (!written.IsFile() || static_cast<int64_t>(written.GetTotalSize()) != entry.size) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

// Puts back what a failed or cancelled job changed, newest first, so a file
// restored twice ends as it was before the job.
void RollBack(const std::vector<CPathInfo>& createdFiles, size_t first,
              std::vector<RestoredFile>& replaced) {
    auto backup = replaced.rbegin();
    for (size_t i = createdFiles.size(); i-- > first;) {
        const std::wstring& target = createdFiles[i].GetPath();
        DeleteFileW(target.c_str());
        if (backup != replaced.rend() && backup->created == i) {
            MoveFileExW(backup->backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
            ++backup;
        }
    }
    replaced.clear();
}

void DropBackups(std::vector<RestoredFile>& replaced) {
    for (const RestoredFile& file : replaced)
        DeleteFileW(file.backup.c_str());
    replaced.clear();
}

[[noreturn]] void Fail(const std::wstring& text) {
    throw JobFailure(text);
}

void RunDecryption(DecryptJobParams& params) {
    using namespace jobtext;
    auto& progress = params.progress;
    std::vector<RestoredFile> restored;
    // Only what this run adds to the list is its to undo.
    const size_t firstCreated = params.createdFiles.size();
    try {
        progress.SetTotal(params.container.GetTotalSize());
        const std::wstring containerPath = params.container.PathWithSeparator();
        CBufferedFileInputStream file(kContainerBufferBytes);
        SetLastError(0);
        if (!file.Open(containerPath))
            Fail(kReadFile + containerPath + kErrorSuffix + GetSystemErrorText());
        CountingInputStream input(static_cast<CBufferedInputStream&>(file));

        std::wstring password = params.password;
        std::unique_ptr<EncFile> cipher = OpenEncFile(password, input);
        WipeSecret(password);
        if (!cipher)
            Fail(kNotAContainer);
        bool readError = false;
        SetLastError(0);
        bool matches = cipher->CheckPassword(readError, input);
        if (readError)
            Fail(kCheckPasswordError + GetSystemErrorText());
        if (!matches)
            Fail(kInvalidPassword);

        const std::wstring outputFolder = OutputFolderOf(params.container);
        const int64_t containerSize = file.Size();
        std::wstring verifiedFolder;
        while (!file.IsAtEnd() || file.Available() > 0) {
            if (progress.IsCancelled())
                Fail(std::wstring());
            EntryInfo entry;
            SetLastError(0);
            if (!cipher->ReadEntryHeader(entry, input))
                Fail(kReadHeaderError + GetSystemErrorText());
            std::wstring problem = CheckEntryPlace(outputFolder, entry, &verifiedFolder);
            if (!problem.empty())
                Fail(kReadHeaderError + problem);
            if (!entry.isFile) {
                // A folder that cannot be made shows up at its first file.
                CPathInfo folder(TargetPathOf(outputFolder, entry));
                folder.CreateDirectories();
                if (params.resultPath.empty())
                    params.resultPath = folder.GetPath();
                continue;
            }
            const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
            if (entry.size < 0)
                Fail(failed + kNegativeSize);
            if (entry.size > containerSize - input.Count())
                Fail(failed + kSizeBeyondEnd);
            SetLastError(0);
            if (!DecryptFileEntry(progress, outputFolder, params.resultPath, params.createdFiles,
                                  restored, entry, input, *cipher)) {
                if (progress.IsCancelled())
                    Fail(std::wstring());
                Fail(failed + GetSystemErrorText());
            }
        }
        file.CFileInputStream::Close();
        DropBackups(restored);

        if (!params.resultPath.empty() && CPathInfo(params.resultPath).Exists()) {
            SetLastError(0);
            if (!params.container.DeleteTree())
                params.warningText = kDeleteSourceError + GetSystemErrorText();
        }
        params.succeeded = true;
    } catch (const JobFailure& failure) {
        params.errorText = failure.Text();
    } catch (const std::bad_alloc&) {
        params.errorText = kOutOfMemory;
    }
    if (!params.succeeded) {
        RollBack(params.createdFiles, firstCreated, restored);
        if (progress.IsCancelled())
            params.errorText.clear();
    }
}

} // namespace

DWORD WINAPI DecryptWorker(LPVOID raw) {
    auto* params = static_cast<DecryptJobParams*>(raw);
    try {
        RunDecryption(*params);
    } catch (...) {
        params->succeeded = false;
    }
    params->progress.SetFinished(0);
    return 0;
}

bool DecryptFileEntry(zelprogress::IProgressUpdate& progress, const std::wstring& outputFolder,
                      std::wstring& resultPath, std::vector<CPathInfo>& createdFiles,
                      std::vector<RestoredFile>& restored, const EntryInfo& entry,
                      IInputStream& container, EncFile& cipher) {
    const std::wstring target = TargetPathOf(outputFolder, entry);
    if (resultPath.empty())
        resultPath = target;

    // The usual case: nothing has the name yet. Creating it exclusively both
    // proves that and keeps anything that appears meanwhile out of reach, so
    // the bytes can go straight to the target; failure deletes only this
    // job's own file. It saves three lookups of missing names per file,
    // which cost more than the rest of a small file under Wine.
    if (CreateExclusively(target)) {
        PartialFileGuard guard(target);
        CPathInfo written;
        if (!WriteBody(progress, target, entry, container, cipher, written))
            return false;
        guard.Dismiss();
        createdFiles.push_back(std::move(written));
        return true;
    }

    // A folder cannot become a file, and a read-only file is not replaced.
    const CPathInfo existing(target);
    if (existing.IsDirectory() ||
        (existing.Exists() && (existing.GetAttributes() & FILE_ATTRIBUTE_READONLY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }

    const std::wstring partial = FreeNameBeside(target, L".partial");
    PartialFileGuard guard(partial);
    CPathInfo written;
    if (!WriteBody(progress, partial, entry, container, cipher, written))
        return false;

    std::wstring backup;
    if (existing.Exists()) {
        backup = FreeNameBeside(target, L".tlbak");
        if (!MoveFileExW(target.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH))
            return false;
    }
    if (!MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        DWORD err = GetLastError();
        if (!backup.empty())
            MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        SetLastError(err);
        return false;
    }
    guard.Dismiss();
    if (!backup.empty())
        restored.push_back(RestoredFile{createdFiles.size(), backup});
    createdFiles.emplace_back(target);
    return true;
}

std::wstring OutputFolderOf(const CPathInfo& container) {
    std::wstring folder = ParentOf(GetFullPath(container.PathWithSeparator()), L'\\');
    if (!folder.empty())
        folder.pop_back();
    return folder;
}

std::wstring TargetPathOf(const std::wstring& outputFolder, const EntryInfo& entry) {
    std::wstring path = outputFolder + entry.folderPath;
    if (path.empty() || path.back() != L'/')
        path += L'/';
    path += entry.name;
    return ReplaceAll(path, L"/", L"\\");
}

std::wstring CheckEntryPlace(const std::wstring& outputFolder, const EntryInfo& entry,
                             std::wstring* verifiedFolder) {
    using namespace jobtext;
    // Built only for a refused record: most records pass.
    auto refused = [&] {
        return kTheEntry + ShownPlace(entry) + kEntryOutside + outputFolder + L".";
    };
    const std::wstring& folderPath = entry.folderPath;
    if (folderPath.empty() || folderPath[0] != L'/')
        return refused();
    if (folderPath.size() > 1) {
        size_t start = 1;
        for (;;) {
            size_t end = folderPath.find(L'/', start);
            if (!IsPlainComponent(folderPath.substr(start, end - start)))
                return refused();
            if (end == std::wstring::npos)
                break;
            start = end + 1;
        }
    }
    if (!IsPlainComponent(entry.name))
        return refused();

    const std::wstring target = TargetPathOf(outputFolder, entry);
    if (!IsPathBelow(GetFullPath(target), outputFolder))
        return refused();
    // A link already in the output folder would lead the record elsewhere:
    // a folder record's own place, and every folder on the way, which the
    // last verified folder spares for the records that follow in it.
    if (!entry.isFile && IsLink(target))
        return refused();
    std::wstring folder = ParentOf(target, L'\\');
    folder.pop_back();
    if (verifiedFolder && SamePathText(*verifiedFolder, folder))
        return std::wstring();
    if (PassesThroughLink(outputFolder, folder))
        return refused();
    if (verifiedFolder)
        *verifiedFolder = folder;
    return std::wstring();
}
