// The decryption worker, in two passes over the container. The survey reads
// every record header without deciphering a body: it checks each record's
// place, finds records that would meet each other or an existing item, and
// puts back what a stopped run had moved aside. Only then does the restore
// pass write, each new file through the one handle that creates it. Restored
// files are journalled by their record's position, so a failure or cancel
// deletes exactly what this run made and puts back what it moved aside.
#include "jobs/decrypt_job.h"

#include "common/unique_handle.h"
#include "engine/checksum.h"
#include "engine/container_session.h"
#include "engine/stored_name.h"
#include "jobs/job_texts.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <utility>

FlushFileFunction g_flushRestoredFile = ::FlushFileBuffers;

namespace {

constexpr size_t kBlockBytes = 1 << 20;
constexpr size_t kExistingShown = 5;

[[noreturn]] void Fail(const std::wstring& text) {
    throw JobFailure(text);
}

// A 64-bit key for a path, equal for paths Windows takes for the same. The
// survey keeps keys instead of paths, so its memory stays small for
// containers of many files.
uint64_t PathKey(const std::wstring& path) {
    const std::wstring folded = FoldCase(path);
    ByteChecksum sum;
    sum.Update(reinterpret_cast<const uint8_t*>(folded.data()), folded.size() * sizeof(wchar_t));
    return sum.Value();
}

std::wstring FolderOf(const std::wstring& path) {
    std::wstring folder = ParentOf(path, L'\\');
    if (!folder.empty())
        folder.pop_back();
    return folder;
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
    DWORD attributes = GetFileAttributesW(ExtendedPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when path or a folder above it, below base, is a link.
bool PassesThroughLink(const std::wstring& base, std::wstring path) {
    while (IsPathBelow(path, base)) {
        if (IsLink(path))
            return true;
        path = FolderOf(path);
    }
    return false;
}

// What this run changed, so that a failure can undo exactly that: the
// position of every file record it restored, and for each file it replaced
// where the earlier file waits and under which name it was found. Files are
// restored on several threads, so every change goes through Note.
struct Journal {
    struct Replaced {
        size_t created; // index into created
        std::wstring target;
        std::wstring backup;
        std::wstring original; // the earlier file's own name and letter case
    };
    void Note(uint64_t offset) {
        std::lock_guard<std::mutex> lock(mutex);
        created.push_back(offset);
    }
    void Note(uint64_t offset, Replaced replacedFile) {
        std::lock_guard<std::mutex> lock(mutex);
        created.push_back(offset);
        replacedFile.created = created.size() - 1;
        replaced.push_back(std::move(replacedFile));
    }
    std::mutex mutex;
    std::vector<uint64_t> created;
    std::vector<Replaced> replaced;
};

// Writes restored files and forces them to the device on helper threads,
// so that the job's thread goes on deciphering while files are created,
// written, flushed and closed: for many small files those calls, not the
// deciphering, take the time. A file whose body fits a block comes whole;
// a larger one is written by the job's thread and only flushed and closed
// here. The first few files of a job are done right away on the job's
// thread: starting threads costs milliseconds, more than a job of a few
// small files takes. Finish waits for all of them; the container may be
// deleted only after it reported success.
class FileWriters {
public:
    explicit FileWriters(Journal& journal) : journal_(journal) {}
    ~FileWriters() { Finish(); }
    FileWriters(const FileWriters&) = delete;
    FileWriters& operator=(const FileWriters&) = delete;

    // A new file with its whole body; created exclusively, so it never
    // replaces anything.
    void AddFile(std::wstring target, std::wstring name, uint64_t offset,
                 std::vector<uint8_t> body) {
        Add(Task{std::move(target), std::move(name), offset, std::move(body), UniqueFileHandle()});
    }
    // A buffer for a whole body of the given size: the smallest one a
    // writer has finished with that holds it, so that files of up to a block
    // do not each take fresh memory from the system; empty when none does.
    std::vector<uint8_t> TakeBuffer(size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto best = spare_.end();
        for (auto it = spare_.begin(); it != spare_.end(); ++it) {
            if (it->capacity() >= bytes &&
                (best == spare_.end() || it->capacity() < best->capacity()))
                best = it;
        }
        if (best == spare_.end())
            return std::vector<uint8_t>();
        std::vector<uint8_t> body = std::move(*best);
        *best = std::move(spare_.back());
        spare_.pop_back();
        spareBytes_ -= body.capacity();
        return body;
    }
    // A complete file that is already journalled: flushed and closed here.
    void AddWritten(UniqueFileHandle file, std::wstring name) {
        Add(Task{std::wstring(), std::move(name), 0, std::vector<uint8_t>(), std::move(file)});
    }
    // Waits until every file is done. False when one failed; FailedName
    // and FailedError tell which and why.
    bool Finish() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
        stopping_ = false;
        return !Failed();
    }
    bool Failed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failedError_ != ERROR_SUCCESS;
    }
    const std::wstring& FailedName() const { return failedName_; }
    DWORD FailedError() const { return failedError_; }

private:
    static constexpr size_t kDoneInPlace = 8;
    static constexpr int kThreads = 4;
    static constexpr size_t kQueuedFiles = 256;
    static constexpr size_t kQueuedBytes = 8 << 20;
    static constexpr size_t kSpareBuffers = 8;

    struct Task {
        std::wstring target; // empty: file is written already
        std::wstring name;
        uint64_t offset;
        std::vector<uint8_t> body;
        UniqueFileHandle file;
    };

    void Add(Task task) {
        if (++added_ <= kDoneInPlace) {
            Do(task);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (threads_.empty()) {
            for (int i = 0; i < kThreads; ++i)
                threads_.emplace_back([this] { Run(); });
        }
        room_.wait(
            lock, [this] { return pending_.size() < kQueuedFiles && queuedBytes_ < kQueuedBytes; });
        // Counted by the memory held: a reused buffer may be larger than its body.
        queuedBytes_ += task.body.capacity();
        pending_.push_back(std::move(task));
        work_.notify_one();
    }

    void Do(Task& task) {
        DWORD error = ERROR_SUCCESS;
        if (!task.target.empty()) {
            task.file.Reset(CreateFileW(ExtendedPath(task.target).c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!task.file) {
                Failure(task.name, GetLastError());
                return;
            }
            if (!WriteAllToFile(task.file.Get(), task.body.data(), task.body.size()))
                error = GetLastError();
        }
        if (error == ERROR_SUCCESS && !g_flushRestoredFile(task.file.Get()))
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        if (!CloseHandle(task.file.Release()) && error == ERROR_SUCCESS)
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        if (error != ERROR_SUCCESS) {
            // A file of its own that did not come whole goes again; one the
            // job's thread wrote is journalled and goes with the roll-back.
            if (!task.target.empty())
                DeleteFileW(ExtendedPath(task.target).c_str());
            Failure(task.name, error);
            return;
        }
        if (!task.target.empty())
            journal_.Note(task.offset);
    }

    void Failure(const std::wstring& name, DWORD error) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failedError_ == ERROR_SUCCESS) {
            failedError_ = error;
            failedName_ = name;
        }
    }

    void Run() {
        for (;;) {
            Task task;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                work_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
                if (pending_.empty())
                    return;
                task = std::move(pending_.front());
                pending_.pop_front();
                queuedBytes_ -= task.body.capacity();
                room_.notify_one();
            }
            Do(task);
            Recycle(std::move(task.body));
        }
    }

