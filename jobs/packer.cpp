// The encryption's packer; see packer.h.
#include "jobs/packer.h"

#include "engine/stored_name.h"
#include "jobs/encrypt_job.h"
#include "jobs/job_internal.h"
#include "jobs/job_texts.h"

#include <algorithm>

namespace {

std::wstring ChildFolderPath(const std::wstring& folderPath, const std::wstring& name) {
    if (!folderPath.empty() && folderPath.back() == L'/')
        return folderPath + name;
    return folderPath + L'/' + name;
}

} // namespace

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

CPacker::CPacker(CContainerWriter& writer, zelprogress::IProgressUpdate& progress,
                 const std::wstring& containerPath, CStoredSources& stored)
    : writer_(writer), progress_(progress), containerPath_(containerPath), stored_(stored),
      buffer_(kBlockBytes) {}

void CPacker::WriterFailed() const {
    const std::wstring reason = WithoutLineEnd(SystemErrorText(writer_.LastError()));
    FailItem(reason + (reason.empty() ? L"" : L"\n") + jobtext::kWrite + containerPath_ + L".");
}

void CPacker::FailItem(const std::wstring& reason) const {
    Fail(jobtext::kEncryptError + shownItem_ + L"\n" + reason);
}

void CPacker::CheckCancel() const {
    if (progress_.IsCancelled())
        Fail(std::wstring());
}

void CPacker::AddFolderRecord(const std::wstring& folderPath, const std::wstring& name) {
    if (!writer_.AddFolder(folderPath, name))
        WriterFailed();
}

void CPacker::EncryptItem(const std::wstring& folderPath, const CPathInfo& item,
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

void CPacker::EnterFolder(std::vector<Level>& levels, const CPathInfo& folder,
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
void CPacker::PackFile(const std::wstring& folderPath, const std::wstring& name,
                       const CPathInfo& file, uint32_t folder) {
    using namespace jobtext;
    const std::wstring& path = file.GetPath();
    // Opened as itself: a link that appeared since the listing is seen here.
    // Its buffer goes unused: the body is read whole or in read-ahead blocks.
    CBufferedFileInputStream input(1);
    // A size the stream could not read is no failure yet: a link is kept
    // without one, and a file's size is read again below with its time.
    const bool opened =
        input.Open(path, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT) ||
        input.IsOpen();
    OpenedFileIdentity identity;
    if (!opened || !g_identifyOpenedFile(input.Handle(), path, identity))
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
        if (!GetFileInformationByHandle(input.Handle(), &info))
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
    if (!SizeAndWriteTime(input.Handle(), size, lastWrite))
        FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
    if (!writer_.AddFile(folderPath, name, CTimeStamp::FromFileTime(lastWrite).Seconds(), size))
        WriterFailed();

    // The last read asks for one byte more than is left, so a file that
    // grew shows without a read of its own.
    if (size >= buffer_.size()) {
        PackLargeBody(input, path, size);
    } else {
        const size_t want = static_cast<size_t>(size) + 1;
        size_t got = 0;
        if (!input.ReadFully(buffer_.data(), want, got))
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
void CPacker::PackLargeBody(CBufferedFileInputStream& input, const std::wstring& path,
                            uint64_t size) {
    using namespace jobtext;
    if (readAheadBlocks_.empty())
        readAheadBlocks_ = MakeFileBlocks(3, kBlockBytes);
    input.StartReadAhead(0, size + 1, readAheadBlocks_, nullptr);
    uint64_t remaining = size;
    while (const FileBlock* block = input.NextBlock()) {
        if (block->used > remaining)
            FailItem(kTheFile + path + kFileGrew);
        if (!writer_.WriteBody(block->bytes.data(), block->used))
            WriterFailed();
        remaining -= block->used;
        progress_.SetCurrent(progress_.GetCurrent() + block->used, 0);
        CheckCancel();
    }
    const DWORD error = input.ReadAheadError();
    SetLastError(error);
    if (error != ERROR_SUCCESS)
        FailItem(kTheFile + path + kCouldNotBeRead + GetSystemErrorText());
    if (remaining != 0)
        FailItem(kTheFile + path + kFileEndedEarly);
}
