// Not a test: sets up the main window with a few rows for the documentation
// screenshot (see screenshot.sh). Usage:
//     main_window_scene READY_FILE DONE_FILE ITEM...
// Starts Tessalock.exe without arguments, drops the items onto it, writes
// the frame's screen rectangle "x y w h" to READY_FILE, waits until
// DONE_FILE exists, then closes the window.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "program_window_driver.h"

using namespace mainwindow_tests;

int wmain(int argc, wchar_t** argv) {
    if (argc < 4)
        return 2;
    std::vector<std::wstring> items(argv + 3, argv + argc);
    MainWindowRun run;
    HWND frame = run.WaitForFrame();
    if (!frame || !run.Drop(items) || !run.WaitForRowCount(static_cast<int>(items.size())))
        return 1;
    RECT r = {};
    ::GetWindowRect(frame, &r);
    FILE* ready = _wfopen(argv[1], L"w");
    if (!ready)
        return 1;
    std::fprintf(ready, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::fclose(ready);
    driver::WaitUntil([&] { return ::GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES; },
                      60000);
    driver::PostClose(frame);
    return run.WaitForExit() == 1 ? 0 : 1;
}
