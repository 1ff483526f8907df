// The verbs the GUI tests and the benchmark drive windows with, in one place,
// for windows of this process (a modal dialog run on the test's thread, driven
// from the robot's) and of a started program alike. They find top-level
// windows by process, read text with a deadline (a hung window cannot hang the
// test), type with WM_SETTEXT, click with a posted BM_CLICK (a sent click
// would wait for the modal box it opens), answer message boxes, fill in the
// system's Save and Open dialogs, make a drop, capture a window's pixels and
// give a child's rectangle in its parent. Every wait polls with a deadline.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace driver {

constexpr DWORD kWaitMs = 30000;
// A wait's time on this machine: the time given, multiplied by the whole
// number in TL_WAIT_SCALE (1 when unset). The emulated 32-bit test machine
// sets it: there, on a busy host, the program's first window took over a
// minute to come. Every wait below goes through it.
DWORD ForThisMachine(DWORD timeoutMs);

// The program's captions.
constexpr wchar_t kAppCaption[] = L"Tessalock v1.3";
constexpr wchar_t kEncryptCaption[] = L"Tessalock-Encrypt";
constexpr wchar_t kDecryptCaption[] = L"Tessalock-Decrypt";
// What AnswerBox reports when no box came.
constexpr wchar_t kNoBox[] = L"(no box)";

// ---- Waiting ----------------------------------------------------------------

// Polls predicate (without pumping messages) until it holds; false when the
// time is up.
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs = kWaitMs);
// Pumps the calling thread's messages until predicate holds or the time is
// up; returns the predicate's last value. For windows of the test's thread.
bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs = kWaitMs);
// Pumps the messages that are waiting now.
void PumpPending();
// Polls until the window no longer exists; false when the time is up.
bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs = kWaitMs);
// Returns once every message already sent to the window's thread has been
// handled and its thread is back in a message loop.
void SyncWith(HWND window);

// ---- Finding windows --------------------------------------------------------

// The top-level windows of a process that match accepts (visible ones only
// unless visibleOnly is false: a dialog still starting up is hidden).
std::vector<HWND> TopLevelWindows(const std::function<bool(HWND)>& match,
                                  DWORD processId = ::GetCurrentProcessId(),
                                  bool visibleOnly = true);
// The first of them, polled until one comes; null when none came in time.
HWND WaitForTopLevel(const std::function<bool(HWND)>& match,
                     DWORD processId = ::GetCurrentProcessId(), DWORD timeoutMs = kWaitMs,
                     bool visibleOnly = true);
// A top-level window of this process with the class and caption (null for
// any), visible unless visibleOnly is false; null when there is none.
HWND FindProcessWindow(const wchar_t* className, const wchar_t* caption, bool visibleOnly = true);
HWND WaitForProcessWindow(const wchar_t* className, const wchar_t* caption,
                          DWORD timeoutMs = kWaitMs);
// A visible dialog or box of the process with the caption.
HWND WaitForDialog(const wchar_t* caption, DWORD processId = ::GetCurrentProcessId(),
                   DWORD timeoutMs = kWaitMs);
// The program's main frame: a window with the program's caption that is no
// dialog.
bool IsMainFrame(HWND hwnd);
// The first child with the given class, or null.
HWND FindChildByClass(HWND parent, const wchar_t* className);

// ---- Reading and acting -----------------------------------------------------

std::wstring WindowText(HWND hwnd);
std::wstring ClassNameOf(HWND hwnd);
// Replaces a control's text, as if typed.
void TypeText(HWND control, const std::wstring& text);
void TypeText(HWND dialog, int id, const std::wstring& text);
// Presses a button of the test thread's own window: returns once the click,
// and any modal run it started, has ended (BM_CLICK sent).
void ClickButton(HWND window, int id);
// Presses a button without waiting for what it opens (BM_CLICK posted): for
// the robot and for another process's windows.
void PostClick(HWND dialog, int id);
// Sends WM_COMMAND from control id with a notification code, as a click or
// menu choice would.
void SendCommand(HWND window, int id, int code = BN_CLICKED);
// Posts WM_CLOSE, as the caption's close button does.
void PostClose(HWND hwnd);
// Ends whatever the window is: a dialog (WM_CLOSE), an OK box (WM_CLOSE) or
// a Yes/No box (No).
void Dismiss(HWND window);

// ---- Message boxes ----------------------------------------------------------

// A message box keeps its text in the static control 0xFFFF.
bool IsMessageBox(HWND hwnd);
std::wstring MessageBoxText(HWND box);
// The one way to answer a box: reads its text, answers it (IDOK, IDYES,
// IDNO) and waits until it has gone; returns the text, or kNoBox for null.
std::wstring AnswerBox(HWND box, int answer);
// Waits for a box of this process with the caption and answers it.
std::wstring AnswerBox(int answer, const wchar_t* caption = kAppCaption, DWORD timeoutMs = kWaitMs);
// True when a box of this process with the caption shows up within the time.
bool BoxAppears(const wchar_t* caption = kAppCaption, DWORD timeoutMs = 300);

// ---- The system's Save and Open dialogs -------------------------------------

// Recognised by the file-name box (combo box cmb13, id 0x47C).
bool IsFileDialog(HWND hwnd);
HWND WaitForFileDialog(DWORD processId = ::GetCurrentProcessId(), DWORD timeoutMs = kWaitMs);
std::wstring FileDialogName(HWND dialog);
// Types the path as the file name and confirms.
void ChooseFileName(HWND dialog, const std::wstring& path);
void CancelFileDialog(HWND dialog);
// Robot step: waits for this process's file dialog and chooses path; false
// when none came.
bool ChooseInFileDialog(const std::wstring& path);

// ---- Drops ------------------------------------------------------------------

// Drops names onto target as the shell does (a DROPFILES block handed over
// with WM_DROPFILES). For a window of this process the drop is sent and has
// been handled on return; for another process's window (process given) the
// block is written into that process and the drop posted.
bool DropFiles(HWND target, const std::vector<std::wstring>& names, HANDLE process = nullptr);

// ---- Pixels and rectangles --------------------------------------------------

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> colors; // top row first

    COLORREF At(int x, int y) const {
        return colors[static_cast<size_t>(y) * static_cast<size_t>(width) + x];
    }
};

// What the window draws into its client area when asked (WM_PRINTCLIENT
// with flags), independent of what covers it on the screen.
Pixels PrintClient(HWND window, UINT flags = PRF_CLIENT | PRF_ERASEBKGND);
// The window's client area as it is on the screen now.
Pixels CaptureClient(HWND window);
Pixels BitmapPixels(HBITMAP bitmap);

// A child's window rectangle in its parent's client coordinates.
RECT RectIn(HWND child, HWND parent);

} // namespace driver
