// The list-view operations that fill in a record before sending it.
#include "framework/controls.h"

#include <vector>

int CListViewCtrl::InsertColumn(int column, const wchar_t* heading, int format, int width,
                                int subItem) {
    LVCOLUMNW info = {};
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = format;
    info.pszText = const_cast<wchar_t*>(heading);
    // Without a width the heading's own text width plus a margin is used.
    info.cx = width >= 0 ? width : GetStringWidth(heading) + 15;
    info.iSubItem = subItem >= 0 ? subItem : column;
    return InsertColumn(column, &info);
}

int CListViewCtrl::InsertItem(UINT mask, int item, const wchar_t* text, UINT state, UINT stateMask,
                              int image, LPARAM param) {
    LVITEMW row = {};
    row.mask = mask;
    row.iItem = item;
    row.pszText = const_cast<wchar_t*>(text);
    row.state = state;
    row.stateMask = stateMask;
    row.iImage = image;
    row.lParam = param;
    return InsertItem(&row);
}

bool CListViewCtrl::SetItemText(int item, int subItem, const wchar_t* text) {
    LVITEMW row = {};
    row.iSubItem = subItem;
    row.pszText = const_cast<wchar_t*>(text);
    return SendMessage(LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&row)) != FALSE;
}

int CListViewCtrl::GetItemText(int item, int subItem, wchar_t* buffer, int capacity) const {
    if (capacity <= 0)
        return 0;
    buffer[0] = L'\0';
    LVITEMW row = {};
    row.iSubItem = subItem;
    row.pszText = buffer;
    row.cchTextMax = capacity;
    return static_cast<int>(SendMessage(LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&row)));
}

std::wstring CListViewCtrl::GetItemText(int item, int subItem) const {
    // The control does not say how long a text is: a read that fills the
    // buffer may have been cut, so read again with a larger one.
    int capacity = 256;
    for (;;) {
        std::vector<wchar_t> buffer(static_cast<size_t>(capacity), L'\0');
        int length = GetItemText(item, subItem, buffer.data(), capacity);
        if (length < capacity - 1)
            return std::wstring(buffer.data(), static_cast<size_t>(length > 0 ? length : 0));
        capacity *= 3;
    }
}

bool CListViewCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMW row = {};
    row.state = state;
    row.stateMask = mask;
    return SendMessage(LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&row)) != FALSE;
}
