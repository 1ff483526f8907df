// CWindow: a non-owning view of a window handle. Copying it copies the
// handle, destroying it leaves the window alone; a window's lifetime belongs
// to its window procedure. The calls are thin: they return what the system
// returns (bool for success) and leave GetLastError as the system set it.
//
// The handle is the public field m_hWnd, the name every window class of the
// program and its handlers use to reach their window.
#pragma once

#include <windows.h>

#include <string>

class CWindow {
public:
    HWND m_hWnd = nullptr;

    CWindow(HWND hwnd = nullptr) : m_hWnd(hwnd) {}
    CWindow& operator=(HWND hwnd) {
        m_hWnd = hwnd;
        return *this;
    }
    operator HWND() const { return m_hWnd; }

    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND Detach() {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        return hwnd;
    }

    bool IsWindow() const { return ::IsWindow(m_hWnd) != FALSE; }
    bool DestroyWindow() { return ::DestroyWindow(m_hWnd) != FALSE; }

    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, msg, wParam, lParam) != FALSE;
    }

    // Text.
    bool SetWindowText(const wchar_t* text) { return ::SetWindowTextW(m_hWnd, text) != FALSE; }
    bool SetWindowText(const std::wstring& text) { return SetWindowText(text.c_str()); }
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    int GetWindowText(wchar_t* buffer, int capacity) const {
        return ::GetWindowTextW(m_hWnd, buffer, capacity);
    }
    // The whole text: length n asked first, then at most n + 1 characters
    // fetched into a zeroed buffer, cut at the first NUL.
    std::wstring GetWindowText() const;

    // Children and relatives.
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }

    // Geometry.
    bool GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect) != FALSE; }
    bool GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect) != FALSE; }
    bool MoveWindow(int x, int y, int width, int height, bool repaint = true) {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint) != FALSE;
    }
    bool SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags) != FALSE;
    }
    bool ScreenToClient(POINT* point) const { return ::ScreenToClient(m_hWnd, point) != FALSE; }
    bool ClientToScreen(POINT* point) const { return ::ClientToScreen(m_hWnd, point) != FALSE; }

    // State.
    bool ShowWindow(int command) { return ::ShowWindow(m_hWnd, command) != FALSE; }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    bool EnableWindow(bool enable) { return ::EnableWindow(m_hWnd, enable) != FALSE; }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    bool Invalidate(bool erase = true) { return ::InvalidateRect(m_hWnd, nullptr, erase) != FALSE; }
    bool UpdateWindow() { return ::UpdateWindow(m_hWnd) != FALSE; }

    // Styles. ModifyStyle changes only the bits named; with flags it also
    // calls SetWindowPos so a frame change takes effect.
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const {
        return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE));
    }
    bool ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);

    // Menus, icons, fonts, timers.
    HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
    bool SetMenu(HMENU menu) { return ::SetMenu(m_hWnd, menu) != FALSE; }
    HICON SetIcon(HICON icon, bool big = true) {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    void SetFont(HFONT font, bool redraw = true) {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(redraw, 0));
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    bool KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id) != FALSE; }
};
