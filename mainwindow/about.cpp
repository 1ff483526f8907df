// The About box's handlers.
#include "mainwindow/about.h"

#include "dialogs/skin.h"
#include "mainwindow/web_links.h"

BOOL CAboutDlg2::OnInitDialog(HWND, LPARAM) {
    SetIcon(SharedUiResources().AppIcon(), true);
    return TRUE;
}

// A click on the link or Enter while it has the focus. The page is the
// maker's page shipped beside the program, whatever the link text says.
void CAboutDlg2::OnLinkActivated(NMHDR*) {
    OpenWebPage(WebPage::Maker);
}
