// Driving the program from another process.
#include "support/program_run.h"

#include <vector>

namespace testing_support {

namespace {

constexpr DWORD kPollMs = 20;

struct Search {
    DWORD processId;
    const std::function<bool(HWND)>& match;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchRunWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->processId || (search->visibleOnly && !::IsWindowVisible(hwnd)) ||
        !search->match(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

using DosNameFn = wchar_t*(CDECL*)(const char*);

} // namespace

std::wstring ProgramPath() {
    return DosPath(TL_PROGRAM_PATH);
}

std::wstring DosPath(const std::string& unixPath) {
    // Wine names Linux paths for Windows programs; Z: is the usual mapping.
    auto toDos = reinterpret_cast<DosNameFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (wchar_t* name = toDos(unixPath.c_str())) {
            std::wstring path(name);
            ::HeapFree(::GetProcessHeap(), 0, name);
            return path;
        }
    }
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

ProgramRun::ProgramRun(const std::wstring& arguments) {
    std::wstring line = L"\"" + ProgramPath() + L"\"";
    if (!arguments.empty())
        line += L" " + arguments;
    Start(line);
}

ProgramRun::ProgramRun(const CommandLine& commandLine) {
    Start(commandLine.text);
}

void ProgramRun::Start(const std::wstring& line) {
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        return;
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
}

ProgramRun::~ProgramRun() {
    if (!process_)
        return;
    if (::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_, 99);
        ::WaitForSingleObject(process_, 5000);
    }
    ::CloseHandle(process_);
}

HWND ProgramRun::WaitForWindow(const wchar_t* caption, DWORD timeoutMs) const {
    return WaitForTopLevel(
        [&](HWND hwnd) { return ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == caption; },
        timeoutMs);
}

HWND ProgramRun::WaitForTopLevel(const std::function<bool(HWND)>& match, DWORD timeoutMs,
                                 bool visibleOnly) const {
    HWND found = nullptr;
    PollUntil(
        [&] {
            Search search{processId_, match, visibleOnly, nullptr};
            ::EnumWindows(MatchRunWindow, reinterpret_cast<LPARAM>(&search));
            found = search.found;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

long ProgramRun::WaitForExit(DWORD timeoutMs) {
    if (!process_ || ::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    return static_cast<long>(code);
}

std::wstring AnswerProgramBox(const ProgramRun& run, const wchar_t* caption, int answer) {
    HWND box = run.WaitForWindow(caption, 30000);
    if (!box)
        return L"(no box)";
    return AnswerBoxWindow(box, answer);
}

std::wstring AnswerBoxWindow(HWND box, int answer) {
    // A message box keeps its text in the static control 0xFFFF.
    std::wstring text = TextOf(::GetDlgItem(box, 0xFFFF));
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    PollUntil([&] { return !::IsWindow(box); }, 30000);
    return text;
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

void SetControlText(HWND dialog, int id, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(::GetDlgItem(dialog, id), WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 10000, &ignored);
}

std::wstring ControlText(HWND dialog, int id) {
    return TextOf(::GetDlgItem(dialog, id));
}

void PostButtonClick(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

} // namespace testing_support
