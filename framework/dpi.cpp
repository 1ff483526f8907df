// DPI queries with run-time fallbacks for older Windows.
#include "framework/dpi.h"

#include "common/unique_handle.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

// The monitor DPI kind of GetDpiForMonitor and the dialog behaviour flags of
// SetDialogDpiChangeBehavior (DDC_DISABLE_ALL).
constexpr int kEffectiveDpi = 0;
constexpr int kDisableAllDialogScaling = 1;

template <class Fn> Fn Lookup(const wchar_t* module, const char* name) {
    HMODULE handle = ::GetModuleHandleW(module);
    if (!handle)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(handle, name)));
}

// shcore.dll is not loaded by the program otherwise; Windows 7 has none.
GetDpiForMonitorFn LookupGetDpiForMonitor() {
    static const GetDpiForMonitorFn function = [] {
        HMODULE shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!shcore)
            return GetDpiForMonitorFn(nullptr);
        return reinterpret_cast<GetDpiForMonitorFn>(
            reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
    }();
    return function;
}

} // namespace

UINT SystemDpi() {
    static const auto getDpiForSystem = Lookup<GetDpiForSystemFn>(L"user32.dll", "GetDpiForSystem");
    if (getDpiForSystem)
        return getDpiForSystem();
    ScopedWindowDC screen(nullptr);
    int dpi = screen.Dc() ? ::GetDeviceCaps(screen.Dc(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kDesignDpi;
}

UINT DpiOfWindow(HWND hwnd) {
    static const auto getDpiForWindow = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd))
            return dpi;
    }
    if (GetDpiForMonitorFn getDpiForMonitor = LookupGetDpiForMonitor()) {
        UINT x = 0, y = 0;
        HMONITOR monitor = ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
        if (SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) && y > 0)
            return y;
    }
    return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    static const auto forDpi =
        Lookup<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, dpi);
    return ::MulDiv(::GetSystemMetrics(index), static_cast<int>(dpi),
                    static_cast<int>(SystemDpi()));
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjustForDpi =
        Lookup<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
    RECT r = {0, 0, client.cx, client.cy};
    if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void TakeOverDialogDpiScaling(HWND dialog) {
    static const auto setBehavior =
        Lookup<SetDialogDpiChangeBehaviorFn>(L"user32.dll", "SetDialogDpiChangeBehavior");
    if (setBehavior)
        setBehavior(dialog, kDisableAllDialogScaling, kDisableAllDialogScaling);
}
