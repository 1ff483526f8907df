// CAboutDlg2: the small modal About box (template 205) with the product's
// name and a link to the maker's page. It has no buttons: the caption's close
// button, Alt+F4 and Esc end it with code 8; the link opens its page.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/dialog_impl.h"
#include "framework/message_map.h"
#include "resources/resource.h"

class CAboutDlg2 : public CDialogImpl<CAboutDlg2> {
public:
    enum { IDD = IDD_ABOUTBOX };

    BEGIN_MSG_MAP(CAboutDlg2)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_CLOSE, OnClose)
        COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
        NOTIFY_HANDLER(IDC_ABOUT_LINK, NM_CLICK, OnLinkActivated)
        NOTIFY_HANDLER(IDC_ABOUT_LINK, NM_RETURN, OnLinkActivated)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCancel(WORD notifyCode, WORD id, HWND control, BOOL& handled);
    LRESULT OnLinkActivated(int id, LPNMHDR header, BOOL& handled);
};
