// Drives the built Tessalock.exe started without arguments from this
// separate process: finds its main frame, view and list, drops files onto
// the view the way the shell's drop reaches a program (a DROPFILES block in
// the program's own memory, handed over with WM_DROPFILES), reads the row
// count, and works its dialogs and boxes. Every wait has a deadline.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace mainwindow_tests {

class MainWindowRun {
public:
    // Starts the program with an empty command line.
    MainWindowRun();
    // A run still going is ended, so a failed test leaves nothing behind.
    ~MainWindowRun();
    MainWindowRun(const MainWindowRun&) = delete;
    MainWindowRun& operator=(const MainWindowRun&) = delete;

    bool Started() const { return process_ != nullptr; }

    // The visible main frame, once it shows; null when it did not.
    HWND WaitForFrame(DWORD timeoutMs = 20000);
    HWND View() const;
    // A dialog of the run with the caption, or (null caption) any dialog
    // with a file-name box; null when none came in time.
    HWND WaitForDialog(const wchar_t* caption, DWORD timeoutMs = 20000) const;
    HWND WaitForFileDialog(DWORD timeoutMs = 20000) const;

    // Writes the drop block into the program and posts WM_DROPFILES.
    bool Drop(const std::vector<std::wstring>& names);
    // The number of rows of the list (-1 when it cannot be asked).
    int RowCount() const;
    // Polls until the list has count rows.
    bool WaitForRowCount(int count, DWORD timeoutMs = 20000) const;

    // The exit code, or -1 when the run did not end in time.
    long WaitForExit(DWORD timeoutMs = 20000);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HWND frame_ = nullptr;
};

// The program's Windows path (beside the test's build folder).
std::wstring ProgramWindowsPath();

// Actions on another process's windows that never wait for a modal loop.
void SetControlTextOf(HWND dialog, int id, const std::wstring& text);
std::wstring ControlTextOf(HWND dialog, int id);
void PostClickOf(HWND dialog, int id);
// Reads a message box's text, answers it and waits until it is gone.
std::wstring AnswerBoxOf(HWND box, int answer);

} // namespace mainwindow_tests