    // Keeps a written body's memory for a later one, as long as the spare
    // and the queued bodies together stay within the queue's byte limit.
    void Recycle(std::vector<uint8_t> body) {
        body.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        if (body.capacity() == 0 || spare_.size() >= kSpareBuffers ||
            queuedBytes_ + spareBytes_ + body.capacity() > kQueuedBytes)
            return;
        spareBytes_ += body.capacity();
        spare_.push_back(std::move(body));
    }

    Journal& journal_;
    size_t added_ = 0;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<Task> pending_;
    size_t queuedBytes_ = 0;
    std::vector<std::vector<uint8_t>> spare_;
    size_t spareBytes_ = 0;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
    std::wstring failedName_;
    DWORD failedError_ = ERROR_SUCCESS;
};

// Deletes what the run restored and moves back what it moved aside, newest
// first, so a folder it made is empty by the time its turn comes (a folder
// that is not stays). New files and folders are found again by reading their
// record headers, so the journal needs no path per item.
void RollBack(Journal& journal, const std::wstring& containerPath, const std::wstring& password,
              const std::wstring& outputFolder) {
    ContainerReader reader;
    const bool readable =
        reader.Open(containerPath) && reader.CheckHeader(password) == HeaderCheck::Matches;
    auto replaced = journal.replaced.rbegin();
    for (size_t i = journal.created.size(); i-- > 0;) {
        if (replaced != journal.replaced.rend() && replaced->created == i) {
            DeleteFileW(ExtendedPath(replaced->target).c_str());
            MoveFileExW(ExtendedPath(replaced->backup).c_str(),
                        ExtendedPath(replaced->original).c_str(), MOVEFILE_WRITE_THROUGH);
            ++replaced;
            continue;
        }
        EntryInfo entry;
        if (readable && reader.SeekToRecord(journal.created[i]) &&
            reader.NextRecord(entry) == RecordRead::Ok) {
            const std::wstring target = ExtendedPath(TargetPathOf(outputFolder, entry));
            if (entry.isFile)
                DeleteFileW(target.c_str());
            else
                RemoveDirectoryW(target.c_str());
        }
    }
    journal.created.clear();
    journal.replaced.clear();
}

