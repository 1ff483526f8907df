// The file list view's handlers: layout, adding (button, menu, drop),
// deleting, and handing the collection to the encryption dialog.
#include "mainwindow/file_list_view.h"

#include <shellapi.h>

#include <algorithm>

#include "common/message_box.h"
#include "common/owner_window.h"
#include "common/res_string.h"
#include "common/resource_instance.h"
#include "common/unique_handle.h"
#include "dialogs/dialog_launch.h"
#include "framework/dpi.h"
#include "framework/file_dialog.h"
#include "jobs/path_info.h"
#include "jobs/timestamp.h"
#include "mainwindow/about.h"
#include "mainwindow/row_text.h"
#include "mainwindow/web_links.h"

namespace {

enum Column { kPathColumn = 0, kDateColumn = 1, kSizeColumn = 2 };

// DragQueryFileW with this index answers the number of names in the drop.
constexpr UINT kCountDroppedNames = 0xFFFFFFFF;

} // namespace

void CTessalockView::AddPath(std::wstring path) {
    CPathInfo item(path);
    // A drive root has no parent folder and is never accepted.
    if (!item.Exists() || !item.GetParent().Exists())
        return;
    path = item.PathWithSeparator();
    if (pathStore_.count(path) != 0) {
        ShowInfoBox(FormatString(LoadResString(IDS_ALREADY_LISTED).c_str(), path.c_str()));
        return;
    }
    pathStore_.insert(path);

    // A zeroed record leaves the icon index 0 when the shell has none.
    SHFILEINFOW shellInfo = {};
    ::SHGetFileInfoW(path.c_str(), 0, &shellInfo, sizeof(shellInfo), SHGFI_SYSICONINDEX);

    int row = fileList_.GetItemCount();
    fileList_.InsertItem(LVIF_TEXT | LVIF_IMAGE, row, L"", 0, 0, shellInfo.iIcon, 0);
    fileList_.SetItemText(row, kPathColumn, path.c_str());
    fileList_.SetItemText(
        row, kDateColumn,
        FormatDateCell(CTimeStamp::FromFileTime(item.GetLastWriteTime())).c_str());
    // A folder's size would take a walk of its whole tree: it is not shown.
    if (item.IsFile())
        fileList_.SetItemText(row, kSizeColumn, FormatSizeCell(item.GetTotalSize()).c_str());
}

BOOL CTessalockView::PreTranslateMessage(MSG* msg) {
    if (!m_hWnd)
        return FALSE;
    // The menu key opens the list's menu when it is released, as it does in
    // the shell. Both of its messages are kept from the default processing,
    // so that no second menu follows the first.
    if (msg->hwnd == fileList_.m_hWnd && msg->wParam == VK_APPS &&
        (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP)) {
        if (msg->message == WM_KEYUP)
            TrackListMenuAtFocusedRow();
        return TRUE;
    }
    return ::IsDialogMessageW(m_hWnd, msg);
}

std::vector<std::wstring> CTessalockView::StoredPaths() const {
    return std::vector<std::wstring>(pathStore_.begin(), pathStore_.end());
}

void CTessalockView::OnSize(UINT, SIZE) {
    Layout();
}

void CTessalockView::SetDpi(UINT dpi) {
    if (!fileList_.m_hWnd)
        return;
    DpiScaler().SetDpi(dpi);
    banner_.SetDpi(dpi);
    SetColumnWidths(dpi);
    Layout();
}

UINT CTessalockView::Dpi() const {
    return DpiScaler().IsCaptured() ? DpiScaler().Dpi() : DpiOfWindow(m_hWnd);
}

