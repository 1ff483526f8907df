// Creating, placing, rolling back and recycling what a decryption run
// changes; see restore_changes.h.
#include "jobs/restore_changes.h"

#include "engine/container_session.h"
#include "engine/paths.h"
#include "jobs/job_texts.h"

UniqueFileHandle CreateNew(Journal& journal, const std::wstring& path, DWORD flags) {
    // The record comes first: a kill between the two then leaves a record of
    // a file that may not exist, never a file that no record vouches for (the
    // next run could not tell it from the user's and would leave it behind).
    // The name is looked at before it is recorded, so that the record never
    // claims a file that is somebody else's.
    const std::wstring extended = ExtendedPath(path);
    if (GetFileAttributesW(extended.c_str()) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return UniqueFileHandle();
    }
    if (!journal.disk.Append(JournalRecord{JournalRecord::Kind::Partial, path, {}, {}}))
        return UniqueFileHandle();
    UniqueFileHandle file(g_createRestoredFile(extended.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                               nullptr, CREATE_NEW, flags, nullptr));
    if (file)
        journal.AddPartial(path);
    return file;
}

UniqueFileHandle CreatePartial(Journal& journal, const std::wstring& target, std::wstring& partial,
                               DWORD flags) {
    for (int k = 1; k <= kNamesBeside; ++k) {
        partial = NameBeside(target, kPartialMark, k);
        UniqueFileHandle file = CreateNew(journal, partial, flags);
        if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
            return file;
    }
    return UniqueFileHandle();
}

bool FinishNew(Journal& journal, const std::wstring& path) {
    FileStamp stamp;
    if (!StampOf(path, stamp) ||
        !journal.disk.Append(JournalRecord{JournalRecord::Kind::Written, path, {}, stamp}))
        return false;
    journal.DropPartial(path);
    return true;
}

bool PlacePartial(Journal& journal, const std::wstring& partial, const std::wstring& target,
                  DWORD moveFlags) {
    FileStamp stamp;
    if (!StampOf(partial, stamp) ||
        !journal.disk.Append(JournalRecord{JournalRecord::Kind::Written, target, {}, stamp}) ||
        !MovePath(partial, target, moveFlags))
        return false;
    journal.DropPartial(partial);
    return true;
}

void RollBack(Journal& journal, const std::wstring& containerPath, const std::wstring& password,
              const std::wstring& outputFolder) {
    bool whole = true;
    for (const std::wstring& partial : journal.partials)
        DeleteFileW(ExtendedPath(partial).c_str());
    CContainerReader reader;
    const bool readable =
        reader.Open(containerPath) && reader.CheckHeader(password) == HeaderCheck::Matches;
    auto replaced = journal.replaced.rbegin();
    for (size_t i = journal.created.size(); i-- > 0;) {
        if (replaced != journal.replaced.rend() && replaced->created == i) {
            DeleteFileW(ExtendedPath(replaced->target).c_str());
            whole &= MovePath(replaced->backup, replaced->original, MOVEFILE_WRITE_THROUGH);
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
