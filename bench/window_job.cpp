// Driving the real program's dialogs from the benchmark's process: the
// program is started with a command line, its windows are found by process
// and caption, typed into with WM_SETTEXT and clicked with a posted BM_CLICK
// (a sent click would wait for the modal box it opens). Every wait has a
// deadline, and a run that has not ended by then is ended.
#include "bench/window_job.h"

#include "bench/bench_common.h"
#include "common/unique_handle.h"
#include "resources/resource.h"

#include <functional>
#include <vector>

namespace bench {

namespace {

const wchar_t kAppCaption[] = L"Tessalock v1.3";
// The dialogs of a fresh process in a booted prefix come within seconds; a
// job may take many minutes on a slow disk.
constexpr DWORD kDialogMs = 60000;
constexpr DWORD kJobMs = 60 * 60 * 1000;
constexpr DWORD kExitMs = 60000;

constexpr DWORD kPollMs = 20;

std::wstring TextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    // With a deadline: a hung program must not hang the benchmark.
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                        &length);
    return text;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return name;
}

bool PollUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs);
    }
}

// Tessalock.exe's Windows path; the build names it as a path of this Linux
// machine, which Wine maps (Z: is the usual mapping).
std::wstring ProgramPath() {
    using DosNameFn = wchar_t*(CDECL*)(const char*);
    const std::string unixPath = TL_PROGRAM_PATH;
    auto toDos = reinterpret_cast<DosNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (wchar_t* name = toDos(unixPath.c_str())) {
            std::wstring path(name);
            HeapFree(GetProcessHeap(), 0, name);
            return path;
        }
    }
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

struct WindowSearch {
    DWORD processId;
    const std::function<bool(HWND)>& match;
    HWND found;
};

// EnumWindows's callback (a named stdcall function: a lambda does not
// convert to one in the 32-bit build); param is a WindowSearch.
BOOL CALLBACK MatchRunWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->processId || !IsWindowVisible(hwnd) || !search->match(hwnd))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

// One run of the program, ended when it is left before the program ended.
class CProgramRun {
public:
    explicit CProgramRun(const std::wstring& arguments) {
        std::wstring line = L"\"" + ProgramPath() + L"\" " + arguments;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            return;
        UniqueThread thread(info.hThread);
        process_.Reset(info.hProcess);
        processId_ = info.dwProcessId;
    }
    ~CProgramRun() {
        if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 99);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    bool Started() const { return static_cast<bool>(process_); }

    // A visible top-level window of this run that match accepts; null when
    // none came within the time.
    HWND WaitForTopLevel(const std::function<bool(HWND)>& match, DWORD timeoutMs) const {
        WindowSearch search{processId_, match, nullptr};
        PollUntil(
            [&] {
                EnumWindows(MatchRunWindow, reinterpret_cast<LPARAM>(&search));
                return search.found != nullptr;
            },
            timeoutMs);
        return search.found;
    }
    // A dialog of this run with the caption.
    HWND WaitForDialog(const wchar_t* caption, DWORD timeoutMs) const {
        return WaitForTopLevel(
            [&](HWND hwnd) { return ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == caption; },
            timeoutMs);
    }
    // The exit code, or -1 when the run did not end within the time.
    long WaitForExit(DWORD timeoutMs) const {
        if (!process_ || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.Get(), &code);
        return static_cast<long>(code);
    }

private:
    UniqueProcess process_;
    DWORD processId_ = 0;
};

void SetControlText(HWND dialog, int id, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 10000, &ignored);
}

void PostButtonClick(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Reads a message box's text, answers it and waits until it is gone.
std::wstring AnswerBox(HWND box, int answer) {
    // A message box keeps its text in the static control 0xFFFF.
    std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    PollUntil([&] { return !IsWindow(box); }, 30000);
    return text;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += (c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

// The program's message box: a dialog with the program's caption and the
// box's text control (the progress window has neither).
HWND WaitForBox(const CProgramRun& program) {
    return program.WaitForTopLevel(
        [](HWND hwnd) {
            return ClassOf(hwnd) == L"#32770" && TextOf(hwnd) == kAppCaption &&
                   GetDlgItem(hwnd, 0xFFFF) != nullptr;
        },
        kJobMs);
}

// Presses button in dialog, times until the box comes, answers it and
// checks its text starts with expected and the program ends.
bool TimeJob(CProgramRun& program, HWND dialog, int button, const std::wstring& expected,
             int answer, WindowRun& run) {
    CStopwatch time;
    PostButtonClick(dialog, button);
    HWND box = WaitForBox(program);
    run.seconds = time.Seconds();
    if (!box) {
        run.problem = "no message box after the job";
        return false;
    }
    const std::wstring text = AnswerBox(box, answer);
    if (text.compare(0, expected.size(), expected) != 0) {
        run.problem = "the program said: " + Narrow(text);
        return false;
    }
    if (program.WaitForExit(kExitMs) != 1) {
        run.problem = "the program did not end with exit code 1";
        return false;
    }
    return true;
}

} // namespace

bool RunEncryptionWindows(const std::wstring& item, const std::wstring& password,
                          ContainerFormat format, WindowRun& run) {
    run = WindowRun{};
    // The program's switch for the old format; it must come first.
    const std::wstring legacy = format == ContainerFormat::Legacy ? L"-legacy " : L"";
    CProgramRun program(legacy + L"-enc \"" + item + L"\"");
    HWND dialog =
        program.Started() ? program.WaitForDialog(L"Tessalock-Encrypt", kDialogMs) : nullptr;
    if (!dialog) {
        run.problem = "the encryption dialog did not come";
        return false;
    }
    SetControlText(dialog, IDC_PASSWORD, password);
    SetControlText(dialog, IDC_REENTER, password);
    return TimeJob(program, dialog, IDC_ENCRYPT, L"Encrypted successfully.", IDOK, run);
}

bool RunDecryptionWindows(const std::wstring& container, const std::wstring& password,
                          WindowRun& run) {
    run = WindowRun{};
    CProgramRun program(L"\"" + container + L"\"");
    HWND dialog =
        program.Started() ? program.WaitForDialog(L"Tessalock-Decrypt", kDialogMs) : nullptr;
    if (!dialog) {
        run.problem = "the decryption dialog did not come";
        return false;
    }
    SetControlText(dialog, IDC_PASSWORD, password);
    // "No": the benchmark does not want the restored item opened.
    return TimeJob(program, dialog, IDC_DECRYPT, L"Decrypted successfully.", IDNO, run);
}

} // namespace bench
