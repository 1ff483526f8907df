// The decryption worker, in two passes over the container. The survey reads
// every record header without deciphering a body and changes nothing: it
// checks each record's place, finds records that would meet each other or
// an existing item, and tells what a stopped run left (known from its
// journal) from the user's own files. Only then does the restore pass write;
// every file it creates is journalled as unfinished until it is whole and
// on the device, a large one under a temporary name until then.
// Restored files are journalled by their record's position, so a failure or
// cancel deletes exactly what this run made and puts back what it moved
// aside; a success sends what it replaced to the Recycle Bin.
#include "jobs/decrypt_job.h"

#include "common/unique_handle.h"
#include "engine/checksum.h"
#include "engine/container_session.h"
#include "engine/stored_name.h"
#include "jobs/job_texts.h"
#include "jobs/restore_journal.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <unordered_set>
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

// Under Wine a Unix link whose target is gone is invisible to every query
// (no attributes, not listed), yet it holds its name: only an attempt to
// create the name shows it. The attempt leaves nothing behind, for the
// handle deletes what it made when it closes, also when the process ends.
bool NameTakenUnseen(const std::wstring& path) {
    UniqueFileHandle probe(CreateFileW(ExtendedPath(path).c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                       nullptr));
    const DWORD error = GetLastError();
    return !probe && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
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
// position of every file record it restored, for each file it replaced
// where the earlier file waits and under which name it was found, the
// temporary files not yet in their place and the folders it made. Files are
// restored on several threads, so every change goes through the mutex. The
// same steps go to the journal on the disk, for the next run after a kill.
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
    void AddPartial(const std::wstring& path) {
        std::lock_guard<std::mutex> lock(mutex);
        partials.push_back(path);
    }
    void DropPartial(const std::wstring& path) {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = std::find(partials.begin(), partials.end(), path);
        if (it != partials.end()) {
            *it = std::move(partials.back());
            partials.pop_back();
        }
    }
    // Where a record goes when it is not TargetPathOf its record.
    std::wstring TargetOf(const std::wstring& outputFolder, const EntryInfo& entry,
                          uint64_t offset) const {
        auto it = renamed.find(offset);
        return it != renamed.end() ? it->second : TargetPathOf(outputFolder, entry);
    }
    std::mutex mutex;
    std::vector<uint64_t> created;
    std::vector<Replaced> replaced;
    std::vector<std::wstring> partials;
    std::vector<std::wstring> folders; // in the order they were made
    // Records restored under another name than their own (a file stored
    // twice), by position.
    std::unordered_map<uint64_t, std::wstring> renamed;
    // The user's files a stopped run had moved aside and whose places the
    // user has since filled again: they go to the Recycle Bin with the
    // items this run replaces.
    std::vector<std::wstring> earlierBackups;
    CRestoreJournal disk;
};

// Creates a file that did not exist and notes it, on the disk and here, as
// this run's unfinished file until FinishNew or PlacePartial. The record
// follows the creation: only a name this run created is ever claimed.
UniqueFileHandle CreateNew(Journal& journal, const std::wstring& path, DWORD flags) {
    UniqueFileHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_NEW, flags, nullptr));
    if (!file)
        return file;
    if (!journal.disk.Append(JournalRecord{JournalRecord::Kind::Partial, path, {}, {}})) {
        const DWORD error = GetLastError();
        file.Reset();
        DeleteFileW(ExtendedPath(path).c_str());
        SetLastError(error);
        return UniqueFileHandle();
    }
    journal.AddPartial(path);
    return file;
}

// A file that takes long to write is written under a temporary name beside
// its place, so that a stopped run never leaves a cut file under a name the
// user could take for a whole one.
UniqueFileHandle CreatePartial(Journal& journal, const std::wstring& target, std::wstring& partial,
                               DWORD flags) {
    for (int k = 1; k <= 16; ++k) {
        partial = target + kPartialMark;
        if (k > 1)
            partial += FormatString(L"-%d", k);
        UniqueFileHandle file = CreateNew(journal, partial, flags);
        if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
            return file;
    }
    return UniqueFileHandle();
}

// A new file, whole and closed: journalled with what it is, so that the next
// run knows it as this run's own for as long as nobody changes it.
bool FinishNew(Journal& journal, const std::wstring& path) {
    FileStamp stamp;
    if (!StampOf(path, stamp) ||
        !journal.disk.Append(JournalRecord{JournalRecord::Kind::Written, path, {}, stamp}))
        return false;
    journal.DropPartial(path);
    return true;
}

