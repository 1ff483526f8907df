// The decryption's survey; see restore_survey.h.
#include "jobs/restore_survey.h"

#include "engine/checksum.h"
#include "engine/paths.h"
#include "engine/stored_name.h"
#include "jobs/job_internal.h"
#include "jobs/job_texts.h"

namespace {

// A 64-bit key for a path, equal for paths Windows takes for the same. The
// survey keeps keys instead of paths, so its memory stays small for
// containers of many files.
uint64_t PathKey(const std::wstring& path) {
    const std::wstring folded = FoldCase(path);
    CByteChecksum sum;
    sum.Update(reinterpret_cast<const uint8_t*>(folded.data()), folded.size() * sizeof(wchar_t));
    return sum.Value();
}

} // namespace

CSurvey::CSurvey(CContainerReader& reader, const std::wstring& outputFolder,
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

void CSurvey::NoteExisting(const std::wstring& target, DecryptionOutcome& outcome) {
    if (outcome.existing.size() < kExistingShown)
        outcome.existing.push_back(target);
    ++outcome.existingCount;
    // The Recycle Bin takes no path it could not give back.
    if (!FitsRecycleBin(NameBeside(target, kBackupMark, kNamesBeside)))
        outcome.recycleBinMissing = true;
}

bool CSurvey::LeftByEarlierRun(const std::wstring& target) const {
    const uint64_t key = PathKey(target);
    auto it = written_.find(key);
    if (it == written_.end())
        return started_.count(key) != 0;
    FileStamp now;
    return StampOf(target, now) && now == it->second;
}

bool CSurvey::WrittenByEarlierRun(const std::wstring& target) const {
    auto it = written_.find(PathKey(target));
    FileStamp now;
    return it != written_.end() && StampOf(target, now) && now == it->second;
}

void CSurvey::Run(DecryptionOutcome& outcome) {
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

void CSurvey::Record(const EntryInfo& entry, uint64_t offset, DecryptionOutcome& outcome) {
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
        // Beside the first under a name that neither the container nor the
        // disk has.
        target = FreeNumberedName(target, [this](const std::wstring& candidate) {
            return places_.count(PathKey(candidate)) != 0;
        });
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
void CSurvey::SurveyLeftovers(DecryptionOutcome& outcome) {
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
        if (!NameTaken(record.original) || LeftByEarlierRun(record.original)) {
            movedBack_.push_back(record);
            NoteExisting(record.original, outcome);
        } else {
            stillAside_.push_back(record);
        }
    }
}

void CSurvey::SettleLeftovers(Journal& journal, const std::wstring& journalPath) {
    // A file the stopped run only began may hold anything: cut short, or
    // finished and then changed by the user before the run could note it
    // as written. It goes to the Recycle Bin, not away for good; only where
    // the drive has no bin is it deleted, as before.
    std::vector<std::wstring> doubtful;
    auto settle = [&](const std::wstring& file) {
        if (!LeftByEarlierRun(file))
            return;
        if (WrittenByEarlierRun(file))
            DeleteFileW(ExtendedPath(file).c_str());
        else
            doubtful.push_back(file);
    };
    for (const std::wstring& file : ownFiles_)
        settle(file);
    for (const JournalRecord& record : movedBack_)
        settle(record.original);
    MoveToRecycleBin(doubtful);
    for (const std::wstring& file : doubtful)
        DeleteFileW(ExtendedPath(file).c_str());
    for (const JournalRecord& record : movedBack_) {
        MovePath(record.path, record.original, MOVEFILE_WRITE_THROUGH);
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
