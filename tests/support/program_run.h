// Drives the real Tessalock.exe from outside, as a user would: starts it
// with a command line, finds its windows by process, types into them with
// WM_SETTEXT, clicks with posted BM_CLICK (a sent click would wait for the
// modal box it opens), reads and answers its message boxes, and collects its
// exit code. Every wait has a deadline.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testing_support {

// The program's full Windows path.
std::wstring ProgramPath();
// The Windows path of a path of this Linux machine (the build folder's files).
std::wstring DosPath(const std::string& unixPath);

class ProgramRun {
public:
    // Starts the program with the given command-line tail (empty: the main
    // window).
    explicit ProgramRun(const std::wstring& arguments);
    // Starts a whole command line: another copy of the program, or what a
    // registry command names.
    struct CommandLine {
        std::wstring text;
    };
    explicit ProgramRun(const CommandLine& commandLine);
    // A run that has not ended by now is ended, so a failed test leaves
    // nothing behind.
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Started() const { return process_ != nullptr; }
    HANDLE Process() const { return process_; }
    DWORD ProcessId() const { return processId_; }

    // A visible dialog or box of this run with the caption; null when none
    // came within the time.
    HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs = 20000) const;
    // A top-level window of this run that match accepts; hidden ones too
    // unless visibleOnly (a dialog still starting up is hidden).
    HWND WaitForTopLevel(const std::function<bool(HWND)>& match, DWORD timeoutMs = 20000,
                         bool visibleOnly = true) const;
    // The exit code, or -1 when the run did not end within the time.
    long WaitForExit(DWORD timeoutMs = 20000);

private:
    void Start(const std::wstring& commandLine);

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// Waits for a box of the run with the caption, answers it and returns its
// text; "(no box)" when none came.
std::wstring AnswerProgramBox(const ProgramRun& run, const wchar_t* caption, int answer);
// Reads a box's text, answers it and waits until it is gone.
std::wstring AnswerBoxWindow(HWND box, int answer);
// Window text and class of another process's window; the text is asked
// with a deadline, so a hung program cannot hang the test.
std::wstring TextOf(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
// Polls until done() holds or the time is up.
bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs);
void SetControlText(HWND dialog, int id, const std::wstring& text);
std::wstring ControlText(HWND dialog, int id);
void PostButtonClick(HWND dialog, int id);

} // namespace testing_support
