// Paths as the file-system calls take them. Windows limits an ordinary path
// to 260 characters unless the program and the system both opt in to long
// paths (Windows 7 cannot, and on 10 and 11 the opt-in is a policy that is
// off by default). The extended form, "\\?\C:\..." or
// "\\?\UNC\server\share\...", reaches any path up to about 32,767
// characters everywhere; every file-system call of the engine and the jobs
// goes through it, while the program keeps and shows the ordinary form.
//
// The extended form is handed to the file system as it stands: '/', "." and
// "..", and the trailing dots and blanks that Windows drops from a name, are
// no longer taken care of. So the path is made full and canonical first, by
// the same rules an ordinary path goes through, and the extended path always
// names the item the ordinary path names: "D:\x\src." is still "D:\x\src".
#pragma once

#include <string>

// The full path of a path ('/' turned into '\', "." and ".." resolved, a
// relative path joined to the current folder, trailing dots and blanks of
// the last name dropped); the path unchanged if the system cannot say.
// Keeps the last error.
std::wstring GetFullPath(const std::wstring& path);

// The extended form of a path for the file-system calls. A path already in
// the extended or the device form ("\\?\", "\\.\", "\??\") is returned
// unchanged, and so is the empty path. Keeps the last error.
std::wstring ExtendedPath(const std::wstring& path);
