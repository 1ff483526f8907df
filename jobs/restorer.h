// The decryption's second pass: it writes what the survey approved, every
// file created exclusively or, with the user's consent, in place of an
// existing one that is moved aside, each change noted so that a failure
// takes it back.
#pragma once

#include "common/progress_update.h"
#include "common/unique_handle.h"
#include "engine/container_session.h"
#include "jobs/file_writers.h"
#include "jobs/restore_changes.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The second pass: writes what the survey approved.
class CRestorer {
public:
    CRestorer(CContainerReader& reader, const std::wstring& outputFolder,
              zelprogress::IProgressUpdate& progress, bool mayReplace, Journal& journal,
              std::wstring& resultPath);

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
    [[noreturn]] void FailBody(UniqueFileHandle& file, const std::wstring& failed);
    [[noreturn]] void FailWithWriters();
    void ReplaceFile(const EntryInfo& entry, const std::wstring& target, uint64_t offset);

    CContainerReader& reader_;
    const std::wstring& outputFolder_;
    zelprogress::IProgressUpdate& progress_;
    const bool mayReplace_;
    Journal& journal_;
    std::wstring& resultPath_;
    std::vector<uint8_t> buffer_;
    CFileWriters writers_;
    std::wstring verifiedFolder_;
    std::wstring presentFolder_; // the last folder known to exist
};
