// CMainFrame: the program's top-level window, fixed at 640 x 480 pixels at
// 96 DPI (scaled to the monitor's DPI) in the middle of the screen, with the
// file list view as its only client. It follows moves to a monitor with
// another DPI, resizing itself and laying the view out again. It has
// no menu bar, no sizing border and no maximise box. Its keyboard filter
// consumes the accelerator keys (which do nothing) and gives the view its
// dialog keyboard (Tab, Space). Destroying it ends the loop with code 1.
#pragma once

#include <windows.h>

#include "framework/dpi.h"
#include "framework/frame_window.h"
#include "framework/message_loop.h"
#include "framework/message_map.h"
#include "framework/update_ui.h"
#include "mainwindow/file_list_view.h"
#include "resources/resource.h"

class CMainFrame : public CFrameWindowImpl<CMainFrame>,
                   public CUpdateUI<CMainFrame>,
                   public CMessageFilter,
                   public CIdleHandler {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, IDR_MAINFRAME)

    // The size at 96 DPI.
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;

    CTessalockView m_view;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override;

    BEGIN_UPDATE_UI_MAP(CMainFrame)
    END_UPDATE_UI_MAP()

    BEGIN_MSG_MAP(CMainFrame)
        MSG_WM_CREATE(OnCreate)
        MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        MSG_WM_DPICHANGED(OnDpiChanged)
        ON_COMMAND(ID_APP_EXIT, OnFileExit)
        ON_COMMAND(ID_FILE_NEW, OnFileNew)
        CHAIN_MSG_MAP(CFrameWindowImpl<CMainFrame>)
    END_MSG_MAP()

private:
    int OnCreate(CREATESTRUCTW*);
    // Declines the message, so that the frame base ends the loop.
    LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void OnFileExit(UINT);
    // Ctrl+N, an accelerator of the table, does nothing.
    void OnFileNew(UINT) {}
};
