// What a name inside a container may be. The writer stores only names that
// a reader restores under exactly that name, and the reader refuses anything
// else, so both sides share this one rule.
//
// Windows drops trailing dots and blanks from a name when it creates or opens
// a file, so "src." and "src" are the same item to it: the stored name is the
// one Windows gives, and a record that still carries such an ending (written
// by another writer of this format) is restored the way Windows would
// create it.
#pragma once

#include <string>

// Longest name of one file or folder that Windows can create, in UTF-16 units.
constexpr size_t kMaxNameLength = 255;

// The name with trailing dots and blanks removed, as Windows keeps it.
std::wstring NameAsWindowsKeepsIt(const std::wstring& name);

// True when name can be stored and restored unchanged: not empty, not "." or
// "..", no separator, drive colon, wildcard or control character below
// U+0020 (DEL, U+007F, is an ordinary name character to Windows), not a
// device name (CON, NUL, COM1, LPT², ...), no trailing dot or blank, and at
// most kMaxNameLength units long.
bool IsStorableName(const std::wstring& name);

// The folders of a stored folder path ("/", "/a", "/a/b") as a relative
// Windows path ("", "a", "a\\b"), each name as Windows would give it. False
// when the path does not start with "/", has an empty component, or a
// component that cannot be restored.
bool RelativeFolderOf(const std::wstring& folderPath, std::wstring& relative);
