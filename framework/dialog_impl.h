// CDialogImpl: a dialog built from the template T::IDD whose messages go
// through the object's message map. Modal (DoModal returns the EndDialog
// code) or modeless as a child (Create, for views that live inside a frame).
//
// The object is bound at WM_INITDIALOG through DWLP_USER and unbound at
// WM_NCDESTROY. The system's dialog-creation parameter carries the object,
// so the caller's own init parameter is handed to WM_INITDIALOG in its place.
// Messages the dialog manager sends before WM_INITDIALOG (WM_SETFONT and
// the like) get the default dialog processing.
//
// Every dialog follows DPI changes: after WM_INITDIALOG the template layout
// is recorded (DpiScaler), and a WM_DPICHANGED that the message map leaves
// alone rescales the dialog from that record. A dialog with a layout of its
// own handles WM_DPICHANGED itself and uses the record's font and sizes.
#pragma once

#include <windows.h>

#include "common/resource_instance.h"
#include "framework/dialog_scaler.h"
#include "framework/dpi.h"
#include "framework/window_impl.h"

template <class T, class TBase = CWindow> class CDialogImpl : public CWindowImplRoot<TBase> {
public:
    CDialogImpl() = default;
    CDialogImpl(const CDialogImpl&) = delete;
    CDialogImpl& operator=(const CDialogImpl&) = delete;

    // A dialog window that outlives its object falls back to the default
    // processing instead of calling into freed memory.
    ~CDialogImpl() override {
        if (this->m_hWnd && ::IsWindow(this->m_hWnd))
            ::SetWindowLongPtrW(this->m_hWnd, DWLP_USER, 0);
    }

    virtual DLGPROC GetDialogProc() { return DialogProc; }
    virtual void OnFinalMessage(HWND) {}

    // Runs the dialog modally; returns the EndDialog code, or -1 when the
    // dialog could not be created (the last error says why).
    INT_PTR DoModal(HWND owner = ::GetActiveWindow(), LPARAM initParam = 0) {
        initParam_ = initParam;
        return ::DialogBoxParamW(GetResourceInstance(), MAKEINTRESOURCEW(T::IDD), owner, DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    }

    // Creates the dialog modeless (a child when the template says so).
    HWND Create(HWND parent, LPARAM initParam = 0) {
        initParam_ = initParam;
        return ::CreateDialogParamW(GetResourceInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                                    DialogProc, reinterpret_cast<LPARAM>(this));
    }

    bool EndDialog(INT_PTR code) { return ::EndDialog(this->m_hWnd, code) != FALSE; }

    CDialogScaler& DpiScaler() { return dpiScaler_; }
    const CDialogScaler& DpiScaler() const { return dpiScaler_; }

private:
    // Messages whose result the dialog procedure returns itself; every
    // other result travels in DWLP_MSGRESULT.
    static bool ReturnsResultDirectly(UINT msg) {
        switch (msg) {
        case WM_INITDIALOG:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
        }
    }

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        CDialogImpl* self;
        if (msg == WM_INITDIALOG) {
            self = reinterpret_cast<CDialogImpl*>(lParam);
            ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hwnd;
            lParam = self->initParam_;
        } else {
            self = reinterpret_cast<CDialogImpl*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
        }
        if (!self)
            return FALSE;

        LRESULT result = 0;
        BOOL handled;
        {
            MSG current{hwnd, msg, wParam, lParam, 0, {0, 0}};
            typename CWindowImplRoot<TBase>::ScopedCurrentMessage scope(*self, &current);
            handled = framework_detail::SafeProcess(*self, hwnd, msg, wParam, lParam, result);
        }
        if (msg == WM_INITDIALOG && self->m_hWnd == hwnd)
            self->dpiScaler_.Capture(hwnd);
        if (msg == WM_DPICHANGED && !handled) {
            self->dpiScaler_.SetDpi(DpiFromDpiChanged(wParam));
            self->dpiScaler_.ApplyTemplateLayout(reinterpret_cast<const RECT*>(lParam));
            handled = TRUE;
            result = 0;
        }
        INT_PTR answer = FALSE;
        if (handled) {
            if (ReturnsResultDirectly(msg)) {
                answer = static_cast<INT_PTR>(result);
            } else {
                ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
                answer = TRUE;
            }
        }
        if (msg == WM_NCDESTROY && self->m_hWnd == hwnd) {
            ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(hwnd);
        }
        return answer;
    }

    LPARAM initParam_ = 0;
    CDialogScaler dpiScaler_;
};
