// CAboutDlg2: the small modal About box (template 205) with the product's
// name and a link to the maker's page. It has no buttons: the caption's close
// button, Alt+F4 and Esc end it with code 8; the link opens its page.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "dialogs/closable_dialog.h"
#include "framework/message_map.h"
#include "resources/resource.h"

// Esc arrives as IDCANCEL; a box without buttons is expected to close on it.
class CAboutDlg2 : public CClosableDialog<CAboutDlg2, IDCANCEL> {
public:
    enum { IDD = IDD_ABOUTBOX };

    BEGIN_MSG_MAP(CAboutDlg2)
        MSG_WM_INITDIALOG(OnInitDialog)
        ON_NOTIFY(IDC_ABOUT_LINK, NM_CLICK, OnLinkActivated)
        ON_NOTIFY(IDC_ABOUT_LINK, NM_RETURN, OnLinkActivated)
        CHAIN_MSG_MAP(CClosableDialog)
    END_MSG_MAP()

private:
    BOOL OnInitDialog(HWND, LPARAM);
    void OnLinkActivated(NMHDR*);
};
