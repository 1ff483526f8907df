// Paths as text and as the file system takes them: every question the
// program asks of a path's text (its folder, its stem, whether it lies below
// another), the names a job gives its temporary files beside a place, and the
// full and extended forms every file-system call goes through. The jobs ask
// one question here and get the finished answer, instead of passing a path
// back and forth between small helpers.
//
// Windows limits an ordinary path to 260 characters unless the program and
// the system both opt in to long paths (Windows 7 cannot, and on 10 and 11
// the opt-in is a policy that is off by default). The extended form,
// "\\?\C:\..." or "\\?\UNC\server\share\...", reaches any path up to about
// 32,767 characters everywhere; every file-system call of the engine and the
// jobs goes through it, while the program keeps and shows the ordinary form.
//
// The extended form is handed to the file system as it stands: '/', "." and
// "..", and the trailing dots and blanks that Windows drops from a name, are
// no longer taken care of. So the path is made full and canonical first, by
// the same rules an ordinary path goes through, and the extended path always
// names the item the ordinary path names: "D:\x\src." is still "D:\x\src".
//
// Nothing here shows anything; every operation reports by its result, and
// those that touch the disk leave the last error telling why they failed.
#pragma once

#include <windows.h>

#include <string>

// ---- Full and extended forms ------------------------------------------------

// The full path of a path ('/' turned into '\', "." and ".." resolved, a
// relative path joined to the current folder, trailing dots and blanks of
// the last name dropped); the path unchanged if the system cannot say.
// Keeps the last error.
std::wstring GetFullPath(const std::wstring& path);

// The extended form of a path for the file-system calls. A path already in
// the extended or the device form ("\\?\", "\\.\", "\??\") is returned
// unchanged, and so is the empty path. Keeps the last error.
std::wstring ExtendedPath(const std::wstring& path);

// ---- Path text --------------------------------------------------------------

// The text up to and including the last separator; empty when there is none.
std::wstring ParentOf(const std::wstring& text, wchar_t separator);
// The folder that holds path, without a final '\'.
std::wstring FolderOf(const std::wstring& path);
// The text strictly between the last '\' and the last '.' after it; empty
// when the file name has no '.'.
std::wstring GetStem(const std::wstring& path);
// Every occurrence of what (never empty) replaced by with, left to right.
std::wstring ReplaceAll(const std::wstring& text, const std::wstring& what,
                        const std::wstring& with);
// "D:\x", "\\server\share" and "\x" are anchored; anything else ("x", ".",
// "..\x", "D:x") depends on a current folder.
bool IsRelativePath(const std::wstring& path);
// Case-insensitive comparison of whole paths, as the file system compares names.
bool SamePathText(const std::wstring& a, const std::wstring& b);
// The name in one letter case, so that names Windows takes for the same
// compare equal.
std::wstring FoldCase(const std::wstring& name);
// True when path lies strictly below folder (both full paths).
bool IsPathBelow(const std::wstring& path, const std::wstring& folder);

// Where a path lies against an item, both made full first, compared without
// regard to letter case or a separator that ends the item's path.
enum class PathPlace { Apart, Same, Below };
PathPlace PlaceOf(const std::wstring& path, const std::wstring& item);

// ---- Probes on the disk -----------------------------------------------------

// True when something has the name (a file, a folder, a link); false with
// the last error telling why not (ERROR_FILE_NOT_FOUND when the folder is
// there and the name free).
bool NameTaken(const std::wstring& path);
// Under Wine a Unix link whose target is gone is invisible to every query
// (no attributes, not listed), yet it holds its name: only an attempt to
// create the name shows it. The attempt leaves nothing behind, for the
// handle deletes what it made when it closes, also when the process ends.
bool NameTakenUnseen(const std::wstring& path);
// The item at path as its folder lists it: the last name in the letter case
// the item has on the disk, which a move aside keeps. False when the folder
// lists no such item; isFolder tells a folder from a file or link.
bool ListedPath(const std::wstring& path, std::wstring& listed, bool& isFolder);
// True when path, made full, lies strictly below folder and is reached
// through no link: no folder between the two is a link, nor, when
// itselfToo, the item at path. verifiedFolder, when given, remembers
// between calls the last folder found free of links, which spares the
// probes for the paths that follow in it.
bool ReachedWithoutLinks(const std::wstring& folder, const std::wstring& path, bool itselfToo,
                         std::wstring* verifiedFolder = nullptr);
// Moves a file or folder (a link as itself) as MoveFileExW does with flags.
bool MovePath(const std::wstring& from, const std::wstring& to, DWORD flags);

// ---- Names beside a place ---------------------------------------------------

// Marks that end the names of a job's temporary files beside their final
// place: a container or restored file being written, and a file moved aside
// until a decryption that replaces it has succeeded. A later run on the same
// place recognises them by these marks.
constexpr wchar_t kPartialMark[] = L".tl-partial";
constexpr wchar_t kBackupMark[] = L".tl-backup";
// How many names beside a place a job tries before it gives up.
constexpr int kNamesBeside = 16;

// The try-th name beside path (1 to kNamesBeside): path + mark, then path +
// mark + "-2" and so on.
std::wstring NameBeside(const std::wstring& path, const wchar_t* mark, int attempt);
// A name for a temporary file beside path: the first NameBeside that nothing
// holds. Gives up at once on any error other than the name being taken (the
// folder is missing, the name too long), and after kNamesBeside tries; false
// then, with the last error telling why.
bool FreeNameBeside(const std::wstring& path, const wchar_t* mark, std::wstring& name);
// Deletes the files beside path that an earlier run left with this mark and
// that no process holds open.
void RemoveLeftoversBeside(const std::wstring& path, const wchar_t* mark);
// A place where a new file is to go, looked over before anything is
// written there.
struct NewFilePlace {
    bool taken = false;          // something already has the name
    std::wstring temporary;      // a free name beside it; empty when none was found
    DWORD error = ERROR_SUCCESS; // why none was found
};
// Clears the files an earlier run left beside path under mark (as
// RemoveLeftoversBeside does), then tells whether the name is taken and
// finds a free temporary name beside it (as FreeNameBeside does).
NewFilePlace LookOverPlace(const std::wstring& path, const wchar_t* mark);
// "name (2).ext", "name (3).ext", ... beside path: the first that is not
// reserved (true for a name the caller has already given away) and that
// nothing on the disk holds; empty when none of the first many is free, or
// the disk cannot say.
template <typename Reserved>
std::wstring FreeNumberedName(const std::wstring& path, Reserved reserved);
// The k-th of those names.
std::wstring NumberedName(const std::wstring& path, unsigned k);

template <typename Reserved>
std::wstring FreeNumberedName(const std::wstring& path, Reserved reserved) {
    for (unsigned k = 2; k < 10000; ++k) {
        const std::wstring candidate = NumberedName(path, k);
        if (reserved(candidate) || NameTaken(candidate))
            continue;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return candidate;
        break;
    }
    return std::wstring();
}
