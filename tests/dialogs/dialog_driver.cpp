// Window helpers for the password-dialog and dispatcher tests.
#include "dialogs/dialog_driver.h"

#include "support/robot.h"

namespace testing_support {

namespace {

constexpr int kFileNameBox = 0x47C;

struct AnyStateSearch {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchAnyState(HWND hwnd, LPARAM param) {
    auto* request = reinterpret_cast<AnyStateSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId())
        return TRUE;
    if (ClassNameOf(hwnd) != request->className || WindowText(hwnd) != request->caption)
        return TRUE;
    request->found = hwnd;
    return FALSE;
}

BOOL CALLBACK MatchSaveDialog(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd) ||
        ClassNameOf(hwnd) != L"#32770" || !::GetDlgItem(hwnd, kFileNameBox))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
}

} // namespace

HWND FindProcessWindowAnyState(const wchar_t* className, const wchar_t* caption) {
    AnyStateSearch request{className, caption, nullptr};
    ::EnumWindows(MatchAnyState, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

void PostClick(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::wstring AnswerBox(int answer, const wchar_t* caption, DWORD timeoutMs) {
    HWND box = WaitForProcessWindow(L"#32770", caption, timeoutMs);
    if (!box)
        return kNoBox;
    std::wstring text = MessageBoxText(box);
    AnswerMessageBox(box, answer);
    WaitForWindowGone(box);
    return text;
}

bool BoxAppears(const wchar_t* caption, DWORD timeoutMs) {
    return WaitForProcessWindow(L"#32770", caption, timeoutMs) != nullptr;
}

void SyncWith(HWND window) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kRobotTimeoutMs, &ignored);
}

HWND WaitForSaveDialog(DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            ::EnumWindows(MatchSaveDialog, reinterpret_cast<LPARAM>(&found));
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

std::wstring SaveDialogFileName(HWND save) {
    return WindowText(::GetDlgItem(save, kFileNameBox));
}

void ChooseSaveFileName(HWND save, const std::wstring& path) {
    TypeText(::GetDlgItem(save, kFileNameBox), path);
    ::PostMessageW(save, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void CancelSaveDialog(HWND save) {
    ::PostMessageW(save, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

} // namespace testing_support
