// The driver of the program's main window from another process.
#include "program_window_driver.h"

#include <commctrl.h>

namespace mainwindow_tests {

using driver::WaitUntil;

namespace {
constexpr int kFileList = 1008;
} // namespace

HWND MainWindowRun::WaitForFrame(DWORD timeoutMs) {
    frame_ = run_.WaitForTopLevel(driver::IsMainFrame, timeoutMs);
    return frame_;
}

HWND MainWindowRun::View() const {
    return frame_ ? ::GetWindow(frame_, GW_CHILD) : nullptr;
}

int MainWindowRun::RowCount() const {
    HWND list = ::GetDlgItem(View(), kFileList);
    DWORD_PTR count = 0;
    if (!list || !::SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count))
        return -1;
    return static_cast<int>(count);
}

bool MainWindowRun::WaitForRowCount(int count, DWORD timeoutMs) const {
    return WaitUntil([&] { return RowCount() == count; }, timeoutMs);
}

} // namespace mainwindow_tests
