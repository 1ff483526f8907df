// The decryption's first pass over the container: it reads every record
// header, deciphers no body and changes nothing, so that a container the job
// would refuse, or one whose items meet existing ones without the user's
// consent, leaves the disk as it was.
#pragma once

#include "common/progress_update.h"
#include "engine/container_session.h"
#include "jobs/decrypt_job.h"
#include "jobs/restore_changes.h"
#include "jobs/restore_journal.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The first pass: every record header, no body, nothing written. What a
// stopped run left is sorted out here from its journal, and changed only by
// SettleLeftovers, once the user has agreed where that was needed.
class CSurvey {
public:
    CSurvey(CContainerReader& reader, const std::wstring& outputFolder,
            const std::wstring& journalPath, zelprogress::IProgressUpdate& progress);

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
    void NoteExisting(const std::wstring& target, DecryptionOutcome& outcome);
    // True when the file at target is one a stopped run wrote and nobody
    // changed since, or one it created and never finished.
    bool LeftByEarlierRun(const std::wstring& target) const;
    // The stopped run wrote the file whole and it is unchanged since: the
    // journal vouches for every byte of it.
    bool WrittenByEarlierRun(const std::wstring& target) const;
    void SurveyLeftovers(DecryptionOutcome& outcome);

    CContainerReader& reader_;
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
