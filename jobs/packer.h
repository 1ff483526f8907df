// The encryption's packer: it walks the selected items and writes their
// records and bodies into the container, each file read from the handle that
// also gave its size and time, and records in the stored sources exactly
// what went in, so that only that is deleted later.
#pragma once

#include "common/progress_update.h"
#include "engine/container_session.h"
#include "engine/streams.h"
#include "jobs/path_info.h"
#include "jobs/stored_sources.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The names of one folder's entries must stay apart once restored: Windows
// compares names without regard to letter case. Returns why they do not, or
// the empty text.
std::wstring NamesThatCollide(const std::vector<std::wstring>& names,
                              const std::vector<std::wstring>& paths);

// Writes the records and bodies of the items, and records what was stored.
class CPacker {
public:
    CPacker(CContainerWriter& writer, zelprogress::IProgressUpdate& progress,
            const std::wstring& containerPath, CStoredSources& stored);

    // One selected item, and for a folder everything below it, in
    // depth-first pre-order. Failures are raised with the item's text.
    void EncryptItem(const std::wstring& folderPath, const CPathInfo& item,
                     const std::wstring& shownItem);
    // A write of the container failed: the item being stored fails with the
    // system's reason, followed by the container's name. The container is
    // written behind the items that are read, so the failure may show with
    // a later item, or only when the container is completed.
    [[noreturn]] void WriterFailed() const;

private:
    struct Level {
        std::wstring folderPath; // where this folder's entries are stored
        uint32_t folder;
        std::vector<CPathInfo> children;
        size_t next;
    };

    [[noreturn]] void FailItem(const std::wstring& reason) const;
    void CheckCancel() const;
    void AddFolderRecord(const std::wstring& folderPath, const std::wstring& name);
    void EnterFolder(std::vector<Level>& levels, const CPathInfo& folder,
                     const std::wstring& folderPath, uint32_t parent);
    void PackFile(const std::wstring& folderPath, const std::wstring& name, const CPathInfo& file,
                  uint32_t folder);
    void PackLargeBody(CBufferedFileInputStream& input, const std::wstring& path, uint64_t size);

    CContainerWriter& writer_;
    zelprogress::IProgressUpdate& progress_;
    const std::wstring& containerPath_;
    CStoredSources& stored_;
    std::vector<uint8_t> buffer_;
    // Lent to each large file's read-ahead, allocated at the first of them.
    std::vector<FileBlock> readAheadBlocks_;
    using FileKey = std::pair<DWORD, uint64_t>;
    std::set<FileKey> seen_; // every file stored, by volume and index
    DWORD volume_ = 0;       // of the item volumeItem_
    std::wstring volumeItem_;
    std::wstring shownItem_;
};