void DropBackups(Journal& journal) {
    for (const Journal::Replaced& file : journal.replaced)
        DeleteFileW(ExtendedPath(file.backup).c_str());
    journal.created.clear();
    journal.replaced.clear();
}

// The first pass: every record header, no body, nothing written but the
// return of what a stopped run had moved aside.
class Survey {
public:
    Survey(ContainerReader& reader, const std::wstring& outputFolder,
           zelprogress::IProgressUpdate& progress)
        : reader_(reader), outputFolder_(outputFolder), progress_(progress) {}

    void Run(DecryptionOutcome& outcome);

private:
    enum Flags : uint8_t { kFolder = 1, kNew = 2 };

    void Record(const EntryInfo& entry, DecryptionOutcome& outcome);
    void NoteExisting(const std::wstring& target, DecryptionOutcome& outcome) {
        if (outcome.existing.size() < kExistingShown)
            outcome.existing.push_back(target);
        ++outcome.existingCount;
    }
    void RecoverLeftovers(DecryptionOutcome& outcome);

    ContainerReader& reader_;
    const std::wstring& outputFolder_;
    zelprogress::IProgressUpdate& progress_;
    std::unordered_map<uint64_t, uint8_t> places_;
    // Folders that existed before the job and receive files: where a stopped
    // run may have left something.
    std::vector<std::wstring> existingFolders_;
    uint64_t lastFolderKey_ = 0;
    std::wstring verifiedFolder_;
};

void Survey::Run(DecryptionOutcome& outcome) {
    using namespace jobtext;
    places_[PathKey(outputFolder_)] = kFolder;
    while (!reader_.AtEnd()) {
        if (progress_.IsCancelled())
            Fail(std::wstring());
        EntryInfo entry;
        const RecordRead read = reader_.NextRecord(entry);
        if (read == RecordRead::Damaged)
            Fail(kReadHeaderError + SystemErrorText(reader_.LastError()));
        const std::wstring problem = CheckEntryPlace(outputFolder_, entry, &verifiedFolder_);
        if (!problem.empty())
            Fail(kReadHeaderError + problem);
        if (read == RecordRead::BodyPastEnd)
            Fail(kDecryptErrorTarget + entry.name + L"." + kSizeBeyondEnd);
        Record(entry, outcome);
        if (!reader_.SkipBody())
            Fail(kReadHeaderError + SystemErrorText(reader_.LastError()));
    }
    RecoverLeftovers(outcome);
}

