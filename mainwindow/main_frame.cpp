// The main frame's creation, keyboard filter and commands.
#include "mainwindow/main_frame.h"

#include "common/unique_handle.h"
#include "framework/app_module.h"

BOOL CMainFrame::PreTranslateMessage(MSG* msg) {
    if (m_hAccel && ::TranslateAcceleratorW(m_hWnd, m_hAccel, msg))
        return TRUE;
    return m_view.PreTranslateMessage(msg);
}

BOOL CMainFrame::OnIdle() {
    return FALSE;
}

int CMainFrame::OnCreate(CREATESTRUCTW*) {
    m_hWndClient = m_view.Create(m_hWnd);

    if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    // The menu resource exists only for its id; the frame never shows one.
    if (HMENU menu = GetMenu()) {
        SetMenu(nullptr);
        UniqueMenu detached(menu);
    }

    // A fixed layout: no sizing border, no maximise box. No frame refresh is
    // needed, as the window is moved and sized right after.
    ModifyStyle(WS_THICKFRAME | WS_MAXIMIZEBOX, 0);
    const UINT dpi = DpiOfWindow(m_hWnd);
    const int width = ScaleForDpi(kWidth, dpi);
    const int height = ScaleForDpi(kHeight, dpi);
    int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER);
    return 0;
}

// The frame went to a monitor with another DPI. The system suggests where it
// goes; its size is the fixed size at the new DPI.
void CMainFrame::OnDpiChanged(UINT dpi, const RECT* suggested) {
    m_view.SetDpi(dpi);
    RECT now = {};
    GetWindowRect(&now);
    POINT at = suggested ? POINT{suggested->left, suggested->top} : POINT{now.left, now.top};
    SetWindowPos(nullptr, at.x, at.y, ScaleForDpi(kWidth, dpi), ScaleForDpi(kHeight, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CMainFrame::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
    // The frame base posts the quit message with exit code 1.
    handled = FALSE;
    return 1;
}

void CMainFrame::OnFileExit(UINT) {
    PostMessage(WM_CLOSE);
}
