// One move-only owner for every kind of Win32 handle. Each alias states the
// value that means "no handle" and the call that releases it, so a handle is
// closed exactly once, by whoever holds it last. Beside it, scoped helpers
// for state that is put back rather than closed (selected GDI objects, paint
// and window DCs, COM on a thread).
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <utility>

// What "no handle" is for a kind of handle. Most kinds use null; file and
// search handles use INVALID_HANDLE_VALUE, which is not a constant
// expression, so the value comes from a function rather than a template
// argument.
namespace handle_none {
template <typename T> struct Null {
    static T Value() { return nullptr; }
    static bool Is(T value) { return value == nullptr; }
};
// The file functions answer INVALID_HANDLE_VALUE on failure; null is never a
// valid file handle either, so an owner given one holds nothing.
struct InvalidHandleValue {
    static HANDLE Value() { return INVALID_HANDLE_VALUE; }
    static bool Is(HANDLE value) { return value == INVALID_HANDLE_VALUE || value == nullptr; }
};
} // namespace handle_none

template <typename T, typename Closer, typename None = handle_none::Null<T>> class UniqueHandle {
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
    bool IsValid() const { return !None::Is(value_); }
    explicit operator bool() const { return IsValid(); }

    T Release() {
        T v = value_;
        value_ = None::Value();
        return v;
    }
    // Closes the held handle (if any) and takes the new one. The last error is
    // kept, so a caller can still report why the call that preceded failed.
    void Reset(T value = None::Value()) {
        if (IsValid()) {
            DWORD err = ::GetLastError();
            Closer()(value_);
            ::SetLastError(err);
        }
        value_ = value;
    }

private:
    T value_ = None::Value();
};

namespace handle_closers {
// Calls the system function that releases a kind of handle; its answer is
// of no use to a destructor.
template <auto Release> struct Call {
    template <typename T> void operator()(T handle) const { Release(handle); }
};
} // namespace handle_closers

template <typename T, auto Release, typename None = handle_none::Null<T>>
using UniqueHandleOf = UniqueHandle<T, handle_closers::Call<Release>, None>;

using UniqueFileHandle = UniqueHandleOf<HANDLE, ::CloseHandle, handle_none::InvalidHandleValue>;
using UniqueFindHandle = UniqueHandleOf<HANDLE, ::FindClose, handle_none::InvalidHandleValue>;

// Threads, events, processes, mutexes, file mappings: null for "none".
using UniqueKernelHandle = UniqueHandleOf<HANDLE, ::CloseHandle>;
using UniqueThread = UniqueKernelHandle;
using UniqueEvent = UniqueKernelHandle;
using UniqueProcess = UniqueKernelHandle;

using UniqueGdiObject = UniqueHandleOf<HGDIOBJ, ::DeleteObject>;
using UniqueBitmap = UniqueHandleOf<HBITMAP, ::DeleteObject>;
using UniqueBrush = UniqueHandleOf<HBRUSH, ::DeleteObject>;
using UniqueFont = UniqueHandleOf<HFONT, ::DeleteObject>;
using UniqueMemoryDC = UniqueHandleOf<HDC, ::DeleteDC>;
using UniqueIcon = UniqueHandleOf<HICON, ::DestroyIcon>;
using UniqueMenu = UniqueHandleOf<HMENU, ::DestroyMenu>;
using UniqueLocal = UniqueHandleOf<HLOCAL, ::LocalFree>;
// CommandLineToArgvW's array, which is one LocalAlloc block.
using UniqueArgv = UniqueHandleOf<LPWSTR*, ::LocalFree>;
using UniqueRegKey = UniqueHandleOf<HKEY, ::RegCloseKey>;
using UniqueMappedView = UniqueHandleOf<void*, ::UnmapViewOfFile>;
// A drop's names; the drop is finished (its memory freed) when released.
using UniqueDrop = UniqueHandleOf<HDROP, ::DragFinish>;

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

// GetDC/ReleaseDC for one scope: a window's DC, or the screen's for null.
// Dc() is null when the system had none to give.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~ScopedWindowDC() {
        if (dc_)
            ::ReleaseDC(hwnd_, dc_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

    HDC Dc() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// COM on the calling thread for one scope (single-threaded apartment, as
// the shell's dialogs expect). It is uninitialised only when this scope's
// call succeeded: a thread already in another apartment kept it, and must
// not lose it here.
class ScopedComInit {
public:
    ScopedComInit() : result_(::CoInitialize(nullptr)) {}
    ~ScopedComInit() {
        if (SUCCEEDED(result_))
            ::CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;

    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};
