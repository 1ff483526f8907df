// The About box's handlers.
#include "mainwindow/about.h"

#include "dialogs/skin.h"
#include "mainwindow/web_links.h"

namespace {
// The code a dialog ends with when it was closed without doing any work.
constexpr INT_PTR kClosedWithoutWork = 8;
} // namespace

LRESULT CAboutDlg2::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    SetIcon(SharedUiResources().AppIcon(), true);
    return 1;
}

LRESULT CAboutDlg2::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
    EndDialog(kClosedWithoutWork);
    return 0;
}

// Esc arrives as IDCANCEL; a box without buttons is expected to close on it.
LRESULT CAboutDlg2::OnCancel(WORD, WORD, HWND, BOOL&) {
    EndDialog(kClosedWithoutWork);
    return 0;
}

// A click on the link or Enter while it has the focus. The page is the
// maker's page shipped beside the program, whatever the link text says.
LRESULT CAboutDlg2::OnLinkActivated(int, LPNMHDR, BOOL&) {
    OpenWebPage(WebPage::Maker);
    return 0;
}
