// CMessageMap: the one virtual through which every window, dialog and
// subclassed control of the program receives its messages, and the macros
// that write a class's map as a table:
//
//     BEGIN_MSG_MAP(CDialogExample)
//         MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
//         COMMAND_HANDLER(IDC_EXIT, BN_CLICKED, OnExit)
//         CHAIN_MSG_MAP(CBase)
//     END_MSG_MAP()
//
// Entries are tested top to bottom; the first one that matches calls its
// handler, which finds `handled` TRUE on entry. A handler that clears it lets
// the search go on with the next entries (and finally the default
// processing). A message no entry handles makes ProcessWindowMessage return
// FALSE, and the window procedure then gives it to the default processing.
//
// Handler signatures:
//   MESSAGE_HANDLER   LRESULT OnX(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled)
//   COMMAND_*         LRESULT OnX(WORD notifyCode, WORD id, HWND control, BOOL& handled)
//   NOTIFY_*          LRESULT OnX(int id, LPNMHDR header, BOOL& handled)
#pragma once

#include <windows.h>

class CMessageMap {
public:
    // Returns TRUE when the message was handled, with its result in result.
    // mapId selects an alternate map (ALT_MSG_MAP); 0 is the main map.
    virtual BOOL ProcessWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result, DWORD mapId) = 0;
    virtual ~CMessageMap() = default;
};

#define BEGIN_MSG_MAP(theClass)                                                                    \
public:                                                                                            \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,                  \
                              LRESULT& lResult, DWORD dwMsgMapID) override {                       \
        BOOL bHandled = TRUE;                                                                      \
        (void)hWnd;                                                                                \
        (void)uMsg;                                                                                \
        (void)wParam;                                                                              \
        (void)lParam;                                                                              \
        (void)lResult;                                                                             \
        (void)bHandled;                                                                            \
        switch (dwMsgMapID) {                                                                      \
        case 0:

#define ALT_MSG_MAP(mapId)                                                                         \
    break;                                                                                         \
    case mapId:

#define MESSAGE_HANDLER(msg, func)                                                                 \
    if (uMsg == (msg)) {                                                                           \
        bHandled = TRUE;                                                                           \
        lResult = func(uMsg, wParam, lParam, bHandled);                                            \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }

#define COMMAND_HANDLER(id, code, func)                                                            \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) {                \
        bHandled = TRUE;                                                                           \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);  \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }

#define COMMAND_ID_HANDLER(id, func)                                                               \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                            \
        bHandled = TRUE;                                                                           \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);  \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }

#define COMMAND_CODE_HANDLER(code, func)                                                           \
    if (uMsg == WM_COMMAND && HIWORD(wParam) == (code)) {                                          \
        bHandled = TRUE;                                                                           \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);  \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }

#define NOTIFY_HANDLER(notifyId, notifyCode, func)                                                 \
    if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->idFrom == (UINT_PTR)(notifyId) &&  \
        reinterpret_cast<LPNMHDR>(lParam)->code == (UINT)(notifyCode)) {                           \
        bHandled = TRUE;                                                                           \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled);     \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }

#define NOTIFY_CODE_HANDLER(notifyCode, func)                                                      \
    if (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->code == (UINT)(notifyCode)) {      \
        bHandled = TRUE;                                                                           \
        lResult = func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled);     \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }

// Offers the message to a base class's map at this point of the table.
#define CHAIN_MSG_MAP(theChainClass)                                                               \
    if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, 0))               \
        return TRUE;

#define END_MSG_MAP()                                                                              \
    break;                                                                                         \
    default:                                                                                       \
        break;                                                                                     \
        }                                                                                          \
        return FALSE;                                                                              \
        }
