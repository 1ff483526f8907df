// What one decryption run changed on the disk, kept so that a failure or a
// cancel undoes exactly that and a success sends exactly what it replaced to
// the Recycle Bin; and the few ways the run creates and places files, each of
// which notes its change here and in the journal on the disk before or as it
// makes it.
#pragma once

#include "common/unique_handle.h"
#include "engine/container.h"
#include "jobs/decrypt_job.h"
#include "jobs/restore_journal.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// How many items of a list the outcome names; the rest are only counted.
inline constexpr size_t kExistingShown = 5;

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
UniqueFileHandle CreateNew(Journal& journal, const std::wstring& path, DWORD flags);

// A file that takes long to write is written under a temporary name beside
// its place, so that a stopped run never leaves a cut file under a name the
// user could take for a whole one.
UniqueFileHandle CreatePartial(Journal& journal, const std::wstring& target, std::wstring& partial,
                               DWORD flags);

// A new file, whole and closed: journalled with what it is, so that the next
// run knows it as this run's own for as long as nobody changes it.
bool FinishNew(Journal& journal, const std::wstring& path);

// Gives a complete, closed temporary file its place, never over anything;
// journalled first under the name it takes (a move keeps size and time).
bool PlacePartial(Journal& journal, const std::wstring& partial, const std::wstring& target,
                  DWORD moveFlags);

// Deletes what the run restored and moves back what it moved aside, newest
// first, so a folder it made is empty by the time its turn comes (a folder
// that is not stays). New files and folders are found again by reading their
// record headers, so the journal needs no path per item.
void RollBack(Journal& journal, const std::wstring& containerPath, const std::wstring& password,
              const std::wstring& outputFolder);

// After a success the items this run replaced go to the Recycle Bin, as
// what the user agreed to replace: never straight to deletion, a read-only
// one with its attribute cleared. Only where the question said that the bin
// cannot take them (no bin on the drive, a path too long for it) are they
// deleted for good; one the bin refuses otherwise stays where it waits,
// and the warning says where.
void RecycleReplaced(Journal& journal, bool deleteForGood, DecryptionOutcome& outcome);
