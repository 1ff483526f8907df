// What the encryption stored, kept compactly, and the deletion of exactly
// that once the container is complete: a source goes only while it is still
// what was stored, and what stays is listed with its reason.
#pragma once

#include "common/progress_update.h"
#include "jobs/encrypt_job.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The folder index of nothing: no parent folder, or no folder at all.
inline constexpr uint32_t kNoFolder = ~0u;

// The size and last-write time of an open file. Two plain queries: the one
// call that returns both also asks for the volume's serial number, which
// costs milliseconds per file under Wine.
bool SizeAndWriteTime(HANDLE file, uint64_t& size, FILETIME& lastWrite);

// Everything the job stored, kept compactly: files by their folder and name,
// so that the job can later delete exactly these and nothing else.
class CStoredSources {
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
