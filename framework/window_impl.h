// CWindowImpl: routes a window's messages through an object's message map.
// Two ways to bind an object to a window:
//  - Create: registers the class (T::GetWndClassInfo) and creates a window;
//    the object is bound at WM_NCCREATE through GWLP_USERDATA.
//  - SubclassWindow: attaches to an existing control with SetWindowSubclass;
//    messages the map leaves alone go on to the control's own procedure.
// Either way the object is unbound at WM_NCDESTROY (the subclass removed),
// after which OnFinalMessage is the last call it receives for that window.
// No machine-code thunks: the object travels in GWLP_USERDATA or in the
// subclass reference data, which work the same in 32- and 64-bit builds.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "common/resource_instance.h"
#include "framework/message_map.h"
#include "framework/window.h"

// Styles a window class applies when Create is given none.
template <DWORD Style, DWORD ExStyle = 0> struct CWinTraits {
    static DWORD GetWndStyle(DWORD style) { return style ? style : Style; }
    static DWORD GetWndExStyle(DWORD exStyle) { return exStyle ? exStyle : ExStyle; }
};
using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS>;
using CFrameWinTraits = CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>;

// A window class that the framework registers on first use. A null name
// gives a generated one, unique to the description.
struct CWndClassInfo {
    const wchar_t* name;
    UINT style;
    int background; // COLOR_* + 1, or 0 for none
    UINT iconId;    // icon resource for the large and small icon, or 0
    ATOM atom;
    wchar_t generatedName[48];
};

// Registers the class once per process (guarded, so any thread may call it)
// and returns its atom, or 0 with the last error when registration failed.
ATOM RegisterWndClass(CWndClassInfo& info, WNDPROC proc);

namespace framework_detail {
// Runs a message map at a system callback edge. A handler that throws has
// not handled the message: the default processing then keeps the window
// working, and nothing unwinds through system code.
inline BOOL SafeProcess(CMessageMap& map, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                        LRESULT& result) noexcept {
    try {
        return map.ProcessWindowMessage(hwnd, msg, wParam, lParam, result, 0);
    } catch (...) {
        result = 0;
        return FALSE;
    }
}
} // namespace framework_detail