// Places in pixels at 96 DPI, scaled to the view's DPI. The view fills the
// frame's client area, whose size depends on the system's caption and
// borders (and on the screen, which may be too small for the frame at a high
// DPI): the banner, the list and the group box span its whole width, the
// group box reaches its bottom, the list gives up height when the group box
// would not hold the buttons otherwise, and the buttons keep their distances
// from the edges and from each other, so nothing is cut off or overlaps at
// any DPI or font size.
void CTessalockView::Layout() {
    if (!fileList_.m_hWnd)
        return; // the first WM_SIZE comes before the controls exist
    const UINT dpi = Dpi();
    auto scale = [dpi](int value) { return ScaleForDpi(value, dpi); };
    RECT client = {};
    GetClientRect(&client);
    const int width = client.right;
    const int height = client.bottom;
    constexpr UINT kPlace = SWP_NOZORDER | SWP_NOACTIVATE;

    const SIZE about = DpiScaler().ScaledSize(aboutButton_);
    const SIZE help = DpiScaler().ScaledSize(helpButton_);
    const SIZE add = DpiScaler().ScaledSize(addButton_);
    const SIZE encrypt = DpiScaler().ScaledSize(encryptButton_);
    const int buttonHeight = static_cast<int>(std::max({about.cy, help.cy, add.cy, encrypt.cy}));

    banner_.MoveWindow(0, 0, width, scale(80), true);
    const SIZE hint = DpiScaler().ScaledSize(hint_);
    hint_.SetWindowPos(nullptr, scale(10), scale(90), hint.cx, hint.cy, kPlace);
    const int listTop = scale(110);
    const int boxNeeds = buttonHeight + scale(30);
    const int listHeight = std::max(0, std::min(scale(250), height - boxNeeds - listTop));
    fileList_.MoveWindow(0, listTop, width, listHeight, true);
    FitSizeColumn(width, dpi);
    // The group box is drawn behind the buttons that sit on it.
    const int boxTop = listTop + listHeight;
    frameBox_.SetWindowPos(HWND_BOTTOM, 0, boxTop, width, height - boxTop, SWP_NOACTIVATE);

    const int top =
        std::max(std::min(scale(400), height - scale(8) - buttonHeight), boxTop + scale(14));
    const int aboutLeft = scale(10);
    const int helpLeft = std::max(scale(100), aboutLeft + static_cast<int>(about.cx) + scale(8));
    const int encryptLeft = width - scale(10) - static_cast<int>(encrypt.cx);
    const int addLeft = encryptLeft - scale(15) - static_cast<int>(add.cx);
    aboutButton_.SetWindowPos(nullptr, aboutLeft, top, about.cx, about.cy, kPlace);
    helpButton_.SetWindowPos(nullptr, helpLeft, top, help.cx, help.cy, kPlace);
    addButton_.SetWindowPos(nullptr, addLeft, top, add.cx, add.cy, kPlace);
    encryptButton_.SetWindowPos(nullptr, encryptLeft, top, encrypt.cx, encrypt.cy, kPlace);
}

BOOL CTessalockView::OnInitDialog(HWND, LPARAM) {
    // Failed attaches leave a control working as the standard one.
    banner_.SubclassWindow(GetDlgItem(IDC_BANNER));
    hint_.SubclassWindow(GetDlgItem(IDC_HINT));
    fileList_.SubclassWindow(GetDlgItem(IDC_FILE_LIST));
    frameBox_.SubclassWindow(GetDlgItem(IDC_FRAME_BOX));
    helpButton_.SubclassWindow(GetDlgItem(IDC_HELP_BUTTON));
    aboutButton_.SubclassWindow(GetDlgItem(IDC_ABOUT));
    encryptButton_.SubclassWindow(GetDlgItem(IDC_ENCRYPT));
    addButton_.SubclassWindow(GetDlgItem(IDC_ADD));
    const UINT dpi = DpiOfWindow(m_hWnd);
    banner_.SetDpi(dpi);
    AddColumns(dpi);
    AttachSystemImageList();
    // The dialog manager then focuses the first tab stop, the list.
    return TRUE;
}

void CTessalockView::AddColumns(UINT dpi) {
    fileList_.InsertColumn(kPathColumn, L"Path", LVCFMT_LEFT);
    fileList_.InsertColumn(kDateColumn, L"Date", LVCFMT_LEFT);
    fileList_.InsertColumn(kSizeColumn, L"Size", LVCFMT_LEFT);
    SetColumnWidths(dpi);
}

void CTessalockView::SetColumnWidths(UINT dpi) {
    fileList_.SetColumnWidth(kPathColumn, ScaleForDpi(320, dpi));
    fileList_.SetColumnWidth(kDateColumn, ScaleForDpi(160, dpi));
    fileList_.SetColumnWidth(kSizeColumn, ScaleForDpi(160, dpi));
}

// The Size column gives up what the list lacks for the three columns and a
// vertical scroll bar, so a few pixels of it never bring a horizontal scroll
// bar; it keeps enough for "2147483647 KB".
void CTessalockView::FitSizeColumn(int listWidth, UINT dpi) {
    // Where scroll bars do not follow the window's DPI they keep the
    // system's width.
    const int scrollBar =
        std::max(SystemMetricForDpi(SM_CXVSCROLL, dpi), ::GetSystemMetrics(SM_CXVSCROLL));
    const int room = listWidth - ScaleForDpi(320 + 160, dpi) - scrollBar;
    const int width = std::max(ScaleForDpi(90, dpi), std::min(ScaleForDpi(160, dpi), room));
    fileList_.SetColumnWidth(kSizeColumn, width);
}

