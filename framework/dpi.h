// Pixel sizes for the DPI of the monitor a window is on. The program's
// layouts are written in pixels at 96 DPI (100 %) and scaled to the window's
// DPI; the program declares itself per-monitor aware (v2, with the system-
// aware fallback on Windows 7) in its manifest, so nothing is stretched for
// it. The calls that Windows 7 lacks are looked up at run time.
#pragma once

#include <windows.h>

// The message Windows 8.1 and later send when a window moves to a monitor
// with another DPI; headers for Windows 7 may not name it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The DPI the layouts are written for.
constexpr UINT kDesignDpi = 96;

// A length in pixels at 96 DPI, at dpi (rounded to the nearest pixel).
inline int ScaleForDpi(int value, UINT dpi) {
    return ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

// The system DPI: the DPI of the primary monitor when the session started.
UINT SystemDpi();

// The DPI of the monitor the window is on: GetDpiForWindow on Windows 10,
// GetDpiForMonitor on Windows 8.1, the system DPI before that.
UINT DpiOfWindow(HWND hwnd);

// The new DPI that WM_DPICHANGED carries.
inline UINT DpiFromDpiChanged(WPARAM wParam) {
    return HIWORD(wParam);
}

// A system metric (GetSystemMetrics) at dpi: GetSystemMetricsForDpi on
// Windows 10, else the metric scaled from the system DPI.
int SystemMetricForDpi(int index, UINT dpi);

// The window size whose client area has the given size, for a window with
// these styles and no menu, at dpi (the caption and borders scale too).
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, UINT dpi);

// On Windows 10 the system rescales a per-monitor dialog itself when it
// moves to another DPI; the program's dialogs do it themselves instead
// (framework/dialog_scaler.h), and this turns the system's off for one.
void TakeOverDialogDpiScaling(HWND dialog);
