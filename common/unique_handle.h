// One move-only owner for every kind of Win32 handle. Each alias states the
// value that means "no handle" and the call that releases it, so a handle is
// closed exactly once, by whoever holds it last.
#pragma once

#include <windows.h>

#include <utility>

template <typename T, T Invalid, typename Closer> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    T Get() const { return value_; }
    bool IsValid() const { return value_ != Invalid; }
    explicit operator bool() const { return IsValid(); }

    T Release() {
        T v = value_;
        value_ = Invalid;
        return v;
    }
    // Closes the held handle (if any) and takes the new one. The last error is
    // kept, so a caller can still report why the call that preceded failed.
    void Reset(T value = Invalid) {
        if (value_ != Invalid) {
            DWORD err = GetLastError();
            Closer()(value_);
            SetLastError(err);
        }
        value_ = value;
    }

private:
    T value_ = Invalid;
};

namespace handle_closers {
struct CloseHandleCall {
    void operator()(HANDLE h) const { ::CloseHandle(h); }
};
struct FindCloseCall {
    void operator()(HANDLE h) const { ::FindClose(h); }
};
struct DeleteObjectCall {
    void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct DeleteDCCall {
    void operator()(HDC h) const { ::DeleteDC(h); }
};
struct DestroyIconCall {
    void operator()(HICON h) const { ::DestroyIcon(h); }
};
struct DestroyMenuCall {
    void operator()(HMENU h) const { ::DestroyMenu(h); }
};
struct LocalFreeCall {
    void operator()(HLOCAL h) const { ::LocalFree(h); }
};
struct RegCloseKeyCall {
    void operator()(HKEY h) const { ::RegCloseKey(h); }
};
} // namespace handle_closers

// File and search handles use INVALID_HANDLE_VALUE for "none"; it is not a
// constant expression, so they get a template of their own with the same
// interface.
template <typename Closer> class UniqueInvalidableHandle {
public:
    UniqueInvalidableHandle() = default;
    explicit UniqueInvalidableHandle(HANDLE h) : value_(h) {}
    ~UniqueInvalidableHandle() { Reset(); }
    UniqueInvalidableHandle(const UniqueInvalidableHandle&) = delete;
    UniqueInvalidableHandle& operator=(const UniqueInvalidableHandle&) = delete;
    UniqueInvalidableHandle(UniqueInvalidableHandle&& o) noexcept : value_(o.Release()) {}
    UniqueInvalidableHandle& operator=(UniqueInvalidableHandle&& o) noexcept {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }
    HANDLE Get() const { return value_; }
    bool IsValid() const { return value_ != INVALID_HANDLE_VALUE && value_ != nullptr; }
    explicit operator bool() const { return IsValid(); }
    HANDLE Release() {
        HANDLE v = value_;
        value_ = INVALID_HANDLE_VALUE;
        return v;
    }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (IsValid()) {
            DWORD err = GetLastError();
            Closer()(value_);
            SetLastError(err);
        }
        value_ = h;
    }

private:
    HANDLE value_ = INVALID_HANDLE_VALUE;
};

using UniqueFileHandle = UniqueInvalidableHandle<handle_closers::CloseHandleCall>;
using UniqueFindHandle = UniqueInvalidableHandle<handle_closers::FindCloseCall>;

using UniqueThread = UniqueHandle<HANDLE, nullptr, handle_closers::CloseHandleCall>;
using UniqueEvent = UniqueHandle<HANDLE, nullptr, handle_closers::CloseHandleCall>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, nullptr, handle_closers::DeleteObjectCall>;
using UniqueBitmap = UniqueHandle<HBITMAP, nullptr, handle_closers::DeleteObjectCall>;
using UniqueBrush = UniqueHandle<HBRUSH, nullptr, handle_closers::DeleteObjectCall>;
using UniqueFont = UniqueHandle<HFONT, nullptr, handle_closers::DeleteObjectCall>;
using UniqueMemoryDC = UniqueHandle<HDC, nullptr, handle_closers::DeleteDCCall>;
using UniqueIcon = UniqueHandle<HICON, nullptr, handle_closers::DestroyIconCall>;
using UniqueMenu = UniqueHandle<HMENU, nullptr, handle_closers::DestroyMenuCall>;
using UniqueLocal = UniqueHandle<HLOCAL, nullptr, handle_closers::LocalFreeCall>;
using UniqueRegKey = UniqueHandle<HKEY, nullptr, handle_closers::RegCloseKeyCall>;

// Puts an object into a DC for one scope and selects the previous one back.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ obj) : dc_(dc), previous_(::SelectObject(dc, obj)) {}
    ~ScopedSelectObject() {
        if (previous_)
            ::SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint/EndPaint for one WM_PAINT, so painting ends on every path.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hwnd) : hwnd_(hwnd), paint_(), dc_(::BeginPaint(hwnd, &paint_)) {}
    ~ScopedPaint() { ::EndPaint(hwnd_, &paint_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC Dc() const { return dc_; }

private:
    HWND hwnd_;
    PAINTSTRUCT paint_;
    HDC dc_;
};
