// Puts the program into the states the documentation shows, for
// scripts/screenshots.sh: started inside a Wine virtual desktop, it starts
// Tessalock.exe, fills in the dialog (and for the progress window starts a
// long job), then writes the ready file and holds the scene until the done
// file appears. The ready file holds the rectangle to cut out of the
// desktop ("x y width height"). It then cancels what it started.
//
//   screenshot_driver encrypt  <folder>        <ready file> <done file>
//   screenshot_driver decrypt  <container>     <ready file> <done file>
//   screenshot_driver progress <large file>    <ready file> <done file>
#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "driver/program_run.h"
#include "resources/resource.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

constexpr wchar_t kShownPassword[] = L"correct horse";

// Writes the rectangle that holds the given windows and waits for done.
int Hold(std::initializer_list<HWND> windows, const std::wstring& ready, const std::wstring& done) {
    RECT all = {};
    for (HWND window : windows) {
        RECT r;
        ::GetWindowRect(window, &r);
        ::UnionRect(&all, &all, &r);
    }
    char text[64];
    snprintf(text, sizeof text, "%ld %ld %ld %ld\n", all.left, all.top, all.right - all.left,
             all.bottom - all.top);
    WriteFileText(ready, text);
    return WaitUntil([&] { return PathExists(done); }, 60000) ? 0 : 3;
}

int Run(const std::wstring& scene, const std::wstring& path, const std::wstring& ready,
        const std::wstring& done) {
    if (scene == L"decrypt") {
        ProgramRun run(L"\"" + path + L"\"");
        HWND dialog = run.WaitForWindow(L"Tessalock-Decrypt");
        if (!dialog)
            return 2;
        TypeText(dialog, IDC_PASSWORD, kShownPassword);
        return Hold({dialog}, ready, done);
    }
    ProgramRun run(L"-enc \"" + path + L"\"");
    HWND dialog = run.WaitForWindow(L"Tessalock-Encrypt");
    if (!dialog)
        return 2;
    TypeText(dialog, IDC_PASSWORD, kShownPassword);
    TypeText(dialog, IDC_REENTER, kShownPassword);
    if (scene == L"encrypt")
        return Hold({dialog}, ready, done);

    PostClick(dialog, IDC_ENCRYPT);
    HWND progress = run.WaitForWindow(L"");
    if (!progress)
        return 2;
    // Let a tick or two pass so the bar and the label show some progress.
    ::Sleep(2500);
    int result = Hold({dialog, progress}, ready, done);
    // Closing the progress window cancels the job; Exit then ends the run.
    PostClose(progress);
    WaitForWindowGone(progress, 20000);
    PostClick(dialog, IDC_EXIT);
    run.WaitForExit();
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5)
        return 1;
    try {
        return Run(argv[1], argv[2], argv[3], argv[4]);
    } catch (...) {
        return 4;
    }
}
