// Window helpers for the password-dialog and dispatcher tests.
#include "dialogs/dialog_driver.h"

#include "support/robot.h"

namespace testing_support {

namespace {

constexpr int kFileNameBox = 0x47C;

} // namespace

HWND FindProcessWindowAnyState(const wchar_t* className, const wchar_t* caption) {
    return FindProcessWindowWhere(
        [&](HWND hwnd) { return ClassNameOf(hwnd) == className && WindowText(hwnd) == caption; },
        false);
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
            found = FindProcessWindowWhere([](HWND hwnd) {
                return ClassNameOf(hwnd) == L"#32770" && ::GetDlgItem(hwnd, kFileNameBox);
            });
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
