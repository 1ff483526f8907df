// CTessalockView: the main window's content, a child dialog (template 129)
// that collects the files and folders to protect. The rows of its list and
// the path store always hold the same paths: the rows in the order they were
// added, the store sorted and free of duplicates. "Encrypt >>" hands the
// store to the encryption dialog and empties both after a successful run.
// The list answers the keys a Windows list of files does: Delete removes the
// selected rows (after the same question as the menu), Ctrl+A selects all,
// Shift+F10 and the menu key open the context menu at the focused row.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <set>
#include <string>
#include <vector>

#include "dialogs/skin.h"
#include "framework/dialog_impl.h"
#include "framework/message_map.h"
#include "resources/resource.h"

class CTessalockView : public CDialogImpl<CTessalockView> {
public:
    enum { IDD = IDD_TESSALOCK_VIEW };

    // Adds an existing file or folder (not a drive root) as a new row, or
    // shows "%s has been existed." when its normalised path is listed
    // already; anything else is ignored without a word.
    void AddPath(std::wstring path);

    // Dialog-keyboard handling (Tab between the controls, Space on a
    // button) and the menu key for a message taken from the frame's loop.
    BOOL PreTranslateMessage(MSG* msg);

    // The store's keys in store order.
    std::vector<std::wstring> StoredPaths() const;

    // Lays the view out for another DPI: the template's font at that DPI,
    // the banner, the column widths and every place. The frame calls it when
    // it moves to a monitor with another DPI.
    void SetDpi(UINT dpi);

    BEGIN_MSG_MAP(CTessalockView)
        MSG_WM_SIZE(OnSize)
        MSG_WM_INITDIALOG(OnInitDialog)
        MSG_WM_DROPFILES(OnDropFiles)
        ON_NOTIFY(IDC_FILE_LIST, NM_RCLICK, OnListRightClick)
        ON_COMMAND(ID_LIST_ADD, OnAdd)
        ON_COMMAND(ID_LIST_DELETE, OnDelete)
        ON_COMMAND_CODE(IDC_ABOUT, BN_CLICKED, OnAbout)
        ON_COMMAND_CODE(IDC_HELP_BUTTON, BN_CLICKED, OnHelp)
        ON_COMMAND_CODE(IDC_ENCRYPT, BN_CLICKED, OnEncrypt)
        ON_COMMAND_CODE(IDC_ADD, BN_CLICKED, OnAdd)
        ON_COMMAND_CODE(IDC_BANNER, STN_CLICKED, OnBannerClicked)
        ON_NOTIFY(IDC_FILE_LIST, LVN_KEYDOWN, OnListKeyDown)
        MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    END_MSG_MAP()

private:
    void OnSize(UINT, SIZE);
    BOOL OnInitDialog(HWND, LPARAM);
    void OnDropFiles(HDROP drop);
    void OnListRightClick(NMHDR*);
    void OnAdd(UINT);
    void OnDelete(UINT);
    void OnAbout(UINT);
    void OnHelp(UINT);
    void OnEncrypt(UINT);
    void OnBannerClicked(UINT);
    void OnListKeyDown(NMHDR* header);
    // Declines what the list's menu does not answer (a right-click, which
    // NM_RCLICK has handled, and other windows' menus).
    LRESULT OnContextMenu(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled);

    void AddColumns(UINT dpi);
    void SetColumnWidths(UINT dpi);
    void FitSizeColumn(int listWidth, UINT dpi);
    void AttachSystemImageList();
    UINT Dpi() const;
    // Places every control for the view's size and DPI.
    void Layout();
    // The list's context menu at a point in screen coordinates; its choice
    // arrives here as WM_COMMAND.
    void TrackListMenu(POINT at);
    // The same menu opened from the keyboard: at the focused row, or at the
    // list's top left corner when no row has the focus.
    void TrackListMenuAtFocusedRow();
    // Removes the selected rows after the confirmation (nothing without a
    // selection).
    void DeleteSelectedRows();

    CTitleBar banner_;
    CZelStatic hint_;
    CZelListViewCtrl fileList_;
    CZelStatic frameBox_;
    CZelButton aboutButton_;
    CZelButton helpButton_;
    CZelButton encryptButton_;
    CZelButton addButton_;
    // The shell's image list of small icons; the shell owns it.
    HIMAGELIST iconList_ = nullptr;
    // Plain code-unit order: case matters, no locale.
    std::set<std::wstring> pathStore_;
};
