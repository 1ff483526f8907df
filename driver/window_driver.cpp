// The window verbs of the GUI tests and the benchmark, for windows of this
// process and of another.
#include "driver/window_driver.h"

#include <shlobj.h>

#include <cstring>
#include <cwchar>

#include "common/unique_handle.h"

namespace driver {

namespace {

constexpr DWORD kPollMs = 10;
// How long a text may take to be read from a window's thread.
constexpr UINT kTextTimeoutMs = 5000;
// The explorer-style dialog keeps its file name in combo box cmb13.
constexpr int kFileNameBox = 0x47C;
constexpr int kMessageBoxText = 0xFFFF;

struct Search {
    const std::function<bool(HWND)>& match;
    DWORD processId;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->processId && (!search->visibleOnly || ::IsWindowVisible(hwnd)) &&
        search->match(hwnd))
        search->found.push_back(hwnd);
    return TRUE;
}

struct ChildSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND hwnd, LPARAM param) {
    auto* request = reinterpret_cast<ChildSearch*>(param);
    if (_wcsicmp(ClassNameOf(hwnd).c_str(), request->className) != 0)
        return TRUE;
    request->found = hwnd;
    return FALSE;
}

// The block the shell drops with: a DROPFILES header followed by the wide
// names, each NUL-terminated, and a final NUL.
std::vector<char> DropBlock(const std::vector<std::wstring>& names) {
    std::vector<char> block(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    for (const std::wstring& name : names) {
        const char* bytes = reinterpret_cast<const char*>(name.c_str());
        block.insert(block.end(), bytes, bytes + (name.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), '\0');
    return block;
}

COLORREF FromDib(DWORD pixel) {
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

// Lets draw paint a width x height canvas and reads it back.
Pixels Draw(int width, int height, const std::function<void(HDC)>& draw) {
    Pixels pixels;
    if (width <= 0 || height <= 0)
        return pixels;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueMemoryDC dc(::CreateCompatibleDC(nullptr));
    UniqueBitmap canvas(::CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc || !canvas)
        return pixels;
    {
        ScopedSelectObject selected(dc.Get(), canvas.Get());
        draw(dc.Get());
        ::GdiFlush();
    }
    pixels.width = width;
    pixels.height = height;
    const auto* raw = static_cast<const DWORD*>(bits);
    pixels.colors.reserve(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i)
        pixels.colors.push_back(FromDib(raw[i]));
    return pixels;
}

} // namespace

// ---- Waiting ----------------------------------------------------------------

DWORD ForThisMachine(DWORD timeoutMs) {
    static const DWORD scale = [] {
        wchar_t text[16] = {};
        const DWORD length = ::GetEnvironmentVariableW(L"TL_WAIT_SCALE", text, 16);
        const long value = length > 0 && length < 16 ? std::wcstol(text, nullptr, 10) : 1;
        return static_cast<DWORD>(value >= 1 && value <= 100 ? value : 1);
    }();
    return timeoutMs > MAXDWORD / scale ? MAXDWORD - 1 : timeoutMs * scale;
}

bool WaitUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + ForThisMachine(timeoutMs);
    for (;;) {
        if (predicate())
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
        ::Sleep(kPollMs);
    }
}

void PumpPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + ForThisMachine(timeoutMs);
    for (;;) {
        PumpPending();
        if (predicate())
            return true;
        if (::GetTickCount64() >= deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    }
}

bool WaitForWindowGone(HWND hwnd, DWORD timeoutMs) {
    return WaitUntil([&] { return !::IsWindow(hwnd); }, timeoutMs);
}

void SyncWith(HWND window) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored);
}

// ---- Finding windows --------------------------------------------------------

std::vector<HWND> TopLevelWindows(const std::function<bool(HWND)>& match, DWORD processId,
                                  bool visibleOnly) {
    Search search{match, processId, visibleOnly, {}};
    ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForTopLevel(const std::function<bool(HWND)>& match, DWORD processId, DWORD timeoutMs,
                     bool visibleOnly) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            std::vector<HWND> windows = TopLevelWindows(match, processId, visibleOnly);
            found = windows.empty() ? nullptr : windows.front();
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

namespace {
// The class is compared first: it is read without a message, and a text is
// asked only of the windows whose class already matches.
std::function<bool(HWND)> ClassAndCaption(const wchar_t* className, const wchar_t* caption) {
    return [=](HWND hwnd) {
        return (!className || ClassNameOf(hwnd) == className) &&
               (!caption || WindowText(hwnd) == caption);
    };
}
} // namespace

HWND FindProcessWindow(const wchar_t* className, const wchar_t* caption, bool visibleOnly) {
    std::vector<HWND> windows =
        TopLevelWindows(ClassAndCaption(className, caption), ::GetCurrentProcessId(), visibleOnly);
    return windows.empty() ? nullptr : windows.front();
}

HWND WaitForProcessWindow(const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
    return WaitForTopLevel(ClassAndCaption(className, caption), ::GetCurrentProcessId(), timeoutMs);
}

HWND WaitForDialog(const wchar_t* caption, DWORD processId, DWORD timeoutMs) {
    return WaitForTopLevel(ClassAndCaption(L"#32770", caption), processId, timeoutMs);
}

bool IsMainFrame(HWND hwnd) {
    return ClassNameOf(hwnd) != L"#32770" && WindowText(hwnd) == kAppCaption;
}

HWND FindChildByClass(HWND parent, const wchar_t* className) {
    ChildSearch request{className, nullptr};
    ::EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

// ---- Reading and acting -----------------------------------------------------

std::wstring WindowText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kTextTimeoutMs,
                               &length) ||
        length == 0)
        return std::wstring();
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                          SMTO_NORMAL, kTextTimeoutMs, &copied);
    return std::wstring(buffer.data());
}

