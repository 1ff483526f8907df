// The file list view's handlers: layout, adding (button, menu, drop),
// deleting, and handing the collection to the encryption dialog.
#include "mainwindow/file_list_view.h"

#include <shellapi.h>

#include "common/message_box.h"
#include "common/res_string.h"
#include "common/resource_instance.h"
#include "common/unique_handle.h"
#include "framework/file_dialog.h"
#include "jobs/path_info.h"
#include "jobs/timestamp.h"
#include "mainwindow/about.h"
#include "mainwindow/encrypt_launch.h"
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
    return ::IsDialogMessageW(m_hWnd, msg);
}

std::vector<std::wstring> CTessalockView::StoredPaths() const {
    return std::vector<std::wstring>(pathStore_.begin(), pathStore_.end());
}

LRESULT CTessalockView::OnSize(UINT, WPARAM, LPARAM, BOOL&) {
    // Fixed pixel places: the frame has a fixed size, so the view never
    // needs to stretch anything.
    constexpr UINT kMoveOnly = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    banner_.MoveWindow(0, 0, 640, 80, true);
    hint_.SetWindowPos(nullptr, 10, 90, 0, 0, kMoveOnly);
    fileList_.MoveWindow(0, 110, 640, 250, true);
    // The group box is drawn behind the buttons that sit on it.
    frameBox_.SetWindowPos(HWND_BOTTOM, 0, 355, 640, 110, SWP_NOACTIVATE);
    aboutButton_.SetWindowPos(nullptr, 10, 400, 0, 0, kMoveOnly);
    helpButton_.SetWindowPos(nullptr, 100, 400, 0, 0, kMoveOnly);
    addButton_.SetWindowPos(nullptr, 455, 400, 0, 0, kMoveOnly);
    encryptButton_.SetWindowPos(nullptr, 545, 400, 0, 0, kMoveOnly);
    return 0;
}

LRESULT CTessalockView::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
    // Failed attaches leave a control working as the standard one.
    banner_.SubclassWindow(GetDlgItem(IDC_BANNER));
    hint_.SubclassWindow(GetDlgItem(IDC_HINT));
    fileList_.SubclassWindow(GetDlgItem(IDC_FILE_LIST));
    frameBox_.SubclassWindow(GetDlgItem(IDC_FRAME_BOX));
    helpButton_.SubclassWindow(GetDlgItem(IDC_HELP_BUTTON));
    aboutButton_.SubclassWindow(GetDlgItem(IDC_ABOUT));
    encryptButton_.SubclassWindow(GetDlgItem(IDC_ENCRYPT));
    addButton_.SubclassWindow(GetDlgItem(IDC_ADD));
    AddColumns();
    AttachSystemImageList();
    // The dialog manager then focuses the first tab stop, the list.
    return 1;
}

void CTessalockView::AddColumns() {
    fileList_.InsertColumn(kPathColumn, L"Path", LVCFMT_LEFT);
    fileList_.InsertColumn(kDateColumn, L"Date", LVCFMT_LEFT);
    fileList_.InsertColumn(kSizeColumn, L"Size", LVCFMT_LEFT);
    fileList_.SetColumnWidth(kPathColumn, 320);
    fileList_.SetColumnWidth(kDateColumn, 160);
    fileList_.SetColumnWidth(kSizeColumn, 160);
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

LRESULT CTessalockView::OnDropFiles(UINT, WPARAM wParam, LPARAM, BOOL&) {
    HDROP drop = reinterpret_cast<HDROP>(wParam);
    UINT count = ::DragQueryFileW(drop, kCountDroppedNames, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Asked without a buffer, the drop says how long the name is: a name
        // from a deep folder is taken whole, never cut at 260 characters.
        UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        name.resize(::DragQueryFileW(drop, i, &name[0], length + 1));
        AddPath(name);
    }
    ::DragFinish(drop);
    return 0;
}

LRESULT CTessalockView::OnListRightClick(int, LPNMHDR, BOOL&) {
    UniqueMenu menu(::LoadMenuW(GetResourceInstance(), MAKEINTRESOURCEW(IDR_LIST_MENU)));
    HMENU popup = menu ? ::GetSubMenu(menu.Get(), 0) : nullptr;
    if (!popup)
        return 0;
    POINT at = {};
    ::GetCursorPos(&at);
    // Without TPM_RETURNCMD the choice arrives here as WM_COMMAND.
    ::TrackPopupMenu(popup, 0, at.x, at.y, 0, m_hWnd, nullptr);
    return 0;
}

LRESULT CTessalockView::OnAdd(WORD, WORD, HWND, BOOL&) {
    CFileDialog dialog(true, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr);
    if (dialog.DoModal(::GetActiveWindow()) == IDOK)
        AddPath(dialog.m_szFileName);
    return 0;
}

LRESULT CTessalockView::OnDelete(WORD, WORD, HWND, BOOL&) {
    if (fileList_.GetNextItem(-1, LVNI_SELECTED) < 0)
        return 0;
    if (!AskQuestion(LoadResString(IDS_CONFIRM_DELETE)))
        return 0;
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
    return 0;
}

LRESULT CTessalockView::OnAbout(WORD, WORD, HWND, BOOL&) {
    CAboutDlg2 about;
    about.DoModal(::GetActiveWindow());
    return 0;
}

LRESULT CTessalockView::OnHelp(WORD, WORD, HWND, BOOL&) {
    OpenWebPage(WebPage::Help);
    return 0;
}

LRESULT CTessalockView::OnEncrypt(WORD, WORD, HWND, BOOL&) {
    if (pathStore_.empty()) {
        ShowInfoBox(LoadResString(IDS_NOTHING_TO_ENCRYPT));
        return 0;
    }
    std::vector<const wchar_t*> paths;
    paths.reserve(pathStore_.size());
    for (const std::wstring& path : pathStore_)
        paths.push_back(path.c_str());
    // Only a successful encryption has used up the collection; after Exit,
    // a failed start-up or a cancelled Save dialog the user keeps it.
    if (RunEncryptDialog(paths.data(), static_cast<int>(paths.size())) == 1) {
        fileList_.DeleteAllItems();
        pathStore_.clear();
    }
    return 0;
}

LRESULT CTessalockView::OnBannerClicked(WORD, WORD, HWND, BOOL&) {
    OpenWebPage(WebPage::Protect);
    return 0;
}
