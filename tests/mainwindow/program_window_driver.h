// Drives the built Tessalock.exe started without arguments from this
// separate process: finds its main frame, view and list, drops files onto
// the view, reads the row count, and finds its dialogs and boxes (worked
// with the verbs of driver/window_driver.h). Every wait has a deadline.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "driver/program_run.h"

namespace mainwindow_tests {

class MainWindowRun {
public:
    // Starts the program with an empty command line.
    MainWindowRun() : run_(L"") {}

    bool Started() const { return run_.Started(); }

    // The visible main frame, once it shows; null when it did not. A start
    // takes a few seconds here but much longer on an emulated processor
    // that is busy, and the wait ends as soon as the frame is there.
    HWND WaitForFrame(DWORD timeoutMs = 60000);
    HWND View() const;
    // A dialog of the run with the caption; null when none came in time.
    HWND WaitForDialog(const wchar_t* caption, DWORD timeoutMs = 20000) const {
        return run_.WaitForWindow(caption, timeoutMs);
    }
    // The Save or Open dialog.
    HWND WaitForFileDialog(DWORD timeoutMs = 20000) const {
        return driver::WaitForFileDialog(run_.ProcessId(), timeoutMs);
    }
    // Answers a box of the run with the caption; returns its text or kNoBox.
    std::wstring AnswerBox(const wchar_t* caption, int answer, DWORD timeoutMs = 60000) const {
        return run_.AnswerBox(caption, answer, timeoutMs);
    }

    // Drops the names onto the view.
    bool Drop(const std::vector<std::wstring>& names) {
        return driver::DropFiles(View(), names, run_.Process());
    }
    // The number of rows of the list (-1 when it cannot be asked).
    int RowCount() const;
    // Polls until the list has count rows.
    bool WaitForRowCount(int count, DWORD timeoutMs = 20000) const;

    // The exit code, or -1 when the run did not end in time.
    long WaitForExit(DWORD timeoutMs = 20000) { return run_.WaitForExit(timeoutMs); }

private:
    driver::ProgramRun run_;
    HWND frame_ = nullptr;
};

} // namespace mainwindow_tests
