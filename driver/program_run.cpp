// Driving the program from another process.
#include "driver/program_run.h"

#include <vector>

namespace driver {

namespace {

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
    UniqueThread thread(info.hThread); // of no use here: closed at once
    process_.Reset(info.hProcess);
    processId_ = info.dwProcessId;
}

ProgramRun::~ProgramRun() {
    if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_.Get(), 99);
        ::WaitForSingleObject(process_.Get(), 5000);
    }
}

HWND ProgramRun::WaitForWindow(const wchar_t* caption, DWORD timeoutMs) const {
    return WaitForDialog(caption, processId_, timeoutMs);
}

HWND ProgramRun::WaitForTopLevel(const std::function<bool(HWND)>& match, DWORD timeoutMs,
                                 bool visibleOnly) const {
    return driver::WaitForTopLevel(match, processId_, timeoutMs, visibleOnly);
}

std::wstring ProgramRun::AnswerBox(const wchar_t* caption, int answer, DWORD timeoutMs) const {
    // The box comes when the job is done; a program that ended without one
    // has nothing more to show.
    HWND box = nullptr;
    WaitUntil(
        [&] {
            box = WaitForWindow(caption, 0);
            return box != nullptr || ::WaitForSingleObject(process_.Get(), 0) != WAIT_TIMEOUT;
        },
        timeoutMs);
    return driver::AnswerBox(box, answer);
}

long ProgramRun::WaitForExit(DWORD timeoutMs) {
    if (!process_ ||
        ::WaitForSingleObject(process_.Get(), ForThisMachine(timeoutMs)) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return static_cast<long>(code);
}

} // namespace driver