void CTessalockView::AttachSystemImageList() {
    // Asking for any path's small icon index returns the whole system image
    // list of small icons as the result.
    SHFILEINFOW shellInfo = {};
    iconList_ = reinterpret_cast<HIMAGELIST>(::SHGetFileInfoW(
        L"c:\\", 0, &shellInfo, sizeof(shellInfo), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (iconList_)
        fileList_.SetImageList(iconList_, LVSIL_SMALL);
}

void CTessalockView::OnDropFiles(HDROP drop) {
    // The drop is finished on every way out, so its memory is freed.
    UniqueDrop owner(drop);
    UINT count = ::DragQueryFileW(drop, kCountDroppedNames, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Asked without a buffer, the drop says how long the name is: a name
        // from a deep folder is taken whole, never cut at 260 characters.
        UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        name.resize(::DragQueryFileW(drop, i, &name[0], length + 1));
        AddPath(name);
    }
}

void CTessalockView::OnListRightClick(NMHDR*) {
    POINT at = {};
    ::GetCursorPos(&at);
    TrackListMenu(at);
}

void CTessalockView::TrackListMenu(POINT at) {
    UniqueMenu menu(::LoadMenuW(GetResourceInstance(), MAKEINTRESOURCEW(IDR_LIST_MENU)));
    HMENU popup = menu ? ::GetSubMenu(menu.Get(), 0) : nullptr;
    if (!popup)
        return;
    // Without TPM_RETURNCMD the choice arrives here as WM_COMMAND.
    ::TrackPopupMenu(popup, 0, at.x, at.y, 0, m_hWnd, nullptr);
}

// The keys a list of files answers to: Delete removes the selected rows
// (with the same question as the menu), Ctrl+A selects every row.
void CTessalockView::OnListKeyDown(NMHDR* header) {
    const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    if (key == VK_DELETE && !control && !alt)
        DeleteSelectedRows();
    else if (key == 'A' && control && !alt)
        fileList_.SetItemState(-1, LVIS_SELECTED, LVIS_SELECTED);
}

// Shift+F10 reaches the view as a WM_CONTEXTMENU from the list without a
// position. A right-click has already opened the menu through NM_RCLICK and
// is left alone here.
LRESULT CTessalockView::OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    const bool fromKeyboard =
        static_cast<short>(LOWORD(lParam)) == -1 && static_cast<short>(HIWORD(lParam)) == -1;
    if (reinterpret_cast<HWND>(wParam) != fileList_.m_hWnd || !fromKeyboard) {
        handled = FALSE;
        return 0;
    }
    TrackListMenuAtFocusedRow();
    return 0;
}

void CTessalockView::TrackListMenuAtFocusedRow() {
    POINT at = {0, 0};
    int focused = fileList_.GetNextItem(-1, LVNI_FOCUSED);
    if (focused >= 0) {
        fileList_.SendMessage(LVM_ENSUREVISIBLE, focused, FALSE);
        RECT row = {LVIR_LABEL, 0, 0, 0};
        if (fileList_.SendMessage(LVM_GETITEMRECT, focused, reinterpret_cast<LPARAM>(&row)))
            at = POINT{row.left, row.bottom};
    }
    fileList_.ClientToScreen(&at);
    TrackListMenu(at);
}

void CTessalockView::OnAdd(UINT) {
    CFileDialog dialog(true, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr);
    if (dialog.DoModal(OwnerForNewWindow()) == IDOK)
        AddPath(dialog.m_szFileName);
}

void CTessalockView::OnDelete(UINT) {
    DeleteSelectedRows();
}

void CTessalockView::DeleteSelectedRows() {
    if (fileList_.GetNextItem(-1, LVNI_SELECTED) < 0)
        return;
    if (!AskQuestion(LoadResString(IDS_CONFIRM_DELETE)))
        return;
    // Deleting a row moves the later ones up by one: the search for the next
    // selected row starts again from the row before the deleted one.
    int row = fileList_.GetNextItem(-1, LVNI_SELECTED);
    while (row >= 0) {
        std::wstring path = fileList_.GetItemText(row, kPathColumn);
        fileList_.DeleteItem(row);
        --row;
        pathStore_.erase(path);
        row = fileList_.GetNextItem(row, LVNI_SELECTED);
    }
}

void CTessalockView::OnAbout(UINT) {
    CAboutDlg2 about;
    about.DoModal(OwnerForNewWindow());
}

void CTessalockView::OnHelp(UINT) {
    OpenWebPage(WebPage::Help);
}

void CTessalockView::OnEncrypt(UINT) {
    if (pathStore_.empty()) {
        ShowInfoBox(LoadResString(IDS_NOTHING_TO_ENCRYPT));
        return;
    }
    std::vector<const wchar_t*> paths;
    paths.reserve(pathStore_.size());
    for (const std::wstring& path : pathStore_)
        paths.push_back(path.c_str());
    // Only a successful encryption has used up the collection; after Exit,
    // a failed start-up or a cancelled Save dialog the user keeps it.
    if (RunEncryptDialog(paths.data(), static_cast<int>(paths.size())) == kDialogJobDone) {
        fileList_.DeleteAllItems();
        pathStore_.clear();
    }
}

void CTessalockView::OnBannerClicked(UINT) {
    OpenWebPage(WebPage::Protect);
}
