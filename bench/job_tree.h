// The file trees the job benchmark encrypts and restores: their fixed-seed
// layout, writing and checking them byte for byte, and the plain Win32 copy
// and delete that the jobs are measured against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct TreeFile {
    std::wstring relativePath; // below the item folder; empty for a one-file item
    uint64_t size;
    uint64_t seed;
};

// One scenario's item: a single file, or a folder with subfolders and files.
struct TreeLayout {
    char id;
    std::string description;
    std::wstring itemName;
    bool singleFile;
    std::vector<std::wstring> folders; // relative, every parent before its children
    std::vector<TreeFile> files;
    uint64_t totalBytes;
};

// 'a' one 1 GiB file, 'b' 20,000 files of 0-16 KiB in 210 folders, 'c' 2,000
// files totalling 500 MiB in 20 folders, 'm' 100,000 files of 0-4 KiB in
// 1,050 folders. percent shrinks sizes and counts for a quick run; the
// layout is the same for every run with the same values.
bool MakeScenario(char id, unsigned percent, TreeLayout& layout);

// Writes the item at itemPath (which must not exist).
bool WriteTree(const std::wstring& itemPath, const TreeLayout& layout);
// True when itemPath holds exactly the layout's folders and files with their
// bytes; otherwise false with the first difference in problem.
bool VerifyTree(const std::wstring& itemPath, const TreeLayout& layout, std::string& problem);

struct CopyCounts {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t bytes = 0;
};

// Copies a file, or a folder with everything below it (CreateDirectoryW per
// folder; every file read and written with ReadFile/WriteFile through one
// 1 MiB buffer). The target must not exist.
bool CopyTree(const std::wstring& from, const std::wstring& to, CopyCounts& counts);
// Opens, reads and closes the file, or every file below the folder, at path
// through one 1 MiB buffer,
// writing nothing: the least any Win32 program that stores the tree does.
bool ReadTree(const std::wstring& folder, CopyCounts& counts);
// Writes the item at itemPath (which must not exist) as WriteTree does, with
// every file forced to the device before it is closed, the files shared out
// over the given number of threads: the least a restore that puts every file
// on the device does.
bool WriteTreeDurably(const std::wstring& itemPath, const TreeLayout& layout, int threads);
// Deletes a file, or a folder with everything below it. True when nothing is
// left (also when there was nothing).
bool DeleteTree(const std::wstring& path);

} // namespace bench
