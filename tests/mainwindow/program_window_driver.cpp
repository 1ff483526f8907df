// The driver of the program's main window from another process.
#include "program_window_driver.h"

#include <shlobj.h>

namespace mainwindow_tests {

using testing_support::ClassOf;
using testing_support::PollUntil;
using testing_support::TextOf;

namespace {
constexpr int kFileNameBox = 0x47C;
constexpr int kFileList = 1008;
} // namespace

HWND MainWindowRun::WaitForFrame(DWORD timeoutMs) {
    frame_ = run_.WaitForTopLevel(
        [](HWND hwnd) { return ClassOf(hwnd) != L"#32770" && TextOf(hwnd) == L"Tessalock v1.3"; },
        timeoutMs);
    return frame_;
}

HWND MainWindowRun::View() const {
    return frame_ ? ::GetWindow(frame_, GW_CHILD) : nullptr;
}

HWND MainWindowRun::WaitForFileDialog(DWORD timeoutMs) const {
    return run_.WaitForTopLevel(
        [](HWND hwnd) {
            return ClassOf(hwnd) == L"#32770" && ::GetDlgItem(hwnd, kFileNameBox) != nullptr;
        },
        timeoutMs);
}

bool MainWindowRun::Drop(const std::vector<std::wstring>& names) {
    HWND view = View();
    if (!view)
        return false;
    // A drop handle is memory of the receiving process: the block is built
    // here and copied into fresh pages of the program. A page-aligned block
    // is what GlobalLock takes for a fixed global block, so DragQueryFileW
    // reads it there; DragFinish cannot free it and leaves it (one page).
    std::vector<char> block(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    for (const std::wstring& name : names) {
        const char* bytes = reinterpret_cast<const char*>(name.c_str());
        block.insert(block.end(), bytes, bytes + (name.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), '\0');
    void* remote = ::VirtualAllocEx(run_.Process(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
    if (!remote)
        return false;
    SIZE_T written = 0;
    if (!::WriteProcessMemory(run_.Process(), remote, block.data(), block.size(), &written) ||
        written != block.size())
        return false;
    return ::PostMessageW(view, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
}

int MainWindowRun::RowCount() const {
    HWND list = ::GetDlgItem(View(), kFileList);
    DWORD_PTR count = 0;
    if (!list || !::SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count))
        return -1;
    return static_cast<int>(count);
}

bool MainWindowRun::WaitForRowCount(int count, DWORD timeoutMs) const {
    return PollUntil([&] { return RowCount() == count; }, timeoutMs);
}

} // namespace mainwindow_tests
