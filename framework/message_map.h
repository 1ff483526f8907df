// CMessageMap: the one virtual through which every window, dialog and
// subclassed control of the program receives its messages, and the macros
// that write a class's map as a table:
//
//     BEGIN_MSG_MAP(CDialogExample)
//         MSG_WM_INITDIALOG(OnInitDialog)
//         ON_COMMAND(IDC_EXIT, OnExit)
//         CHAIN_MSG_MAP(CBase)
//     END_MSG_MAP()
//
// Entries are tested top to bottom; the first one that matches calls its
// handler and the message is handled. A message no entry handles makes
// ProcessWindowMessage return FALSE, and the window procedure then gives it
// to the default processing.
//
// Typed entries, for the common messages: the handler receives the
// message's arguments unpacked and always handles the message.
//   MSG_WM_CLOSE          void OnX()
//   MSG_WM_PAINT          void OnX()
//   MSG_WM_INITDIALOG     BOOL OnX(HWND focus, LPARAM initParam)
//   MSG_WM_CREATE         int OnX(CREATESTRUCTW* create)
//   MSG_WM_SIZE           void OnX(UINT type, SIZE size)
//   MSG_WM_TIMER          void OnX(UINT_PTR id)
//   MSG_WM_PRINTCLIENT    void OnX(HDC dc, UINT options)
//   MSG_WM_ERASEBKGND     BOOL OnX(HDC dc)
//   MSG_WM_CTLCOLORSTATIC HBRUSH OnX(HDC dc, HWND control)
//   MSG_WM_DROPFILES      void OnX(HDROP drop)
//   MSG_WM_COPYDATA       BOOL OnX(HWND sender, const COPYDATASTRUCT* data)
//   MSG_WM_DPICHANGED     void OnX(UINT dpi, const RECT* suggested)
//   ON_COMMAND(id, f)            void OnX(UINT id)   (any notification code)
//   ON_COMMAND_CODE(id, code, f) void OnX(UINT id)
//   ON_NOTIFY(id, code, f)       void OnX(NMHDR* header)   (result 0)
//
// Raw entries, for the rare handler that needs the whole message or may
// decline it: the handler finds `handled` TRUE on entry, and clearing it lets
// the search go on with the next entries (and finally the default
// processing).
//   MESSAGE_HANDLER   LRESULT OnX(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled)
//   COMMAND_*         LRESULT OnX(WORD notifyCode, WORD id, HWND control, BOOL& handled)
//   NOTIFY_*          LRESULT OnX(int id, LPNMHDR header, BOOL& handled)
#pragma once

#include <windows.h>

#include "framework/dpi.h"

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

// ---- Raw entries --------------------------------------------------------------

// One raw entry: when cond holds, the handler runs with `handled` set and
// the message is handled unless the handler cleared it.
#define TL_RAW_ENTRY(cond, call)                                                                   \
    if (cond) {                                                                                    \
        bHandled = TRUE;                                                                           \
        lResult = (call);                                                                          \
        if (bHandled)                                                                              \
            return TRUE;                                                                           \
    }
#define TL_IS_COMMAND(id) (uMsg == WM_COMMAND && LOWORD(wParam) == (id))
#define TL_IS_NOTIFY(notifyId, notifyCode)                                                         \
    (uMsg == WM_NOTIFY && reinterpret_cast<LPNMHDR>(lParam)->idFrom == (UINT_PTR)(notifyId) &&     \
     reinterpret_cast<LPNMHDR>(lParam)->code == (UINT)(notifyCode))
#define TL_RAW_COMMAND_CALL(func)                                                                  \
    func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled)
#define TL_RAW_NOTIFY_CALL(func)                                                                   \
    func(static_cast<int>(wParam), reinterpret_cast<LPNMHDR>(lParam), bHandled)

#define MESSAGE_HANDLER(msg, func) TL_RAW_ENTRY(uMsg == (msg), func(uMsg, wParam, lParam, bHandled))
#define COMMAND_HANDLER(id, code, func)                                                            \
    TL_RAW_ENTRY(TL_IS_COMMAND(id) && HIWORD(wParam) == (code), TL_RAW_COMMAND_CALL(func))
#define COMMAND_ID_HANDLER(id, func) TL_RAW_ENTRY(TL_IS_COMMAND(id), TL_RAW_COMMAND_CALL(func))
#define COMMAND_CODE_HANDLER(code, func)                                                           \
    TL_RAW_ENTRY(uMsg == WM_COMMAND && HIWORD(wParam) == (code), TL_RAW_COMMAND_CALL(func))