std::wstring ClassNameOf(HWND hwnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    return name;
}

void TypeText(HWND control, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                          SMTO_NORMAL, kWaitMs, &ignored);
}

void TypeText(HWND dialog, int id, const std::wstring& text) {
    TypeText(::GetDlgItem(dialog, id), text);
}

void ClickButton(HWND window, int id) {
    ::SendMessageW(::GetDlgItem(window, id), BM_CLICK, 0, 0);
}

void PostClick(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void SendCommand(HWND window, int id, int code) {
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, code),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
}

void PostClose(HWND hwnd) {
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
}

void Dismiss(HWND window) {
    // WM_CLOSE ends dialogs and OK boxes; a Yes/No box has no close and
    // ends on No.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
}

// ---- Message boxes ----------------------------------------------------------

bool IsMessageBox(HWND hwnd) {
    return ::GetDlgItem(hwnd, kMessageBoxText) != nullptr;
}

std::wstring MessageBoxText(HWND box) {
    return WindowText(::GetDlgItem(box, kMessageBoxText));
}

std::wstring AnswerBox(HWND box, int answer) {
    if (!box)
        return kNoBox;
    std::wstring text = MessageBoxText(box);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    WaitForWindowGone(box);
    return text;
}

std::wstring AnswerBox(int answer, const wchar_t* caption, DWORD timeoutMs) {
    return AnswerBox(WaitForDialog(caption, ::GetCurrentProcessId(), timeoutMs), answer);
}

bool BoxAppears(const wchar_t* caption, DWORD timeoutMs) {
    return WaitForDialog(caption, ::GetCurrentProcessId(), timeoutMs) != nullptr;
}

// ---- The system's Save and Open dialogs -------------------------------------

bool IsFileDialog(HWND hwnd) {
    return ClassNameOf(hwnd) == L"#32770" && ::GetDlgItem(hwnd, kFileNameBox) != nullptr;
}

HWND WaitForFileDialog(DWORD processId, DWORD timeoutMs) {
    return WaitForTopLevel(IsFileDialog, processId, timeoutMs);
}

std::wstring FileDialogName(HWND dialog) {
    return WindowText(::GetDlgItem(dialog, kFileNameBox));
}

void ChooseFileName(HWND dialog, const std::wstring& path) {
    TypeText(::GetDlgItem(dialog, kFileNameBox), path);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
}

void CancelFileDialog(HWND dialog) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

bool ChooseInFileDialog(const std::wstring& path) {
    HWND dialog = WaitForFileDialog();
    if (!dialog)
        return false;
    ChooseFileName(dialog, path);
    return true;
}

// ---- Drops ------------------------------------------------------------------

bool DropFiles(HWND target, const std::vector<std::wstring>& names, HANDLE process) {
    if (!target)
        return false;
    const std::vector<char> block = DropBlock(names);
    if (!process) {
        // The receiver owns the handle: DragFinish frees it.
        HGLOBAL handle = ::GlobalAlloc(GHND, block.size());
        if (!handle)
            return false;
        std::memcpy(::GlobalLock(handle), block.data(), block.size());
        ::GlobalUnlock(handle);
        ::SendMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0);
        return true;
    }
    // A drop handle is memory of the receiving process: the block is copied
    // into fresh pages of it. A page-aligned block is what GlobalLock takes
    // for a fixed global block, so DragQueryFileW reads it there; DragFinish
    // cannot free it and leaves it (one page).
    void* remote =
        ::VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return false;
    SIZE_T written = 0;
    if (!::WriteProcessMemory(process, remote, block.data(), block.size(), &written) ||
        written != block.size())
        return false;
    return ::PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
}

// ---- Pixels and rectangles --------------------------------------------------

Pixels PrintClient(HWND window, UINT flags) {
    RECT client = {};
    ::GetClientRect(window, &client);
    return Draw(client.right, client.bottom, [&](HDC dc) {
        ::SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), flags);
    });
}

Pixels CaptureClient(HWND window) {
    RECT client = {};
    ::GetClientRect(window, &client);
    return Draw(client.right, client.bottom, [&](HDC dc) {
        ScopedWindowDC shown(window);
        ::BitBlt(dc, 0, 0, client.right, client.bottom, shown.Dc(), 0, 0, SRCCOPY);
    });
}

Pixels BitmapPixels(HBITMAP bitmap) {
    BITMAP size = {};
    ::GetObjectW(bitmap, sizeof(size), &size);
    return Draw(size.bmWidth, size.bmHeight, [&](HDC dc) {
        UniqueMemoryDC source(::CreateCompatibleDC(dc));
        ScopedSelectObject selected(source.Get(), bitmap);
        ::BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, source.Get(), 0, 0, SRCCOPY);
    });
}

RECT RectIn(HWND child, HWND parent) {
    RECT r = {};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

} // namespace driver
