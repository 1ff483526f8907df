// The owner rule for the program's message boxes and dialogs.
#include "common/owner_window.h"

bool IsOwnProcessWindow(HWND hwnd) {
    DWORD process = 0;
    return hwnd && ::GetWindowThreadProcessId(hwnd, &process) != 0 &&
           process == ::GetCurrentProcessId();
}

HWND OwnerForNewWindow() {
    HWND foreground = ::GetForegroundWindow();
    if (IsOwnProcessWindow(foreground))
        return foreground;
    // The active window is always one of the calling thread's own.
    return ::GetActiveWindow();
}
