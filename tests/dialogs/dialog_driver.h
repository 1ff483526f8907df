// What the password-dialog and dispatcher tests do to the program's windows
// from the robot's thread: find them (also while still hidden), click without
// waiting for the modal box a click may open, answer the program's message
// boxes and fill in the system's Save dialog.
#pragma once

#include <windows.h>

#include <string>

#include "support/robot.h"

namespace testing_support {

constexpr wchar_t kAppCaption[] = L"Tessalock v1.3";
constexpr wchar_t kEncryptCaption[] = L"Tessalock-Encrypt";
constexpr wchar_t kDecryptCaption[] = L"Tessalock-Decrypt";
// What AnswerBox reports when no box came.
constexpr wchar_t kNoBox[] = L"(no box)";

// A top-level window of this process with this class and caption, visible
// or hidden (a dialog that is still starting up is hidden).
HWND FindProcessWindowAnyState(const wchar_t* className, const wchar_t* caption);

// Clicks a button by posting BM_CLICK, so the robot is not held up by a
// message box that the click opens.
void PostClick(HWND dialog, int id);

// Waits for a message box with the caption, answers it (IDOK, IDYES, IDNO)
// and waits until it has gone; returns its text, or kNoBox.
std::wstring AnswerBox(int answer, const wchar_t* caption = kAppCaption,
                       DWORD timeoutMs = kRobotTimeoutMs);

// True when a message box with the caption shows up within timeoutMs.
bool BoxAppears(const wchar_t* caption = kAppCaption, DWORD timeoutMs = 300);

// Returns once every message already sent to the window's thread has been
// handled and its thread is back in a message loop.
void SyncWith(HWND window);

// The system's Save dialog, recognised by its file-name box (id 0x47C).
HWND WaitForSaveDialog(DWORD timeoutMs = kRobotTimeoutMs);
std::wstring SaveDialogFileName(HWND save);
// Types the full path into the file-name box and presses Save.
void ChooseSaveFileName(HWND save, const std::wstring& path);
void CancelSaveDialog(HWND save);

} // namespace testing_support
