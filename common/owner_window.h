// Which window owns a message box or dialog that the program opens. A modal
// window disables its owner while it runs, so the owner must always be one
// of this process's windows: the window the user is working in when it is
// ours, otherwise this thread's active window, otherwise none. Another
// program's window (Explorer's, or a second copy of this program's) is never
// chosen, however it came to be in the foreground.
#pragma once

#include <windows.h>

// The foreground window when it belongs to this process; else the calling
// thread's active window (null when it has none).
HWND OwnerForNewWindow();

// True when hwnd is a window of this process.
bool IsOwnProcessWindow(HWND hwnd);