// What windows and dialogs share: the handle view and the message map.
template <class TBase = CWindow> class CWindowImplRoot : public TBase, public CMessageMap {
public:
    // The message being processed, for handlers that need its full record.
    const MSG* GetCurrentMessage() const { return currentMsg_; }

protected:
    // Keeps the current message for the duration of one dispatch (nested
    // dispatches restore the outer one).
    class ScopedCurrentMessage {
    public:
        ScopedCurrentMessage(CWindowImplRoot& root, const MSG* msg)
            : root_(root), previous_(root.currentMsg_) {
            root_.currentMsg_ = msg;
        }
        ~ScopedCurrentMessage() { root_.currentMsg_ = previous_; }
        ScopedCurrentMessage(const ScopedCurrentMessage&) = delete;
        ScopedCurrentMessage& operator=(const ScopedCurrentMessage&) = delete;

    private:
        CWindowImplRoot& root_;
        const MSG* previous_;
    };

    const MSG* currentMsg_ = nullptr;
};

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplRoot<TBase> {
public:
    CWindowImpl() = default;
    CWindowImpl(const CWindowImpl&) = delete;
    CWindowImpl& operator=(const CWindowImpl&) = delete;

    // A window that outlives its object must not call into freed memory:
    // the object takes itself out of the window's message path.
    ~CWindowImpl() override { Unbind(); }

    virtual WNDPROC GetWindowProc() { return WindowProc; }
    virtual void OnFinalMessage(HWND) {}

    static CWndClassInfo& GetWndClassInfo() {
        static CWndClassInfo info{nullptr, CS_HREDRAW | CS_VREDRAW, COLOR_WINDOW + 1, 0, 0, {}};
        return info;
    }

    HWND Create(HWND parent, const RECT* rect = nullptr, const wchar_t* windowName = nullptr,
                DWORD style = 0, DWORD exStyle = 0, HMENU menuOrId = nullptr) {
        if (this->m_hWnd)
            return nullptr;
        ATOM atom = RegisterWndClass(T::GetWndClassInfo(), WindowProc);
        if (!atom)
            return nullptr;
        RECT r = rect ? *rect : RECT{CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
        int width = rect ? r.right - r.left : CW_USEDEFAULT;
        int height = rect ? r.bottom - r.top : CW_USEDEFAULT;
        return ::CreateWindowExW(TWinTraits::GetWndExStyle(exStyle), MAKEINTATOM(atom), windowName,
                                 TWinTraits::GetWndStyle(style), r.left, r.top, width, height,
                                 parent, menuOrId, GetResourceInstance(), this);
    }

    // Attaches to an existing window; false when this object already has a
    // window or the subclass cannot be installed.
    bool SubclassWindow(HWND hwnd) {
        if (this->m_hWnd || !::IsWindow(hwnd)) {
            ::SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        if (!::SetWindowSubclass(hwnd, SubclassProc, SubclassId(),
                                 reinterpret_cast<DWORD_PTR>(this)))
            return false;
        this->m_hWnd = hwnd;
        binding_ = Binding::Subclassed;
        return true;
    }

    // Gives the window back its previous procedure; returns the window.
    HWND UnsubclassWindow() {
        if (binding_ != Binding::Subclassed)
            return nullptr;
        HWND hwnd = this->m_hWnd;
        Unbind();
        return hwnd;
    }

    // The processing the window would get without this object.
    LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
        return DefaultProcessing(binding_, this->m_hWnd, msg, wParam, lParam);
    }

private:
    enum class Binding { None, Created, Subclassed };

    UINT_PTR SubclassId() const { return reinterpret_cast<UINT_PTR>(this); }

    static LRESULT DefaultProcessing(Binding binding, HWND hwnd, UINT msg, WPARAM wParam,
                                     LPARAM lParam) {
        if (binding == Binding::Subclassed)
            return ::DefSubclassProc(hwnd, msg, wParam, lParam);
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }

    void Unbind() {
        if (!this->m_hWnd)
            return;
        if (binding_ == Binding::Subclassed)
            ::RemoveWindowSubclass(this->m_hWnd, SubclassProc, SubclassId());
        else if (binding_ == Binding::Created)
            ::SetWindowLongPtrW(this->m_hWnd, GWLP_USERDATA, 0);
        this->m_hWnd = nullptr;
        binding_ = Binding::None;
    }

    LRESULT Route(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        // A nested WM_NCDESTROY may unbind the object while this message is
        // still being handled; the default processing must use the binding
        // the message arrived with.
        Binding binding = binding_;
        LRESULT result = 0;
        BOOL handled;
        {
            MSG current{hwnd, msg, wParam, lParam, 0, {0, 0}};
            typename CWindowImplRoot<TBase>::ScopedCurrentMessage scope(*this, &current);
            handled = framework_detail::SafeProcess(*this, hwnd, msg, wParam, lParam, result);
        }
        if (!handled)
            result = DefaultProcessing(binding, hwnd, msg, wParam, lParam);
        if (msg == WM_NCDESTROY && this->m_hWnd == hwnd) {
            Unbind();
            OnFinalMessage(hwnd);
        }
        return result;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CWindowImpl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self && msg == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            self = static_cast<CWindowImpl*>(create->lpCreateParams);
            if (self) {
                ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
                self->m_hWnd = hwnd;
                self->binding_ = Binding::Created;
            }
        }
        // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and after the object
        // let go of the window get the default processing.
        if (!self)
            return ::DefWindowProcW(hwnd, msg, wParam, lParam);
        return self->Route(hwnd, msg, wParam, lParam);
    }

    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR refData) {
        return reinterpret_cast<CWindowImpl*>(refData)->Route(hwnd, msg, wParam, lParam);
    }

    Binding binding_ = Binding::None;
};
