// What a decryption writes and moves, kept on the disk beside the container
// while it runs, so that the next run on the same container can tell what a
// stopped run left from the user's own files. A file counts as the run's own
// only while it still has the size and last-write time noted when the run
// wrote or moved it: one the user has changed since, or one the run never
// wrote, is the user's and is asked about like any existing item.
//
// Each record goes to the file with one write of its own and is not forced
// to the device: a killed process loses none, and a record lost with the
// power only makes the next run ask about a file it could have known.
#pragma once

#include "common/unique_handle.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A file's size and last-write time, as the journal compares them.
struct FileStamp {
    uint64_t size = 0;
    FILETIME lastWrite = {};
    bool operator==(const FileStamp& other) const {
        return size == other.size && lastWrite.dwLowDateTime == other.lastWrite.dwLowDateTime &&
               lastWrite.dwHighDateTime == other.lastWrite.dwHighDateTime;
    }
};
// False when path is not a file that can be queried.
bool StampOf(const std::wstring& path, FileStamp& stamp);

struct JournalRecord {
    enum class Kind : uint8_t {
        Partial = 1,    // path is about to be created for a file being written
        Written = 2,    // path, complete, has stamp (under its temporary name until moved)
        MovedAside = 3, // the user's file original, with stamp, is moved to path
    };
    Kind kind;
    std::wstring path;
    std::wstring original;
    FileStamp stamp;
};

class CRestoreJournal {
public:
    CRestoreJournal() = default;
    CRestoreJournal(const CRestoreJournal&) = delete;
    CRestoreJournal& operator=(const CRestoreJournal&) = delete;

    // Where the journal of a container's restore lies.
    static std::wstring PathFor(const std::wstring& containerPath);
    // The records of an earlier run, up to the first one it did not finish
    // writing; empty when there is no journal.
    static std::vector<JournalRecord> Load(const std::wstring& path);

    // Starts an empty journal at path, replacing an earlier one.
    bool Create(const std::wstring& path);
    // Appends one record; any thread. False when it could not be written:
    // the caller then must not do what the record announces.
    bool Append(const JournalRecord& record);
    // Closes and deletes the journal: nothing of the run is left to explain.
    void Remove();

private:
    std::mutex mutex_;
    UniqueFileHandle file_;
    std::wstring path_;
};