#define NOTIFY_HANDLER(notifyId, notifyCode, func)                                                 \
    TL_RAW_ENTRY(TL_IS_NOTIFY(notifyId, notifyCode), TL_RAW_NOTIFY_CALL(func))
#define NOTIFY_CODE_HANDLER(notifyCode, func)                                                      \
    TL_RAW_ENTRY(uMsg == WM_NOTIFY &&                                                              \
                     reinterpret_cast<LPNMHDR>(lParam)->code == (UINT)(notifyCode),                \
                 TL_RAW_NOTIFY_CALL(func))

// ---- Typed entries ----------------------------------------------------------

// One typed entry: when cond holds, call is evaluated as the result and the
// message is handled.
#define TL_TYPED_ENTRY(cond, call)                                                                 \
    if (cond) {                                                                                    \
        lResult = (call);                                                                          \
        return TRUE;                                                                               \
    }
// The same for handlers that return nothing: the result is 0.
#define TL_TYPED_VOID_ENTRY(cond, call)                                                            \
    if (cond) {                                                                                    \
        call;                                                                                      \
        lResult = 0;                                                                               \
        return TRUE;                                                                               \
    }

#define MSG_WM_CLOSE(func) TL_TYPED_VOID_ENTRY(uMsg == WM_CLOSE, func())
#define MSG_WM_PAINT(func) TL_TYPED_VOID_ENTRY(uMsg == WM_PAINT, func())
#define MSG_WM_INITDIALOG(func)                                                                    \
    TL_TYPED_ENTRY(uMsg == WM_INITDIALOG,                                                          \
                   static_cast<LRESULT>(func(reinterpret_cast<HWND>(wParam), lParam)))
#define MSG_WM_CREATE(func)                                                                        \
    TL_TYPED_ENTRY(uMsg == WM_CREATE,                                                              \
                   static_cast<LRESULT>(func(reinterpret_cast<CREATESTRUCTW*>(lParam))))
#define MSG_WM_SIZE(func)                                                                          \
    TL_TYPED_VOID_ENTRY(uMsg == WM_SIZE,                                                           \
                        func(static_cast<UINT>(wParam), SIZE{static_cast<short>(LOWORD(lParam)),   \
                                                             static_cast<short>(HIWORD(lParam))}))
#define MSG_WM_TIMER(func)                                                                         \
    TL_TYPED_VOID_ENTRY(uMsg == WM_TIMER, func(static_cast<UINT_PTR>(wParam)))
#define MSG_WM_PRINTCLIENT(func)                                                                   \
    TL_TYPED_VOID_ENTRY(uMsg == WM_PRINTCLIENT,                                                    \
                        func(reinterpret_cast<HDC>(wParam), static_cast<UINT>(lParam)))
#define MSG_WM_ERASEBKGND(func)                                                                    \
    TL_TYPED_ENTRY(uMsg == WM_ERASEBKGND, static_cast<LRESULT>(func(reinterpret_cast<HDC>(wParam))))
#define MSG_WM_CTLCOLORSTATIC(func)                                                                \
    TL_TYPED_ENTRY(uMsg == WM_CTLCOLORSTATIC,                                                      \
                   reinterpret_cast<LRESULT>(                                                      \
                       func(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))))
#define MSG_WM_DROPFILES(func)                                                                     \
    TL_TYPED_VOID_ENTRY(uMsg == WM_DROPFILES, func(reinterpret_cast<HDROP>(wParam)))
#define MSG_WM_COPYDATA(func)                                                                      \
    TL_TYPED_ENTRY(uMsg == WM_COPYDATA,                                                            \
                   static_cast<LRESULT>(func(reinterpret_cast<HWND>(wParam),                       \
                                             reinterpret_cast<const COPYDATASTRUCT*>(lParam))))
#define MSG_WM_DPICHANGED(func)                                                                    \
    TL_TYPED_VOID_ENTRY(uMsg == WM_DPICHANGED,                                                     \
                        func(DpiFromDpiChanged(wParam), reinterpret_cast<const RECT*>(lParam)))

#define ON_COMMAND(id, func) TL_TYPED_VOID_ENTRY(TL_IS_COMMAND(id), func(LOWORD(wParam)))
#define ON_COMMAND_CODE(id, code, func)                                                            \
    TL_TYPED_VOID_ENTRY(TL_IS_COMMAND(id) && HIWORD(wParam) == (code), func(LOWORD(wParam)))
#define ON_NOTIFY(notifyId, notifyCode, func)                                                      \
    TL_TYPED_VOID_ENTRY(TL_IS_NOTIFY(notifyId, notifyCode), func(reinterpret_cast<LPNMHDR>(lParam)))

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
