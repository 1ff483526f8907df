// The decryption's restore pass; see restorer.h.
#include "jobs/restorer.h"

#include "engine/paths.h"
#include "jobs/decrypt_job.h"
#include "jobs/file_guard.h"
#include "jobs/job_internal.h"
#include "jobs/job_texts.h"

#include <mutex>
#include <utility>

CRestorer::CRestorer(CContainerReader& reader, const std::wstring& outputFolder,
                     zelprogress::IProgressUpdate& progress, bool mayReplace, Journal& journal,
                     std::wstring& resultPath)
    : reader_(reader), outputFolder_(outputFolder), progress_(progress), mayReplace_(mayReplace),
      journal_(journal), resultPath_(resultPath), buffer_(kBlockBytes), writers_(journal) {}

void CRestorer::Run() {
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

void CRestorer::FailWithWriters() {
    writers_.Finish();
    Fail(jobtext::kDecryptErrorTarget + writers_.FailedName() + L"." +
         SystemErrorText(writers_.FailedError()));
}

void CRestorer::Finish() {
    if (!writers_.Finish())
        FailWithWriters();
}

// A folder this run makes is noted, so that a failure takes it away again
// (once what was restored into it is gone).
void CRestorer::RestoreFolder(const EntryInfo& entry, const std::wstring& target) {
    if (!MakeFolders(target))
        Fail(jobtext::kDecryptErrorTarget + entry.name + L"." + GetSystemErrorText());
}

bool CRestorer::MakeFolders(const std::wstring& folder) {
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

bool CRestorer::ReadWholeBody(std::vector<uint8_t>& body) {
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

bool CRestorer::WriteBody(HANDLE file) {
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

void CRestorer::DecryptFileEntry(const EntryInfo& entry, const std::wstring& target,
                                 uint64_t offset) {
    using namespace jobtext;
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    // Only the survey's existing items may be replaced, and only with
    // consent; every other file is created exclusively, which proves that
    // nothing had its name and keeps anything that appears meanwhile out of
    // reach, so the bytes go straight to their place.
    if (!MakeFolders(FolderOf(target)))
        Fail(failed + GetSystemErrorText());
    if (mayReplace_ && (NameTaken(target) || NameTakenUnseen(target))) {
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
    ScopedFileRemoval guard(partial);
    if (!WriteBody(file.Get()))
        FailBody(file, failed);
    guard.Dismiss();
    writers_.AddWritten(std::move(file), target, partial, entry.name, offset);
}

// A body that could not be written: the file is closed (its guard then
// deletes it) and the job fails for the reason, or quietly when cancelled.
void CRestorer::FailBody(UniqueFileHandle& file, const std::wstring& failed) {
    const DWORD error = GetLastError();
    file.Reset();
    if (progress_.IsCancelled())
        Fail(std::wstring());
    Fail(failed + SystemErrorText(error));
}

// The user agreed to replace an existing file: the new one is written and
// forced to the device under a temporary name, the earlier file is moved
// aside under its own name (a link as itself), and the new one takes the
// place. A failure of the job later moves the earlier file back; a success
// sends it to the Recycle Bin.
void CRestorer::ReplaceFile(const EntryInfo& entry, const std::wstring& target, uint64_t offset) {
    using namespace jobtext;
    const std::wstring failed = kDecryptErrorTarget + entry.name + L".";
    std::wstring original = target;
    bool unseen = false;
    bool isFolder = false;
    if (ListedPath(target, original, isFolder)) {
        if (isFolder)
            Fail(failed + SystemErrorText(ERROR_ACCESS_DENIED));
    } else if (!(unseen = NameTakenUnseen(target))) {
        Fail(failed + SystemErrorText(ERROR_FILE_NOT_FOUND));
    }
    std::wstring partial, backup;
    {
        UniqueFileHandle file = CreatePartial(journal_, target, partial, FILE_ATTRIBUTE_NORMAL);
        if (!file)
            Fail(failed + GetSystemErrorText());
        ScopedFileRemoval guard(partial);
        if (!WriteBody(file.Get()) || !g_flushRestoredFile(file.Get()))
            FailBody(file, failed);
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
            !MovePath(original, backup, MOVEFILE_WRITE_THROUGH))
            Fail(failed + GetSystemErrorText());
        if (!PlacePartial(journal_, partial, target, MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            MovePath(backup, original, MOVEFILE_WRITE_THROUGH);
            Fail(failed + SystemErrorText(error));
        }
        guard.Dismiss();
    }
    // Journalled only now: until the new file has the place, a roll-back
    // must not touch the earlier one.
    journal_.Note(offset, Journal::Replaced{0, target, backup, original});
}
