// Typed, non-owning views of the standard controls the program uses: static,
// edit, button and list view. Like CWindow they only wrap messages; the
// control's lifetime belongs to its parent window.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/window.h"

class CStatic : public CWindow {
public:
    using CWindow::CWindow;
    static const wchar_t* GetWndClassName() { return L"STATIC"; }

    HICON SetIcon(HICON icon) {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
    HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(STM_GETICON)); }
};

class CEdit : public CWindow {
public:
    using CWindow::CWindow;
    static const wchar_t* GetWndClassName() { return L"EDIT"; }

    void SetLimitText(UINT maxChars) { SendMessage(EM_SETLIMITTEXT, maxChars); }
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, start, end); }
    void ReplaceSel(const wchar_t* text, bool canUndo = false) {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    wchar_t GetPasswordChar() const {
        return static_cast<wchar_t>(SendMessage(EM_GETPASSWORDCHAR));
    }
};

class CButton : public CWindow {
public:
    using CWindow::CWindow;
    static const wchar_t* GetWndClassName() { return L"BUTTON"; }

    void Click() { SendMessage(BM_CLICK); }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) { SendMessage(BM_SETCHECK, state); }
};

class CListViewCtrl : public CWindow {
public:
    using CWindow::CWindow;
    static const wchar_t* GetWndClassName() { return WC_LISTVIEWW; }

    // Columns.
    int InsertColumn(int column, const LVCOLUMNW* info) {
        return static_cast<int>(
            SendMessage(LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(info)));
    }
    // A column with format, width, text and subitem (subitem = column index).
    int InsertColumn(int column, const wchar_t* heading, int format = LVCFMT_LEFT, int width = -1,
                     int subItem = -1);
    bool SetColumnWidth(int column, int width) {
        return SendMessage(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)) != FALSE;
    }
    int GetColumnWidth(int column) const {
        return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, column));
    }
    int GetStringWidth(const wchar_t* text) const {
        return static_cast<int>(
            SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
    }

    // Rows.
    int InsertItem(const LVITEMW* item) {
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    int InsertItem(UINT mask, int item, const wchar_t* text, UINT state, UINT stateMask, int image,
                   LPARAM param);
    bool SetItemText(int item, int subItem, const wchar_t* text);
    // Copies at most capacity - 1 characters; returns the number copied.
    int GetItemText(int item, int subItem, wchar_t* buffer, int capacity) const;
    // The whole text, read with a growing buffer.
    std::wstring GetItemText(int item, int subItem) const;
    bool DeleteItem(int item) { return SendMessage(LVM_DELETEITEM, item) != FALSE; }
    bool DeleteAllItems() { return SendMessage(LVM_DELETEALLITEMS) != FALSE; }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int GetNextItem(int start, int flags) const {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, start, MAKELPARAM(flags, 0)));
    }
    int GetSelectedCount() const { return static_cast<int>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    bool SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, item, mask));
    }
    bool GetItem(LVITEMW* item) const {
        return SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item)) != FALSE;
    }

    // Images.
    HIMAGELIST SetImageList(HIMAGELIST list, int which) {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
    }
    HIMAGELIST GetImageList(int which) const {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, which));
    }
};
