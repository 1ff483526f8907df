// Runs the encryption dialog for a list of paths, modally and owned by the
// window OwnerForNewWindow picks (the main window), and returns its end code
// (1 after a successful encryption).
#pragma once

#include <windows.h>

INT_PTR RunEncryptDialog(const wchar_t* const* paths, int count);
