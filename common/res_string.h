// Reading entries of the string table as wide strings.
#pragma once

#include <windows.h>

#include <string>

// String-table entry id from the resource module; a missing entry gives "".
std::wstring LoadResString(UINT id);