void Survey::Record(const EntryInfo& entry, DecryptionOutcome& outcome) {
    using namespace jobtext;
    const std::wstring target = TargetPathOf(outputFolder_, entry);
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    const uint64_t key = PathKey(target);
    auto [place, added] = places_.emplace(key, entry.isFile ? 0 : kFolder);
    if (!added) {
        // The same folder twice is harmless; anything else would write one
        // place twice.
        if (!entry.isFile && (place->second & kFolder))
            return;
        Fail(std::wstring(kReadHeaderError) + kTheEntry + ShownPlace(entry) + kStoredTwice);
    }

    const std::wstring folder = FolderOf(target);
    const uint64_t folderKey = PathKey(folder);
    auto parent = places_.find(folderKey);
    // Below a folder this job makes nothing can exist yet.
    if (parent != places_.end() && (parent->second & kNew)) {
        if (!entry.isFile)
            place->second |= kNew;
        return;
    }
    if (entry.isFile && folderKey != lastFolderKey_) {
        lastFolderKey_ = folderKey;
        if (std::find_if(existingFolders_.begin(), existingFolders_.end(),
                         [&](const std::wstring& f) { return SamePathText(f, folder); }) ==
            existingFolders_.end())
            existingFolders_.push_back(folder);
    }
    const DWORD attributes = GetFileAttributesW(ExtendedPath(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            Fail(failed + SystemErrorText(error));
        if (!entry.isFile)
            place->second |= kNew;
        return;
    }
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!entry.isFile) {
        if (!isFolder)
            Fail(failed + kFileInTheWay);
        return;
    }
    if (isFolder)
        Fail(failed + kFolderInTheWay);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        Fail(failed + SystemErrorText(ERROR_ACCESS_DENIED));
    NoteExisting(target, outcome);
}