// Gives a complete, closed temporary file its place, never over anything;
// journalled first under the name it takes (a move keeps size and time).
bool PlacePartial(Journal& journal, const std::wstring& partial, const std::wstring& target,
                  DWORD moveFlags) {
    FileStamp stamp;
    if (!StampOf(partial, stamp) ||
        !journal.disk.Append(JournalRecord{JournalRecord::Kind::Written, target, {}, stamp}) ||
        !MoveFileExW(ExtendedPath(partial).c_str(), ExtendedPath(target).c_str(), moveFlags))
        return false;
    journal.DropPartial(partial);
    return true;
}

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
        Add(Task{std::move(target), std::wstring(), std::move(name), offset, std::move(body),
                 UniqueFileHandle()});
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
    // A complete file under its temporary name: flushed, closed and put in
    // its place here.
    void AddWritten(UniqueFileHandle file, std::wstring target, std::wstring partial,
                    std::wstring name, uint64_t offset) {
        Add(Task{std::move(target), std::move(partial), std::move(name), offset,
                 std::vector<uint8_t>(), std::move(file)});
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
        std::wstring target;
        std::wstring partial; // empty: the body comes with the task
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
        if (task.partial.empty()) {
            // A whole body goes to its place in one write: a second name
            // and a move would cost more than the write (each new name is a
            // search of the folder under Wine). Until it is on the device
            // the journal has it as unfinished.
            task.file = CreateNew(journal_, task.target, FILE_ATTRIBUTE_NORMAL);
            if (!task.file) {
                Failure(task.name, GetLastError());
                return;
            }
            task.partial = task.target;
            if (!WriteAllToFile(task.file.Get(), task.body.data(), task.body.size()))
                error = GetLastError();
        }
        if (error == ERROR_SUCCESS && !g_flushRestoredFile(task.file.Get()))
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        if (!CloseHandle(task.file.Release()) && error == ERROR_SUCCESS)
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        if (error == ERROR_SUCCESS &&
            !(task.partial == task.target ? FinishNew(journal_, task.target)
                                          : PlacePartial(journal_, task.partial, task.target, 0)))
            error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        if (error != ERROR_SUCCESS) {
            // A file that did not come whole, or found its place taken, goes again.
            DeleteFileW(ExtendedPath(task.partial).c_str());
            journal_.DropPartial(task.partial);
            Failure(task.name, error);
            return;
        }
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
    bool whole = true;
    for (const std::wstring& partial : journal.partials)
        DeleteFileW(ExtendedPath(partial).c_str());
    ContainerReader reader;
    const bool readable =
        reader.Open(containerPath) && reader.CheckHeader(password) == HeaderCheck::Matches;
    auto replaced = journal.replaced.rbegin();
    for (size_t i = journal.created.size(); i-- > 0;) {
        if (replaced != journal.replaced.rend() && replaced->created == i) {
            DeleteFileW(ExtendedPath(replaced->target).c_str());
            whole &=
                MoveFileExW(ExtendedPath(replaced->backup).c_str(),
                            ExtendedPath(replaced->original).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
            ++replaced;
            continue;
        }
        EntryInfo entry;
        if (readable && reader.SeekToRecord(journal.created[i]) &&
            reader.NextRecord(entry) == RecordRead::Ok && entry.isFile)
            whole &=
                DeleteFileW(ExtendedPath(journal.TargetOf(outputFolder, entry, journal.created[i]))
                                .c_str()) != 0;
        else
            whole = false;
    }
    // Newest first: a folder made inside another goes before it.
    for (size_t i = journal.folders.size(); i-- > 0;)
        RemoveDirectoryW(ExtendedPath(journal.folders[i]).c_str());
    // Whatever could not be undone stays explained for the next run.
    if (whole)
        journal.disk.Remove();
    journal.created.clear();
    journal.replaced.clear();
    journal.folders.clear();
}

// After a success the items this run replaced go to the Recycle Bin, as
// what the user agreed to replace: never straight to deletion, a read-only
// one with its attribute cleared. Only where the question said that the bin
// cannot take them (no bin on the drive, a path too long for it) are they
// deleted for good; one the bin refuses otherwise stays where it waits,
// and the warning says where.
void RecycleReplaced(Journal& journal, bool deleteForGood, DecryptionOutcome& outcome) {
    std::vector<std::wstring> kept = journal.earlierBackups;
    for (const Journal::Replaced& file : journal.replaced)
        kept.push_back(file.backup);
    for (const std::wstring& backup : kept) {
        const std::wstring path = ExtendedPath(backup);
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!kept.empty())
        MoveToRecycleBin(kept);
    if (deleteForGood) {
        kept.erase(std::remove_if(kept.begin(), kept.end(),
                                  [](const std::wstring& backup) {
                                      return DeleteFileW(ExtendedPath(backup).c_str()) != 0;
                                  }),
                   kept.end());
    }
    if (!kept.empty()) {
        outcome.warningText = jobtext::kReplacedKept;
        for (size_t i = 0; i < kept.size() && i < kExistingShown; ++i)
            outcome.warningText += L"\n" + kept[i];
    }
    journal.created.clear();
    journal.replaced.clear();
    journal.folders.clear();
}

// The first pass: every record header, no body, nothing written. What a
// stopped run left is sorted out here from its journal, and changed only by
// SettleLeftovers, once the user has agreed where that was needed.
class Survey {
public:
    Survey(ContainerReader& reader, const std::wstring& outputFolder,
           const std::wstring& journalPath, zelprogress::IProgressUpdate& progress)
        : reader_(reader), outputFolder_(outputFolder), progress_(progress),
          earlier_(CRestoreJournal::Load(journalPath)) {
        for (const JournalRecord& record : earlier_) {
            if (record.kind == JournalRecord::Kind::Written)
                written_[PathKey(record.path)] = record.stamp;
            else if (record.kind == JournalRecord::Kind::Partial)
                started_.insert(PathKey(record.path));
        }
    }

    void Run(DecryptionOutcome& outcome);
    // Clears what a stopped run left: its own files and temporary files
    // go, the user's files it had moved aside come back to their places, or,
    // where the user has filled the place again, wait for the Recycle Bin
    // with this run's replaced items. Then starts this run's journal.
    void SettleLeftovers(Journal& journal, const std::wstring& journalPath);
    // Records restored under a free name beside the one they share.
    const std::unordered_map<uint64_t, std::wstring>& Renamed() const { return renamed_; }

private:
    enum Flags : uint8_t { kFolder = 1, kNew = 2 };

    void Record(const EntryInfo& entry, uint64_t offset, DecryptionOutcome& outcome);
    void NoteExisting(const std::wstring& target, DecryptionOutcome& outcome) {
        if (outcome.existing.size() < kExistingShown)
            outcome.existing.push_back(target);
        ++outcome.existingCount;
        // The Recycle Bin takes no path it could not give back.
        if (!FitsRecycleBin(target + kBackupMark + L"-16"))
            outcome.recycleBinMissing = true;
    }
    // True when the file at target is one a stopped run wrote and nobody
    // changed since, or one it created and never finished.
    bool LeftByEarlierRun(const std::wstring& target) const {
        const uint64_t key = PathKey(target);
        auto it = written_.find(key);
        if (it == written_.end())
            return started_.count(key) != 0;
        FileStamp now;
        return StampOf(target, now) && now == it->second;
    }
    std::wstring FreeNameFor(const std::wstring& target);
    void SurveyLeftovers(DecryptionOutcome& outcome);

    ContainerReader& reader_;
    const std::wstring& outputFolder_;
    zelprogress::IProgressUpdate& progress_;
    std::unordered_map<uint64_t, uint8_t> places_;
    uint64_t lastFolderKey_ = 0;
    std::wstring verifiedFolder_;
    std::unordered_map<uint64_t, std::wstring> renamed_;
    // The stopped run's journal and what the survey made of it.
    std::vector<JournalRecord> earlier_;
    std::unordered_map<uint64_t, FileStamp> written_;
    std::unordered_set<uint64_t> started_;
    std::vector<std::wstring> ownFiles_;    // its files, unchanged since
    std::vector<std::wstring> partials_;    // its temporary files
    std::vector<JournalRecord> movedBack_;  // the user's files to put back
    std::vector<JournalRecord> stillAside_; // the user's files whose place is taken
};

void Survey::Run(DecryptionOutcome& outcome) {
    using namespace jobtext;
    places_[PathKey(outputFolder_)] = kFolder;
    while (!reader_.AtEnd()) {
        if (progress_.IsCancelled())
            Fail(std::wstring());
        const uint64_t offset = reader_.Position();
        EntryInfo entry;
        const RecordRead read = reader_.NextRecord(entry);
        if (read == RecordRead::Damaged)
            Fail(kReadHeaderError + SystemErrorText(reader_.LastError()));
        const std::wstring problem = CheckEntryPlace(outputFolder_, entry, &verifiedFolder_);
        if (!problem.empty())
            Fail(kReadHeaderError + problem);
        if (read == RecordRead::BodyPastEnd)
            Fail(kDecryptErrorTarget + entry.name + L"." + kSizeBeyondEnd);
        Record(entry, offset, outcome);
        if (!reader_.SkipBody())
            Fail(kReadHeaderError + SystemErrorText(reader_.LastError()));
    }
    SurveyLeftovers(outcome);
    if (outcome.existingCount > 0 && !HasRecycleBin(outputFolder_))
        outcome.recycleBinMissing = true;
}

// "name (2).ext", "name (3).ext", ...: the first that neither the container
// nor the disk has; empty when none of the first many is free.
std::wstring Survey::FreeNameFor(const std::wstring& target) {
    const std::wstring folder = ParentOf(target, L'\\');
    const std::wstring name = target.substr(folder.size());
    size_t dot = name.rfind(L'.');
    if (dot == 0 || dot == std::wstring::npos)
        dot = name.size();
    for (unsigned k = 2; k < 10000; ++k) {
        const std::wstring candidate =
            folder + name.substr(0, dot) + FormatString(L" (%u)", k) + name.substr(dot);
        if (places_.count(PathKey(candidate)) != 0)
            continue;
        if (GetFileAttributesW(ExtendedPath(candidate).c_str()) != INVALID_FILE_ATTRIBUTES)
            continue;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return candidate;
        break;
    }
    return std::wstring();
}

void Survey::Record(const EntryInfo& entry, uint64_t offset, DecryptionOutcome& outcome) {
    using namespace jobtext;
    std::wstring target = TargetPathOf(outputFolder_, entry);
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    uint64_t key = PathKey(target);
    auto [place, added] = places_.emplace(key, entry.isFile ? 0 : kFolder);
    if (!added) {
        // The same folder twice is harmless. A file stored twice (another
        // writer stores two selected items of one name so) keeps both: the
        // later one beside the first under a free name. A file and a folder
        // of one name cannot both exist.
        if (!entry.isFile && (place->second & kFolder))
            return;
        if (!entry.isFile || (place->second & kFolder))
            Fail(std::wstring(kReadHeaderError) + kTheEntry + ShownPlace(entry) + kStoredTwice);
        target = FreeNameFor(target);
        if (target.empty() || !IsStorableName(target.substr(ParentOf(target, L'\\').size())))
            Fail(std::wstring(kReadHeaderError) + kTheEntry + ShownPlace(entry) + kStoredTwice);
        key = PathKey(target);
        place = places_.emplace(key, 0).first;
        renamed_[offset] = target;
        if (outcome.renamed.size() < kExistingShown)
            outcome.renamed.push_back(target);
        ++outcome.renamedCount;
        return;
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
    const DWORD attributes = GetFileAttributesW(ExtendedPath(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            Fail(failed + SystemErrorText(error));
        // A dangling link is an existing item like any other.
        if (entry.isFile && error == ERROR_FILE_NOT_FOUND && NameTakenUnseen(target))
            NoteExisting(target, outcome);
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
    // What a stopped run wrote, or began and never finished, is not the
    // user's: it is the container's own content and is written again
    // without a question.
    if (LeftByEarlierRun(target)) {
        ownFiles_.push_back(target);
        return;
    }
    // A read-only item is asked about like any other.
    NoteExisting(target, outcome);
}

// A stopped run's temporary files are its own; a file it moved aside is the
// user's as long as it is unchanged, and then its place counts as an
// existing item (the user's file is only waiting beside it). Nothing that
// the journal does not vouch for is touched.
void Survey::SurveyLeftovers(DecryptionOutcome& outcome) {
    for (const JournalRecord& record : earlier_) {
        // A record's own place is looked at by Record; the others are
        // temporary names.
        if (record.kind == JournalRecord::Kind::Partial) {
            FileStamp stamp;
            if (places_.count(PathKey(record.path)) == 0 && StampOf(record.path, stamp))
                partials_.push_back(record.path);
            continue;
        }
        FileStamp now;
        if (record.kind != JournalRecord::Kind::MovedAside || !StampOf(record.path, now) ||
            !(now == record.stamp))
            continue;
        auto place = places_.find(PathKey(record.original));
        if (place == places_.end() || (place->second & kFolder))
            continue;
        if (GetFileAttributesW(ExtendedPath(record.original).c_str()) == INVALID_FILE_ATTRIBUTES ||
            LeftByEarlierRun(record.original)) {
            movedBack_.push_back(record);
            NoteExisting(record.original, outcome);
        } else {
            stillAside_.push_back(record);
        }
    }
}

void Survey::SettleLeftovers(Journal& journal, const std::wstring& journalPath) {
    for (const std::wstring& file : ownFiles_) {
        if (LeftByEarlierRun(file))
            DeleteFileW(ExtendedPath(file).c_str());
    }
    for (const JournalRecord& record : movedBack_) {
        if (LeftByEarlierRun(record.original))
            DeleteFileW(ExtendedPath(record.original).c_str());
        MoveFileExW(ExtendedPath(record.path).c_str(), ExtendedPath(record.original).c_str(),
                    MOVEFILE_WRITE_THROUGH);
    }
    for (const std::wstring& partial : partials_)
        DeleteFileW(ExtendedPath(partial).c_str());
    if (!journal.disk.Create(journalPath))
        Fail(jobtext::kDecryptErrorTarget + journalPath + L"." + GetSystemErrorText());
    for (const JournalRecord& record : stillAside_) {
        journal.disk.Append(record);
        journal.earlierBackups.push_back(record.path);
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
    void RestoreFolder(const EntryInfo& entry, const std::wstring& target);
    // Makes the folder and the folders above it that are missing (a record
    // from another writer may come without the records of its folders),
    // each noted so that a failure takes it away again. False with the last
    // error set.
    bool MakeFolders(const std::wstring& folder);
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
    std::wstring presentFolder_; // the last folder known to exist
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
        const std::wstring target = journal_.TargetOf(outputFolder_, entry, offset);
        if (resultPath_.empty())
            resultPath_ = target;
        if (entry.isFile)
            DecryptFileEntry(entry, target, offset);
        else
            RestoreFolder(entry, target);
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
void Restorer::RestoreFolder(const EntryInfo& entry, const std::wstring& target) {
    if (!MakeFolders(target))
        Fail(jobtext::kDecryptErrorTarget + entry.name + L"." + GetSystemErrorText());
}

bool Restorer::MakeFolders(const std::wstring& folder) {
    if (SamePathText(folder, presentFolder_))
        return true;
    const DWORD attributes = GetFileAttributesW(ExtendedPath(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        presentFolder_ = folder;
        return true;
    }
    // The output folder itself is never made: it holds the container.
    if (!IsPathBelow(folder, outputFolder_) || !MakeFolders(FolderOf(folder)))
        return false;
    if (!CreateDirectoryW(ExtendedPath(folder).c_str(), nullptr))
        return false;
    {
        std::lock_guard<std::mutex> lock(journal_.mutex);
        journal_.folders.push_back(folder);
    }
    presentFolder_ = folder;
    return true;
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
    if (!MakeFolders(FolderOf(target)))
        Fail(failed + GetSystemErrorText());
    if (mayReplace_ &&
        (GetFileAttributesW(ExtendedPath(target).c_str()) != INVALID_FILE_ATTRIBUTES ||
         NameTakenUnseen(target))) {
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
    std::wstring partial;
    UniqueFileHandle file =
        CreatePartial(journal_, target, partial, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file)
        Fail(failed + GetSystemErrorText());
    FileGuard guard(partial);
    if (!WriteBody(file.Get())) {
        const DWORD error = GetLastError();
        file.Reset();
        if (progress_.IsCancelled())
            Fail(std::wstring());
        Fail(failed + SystemErrorText(error));
    }
    guard.Dismiss();
    writers_.AddWritten(std::move(file), target, partial, entry.name, offset);
}

// The user agreed to replace an existing file: the new one is written and
// forced to the device under a temporary name, the earlier file is moved
// aside under its own name (a link as itself), and the new one takes the
// place. A failure of the job later moves the earlier file back; a success
// sends it to the Recycle Bin.
void Restorer::ReplaceFile(const EntryInfo& entry, const std::wstring& target, uint64_t offset) {
    using namespace jobtext;
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    std::wstring original = target;
    bool unseen = false;
    {
        WIN32_FIND_DATAW found;
        UniqueFindHandle search(FindFirstFileExW(ExtendedPath(target).c_str(), FindExInfoStandard,
                                                 &found, FindExSearchNameMatch, nullptr, 0));
        if (search && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            Fail(failed + SystemErrorText(ERROR_ACCESS_DENIED));
        if (search)
            original = ParentOf(target, L'\\') + found.cFileName;
        else if (!(unseen = NameTakenUnseen(target)))
            Fail(failed + SystemErrorText(ERROR_FILE_NOT_FOUND));
    }
    std::wstring partial, backup;
    {
        UniqueFileHandle file = CreatePartial(journal_, target, partial, FILE_ATTRIBUTE_NORMAL);
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
        if (unseen) {
            // Under Wine a dangling link can be neither moved nor deleted
            // by a Windows program, only replaced; it holds no bytes.
            if (!PlacePartial(journal_, partial, target,
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                Fail(failed + GetSystemErrorText());
            guard.Dismiss();
            journal_.Note(offset);
            return;
        }
        FileStamp earlier;
        if (!FreeNameBeside(original, kBackupMark, backup) || !StampOf(original, earlier) ||
            !journal_.disk.Append(
                JournalRecord{JournalRecord::Kind::MovedAside, backup, original, earlier}) ||
            !MoveFileExW(ExtendedPath(original).c_str(), ExtendedPath(backup).c_str(),
                         MOVEFILE_WRITE_THROUGH))
            Fail(failed + GetSystemErrorText());
        if (!PlacePartial(journal_, partial, target, MOVEFILE_WRITE_THROUGH)) {
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
    const std::wstring journalPath = CRestoreJournal::PathFor(GetFullPath(containerPath));
    const uint64_t firstRecord = reader.Position();
    ContainerReader bodies;
    bool deleteForGood = false;
    try {
        Survey survey(reader, outputFolder, journalPath, progress);
        survey.Run(outcome);
        if (outcome.existingCount > 0 && outcome.existingCount != params.replaceConsent)
            return;
        outcome.existingCount = 0;
        outcome.existing.clear();
        deleteForGood = outcome.recycleBinMissing;
        outcome.recycleBinMissing = false;
        journal.renamed = survey.Renamed();
        survey.SettleLeftovers(journal, journalPath);

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
    RecycleReplaced(journal, deleteForGood, outcome);
    // The journal goes before the container: should the run stop between
    // the two, the next one asks about files it could have known, and
    // leaves no journal without its container behind.
    journal.disk.Remove();

    if (!outcome.resultPath.empty() && CPathInfo(outcome.resultPath).Exists()) {
        SetLastError(ERROR_SUCCESS);
        if (!params.container.DeleteTree()) {
            if (!outcome.warningText.empty())
                outcome.warningText += L"\n\n";
            outcome.warningText += kDeleteSourceError + GetSystemErrorText();
        }
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

namespace {

std::wstring ListFirstFew(const std::vector<std::wstring>& shown, size_t count) {
    std::wstring text;
    for (const std::wstring& path : shown)
        text += L"\n" + path;
    if (count > shown.size())
        text += L"\n" + FormatString(jobtext::kLeftMore.Load().c_str(),
                                     static_cast<unsigned>(count - shown.size()));
    return text;
}

} // namespace

std::wstring DescribeExistingItems(const DecryptionOutcome& outcome) {
    std::wstring text = ListFirstFew(outcome.existing, outcome.existingCount);
    if (outcome.recycleBinMissing)
        text += L"\n\n" + std::wstring(jobtext::kNoRecycleBin);
    return text;
}

std::wstring DescribeRenamedItems(const DecryptionOutcome& outcome) {
    if (outcome.renamedCount == 0)
        return std::wstring();
    return jobtext::kRestoredBeside + ListFirstFew(outcome.renamed, outcome.renamedCount);
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
