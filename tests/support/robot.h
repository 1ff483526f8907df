// A small GUI robot for in-process tests. Modal dialogs and message boxes
// block the test's thread, so a Robot runs a script on a second thread that
// waits for the windows (polling with a deadline), reads them, types into
// them, presses their buttons and closes them. Every wait has a deadline, so
// a failing test ends instead of hanging.
//
//     Robot robot([&](Robot& r) {
//         HWND box = r.WaitForWindow(L"#32770", L"Tessalock v1.3");
//         seen = MessageBoxText(box);
//         AnswerMessageBox(box, IDOK);
//     });
//     ShowInfoBox(L"Done.");
//     robot.Join();
//
// After its script has returned, the robot keeps closing leftover dialogs
// of the process until Join is called, so a script that missed a window
// cannot leave the test thread stuck in a modal loop. Call Join right after
// the modal run that the script drives.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testing_support {

constexpr DWORD kRobotTimeoutMs = 30000;

// A visible top-level window of this process with the given class (null for
// any) and caption (null for any); null when there is none.
HWND FindProcessWindow(const wchar_t* className, const wchar_t* caption);
// The first top-level window of this process that match accepts; hidden
// windows too unless visibleOnly (a dialog still starting up is hidden).
HWND FindProcessWindowWhere(const std::function<bool(HWND)>& match, bool visibleOnly = true);
// Polls FindProcessWindow until it finds a window or the time is up.
HWND WaitForProcessWindow(const wchar_t* className, const wchar_t* caption,
                          DWORD timeoutMs = kRobotTimeoutMs);
// Polls until the window no longer exists; false when the time is up.
bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs = kRobotTimeoutMs);
// Polls predicate (without pumping messages); false when the time is up.
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = kRobotTimeoutMs);

// Pumps the calling thread's messages until predicate holds or the time is
// up; returns the predicate's last value. For windows owned by the test's
// own thread.
bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs = kRobotTimeoutMs);
// Pumps the messages that are waiting now.
void PumpPending();

std::wstring WindowText(HWND hwnd);
std::wstring ClassNameOf(HWND hwnd);
// The message text of a message box.
std::wstring MessageBoxText(HWND box);
// Replaces an edit control's text, as if typed (WM_SETTEXT).
void TypeText(HWND edit, const std::wstring& text);
// Presses the dialog's button with the given id (BM_CLICK).
void ClickButton(HWND dialog, int id);
// Sends WM_COMMAND from control id with a notification code, as a click
// or menu choice would.
void SendCommand(HWND dialog, int id, int code = BN_CLICKED);
// Ends a message box with IDOK, IDYES, IDNO or IDCANCEL.
void AnswerMessageBox(HWND box, int answer);
// Posts WM_CLOSE, as the caption's close button does.
void PostClose(HWND hwnd);
// The first child with the given class, or null.
HWND FindChildByClass(HWND parent, const wchar_t* className);

class Robot {
public:
    explicit Robot(std::function<void(Robot&)> script);
    ~Robot();
    Robot(const Robot&) = delete;
    Robot& operator=(const Robot&) = delete;

    HWND WaitForWindow(const wchar_t* className, const wchar_t* caption,
                       DWORD timeoutMs = kRobotTimeoutMs) {
        return WaitForProcessWindow(className, caption, timeoutMs);
    }

    // Waits for the script and stops the clean-up of leftover dialogs.
    void Join();

private:
    void Run(std::function<void(Robot&)> script);

    std::atomic<bool> joining_{false};
    std::thread thread_;
};

} // namespace testing_support
