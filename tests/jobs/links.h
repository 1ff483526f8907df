// Folder links for tests. Windows code under Wine cannot make a link that
// Wine shows as one, so the helper has the Linux side make a symbolic link;
// Wine then reports a folder with the reparse-point bit set.
#pragma once

#include <string>

namespace testing_support {

// Makes link point at target (both Windows paths). False when this system
// cannot make such a link (not running under Wine); the caller skips then.
bool MakeFolderLink(const std::wstring& target, const std::wstring& link);
// The same for a file, whose target may be missing: Wine shows such a link
// as its target, and a dangling one not at all (it only holds its name).
bool MakeFileLink(const std::wstring& target, const std::wstring& link);

} // namespace testing_support
