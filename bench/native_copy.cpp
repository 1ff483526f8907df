// Running Linux's cp from under Wine and reading back what it took.
#include "bench/native_copy.h"

#include "common/unique_handle.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace bench {

namespace {

// Times cp between two readings of the clock, then `times` gives the shell's
// own CPU times and, on its second line, those of its children (cp and the
// two dates). `times` must run in the shell itself: in a pipeline it would
// run in a fresh subshell with no children. The result appears under its
// name only once complete.
const char kScript[] = "start=$(date +%s.%N)\n"
                       "/bin/cp -r \"$1\" \"$2\"\n"
                       "status=$?\n"
                       "end=$(date +%s.%N)\n"
                       "{ echo \"$status $start $end\"; times; } > \"$3.part\"\n"
                       "mv \"$3.part\" \"$3\"\n";

// Long enough for a gigabyte on a slow disk; a copy that takes longer has
// failed for the benchmark's purpose.
constexpr DWORD kDeadlineMs = 30 * 60 * 1000;

using UnixNameFn = char*(CDECL*)(const wchar_t*);

bool UnixName(const std::wstring& path, std::string& unixPath) {
    auto toUnix = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return false;
    char* name = toUnix(path.c_str());
    if (!name)
        return false;
    unixPath = name;
    HeapFree(GetProcessHeap(), 0, name);
    return true;
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

bool WriteText(const std::wstring& path, const char* text) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD length = static_cast<DWORD>(std::strlen(text)), written = 0;
    return file && WriteFile(file.Get(), text, length, &written, nullptr) && written == length;
}

bool ReadText(const std::wstring& path, std::string& text) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    return true;
}

} // namespace

bool ParseShellTimes(const std::string& line, double& seconds) {
    int userMinutes = 0, systemMinutes = 0;
    double user = 0, system = 0;
    char endUser = 0, endSystem = 0;
    if (std::sscanf(line.c_str(), " %dm%lf%c %dm%lf%c", &userMinutes, &user, &endUser,
                    &systemMinutes, &system, &endSystem) != 6 ||
        endUser != 's' || endSystem != 's')
        return false;
    seconds = 60.0 * (userMinutes + systemMinutes) + user + system;
    return true;
}

bool NativeCopyTree(const std::wstring& from, const std::wstring& to,
                    const std::wstring& workFolder, NativeCopyResult& result,
                    std::string& problem) {
    const std::wstring script = workFolder + L"\\native_copy.sh";
    const std::wstring done = workFolder + L"\\native_copy.result";
    std::string unixScript, unixFrom, unixTo, unixDone;
    if (!UnixName(script, unixScript) || !UnixName(from, unixFrom) || !UnixName(to, unixTo) ||
        !UnixName(done, unixDone)) {
        problem = "no Linux path for the copy (not running under Wine?)";
        return false;
    }
    DeleteFileW(done.c_str());
    if (!WriteText(script, kScript)) {
        problem = "cannot write the copy script";
        return false;
    }
    std::wstring line = L"/bin/sh \"" + Widen(unixScript) + L"\" \"" + Widen(unixFrom) + L"\" \"" +
                        Widen(unixTo) + L"\" \"" + Widen(unixDone) + L"\"";
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info)) {
        problem = "cannot start /bin/sh";
        DeleteFileW(script.c_str());
        return false;
    }
    // Wine hands back no usable handle for a Linux process; close whatever
    // it gave.
    if (info.hThread)
        CloseHandle(info.hThread);
    if (info.hProcess)
        CloseHandle(info.hProcess);
    const ULONGLONG deadline = GetTickCount64() + kDeadlineMs;
    while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetTickCount64() < deadline)
        Sleep(5);
    std::string text;
    const bool read = ReadText(done, text);
    DeleteFileW(done.c_str());
    DeleteFileW(script.c_str());
    int status = -1;
    double start = 0, end = 0;
    const size_t shellLine = text.find('\n');
    const size_t childrenLine =
        shellLine == std::string::npos ? shellLine : text.find('\n', shellLine + 1);
    if (!read || childrenLine == std::string::npos ||
        std::sscanf(text.c_str(), "%d %lf %lf", &status, &start, &end) != 3 ||
        !ParseShellTimes(text.substr(childrenLine + 1), result.cpuSeconds)) {
        problem = read ? "unreadable copy result: " + text : "cp -r did not finish in time";
        return false;
    }
    if (status != 0) {
        problem = "cp -r failed with status " + std::to_string(status);
        return false;
    }
    result.seconds = end - start;
    return true;
}

} // namespace bench
