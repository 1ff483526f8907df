// Opening the password dialogs, for the main window's list and for a start
// with arguments alike: modally, owned by the window OwnerForNewWindow picks
// (the main window, or none for a start from the shell, whose window in the
// foreground must not be disabled while the dialog runs). Each returns the
// dialog's end code (kDialogJobDone after a successful job), or -1 when the
// dialog could not be created.
#pragma once

#include <windows.h>

#include <string>

#include "engine/container.h"

// The dialog copies the paths while it is constructed, so the caller's
// array only has to live for the call.
INT_PTR RunEncryptDialog(const wchar_t* const* paths, int count,
                         ContainerFormat format = ContainerFormat::Authenticated);
INT_PTR RunDecryptDialog(const std::wstring& path);
