// CFrameWindowImpl: a top-level frame window with one client window that
// fills its client area. The class is registered under a generated name with
// class style 0, the COLOR_WINDOW background, the arrow cursor and the large
// and small icon of the frame's common resource id, which also names the
// caption string, the menu and the accelerator table:
//
//     class CMainFrame : public CFrameWindowImpl<CMainFrame> {
//         DECLARE_FRAME_WND_CLASS(nullptr, IDR_MAINFRAME)
//         ...
#pragma once

#include <windows.h>

#include "common/resource_instance.h"
#include "common/unique_handle.h"
#include "framework/window_impl.h"

#define DECLARE_FRAME_WND_CLASS(className, commonResourceId)                                       \
public:                                                                                            \
    static CWndClassInfo& GetWndClassInfo() {                                                      \
        static CWndClassInfo info{className, 0, COLOR_WINDOW + 1, commonResourceId, 0, {}};        \
        return info;                                                                               \
    }

template <class T, class TBase = CWindow, class TWinTraits = CFrameWinTraits>
class CFrameWindowImpl : public CWindowImpl<T, TBase, TWinTraits> {
public:
    HWND m_hWndClient = nullptr;
    HACCEL m_hAccel = nullptr;

    // Loads the caption (string id, at most 255 characters) and the menu,
    // creates the window at the system's default position and size, and
    // loads the accelerator table once the window exists.
    HWND CreateEx(HWND parent = nullptr, const RECT* rect = nullptr, DWORD style = 0,
                  DWORD exStyle = 0) {
        UINT id = T::GetWndClassInfo().iconId;
        HINSTANCE instance = GetResourceInstance();
        wchar_t caption[256] = {};
        ::LoadStringW(instance, id, caption, 256);
        // A window that was created owns the menu from then on.
        UniqueMenu menu(::LoadMenuW(instance, MAKEINTRESOURCEW(id)));
        HWND hwnd = this->Create(parent, rect, caption, style, exStyle, menu.Get());
        if (hwnd) {
            menu.Release();
            m_hAccel = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(id));
        }
        return hwnd;
    }

    // Makes the client window fill the client area.
    void UpdateLayout() {
        if (!m_hWndClient)
            return;
        RECT r;
        this->GetClientRect(&r);
        ::SetWindowPos(m_hWndClient, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }

    BEGIN_MSG_MAP(CFrameWindowImpl)
        MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
        MESSAGE_HANDLER(WM_SETFOCUS, OnSetFocus)
    END_MSG_MAP()

    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
        // Only a top-level frame ends the message loop.
        if ((this->GetStyle() & (WS_CHILD | WS_POPUP)) == 0)
            ::PostQuitMessage(1);
        handled = FALSE;
        return 1;
    }

    LRESULT OnSize(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
        if (wParam != SIZE_MINIMIZED)
            static_cast<T*>(this)->UpdateLayout();
        handled = FALSE;
        return 1;
    }

    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL& handled) {
        // The client covers everything: erasing would only flicker.
        if (m_hWndClient)
            return 1;
        handled = FALSE;
        return 0;
    }

    LRESULT OnSetFocus(UINT, WPARAM, LPARAM, BOOL& handled) {
        if (m_hWndClient)
            ::SetFocus(m_hWndClient);
        handled = FALSE;
        return 1;
    }
};
