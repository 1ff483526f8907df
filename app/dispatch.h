// What a start with arguments does: the arguments choose the encryption or
// the decryption dialog (or only a note that the item is already encrypted),
// that one dialog runs modally, and the process then ends.
#pragma once

#include <windows.h>

#include <string>

// The container extension. It is compared without regard to letter case, as
// Windows compares file names: X.LOCK and X.Lock are containers too.
constexpr wchar_t kContainerExtension[] = L".lock";
// Put before the other arguments, new containers are written in the old
// format, which older copies of the program read and which protects little.
constexpr wchar_t kLegacyFormatSwitch[] = L"-legacy";

// Opens the one dialog the arguments ask for and returns when it has closed:
//   -enc X ...   encryption of X ... (only a note when X ends in ".lock")
//   -gather X .. the same, together with the items of other "-gather"
//                starts of the same moment: Explorer's verb starts one
//                process per selected item
//   -dec X       decryption of X
//   X.lock       decryption of X.lock (a single argument)
//   anything else: encryption of every argument, the first one included.
//   -legacy ...  any of the above, a new container in the old format
// Option words are matched exactly and case-sensitively; the extension in
// any letter case.
void DispatchCommandLine(const wchar_t* const* args, int count);

// True when the path's extension is ".lock" in any letter case.
bool IsContainerPath(const std::wstring& path);

// The text from the last '.' of the whole path to its end, the '.'
// included; empty when there is no '.'. "D:\old.lock\notes" gives
// ".lock\notes", which is not a container's extension.
std::wstring GetExtension(const std::wstring& path);
