// The GUI test robot: window search, polling waits and the few input
// actions the dialog tests need.
#include "support/robot.h"

#include <vector>

namespace testing_support {

namespace {

constexpr DWORD kPollMs = 10;
// How long the robot waits after its script before closing leftovers: long
// enough for a modal run that the script ended to return and be joined.
constexpr DWORD kLeftoverGraceMs = 2000;

struct SearchRequest {
    const std::function<bool(HWND)>& match;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* request = reinterpret_cast<SearchRequest*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId() || (request->visibleOnly && !::IsWindowVisible(hwnd)) ||
        !request->match(hwnd))
        return TRUE;
    request->found = hwnd;
    return FALSE;
}

BOOL CALLBACK CollectDialogs(HWND hwnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == ::GetCurrentProcessId() && ClassNameOf(hwnd) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

struct ChildSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND hwnd, LPARAM param) {
    auto* request = reinterpret_cast<ChildSearch*>(param);
    if (_wcsicmp(ClassNameOf(hwnd).c_str(), request->className) != 0)
        return TRUE;
    request->found = hwnd;
    return FALSE;
}

} // namespace

HWND FindProcessWindowWhere(const std::function<bool(HWND)>& match, bool visibleOnly) {
    SearchRequest request{match, visibleOnly, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HWND FindProcessWindow(const wchar_t* className, const wchar_t* caption) {
    return FindProcessWindowWhere([&](HWND hwnd) {
        return (!className || ClassNameOf(hwnd) == className) &&
               (!caption || WindowText(hwnd) == caption);
    });
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (predicate())
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(kPollMs);
    }
}

HWND WaitForProcessWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessWindow(className, caption)) != nullptr; },
              timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs) {
    return WaitUntil([&] { return !::IsWindow(hwnd); }, timeoutMs);
}

void PumpPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending();
        if (predicate())
            return true;
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
}

std::wstring WindowText(HWND hwnd) {
    int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(hwnd, buffer.data(), length + 1);
    return std::wstring(buffer.data());
}

std::wstring ClassNameOf(HWND hwnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

std::wstring MessageBoxText(HWND box) {
    // The message box keeps its text in the static control with id 0xFFFF.
    return WindowText(::GetDlgItem(box, 0xFFFF));
}

void TypeText(HWND edit, const std::wstring& text) {
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ClickButton(HWND dialog, int id) {
    ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void SendCommand(HWND dialog, int id, int code) {
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void AnswerMessageBox(HWND box, int answer) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
}

void PostClose(HWND hwnd) {
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

HWND FindChildByClass(HWND parent, const wchar_t* className) {
    ChildSearch request{className, nullptr};
    ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

Robot::Robot(std::function<void(Robot&)> script) : thread_([this, script] { Run(script); }) {}

Robot::~Robot() {
    Join();
}

void Robot::Join() {
    joining_ = true;
    if (thread_.joinable())
        thread_.join();
}

void Robot::Run(std::function<void(Robot&)> script) {
    // Nothing may leave a thread entry: a throwing script just ends early.
    try {
        script(*this);
    } catch (...) {
    }
    ULONGLONG sweepFrom = ::GetTickCount64() + kLeftoverGraceMs;
    while (!joining_) {
        if (::GetTickCount64() >= sweepFrom) {
            std::vector<HWND> dialogs;
            ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
            for (HWND dialog : dialogs) {
                // WM_CLOSE ends ordinary dialogs; IDNO ends a Yes/No box.
                ::PostMessageW(dialog, WM_CLOSE, 0, 0);
                ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
            }
            sweepFrom = ::GetTickCount64() + 500;
        }
        ::Sleep(kPollMs);
    }
}

} // namespace testing_support
