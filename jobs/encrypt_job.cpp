// The encryption worker. The container is written under a temporary name
// beside its final path, committed to the device, moved into place and read
// back whole; only then are the sources deleted, and only those that are
// still exactly what was stored. Any doubt before that leaves every source
// and any earlier file at the container path as they were.
#include "jobs/encrypt_job.h"

#include "common/unique_handle.h"
#include "engine/block_pipe.h"
#include "engine/container_session.h"
#include "engine/stored_name.h"
#include "jobs/job_texts.h"

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <set>

IdentifyFileFunction g_identifyOpenedFile = IdentifyOpenedFile;

namespace {

constexpr size_t kBlockBytes = 1 << 20;
constexpr uint32_t kNoFolder = ~0u;

[[noreturn]] void Fail(const std::wstring& text) {
    throw JobFailure(text);
}

std::wstring ChildFolderPath(const std::wstring& folderPath, const std::wstring& name) {
    if (!folderPath.empty() && folderPath.back() == L'/')
        return folderPath + name;
    return folderPath + L'/' + name;
}

bool SameFileTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// The size and last-write time of an open file. Two plain queries: the one
// call that returns both also asks for the volume's serial number, which
// costs milliseconds per file under Wine.
bool SizeAndWriteTime(HANDLE file, uint64_t& size, FILETIME& lastWrite) {
    LARGE_INTEGER bytes;
    if (!GetFileSizeEx(file, &bytes) || !GetFileTime(file, nullptr, nullptr, &lastWrite))
        return false;
    size = static_cast<uint64_t>(bytes.QuadPart);
    return true;
}

// Everything the job stored, kept compactly: files by their folder and name,
// so that the job can later delete exactly these and nothing else.
class StoredSources {
public:
    // A folder whose files were stored; stored folders are removed at the
    // end when they are empty, the folders of selected files are not.
    uint32_t AddFolder(std::wstring path, uint32_t parent, bool stored) {
        if (!path.empty() && path.back() != L'\\')
            path += L'\\';
        folders_.push_back(Folder{std::move(path), parent, stored, false});
        return static_cast<uint32_t>(folders_.size() - 1);
    }
    void AddFile(uint32_t folder, std::wstring name, uint64_t size, const FILETIME& lastWrite) {
        files_.push_back(File{folder, std::move(name), size, lastWrite});
    }
    // An item that was met and not stored (a link, or a second name of a
    // stored file); it stays, and so does its folder.
    void AddKept(uint32_t folder, std::wstring path, LeftItem::Reason reason) {
        links_.push_back(Link{folder, std::move(path), reason});
    }

    // Deletes the stored files that are unchanged, then the stored folders
    // that are empty, and lists what stays.
    void DeleteUnchanged(zelprogress::IProgressUpdate& progress, std::vector<LeftItem>& left);

private:
    struct Folder {
        std::wstring path; // ends in '\'
        uint32_t parent;
        bool stored;
        bool keeps; // something below it stays, which explains why it stays
    };
    struct File {
        uint32_t folder;
        std::wstring name;
        uint64_t size;
        FILETIME lastWrite;
    };
    struct Link {
        uint32_t folder;
        std::wstring path;
        LeftItem::Reason reason;
    };
    void MarkKept(uint32_t folder) {
        for (; folder != kNoFolder && !folders_[folder].keeps; folder = folders_[folder].parent)
            folders_[folder].keeps = true;
    }

