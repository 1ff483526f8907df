// Drives the real Tessalock.exe from outside, as a user would: starts it
// with a command line, finds its windows by process (and works them with the
// verbs of driver/window_driver.h), and collects its exit code. Every wait
// has a deadline.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/unique_handle.h"
#include "driver/window_driver.h"

namespace driver {

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

    bool Started() const { return process_.IsValid(); }
    HANDLE Process() const { return process_.Get(); }
    DWORD ProcessId() const { return processId_; }

    // A visible dialog or box of this run with the caption; null when none
    // came within the time.
    HWND WaitForWindow(const wchar_t* caption, DWORD timeoutMs = 20000) const;
    // A top-level window of this run that match accepts; hidden ones too
    // unless visibleOnly (a dialog still starting up is hidden).
    HWND WaitForTopLevel(const std::function<bool(HWND)>& match, DWORD timeoutMs = 20000,
                         bool visibleOnly = true) const;
    // Waits for a box of this run with the caption and answers it; returns
    // its text, or kNoBox when none came before the run ended or the time
    // ran out. The time allows for a whole job at the full key cost in the
    // emulated 32-bit machine on a busy host (an encryption took over 30 s
    // there).
    std::wstring AnswerBox(const wchar_t* caption, int answer, DWORD timeoutMs = 600000) const;
    // The exit code, or -1 when the run did not end within the time.
    long WaitForExit(DWORD timeoutMs = 120000);

private:
    void Start(const std::wstring& commandLine);

    UniqueProcess process_;
    DWORD processId_ = 0;
};

} // namespace driver