// A run that was stopped may have left, beside the files it restored, a
// file moved aside (the user's own, put back here) and a partly written one
// (deleted). Only names that belong to a file record of this container are
// touched.
void Survey::RecoverLeftovers(DecryptionOutcome& outcome) {
    for (const std::wstring& folder : existingFolders_) {
        for (const wchar_t* mark : {kBackupMark, kPartialMark}) {
            WIN32_FIND_DATAW found;
            UniqueFindHandle search(
                FindFirstFileExW(ExtendedPath(folder + L"\\*" + mark + L"*").c_str(),
                                 FindExInfoStandard, &found, FindExSearchNameMatch, nullptr, 0));
            if (!search)
                continue;
            do {
                const std::wstring name = found.cFileName;
                const size_t at = name.rfind(mark);
                if (at == std::wstring::npos || at == 0 ||
                    (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    continue;
                const std::wstring target = folder + L"\\" + name.substr(0, at);
                auto place = places_.find(PathKey(target));
                if (place == places_.end() || (place->second & kFolder))
                    continue;
                const std::wstring leftover = folder + L"\\" + name;
                if (mark == kPartialMark) {
                    DeleteFileW(ExtendedPath(leftover).c_str());
                } else {
                    const bool wasThere =
                        GetFileAttributesW(ExtendedPath(target).c_str()) != INVALID_FILE_ATTRIBUTES;
                    if (MoveFileExW(ExtendedPath(leftover).c_str(), ExtendedPath(target).c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) &&
                        !wasThere)
                        NoteExisting(target, outcome);
                }
            } while (FindNextFileW(search.Get(), &found));
        }
    }
}

// The second pass: writes what the survey approved.
class Restorer {
public:
    Restorer(ContainerReader& reader, const std::wstring& outputFolder,
             zelprogress::IProgressUpdate& progress, bool mayReplace, Journal& journal,
             std::wstring& resultPath)
        : reader_(reader), outputFolder_(outputFolder), progress_(progress),
          mayReplace_(mayReplace), journal_(journal), resultPath_(resultPath), buffer_(kBlockBytes),
          writers_(journal) {}

    void Run();
    // Every restored file flushed to the device and closed.
    void Finish();

private:
    void RestoreFolder(const EntryInfo& entry, const std::wstring& target, uint64_t offset);
    // Restores one file record whose body follows; raises the failure text.
    void DecryptFileEntry(const EntryInfo& entry, const std::wstring& target, uint64_t offset);
    // Deciphers the body into file; false with the last error set.
    bool WriteBody(HANDLE file);
    // Deciphers a body of at most a block into body; false as WriteBody.
    bool ReadWholeBody(std::vector<uint8_t>& body);
    [[noreturn]] void FailWithWriters();
    void ReplaceFile(const EntryInfo& entry, const std::wstring& target, uint64_t offset);

    ContainerReader& reader_;
    const std::wstring& outputFolder_;
    zelprogress::IProgressUpdate& progress_;
    const bool mayReplace_;
    Journal& journal_;
    std::wstring& resultPath_;
    std::vector<uint8_t> buffer_;
    FileWriters writers_;
    std::wstring verifiedFolder_;
};

void Restorer::Run() {
    using namespace jobtext;
    while (!reader_.AtEnd()) {
        if (progress_.IsCancelled())
            Fail(std::wstring());
        const uint64_t offset = reader_.Position();
        EntryInfo entry;
        if (reader_.NextRecord(entry) != RecordRead::Ok)
            Fail(kReadHeaderError + SystemErrorText(reader_.LastError()));
        // Checked again: a link may have appeared since the survey.
        const std::wstring problem = CheckEntryPlace(outputFolder_, entry, &verifiedFolder_);
        if (!problem.empty())
            Fail(kReadHeaderError + problem);
        const std::wstring target = TargetPathOf(outputFolder_, entry);
        if (resultPath_.empty())
            resultPath_ = target;
        if (entry.isFile)
            DecryptFileEntry(entry, target, offset);
        else
            RestoreFolder(entry, target, offset);
        if (writers_.Failed())
            FailWithWriters();
    }
}

void Restorer::FailWithWriters() {
    writers_.Finish();
    Fail(jobtext::kDecryptErrorTarget + writers_.FailedName() + L"." +
         SystemErrorText(writers_.FailedError()));
}

void Restorer::Finish() {
    if (!writers_.Finish())
        FailWithWriters();
}

// A folder this run makes is noted, so that a failure takes it away again
// (once what was restored into it is gone).
void Restorer::RestoreFolder(const EntryInfo& entry, const std::wstring& target, uint64_t offset) {
    CPathInfo folder(target);
    const bool existed = folder.IsDirectory();
    SetLastError(ERROR_SUCCESS);
    if (!folder.CreateDirectories() || !folder.IsDirectory()) {
        const DWORD error =
            folder.Exists() && !folder.IsDirectory() ? ERROR_ALREADY_EXISTS : GetLastError();
        Fail(jobtext::kDecryptErrorTarget + entry.name + L"." + SystemErrorText(error));
    }
    if (!existed)
        journal_.Note(offset);
}

bool Restorer::ReadWholeBody(std::vector<uint8_t>& body) {
    body.resize(static_cast<size_t>(reader_.BodyLeft()));
    size_t done = 0;
    while (done < body.size()) {
        const size_t got = reader_.ReadBody(body.data() + done, body.size() - done);
        if (got == 0) {
            SetLastError(reader_.LastError() != ERROR_SUCCESS ? reader_.LastError()
                                                              : ERROR_HANDLE_EOF);
            return false;
        }
        done += got;
    }
    progress_.SetCurrent(progress_.GetCurrent() + done, 0);
    return !progress_.IsCancelled();
}

bool Restorer::WriteBody(HANDLE file) {
    while (reader_.BodyLeft() > 0) {
        const size_t got = reader_.ReadBody(buffer_.data(), buffer_.size());
        if (got == 0) {
            SetLastError(reader_.LastError() != ERROR_SUCCESS ? reader_.LastError()
                                                              : ERROR_HANDLE_EOF);
            return false;
        }
        if (!WriteAllToFile(file, buffer_.data(), got))
            return false;
        progress_.SetCurrent(progress_.GetCurrent() + got, 0);
        if (progress_.IsCancelled())
            return false;
    }
    return true;
}

// Deletes a file unless dismissed, keeping the last error of the failure
// that got us here.
class FileGuard {
public:
    explicit FileGuard(std::wstring path) : path_(std::move(path)) {}
    ~FileGuard() {
        if (path_.empty())
            return;
        DWORD error = GetLastError();
        DeleteFileW(ExtendedPath(path_).c_str());
        SetLastError(error);
    }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;
    void Dismiss() { path_.clear(); }

private:
    std::wstring path_;
};

void Restorer::DecryptFileEntry(const EntryInfo& entry, const std::wstring& target,
                                uint64_t offset) {
    using namespace jobtext;
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    // Only the survey's existing items may be replaced, and only with
    // consent; every other file is created exclusively, which proves that
    // nothing had its name and keeps anything that appears meanwhile out of
    // reach, so the bytes go straight to their place.
    if (mayReplace_ &&
        GetFileAttributesW(ExtendedPath(target).c_str()) != INVALID_FILE_ATTRIBUTES) {
        ReplaceFile(entry, target, offset);
        return;
    }
    if (reader_.BodyLeft() <= kBlockBytes) {
        std::vector<uint8_t> body = writers_.TakeBuffer(static_cast<size_t>(reader_.BodyLeft()));
        if (!ReadWholeBody(body)) {
            if (progress_.IsCancelled())
                Fail(std::wstring());
            Fail(failed + GetSystemErrorText());
        }
        writers_.AddFile(target, entry.name, offset, std::move(body));
        return;
    }
    UniqueFileHandle file(CreateFileW(ExtendedPath(target).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                                      nullptr));
    if (!file)
        Fail(failed + GetSystemErrorText());
    FileGuard guard(target);
    if (!WriteBody(file.Get())) {
        const DWORD error = GetLastError();
        file.Reset();
        if (progress_.IsCancelled())
            Fail(std::wstring());
        Fail(failed + SystemErrorText(error));
    }
    journal_.Note(offset);
    guard.Dismiss();
    writers_.AddWritten(std::move(file), entry.name);
}

// The user agreed to replace an existing file: the new one is written and
// forced to the device under a temporary name, the earlier file is moved
// aside under its own name, and the new one takes the place. A failure of
// the job later moves the earlier file back.
void Restorer::ReplaceFile(const EntryInfo& entry, const std::wstring& target, uint64_t offset) {
    using namespace jobtext;
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    std::wstring original = target;
    {
        WIN32_FIND_DATAW found;
        UniqueFindHandle search(FindFirstFileExW(ExtendedPath(target).c_str(), FindExInfoStandard,
                                                 &found, FindExSearchNameMatch, nullptr, 0));
        if (!search ||
            (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
            Fail(failed + SystemErrorText(search ? ERROR_ACCESS_DENIED : GetLastError()));
        original = ParentOf(target, L'\\') + found.cFileName;
    }
    std::wstring partial, backup;
    if (!FreeNameBeside(target, kPartialMark, partial))
        Fail(failed + GetSystemErrorText());
    {
        UniqueFileHandle file(CreateFileW(ExtendedPath(partial).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            Fail(failed + GetSystemErrorText());
        FileGuard guard(partial);
        if (!WriteBody(file.Get()) || !g_flushRestoredFile(file.Get())) {
            const DWORD error = GetLastError();
            file.Reset();
            if (progress_.IsCancelled())
                Fail(std::wstring());
            Fail(failed + SystemErrorText(error));
        }
        file.Reset();
        if (!FreeNameBeside(original, kBackupMark, backup) ||
            !MoveFileExW(ExtendedPath(original).c_str(), ExtendedPath(backup).c_str(),
                         MOVEFILE_WRITE_THROUGH))
            Fail(failed + GetSystemErrorText());
        if (!MoveFileExW(ExtendedPath(partial).c_str(), ExtendedPath(target).c_str(),
                         MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            MoveFileExW(ExtendedPath(backup).c_str(), ExtendedPath(original).c_str(),
                        MOVEFILE_WRITE_THROUGH);
            Fail(failed + SystemErrorText(error));
        }
        guard.Dismiss();
    }
    // Journalled only now: until the new file has the place, a roll-back
    // must not touch the earlier one.
    journal_.Note(offset, Journal::Replaced{0, target, backup, original});
}

// Handed to the worker; lives with RunDecryptJob until the worker has ended.
struct DecryptJobParams {
    zelprogress::IProgressUpdate& progress;
    const std::wstring& password;
    const CPathInfo& container;
    size_t replaceConsent;
    DecryptionOutcome& outcome;
};

void Decrypt(DecryptJobParams& params, Journal& journal) {
    using namespace jobtext;
    auto& progress = params.progress;
    DecryptionOutcome& outcome = params.outcome;
    progress.SetTotal(params.container.GetTotalSize());
    const std::wstring containerPath = params.container.PathWithSeparator();
    ContainerReader reader;
    if (!reader.Open(containerPath))
        Fail(kReadFile + containerPath + kErrorSuffix + SystemErrorText(reader.LastError()));
    switch (reader.CheckHeader(params.password)) {
    case HeaderCheck::Matches:
        break;
    case HeaderCheck::NotAContainer:
        Fail(kNotAContainer);
    case HeaderCheck::WrongPassword:
        Fail(kInvalidPassword);
    case HeaderCheck::Damaged:
    case HeaderCheck::ReadFailed:
        Fail(kCheckPasswordError + SystemErrorText(reader.LastError()));
    case HeaderCheck::BeyondLimits:
        Fail(kKeyBeyondLimits);
    }

    const std::wstring outputFolder = OutputFolderOf(params.container);
    const uint64_t firstRecord = reader.Position();
    ContainerReader bodies;
    try {
        Survey survey(reader, outputFolder, progress);
        survey.Run(outcome);
        if (outcome.existingCount > 0 && outcome.existingCount != params.replaceConsent)
            return;
        outcome.existingCount = 0;
        outcome.existing.clear();

        // The restore reads every byte: a reader of its own reads ahead on a
        // thread while this one deciphers. The survey's reader stays open, so
        // nobody can change the container before the job is done with it.
        if (!bodies.Open(containerPath, true) ||
            bodies.CheckHeader(params.password) != HeaderCheck::Matches ||
            bodies.Position() != firstRecord)
            Fail(kReadFile + containerPath + kErrorSuffix + SystemErrorText(bodies.LastError()));
        Restorer restorer(bodies, outputFolder, progress, params.replaceConsent > 0, journal,
                          outcome.resultPath);
        restorer.Run();
        restorer.Finish();
    } catch (const JobFailure&) {
        // Whatever failed on the way, a segment that did not authenticate
        // is the reason the user needs to hear.
        if (reader.Tampered() || bodies.Tampered())
            Fail(kContainerChanged);
        throw;
    }
    bodies.Close();
    reader.Close();
    DropBackups(journal);

    if (!outcome.resultPath.empty() && CPathInfo(outcome.resultPath).Exists()) {
        SetLastError(ERROR_SUCCESS);
        if (!params.container.DeleteTree())
            outcome.warningText = kDeleteSourceError + GetSystemErrorText();
    }
    outcome.succeeded = true;
}

// Thread entry; raw is a DecryptJobParams. Calls SetFinished exactly once.
DWORD WINAPI DecryptWorker(LPVOID raw) {
    auto* params = static_cast<DecryptJobParams*>(raw);
    DecryptionOutcome& outcome = params->outcome;
    Journal journal;
    // The survey, the restore and a roll-back each open the container: its
    // key is derived once.
    DerivedKeyScope keys;
    try {
        Decrypt(*params, journal);
    } catch (const JobFailure& failure) {
        outcome.errorText = failure.Text();
    } catch (const std::bad_alloc&) {
        outcome.errorText = jobtext::kOutOfMemory;
    } catch (...) {
        outcome.succeeded = false;
        outcome.errorText = UnexpectedFailureText();
    }
    if (!outcome.succeeded) {
        try {
            RollBack(journal, params->container.PathWithSeparator(), params->password,
                     OutputFolderOf(params->container));
        } catch (...) {
        }
        if (params->progress.IsCancelled())
            outcome.errorText.clear();
    }
    params->progress.SetFinished(0);
    return 0;
}

} // namespace

DecryptionOutcome RunDecryptJob(const DecryptRequest& request, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, const JobStarter& start) {
    DecryptionOutcome outcome;
    outcome.resultPath = request.resultPath;
    DecryptJobParams params{progress, password, request.container, request.replaceConsent, outcome};
    outcome.started = start(DecryptWorker, &params);
    return outcome;
}

std::wstring DescribeExistingItems(const DecryptionOutcome& outcome) {
    std::wstring text;
    for (const std::wstring& path : outcome.existing)
        text += L"\n" + path;
    if (outcome.existingCount > outcome.existing.size())
        text += L"\n" + FormatString(
                            jobtext::kLeftMore.Load().c_str(),
                            static_cast<unsigned>(outcome.existingCount - outcome.existing.size()));
    return text;
}

std::wstring OutputFolderOf(const CPathInfo& container) {
    return FolderOf(GetFullPath(container.PathWithSeparator()));
}

std::wstring TargetPathOf(const std::wstring& outputFolder, const EntryInfo& entry) {
    std::wstring relative;
    RelativeFolderOf(entry.folderPath, relative);
    std::wstring path = outputFolder + L'\\';
    if (!relative.empty())
        path += relative + L'\\';
    return path + NameAsWindowsKeepsIt(entry.name);
}

std::wstring CheckEntryPlace(const std::wstring& outputFolder, const EntryInfo& entry,
                             std::wstring* verifiedFolder) {
    using namespace jobtext;
    // Built only for a refused record: most records pass.
    auto refused = [&] {
        return kTheEntry + ShownPlace(entry) + kEntryOutside + outputFolder + L".";
    };
    std::wstring relative;
    if (!RelativeFolderOf(entry.folderPath, relative) ||
        !IsStorableName(NameAsWindowsKeepsIt(entry.name)))
        return refused();

    const std::wstring target = TargetPathOf(outputFolder, entry);
    if (!IsPathBelow(GetFullPath(target), outputFolder))
        return refused();
    // A link already in the output folder would lead the record elsewhere:
    // a folder record's own place, and every folder on the way, which the
    // last verified folder spares for the records that follow in it.
    if (!entry.isFile && IsLink(target))
        return refused();
    const std::wstring folder = FolderOf(target);
    if (verifiedFolder && SamePathText(*verifiedFolder, folder))
        return std::wstring();
    if (PassesThroughLink(outputFolder, folder))
        return refused();
    if (verifiedFolder)
        *verifiedFolder = folder;
    return std::wstring();
}
