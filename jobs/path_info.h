// Paths as the jobs, dialogs and file list see them: a path string with a
// snapshot of its attributes, the recursive tree operations built on it, the
// Recycle Bin, and the text helpers every message of the program is made
// with. What a path's text says, and the forms the file system takes, are
// engine/paths.h's, which this header brings along.
//
// Every query reads the snapshot taken at construction (or copied from a
// directory listing), never the disk, so a list of items keeps describing
// what the user selected even while the job changes the disk under it.
//
// Folders that are reparse points (junctions, directory symbolic links) are
// links, not content: GetTotalSize counts nothing for them and DeleteTree
// removes the link itself, never anything inside its target. No operation
// descends into a link, so a link cycle cannot make anything recurse forever.
#pragma once

#include <windows.h>

#include "engine/paths.h"

#include <cstdint>
#include <string>
#include <vector>

// The all-ones total that GetTotalSize returns when a folder below could not
// be listed.
constexpr uint64_t kUnknownTotalSize = ~0ull;

class CPathInfo {
public:
    CPathInfo() = default;
    // Stores the path exactly as given and takes a snapshot of it.
    explicit CPathInfo(std::wstring path);
    // A listing entry: the snapshot comes from the search data, no query.
    CPathInfo(const std::wstring& path, const WIN32_FIND_DATAW& found);

    // Replaces the snapshot with a fresh query of the path.
    void Refresh();

    const std::wstring& GetPath() const { return path_; }
    bool Exists() const { return exists_; }
    bool IsDirectory() const;
    bool IsFile() const;
    // A folder that is a junction or a directory symbolic link.
    bool IsLinkFolder() const;
    // Any reparse point: a link to a file or folder, a junction, or another
    // kind the system resolves; never content of its own to store.
    bool IsLink() const;
    DWORD GetAttributes() const { return exists_ ? data_.dwFileAttributes : 0; }
    FILETIME GetLastWriteTime() const { return data_.ftLastWriteTime; }

    // The path with one '\' appended when it names a folder that lacks one.
    std::wstring PathWithSeparator() const;
    // The last component. A relative path is resolved against the current
    // folder first, so "." or a bare "photos" still give a real name.
    std::wstring GetName() const;
    // The holding folder as a fresh value; the empty path when this path
    // does not exist.
    CPathInfo GetParent() const;
    // The folder itself, or the folder holding a file, ending in '\'; empty
    // when the path does not exist.
    std::wstring GetFolder() const;

    // A file's size, or the sum over everything below a folder;
    // kUnknownTotalSize when some folder below cannot be listed.
    uint64_t GetTotalSize() const;
    // Appends the folder's entries matching pattern (without "." and "..")
    // in listing order. False when this is not a folder or the search fails.
    bool ListChildren(std::vector<CPathInfo>& children, const std::wstring& pattern) const;
    // Creates the missing folders of the chain down to this path.
    bool CreateDirectories();
    // Deletes a file, or a folder with everything in it. Stops at the first
    // entry that cannot be deleted (a read-only file, for one).
    bool DeleteTree() const;

private:
    std::wstring path_;
    WIN32_FILE_ATTRIBUTE_DATA data_ = {};
    bool exists_ = false;
};

// True when the drive that holds path keeps a Recycle Bin, from which the
// user can get back what is moved there.
bool HasRecycleBin(const std::wstring& path);
// True when the shell can take path to the Recycle Bin by its length (its
// own calls are limited to MAX_PATH).
bool FitsRecycleBin(const std::wstring& path);
// Moves a file (a link as itself, never its target) to the Recycle Bin,
// without showing anything. False when the drive has no Recycle Bin or the
// shell could not move it; the item then stays where it was (the last error
// is ERROR_NOT_SUPPORTED when the drive has no bin or the path is too long
// for it: the shell itself would delete such an item for good).
bool MoveToRecycleBin(const std::wstring& path);
// The same for several files in one operation; paths keeps those that are
// still in their places (the last error as above for the first cause).
void MoveToRecycleBin(std::vector<std::wstring>& paths);

// How a finished file takes its place when something may already have it.
enum class Replacing {
    Nothing,      // an item at the place keeps it: the move fails
    ToRecycleBin, // an item at the place goes to the Recycle Bin first
    EvenForGood,  // the same, and is replaced for good where the drive has no bin
};
enum class MoveOutcome { Moved, NotRecycled, Failed };
// Moves the file from to the place to, written through to the device.
// NotRecycled: the item at the place could not go to the Recycle Bin and was
// left as it was; Failed: the move itself failed (the last error says why).
MoveOutcome MoveIntoPlace(const std::wstring& from, const std::wstring& to, Replacing replacing);

// The system's message for the calling thread's last error (usually ending in
// a line break), or the empty text when the last error is 0 or has no message.
std::wstring GetSystemErrorText();
// The system's message for an error code; empty for 0.
std::wstring SystemErrorText(DWORD code);
// The same with the message's inserts (%1, %2 ...) filled with subject, for
// messages about a file ("%1 is not a valid Win32 application.").
std::wstring SystemErrorTextAbout(DWORD code, const std::wstring& subject);
// The text without the line break (and blanks) it ends in, for a text that
// goes on after it: the system's messages end in "\r\n".
std::wstring WithoutLineEnd(std::wstring text);
// printf-style formatting with Windows' wide "%s"; the result is exactly as
// long as the text it holds.
std::wstring FormatString(const wchar_t* format, ...);
