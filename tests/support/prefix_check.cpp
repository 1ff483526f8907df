// Waits until a Wine prefix is really up before tests run: its drive list
// shows C: and Z: (the mount manager answers) and the window manager setting
// the test set-up wrote reads back. A test run on a half-started prefix is
// slower and can mistake Z:, the Linux root, for an unused drive.
// Arguments: the expected Managed value (Y or N) and the seconds to wait.
// Exit status 0 when the prefix is up within that time, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

bool DrivesUp() {
    const DWORD needed = (1u << (L'C' - L'A')) | (1u << (L'Z' - L'A'));
    return (GetLogicalDrives() & needed) == needed;
}

bool ManagedIs(const wchar_t* expected) {
    wchar_t value[8] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
        return false;
    return std::wcscmp(value, expected) == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* managed = argc > 1 ? argv[1] : L"N";
    const int seconds = argc > 2 ? _wtoi(argv[2]) : 60;
    for (int tenth = 0; tenth <= seconds * 10; ++tenth) {
        if (DrivesUp() && ManagedIs(managed)) {
            std::printf("prefix up: drives %08lx\n", GetLogicalDrives());
            return 0;
        }
        Sleep(100);
    }
    std::printf("prefix not up: drives %08lx, Managed=%ls %s\n", GetLogicalDrives(), managed,
                ManagedIs(managed) ? "set" : "missing");
    return 1;
}
