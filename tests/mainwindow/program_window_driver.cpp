// The driver of the program's main window from another process.
#include "program_window_driver.h"

#include <shlobj.h>

#include <cstring>
#include <functional>

namespace mainwindow_tests {

namespace {

constexpr DWORD kPollMs = 20;
constexpr int kFileNameBox = 0x47C;

bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(kPollMs);
    }
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                          &length);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = {};
    ::GetClassNameW(hwnd, name, 128);
    return name;
}

struct Search {
    DWORD processId;
    std::function<bool(HWND)> match;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->processId || !::IsWindowVisible(hwnd) || !search->match(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND FindTopLevel(DWORD processId, const std::function<bool(HWND)>& match) {
    Search search{processId, match, nullptr};
    ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

std::wstring ProgramWindowsPath() {
    const std::string unixPath = TL_PROGRAM_PATH;
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

MainWindowRun::MainWindowRun() {
    std::wstring line = L"\"" + ProgramWindowsPath() + L"\"";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return;
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
}

MainWindowRun::~MainWindowRun() {
    if (!process_)
        return;
    if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_, 99);
        ::WaitForSingleObject(process_, 5000);
    }
    ::CloseHandle(process_);
}

HWND MainWindowRun::WaitForFrame(DWORD timeoutMs) {
    PollUntil(
        [&] {
            frame_ = FindTopLevel(processId_, [](HWND hwnd) {
                return ClassOf(hwnd) != L"#32770" && TextOf(hwnd) == L"Tessalock v1.3";
            });
            return frame_ != nullptr;
        },
        timeoutMs);
    return frame_;
}

HWND MainWindowRun::View() const {
    return frame_ ? ::GetWindow(frame_, GW_CHILD) : nullptr;
}

HWND MainWindowRun::WaitForDialog(const wchar_t* caption, DWORD timeoutMs) const {
    HWND found = nullptr;
    PollUntil(
        [&] {
            found = FindTopLevel(processId_, [&](HWND hwnd) {
                return ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == caption;
            });
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

HWND MainWindowRun::WaitForFileDialog(DWORD timeoutMs) const {
    HWND found = nullptr;
    PollUntil(
        [&] {
            found = FindTopLevel(processId_, [](HWND hwnd) {
                return ClassOf(hwnd) == L"#32770" && ::GetDlgItem(hwnd, kFileNameBox);
            });
            return found != nullptr;
        },
        timeoutMs);
    return found;
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
    void* remote =
        ::VirtualAllocEx(process_, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return false;
    SIZE_T written = 0;
    if (!::WriteProcessMemory(process_, remote, block.data(), block.size(), &written) ||
        written != block.size())
        return false;
    return ::PostMessageW(view, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
}

int MainWindowRun::RowCount() const {
    HWND list = ::GetDlgItem(View(), 1008);
    DWORD_PTR count = 0;
    if (!list || !::SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count))
        return -1;
    return static_cast<int>(count);
}

bool MainWindowRun::WaitForRowCount(int count, DWORD timeoutMs) const {
    return PollUntil([&] { return RowCount() == count; }, timeoutMs);
}

long MainWindowRun::WaitForExit(DWORD timeoutMs) {
    if (!process_ || ::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

void SetControlTextOf(HWND dialog, int id, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(::GetDlgItem(dialog, id), WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 10000, &ignored);
}

std::wstring ControlTextOf(HWND dialog, int id) {
    return TextOf(::GetDlgItem(dialog, id));
}

void PostClickOf(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::wstring AnswerBoxOf(HWND box, int answer) {
    // A message box keeps its text in the static control 0xFFFF.
    std::wstring text = TextOf(::GetDlgItem(box, 0xFFFF));
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    PollUntil([&] { return !::IsWindow(box); }, 10000);
    return text;
}

} // namespace mainwindow_tests