    std::vector<Folder> folders_;
    std::vector<File> files_;
    std::vector<Link> links_;
};

enum class DeleteResult { Deleted, Gone, Changed, Failed };

// True when the folder (ending in '\\') holds an entry that is neither in
// the list of what stays nor a folder that stays for what it holds.
bool HoldsUnlisted(const std::wstring& folder, const std::vector<LeftItem>& left,
                   const std::vector<std::wstring>& keptFolders) {
    std::vector<CPathInfo> children;
    CPathInfo(folder).ListChildren(children, L"*.*");
    for (const CPathInfo& child : children) {
        const std::wstring& path = child.GetPath();
        if (std::none_of(left.begin(), left.end(),
                         [&](const LeftItem& item) { return SamePathText(item.path, path); }) &&
            std::none_of(keptFolders.begin(), keptFolders.end(),
                         [&](const std::wstring& kept) { return SamePathText(kept, path); }))
            return true;
    }
    return false;
}

// Deletes a file only if it still has the size and last-write time it had
// when it was read. The check and the deletion happen on one handle that
// lets nobody write in between.
DeleteResult DeleteFileIfUnchanged(const std::wstring& path, uint64_t size,
                                   const FILETIME& lastWrite, DWORD& error) {
    UniqueFileHandle file(CreateFileW(ExtendedPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        error = GetLastError();
        return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                   ? DeleteResult::Gone
                   : DeleteResult::Failed;
    }
    // Opened without backup semantics, the handle cannot be a folder's.
    uint64_t now = 0;
    FILETIME written;
    if (!SizeAndWriteTime(file.Get(), now, written)) {
        error = GetLastError();
        return DeleteResult::Failed;
    }
    if (now != size || !SameFileTime(written, lastWrite))
        return DeleteResult::Changed;
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (!SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
        error = GetLastError();
        return DeleteResult::Failed;
    }
    return DeleteResult::Deleted;
}

void StoredSources::DeleteUnchanged(zelprogress::IProgressUpdate& progress,
                                    std::vector<LeftItem>& left) {
    for (const Link& link : links_) {
        left.push_back(LeftItem{link.path, link.reason});
        MarkKept(link.folder);
    }
    bool cancelled = false;
    for (const File& file : files_) {
        const std::wstring path = folders_[file.folder].path + file.name;
        // After a cancel the container is complete; what is not yet deleted
        // simply stays, and is reported like everything else that stays.
        if (!cancelled && progress.IsCancelled())
            cancelled = true;
        DWORD error = ERROR_SUCCESS;
        DeleteResult result = cancelled
                                  ? DeleteResult::Failed
                                  : DeleteFileIfUnchanged(path, file.size, file.lastWrite, error);
        if (cancelled)
            error = ERROR_CANCELLED;
        if (result == DeleteResult::Deleted || result == DeleteResult::Gone)
            continue;
        left.push_back(LeftItem{path,
                                result == DeleteResult::Changed ? LeftItem::Reason::Changed
                                                                : LeftItem::Reason::CouldNotDelete,
                                error});
        MarkKept(file.folder);
    }
    // Deepest first: the walk added every folder before those below it.
    std::vector<std::wstring> keptFolders;
    for (size_t i = folders_.size(); i-- > 0;) {
        Folder& folder = folders_[i];
        if (!folder.stored || (!cancelled && RemoveDirectoryW(ExtendedPath(folder.path).c_str())))
            continue;
        const DWORD error = cancelled ? ERROR_CANCELLED : GetLastError();
        std::wstring path = folder.path;
        path.pop_back();
        // A folder that stays only because of what is already listed, also
        // deeper down, needs no line of its own; one that holds something
        // new does.
        if (error == ERROR_DIR_NOT_EMPTY && HoldsUnlisted(folder.path, left, keptFolders))
            left.push_back(LeftItem{path, LeftItem::Reason::Added, error});
        else if (!folder.keeps)
            left.push_back(LeftItem{path, LeftItem::Reason::CouldNotDelete, error});
        else
            keptFolders.push_back(path);
        MarkKept(folder.parent);
    }
}

// The names of one folder's entries must stay apart once restored: Windows
// compares names without regard to letter case. Returns why they do not, or
// the empty text.
std::wstring NamesThatCollide(const std::vector<std::wstring>& names,
                              const std::vector<std::wstring>& paths) {
    std::vector<std::pair<std::wstring, size_t>> folded;
    folded.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        folded.emplace_back(FoldCase(names[i]), i);
    std::sort(folded.begin(), folded.end());
    for (size_t i = 1; i < folded.size(); ++i) {
        if (folded[i].first == folded[i - 1].first)
            return paths[folded[i - 1].second] + jobtext::kAnd + paths[folded[i].second] +
                   jobtext::kSameName;
    }
    return std::wstring();
}

// Reads until want bytes came or the file ended (ReadFile may give less
// before the end). False on a read error, with the last error set.
bool ReadUpTo(HANDLE file, uint8_t* data, size_t want, size_t& got) {
    got = 0;
    while (got < want) {
        DWORD more = 0;
        SetLastError(ERROR_SUCCESS);
        if (!ReadFile(file, data + got, static_cast<DWORD>(want - got), &more, nullptr))
            return false;
        if (more == 0)
            break;
        got += more;
    }
    return true;
}

// Writes the records and bodies of the items, and records what was stored.
class Packer {
public:
    Packer(ContainerWriter& writer, zelprogress::IProgressUpdate& progress,
           const std::wstring& containerPath, StoredSources& stored)
        : writer_(writer), progress_(progress), containerPath_(containerPath), stored_(stored),
          buffer_(kBlockBytes) {}

    // One selected item, and for a folder everything below it, in
    // depth-first pre-order. Failures are raised with the item's text.
    void EncryptItem(const std::wstring& folderPath, const CPathInfo& item,
                     const std::wstring& shownItem);
    // A write of the container failed: the item being stored fails with the
    // system's reason, followed by the container's name. The container is
    // written behind the items that are read, so the failure may show with
    // a later item, or only when the container is completed.
    [[noreturn]] void WriterFailed() const {
        const std::wstring reason = WithoutLineEnd(SystemErrorText(writer_.LastError()));
        FailItem(reason + (reason.empty() ? L"" : L"\n") + jobtext::kWrite + containerPath_ + L".");
    }

private:
    struct Level {
        std::wstring folderPath; // where this folder's entries are stored
        uint32_t folder;
        std::vector<CPathInfo> children;
        size_t next;
    };

    [[noreturn]] void FailItem(const std::wstring& reason) const {
        Fail(jobtext::kEncryptError + shownItem_ + L"\n" + reason);
    }
    void CheckCancel() const {
        if (progress_.IsCancelled())
            Fail(std::wstring());
    }
    void AddFolderRecord(const std::wstring& folderPath, const std::wstring& name) {
        if (!writer_.AddFolder(folderPath, name))
            WriterFailed();
    }
    void EnterFolder(std::vector<Level>& levels, const CPathInfo& folder,
                     const std::wstring& folderPath, uint32_t parent);
    void PackFile(const std::wstring& folderPath, const std::wstring& name, const CPathInfo& file,
                  uint32_t folder);
    void PackLargeBody(HANDLE input, const std::wstring& path, uint64_t size);

    ContainerWriter& writer_;
    zelprogress::IProgressUpdate& progress_;
    const std::wstring& containerPath_;
    StoredSources& stored_;
    std::vector<uint8_t> buffer_;
    // Lent to each large file's read-ahead, allocated at the first of them.
    std::vector<FileBlock> readAheadBlocks_;
    using FileKey = std::pair<DWORD, uint64_t>;
    std::set<FileKey> seen_; // every file stored, by volume and index
    DWORD volume_ = 0;       // of the item volumeItem_
    std::wstring volumeItem_;
    std::wstring shownItem_;
};

void Packer::EncryptItem(const std::wstring& folderPath, const CPathInfo& item,
                         const std::wstring& shownItem) {
    shownItem_ = shownItem;
    CheckCancel();
    if (!item.Exists())
        FailItem(SystemErrorText(ERROR_FILE_NOT_FOUND));
    const std::wstring name = NameAsWindowsKeepsIt(item.GetName());
    if (!IsStorableName(name))
        FailItem(jobtext::kTheName + item.GetPath() + jobtext::kNameCannotBeStored);
    if (item.IsLink()) {
        stored_.AddKept(kNoFolder, item.GetPath(), LeftItem::Reason::NotStored);
        return;
    }
    if (item.IsFile()) {
        const uint32_t folder =
            stored_.AddFolder(ParentOf(item.GetPath(), L'\\'), kNoFolder, false);
        PackFile(folderPath, name, item, folder);
        return;
    }

    // Folders below are walked with a stack of our own: a deep tree must not
    // run the worker thread out of stack.
    AddFolderRecord(folderPath, name);
    std::vector<Level> levels;
    EnterFolder(levels, item, ChildFolderPath(folderPath, name), kNoFolder);
    while (!levels.empty()) {
        CheckCancel();
        Level& level = levels.back();
        if (level.next == level.children.size()) {
            levels.pop_back();
            continue;
        }
        const CPathInfo child = level.children[level.next++];
        const std::wstring childName = child.GetPath().substr(child.GetPath().rfind(L'\\') + 1);
        if (child.IsLink()) {
            stored_.AddKept(level.folder, child.GetPath(), LeftItem::Reason::NotStored);
        } else if (child.IsDirectory()) {
            AddFolderRecord(level.folderPath, childName);
            const std::wstring childFolderPath = ChildFolderPath(level.folderPath, childName);
            const uint32_t parent = level.folder;
            EnterFolder(levels, child, childFolderPath, parent); // may move `level`
        } else {
            PackFile(level.folderPath, childName, child, level.folder);
        }
    }
}

void Packer::EnterFolder(std::vector<Level>& levels, const CPathInfo& folder,
                         const std::wstring& folderPath, uint32_t parent) {
    std::vector<CPathInfo> children;
    SetLastError(ERROR_SUCCESS);
    if (!folder.ListChildren(children, L"*.*"))
        FailItem(jobtext::kTheFolder + folder.PathWithSeparator() + jobtext::kCouldNotBeListed +
                 GetSystemErrorText());
    std::vector<std::wstring> names, paths;
    names.reserve(children.size());
    paths.reserve(children.size());
    for (const CPathInfo& child : children) {
        const std::wstring& path = child.GetPath();
        std::wstring name = path.substr(path.rfind(L'\\') + 1);
        if (!IsStorableName(name) && !child.IsLink())
            FailItem(jobtext::kTheName + path + jobtext::kNameCannotBeStored);
        names.push_back(std::move(name));
        paths.push_back(path);
    }
    const std::wstring collision = NamesThatCollide(names, paths);
    if (!collision.empty())
        FailItem(collision);
    const uint32_t index = stored_.AddFolder(folder.GetPath(), parent, true);
    levels.push_back(Level{folderPath, index, std::move(children), 0});
}

// Stores the file as it is when it is opened: its size and last-write time
// are taken from the open handle, which lets nobody write to the file while
// it is read, and are what the deletion later checks against.
void Packer::PackFile(const std::wstring& folderPath, const std::wstring& name,
                      const CPathInfo& file, uint32_t folder) {
    using namespace jobtext;
    const std::wstring& path = file.GetPath();
    // Opened as itself: a link that appeared since the listing is seen here.
    UniqueFileHandle input(CreateFileW(
        ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    OpenedFileIdentity identity;
    if (!input || !g_identifyOpenedFile(input.Get(), path, identity))
        FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
    if (identity.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        stored_.AddKept(folder, path, LeftItem::Reason::NotStored);
        return;
    }
    // A second name of a file already stored (a hard link; under Wine also a
    // Unix link, which shows as its target) is not stored again, so the file
    // is deleted once, by the name it was stored under. Links are never
    // entered, so one item's files all lie on the volume of its first.
    if (volumeItem_ != shownItem_) {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(input.Get(), &info))
            FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
        volume_ = info.dwVolumeSerialNumber;
        volumeItem_ = shownItem_;
    }
    if (!seen_.insert(FileKey(volume_, identity.index)).second) {
        stored_.AddKept(folder, path, LeftItem::Reason::SameFile);
        return;
    }
    uint64_t size = 0;
    FILETIME lastWrite;
    if (!SizeAndWriteTime(input.Get(), size, lastWrite))
        FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
    if (!writer_.AddFile(folderPath, name, CTimeStamp::FromFileTime(lastWrite).Seconds(), size))
        WriterFailed();

    // The last read asks for one byte more than is left, so a file that
    // grew shows without a read of its own.
    if (size >= buffer_.size()) {
        PackLargeBody(input.Get(), path, size);
    } else {
        const size_t want = static_cast<size_t>(size) + 1;
        size_t got = 0;
        if (!ReadUpTo(input.Get(), buffer_.data(), want, got))
            FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
        if (got > size)
            FailItem(kTheFile + path + kFileGrew);
        if (got < size)
            FailItem(kTheFile + path + kFileEndedEarly);
        if (got > 0) {
            if (!writer_.WriteBody(buffer_.data(), got))
                WriterFailed();
            progress_.SetCurrent(progress_.GetCurrent() + got, 0);
        }
    }
    stored_.AddFile(folder, path.substr(path.rfind(L'\\') + 1), size, lastWrite);
}

// A large file is read ahead on a thread of its own while this one
// enciphers; the read-ahead asks for one byte more than the size.
void Packer::PackLargeBody(HANDLE input, const std::wstring& path, uint64_t size) {
    using namespace jobtext;
    if (readAheadBlocks_.empty())
        readAheadBlocks_ = MakeFileBlocks(3, kBlockBytes);
    BlockReadAhead ahead(input, 0, size + 1, readAheadBlocks_, nullptr);
    uint64_t remaining = size;
    while (const FileBlock* block = ahead.Next()) {
        if (block->used > remaining)
            FailItem(kTheFile + path + kFileGrew);
        if (!writer_.WriteBody(block->bytes.data(), block->used))
            WriterFailed();
        remaining -= block->used;
        progress_.SetCurrent(progress_.GetCurrent() + block->used, 0);
        CheckCancel();
    }
    SetLastError(ahead.Error());
    if (ahead.Error() != ERROR_SUCCESS)
        FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
    if (remaining != 0)
        FailItem(kTheFile + path + kFileEndedEarly);
}

void RefuseContainerInsideItems(const std::vector<CPathInfo>& items,
                                const std::wstring& containerPath) {
    if (const CPathInfo* holder = FindItemHoldingPath(items, containerPath))
        Fail(jobtext::kWrite + containerPath + L"." + jobtext::kContainerInsideItem +
             holder->PathWithSeparator() + jobtext::kContainerInsideItemEnd);
}

// Several items share one folder in the container, so their names must
// stay apart there. The same item given twice (also in another letter case
// or with a trailing separator) is told as such: renaming would not help.
// items are full paths; shown are the snapshots that name them in messages.
void RefuseItemsWithOneName(const std::vector<CPathInfo>& items,
                            const std::vector<CPathInfo>& shown) {
    std::vector<std::pair<std::wstring, size_t>> places;
    for (size_t i = 0; i < items.size(); ++i) {
        std::wstring path = items[i].GetPath();
        if (path.size() > 3 && path.back() == L'\\')
            path.pop_back();
        places.emplace_back(FoldCase(path), i);
    }
    std::sort(places.begin(), places.end());
    for (size_t i = 1; i < places.size(); ++i) {
        if (places[i].first == places[i - 1].first)
            Fail(jobtext::kEncryptError + shown[places[i - 1].second].PathWithSeparator() +
                 jobtext::kGivenTwice);
    }
    std::vector<std::wstring> names, paths;
    for (const CPathInfo& item : shown) {
        names.push_back(NameAsWindowsKeepsIt(item.GetName()));
        paths.push_back(item.PathWithSeparator());
    }
    const std::wstring collision = NamesThatCollide(names, paths);
    if (!collision.empty())
        Fail(jobtext::kEncryptError + collision);
}

// The container being written, under its temporary name until it is moved
// into place; deleted by the destructor unless it got there.
class PartialContainer {
public:
    ~PartialContainer() {
        if (!path_.empty()) {
            DWORD error = GetLastError();
            DeleteFileW(ExtendedPath(path_).c_str());
            SetLastError(error);
        }
    }
    std::wstring path_;
};

// Handed to the worker; lives with RunEncryptJob until the worker has ended.
struct EncryptJobParams {
    const std::wstring& password;
    zelprogress::IProgressUpdate& progress;
    const std::vector<CPathInfo>& items;
    const std::wstring& containerPath;
    uint64_t totalSize;
    bool replaceExisting;
    bool replaceForGood;
    ContainerFormat format;
    EncryptionOutcome& outcome;
    std::wstring shownItem = {}; // the item being stored, for a failure nobody foresaw
};

void Encrypt(EncryptJobParams& params) {
    using namespace jobtext;
    const std::wstring containerPath = params.containerPath;
    EncryptionOutcome& outcome = params.outcome;
    auto& progress = params.progress;
    // Each item as the file system names it (a trailing dot or blank is
    // dropped, as Windows does); the snapshots the caller took name the
    // items in messages.
    std::vector<CPathInfo> items;
    for (const CPathInfo& item : params.items)
        items.emplace_back(GetFullPath(item.GetPath()));

    // Declared first so that it goes last, after the writer has let go of
    // the file.
    PartialContainer partial;
    // The read-back opens the container with the key the writer derived.
    DerivedKeyScope keys;
    ContainerWriter writer(params.password, params.format);
    RefuseContainerInsideItems(items, containerPath);
    if (NothingToStore(items))
        Fail(kNothingToEncrypt);
    if (items.size() > 1)
        RefuseItemsWithOneName(items, params.items);

    // A run that was stopped before may have left its temporary container;
    // nothing depends on it, since no source goes before the container is
    // complete.
    RemoveLeftoversBeside(containerPath, kPartialMark);
    // Without the user's consent an existing file keeps the name; finding
    // out now spares writing a container that could not take its place.
    if (!params.replaceExisting &&
        GetFileAttributesW(ExtendedPath(containerPath).c_str()) != INVALID_FILE_ATTRIBUTES)
        Fail(kWrite + containerPath + L"." + SystemErrorText(ERROR_ALREADY_EXISTS));
    std::wstring partialPath;
    SetLastError(ERROR_SUCCESS);
    if (!FreeNameBeside(containerPath, kPartialMark, partialPath) || !writer.Create(partialPath)) {
        const DWORD error = writer.Failed() ? writer.LastError() : GetLastError();
        Fail(kWrite + containerPath + L"." + SystemErrorText(error));
    }
    partial.path_ = partialPath;
    progress.SetTotal(params.totalSize);

    if (!writer.WriteHeader())
        Fail(kWriteHeaderError + (writer.LastError() == ERROR_INVALID_PASSWORD
                                      ? std::wstring(kPasswordTooLong)
                                      : SystemErrorText(writer.LastError())));
    std::wstring folderPath = L"/";
    if (items.size() > 1) {
        const std::wstring top = NameAsWindowsKeepsIt(GetStem(containerPath));
        if (!writer.AddFolder(folderPath, top))
            Fail(kEncryptError + SystemErrorText(writer.LastError()));
        folderPath += top;
    }
    StoredSources stored;
    Packer packer(writer, progress, containerPath, stored);
    for (size_t i = 0; i < items.size(); ++i) {
        params.shownItem = params.items[i].PathWithSeparator();
        packer.EncryptItem(folderPath, items[i], params.shownItem);
    }
    params.shownItem.clear();

    // Every byte must be on the device before the container takes its name.
    if (!writer.Commit() || !writer.Close())
        packer.WriterFailed();
    CPathInfo written(partialPath);
    if (!written.IsFile() || written.GetTotalSize() != writer.BytesWritten())
        Fail(kWrite + containerPath + L"." + kContainerIncomplete);
    // An earlier file the user agreed to replace goes to the Recycle Bin,
    // never straight to deletion: an earlier container may hold files that
    // exist nowhere else (a run stopped while it deleted its sources leaves
    // one). Where the bin cannot take it, nothing is replaced.
    DWORD replace = 0;
    if (params.replaceExisting &&
        GetFileAttributesW(ExtendedPath(containerPath).c_str()) != INVALID_FILE_ATTRIBUTES &&
        !MoveToRecycleBin(containerPath)) {
        if (GetLastError() != ERROR_NOT_SUPPORTED || !params.replaceForGood)
            Fail(kWrite + containerPath + L"." + kNotRecycled);
        replace = MOVEFILE_REPLACE_EXISTING;
    }
    // Checked again here, where it counts: a file may have taken the name.
    if (!MoveFileExW(ExtendedPath(partialPath).c_str(), ExtendedPath(containerPath).c_str(),
                     replace | MOVEFILE_WRITE_THROUGH))
        Fail(kWrite + containerPath + L"." + GetSystemErrorText());
    partial.path_ = containerPath; // until it has been read back

    const ReadBack check = ReadContainerBack(containerPath, params.password, writer.RecordCount(),
                                             writer.BytesWritten(), writer.Checksum(), progress);
    if (check == ReadBack::Cancelled)
        Fail(std::wstring());
    if (check == ReadBack::Differs) {
        // The container stays for whoever wants to look at it; nothing is
        // deleted.
        partial.path_.clear();
        Fail(kWrite + containerPath + L"." + kReadBackDiffers);
    }
    partial.path_.clear();
    stored.DeleteUnchanged(progress, outcome.leftBehind);
    outcome.succeeded = true;
}

// Thread entry; raw is an EncryptJobParams. Calls SetFinished exactly once.
DWORD WINAPI EncryptWorker(LPVOID raw) {
    auto* params = static_cast<EncryptJobParams*>(raw);
    EncryptionOutcome& outcome = params->outcome;
    try {
        Encrypt(*params);
    } catch (const JobFailure& failure) {
        outcome.errorText = failure.Text();
    } catch (const std::bad_alloc&) {
        outcome.errorText = std::wstring(jobtext::kEncryptError) + jobtext::kOutOfMemory;
    } catch (...) {
        outcome.succeeded = false;
        const std::wstring& item = params->shownItem;
        outcome.errorText =
            jobtext::kEncryptError + item + (item.empty() ? L"" : L"\n") + UnexpectedFailureText();
    }
    if (!outcome.succeeded && params->progress.IsCancelled())
        outcome.errorText.clear();
    params->progress.SetFinished(outcome.succeeded ? 0 : 1);
    return 0;
}

} // namespace

EncryptionOutcome RunEncryptJob(const EncryptRequest& request, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, const JobStarter& start) {
    EncryptionOutcome outcome;
    EncryptJobParams params{password,
                            progress,
                            request.items,
                            request.containerPath,
                            request.totalSize,
                            request.replaceExisting,
                            request.replaceForGood,
                            request.format,
                            outcome};
    outcome.started = start(EncryptWorker, &params);
    return outcome;
}

bool IdentifyOpenedFile(HANDLE file, const std::wstring&, OpenedFileIdentity& identity) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    identity.attributes = tag.FileAttributes;
    // The index alone, from the file system: the calls that give it with the
    // volume's serial number ask the volume each time, which takes a quarter
    // of a millisecond per file under Wine.
    using QueryFunction = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
    constexpr ULONG kFileInternalInformation = 6;
    static const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    IO_STATUS_BLOCK status = {};
    LARGE_INTEGER index = {};
    if (query && query(file, &status, &index, sizeof index, kFileInternalInformation) >= 0) {
        identity.index = static_cast<uint64_t>(index.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return false;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

ReadBack ReadContainerBack(const std::wstring& path, const std::wstring& password, uint64_t records,
                           uint64_t bytes, uint64_t checksum,
                           zelprogress::IProgressUpdate& progress) {
    ContainerReader reader;
    if (!reader.Open(path, true) || reader.CheckHeader(password) != HeaderCheck::Matches)
        return ReadBack::Differs;
    std::vector<uint8_t> block(kBlockBytes);
    uint64_t seen = 0;
    while (!reader.AtEnd()) {
        if (progress.IsCancelled())
            return ReadBack::Cancelled;
        EntryInfo entry;
        std::wstring folder;
        if (reader.NextRecord(entry) != RecordRead::Ok || !IsStorableName(entry.name) ||
            !RelativeFolderOf(entry.folderPath, folder))
            return ReadBack::Differs;
        while (reader.BodyLeft() > 0) {
            if (reader.ReadRawBody(block.data(), block.size()) == 0)
                return ReadBack::Differs;
        }
        ++seen;
    }
    const bool same = seen == records && reader.ChecksumLength() == bytes &&
                      reader.ChecksumCoversAll() && reader.Checksum() == checksum;
    return same ? ReadBack::Same : ReadBack::Differs;
}

std::wstring DescribeLeftItems(const std::vector<LeftItem>& items) {
    using namespace jobtext;
    constexpr size_t kShown = 5;
    std::wstring text;
    for (size_t i = 0; i < items.size() && i < kShown; ++i) {
        const LeftItem& item = items[i];
        text += L"\n" + item.path + L" (";
        switch (item.reason) {
        case LeftItem::Reason::Changed:
            text += kLeftChanged;
            break;
        case LeftItem::Reason::NotStored:
            text += kLeftNotStored;
            break;
        case LeftItem::Reason::SameFile:
            text += kLeftSameFile;
            break;
        case LeftItem::Reason::Added:
            text += kLeftAdded;
            break;
        case LeftItem::Reason::CouldNotDelete: {
            // It is in the container all the same; the system says why it stayed.
            std::wstring reason = WithoutLineEnd(SystemErrorText(item.error));
            if (!reason.empty() && reason.back() == L'.')
                reason.pop_back();
            text += kLeftCouldNotDelete;
            if (!reason.empty())
                text += L": " + reason;
            break;
        }
        }
        text += L")";
    }
    if (items.size() > kShown)
        text += L"\n" + FormatString(kLeftMore.Load().c_str(),
                                     static_cast<unsigned>(items.size() - kShown));
    return text;
}

std::wstring ContainerPathBesideItem(const CPathInfo& item) {
    const std::wstring& path = item.GetPath();
    if (IsRelativePath(path)) {
        CPathInfo full(GetFullPath(path));
        if (full.Exists())
            return ContainerPathBesideItem(full);
    }
    std::wstring folder = item.IsFile() ? item.GetFolder() : item.GetParent().GetFolder();
    return folder + NameAsWindowsKeepsIt(item.GetName()) + L".lock";
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

bool NothingToStore(const std::vector<CPathInfo>& items) {
    return std::all_of(items.begin(), items.end(),
                       [](const CPathInfo& item) { return item.IsLink(); });
}
