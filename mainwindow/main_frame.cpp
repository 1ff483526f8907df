// The main frame's creation, keyboard filter and commands.
#include "mainwindow/main_frame.h"

#include "framework/app_module.h"

BOOL CMainFrame::PreTranslateMessage(MSG* msg) {
    if (m_hAccel && ::TranslateAcceleratorW(m_hWnd, m_hAccel, msg))
        return TRUE;
    return m_view.PreTranslateMessage(msg);
}

BOOL CMainFrame::OnIdle() {
    return FALSE;
}

LRESULT CMainFrame::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
    m_hWndClient = m_view.Create(m_hWnd);

    if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    // The menu resource exists only for its id; the frame never shows one.
    if (HMENU menu = GetMenu()) {
        SetMenu(nullptr);
        ::DestroyMenu(menu);
    }

    // A fixed layout: no sizing border, no maximise box. No frame refresh is
    // needed, as the window is moved and sized right after.
    ModifyStyle(WS_THICKFRAME | WS_MAXIMIZEBOX, 0);
    int x = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    int y = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    SetWindowPos(nullptr, x, y, kWidth, kHeight, SWP_NOZORDER);
    return 0;
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

LRESULT CMainFrame::OnFileExit(WORD, WORD, HWND, BOOL&) {
    PostMessage(WM_CLOSE);
    return 0;
}

LRESULT CMainFrame::OnFileNew(WORD, WORD, HWND, BOOL&) {
    return 0;
}
