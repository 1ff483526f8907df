// Recording a dialog's template layout and scaling it to another DPI.
#include "framework/dialog_scaler.h"

#include <cstdlib>
#include <utility>

#include "framework/dpi.h"

namespace {

bool IsIconControl(HWND control) {
    wchar_t className[16] = {};
    ::GetClassNameW(control, className, 16);
    return _wcsicmp(className, L"Static") == 0 &&
           (::GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

} // namespace

void CDialogScaler::Capture(HWND dialog) {
    dialog_ = dialog;
    creationDpi_ = dpi_ = DpiOfWindow(dialog);
    RECT client = {};
    ::GetClientRect(dialog, &client);
    creationClient_ = SIZE{client.right, client.bottom};
    controls_.clear();
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT r = {};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        HICON icon = nullptr;
        if (IsIconControl(child))
            icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
        controls_.push_back(Control{child, r, icon});
    }
    creationFont_ = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
    fontDescription_ = LOGFONTW{};
    if (creationFont_)
        ::GetObjectW(creationFont_, sizeof(fontDescription_), &fontDescription_);
    TakeOverDialogDpiScaling(dialog);
}

const CDialogScaler::Control* CDialogScaler::Find(HWND control) const {
    for (const Control& c : controls_) {
        if (c.hwnd == control)
            return &c;
    }
    return nullptr;
}

RECT CDialogScaler::Scaled(const RECT& r) const {
    const long long to = dpi_;
    const long long from = creationDpi_;
    auto nearest = [&](LONG v) { return static_cast<LONG>((v * to * 2 + from) / (from * 2)); };
    // Sizes round up: fonts do not scale exactly with the DPI, and a text
    // that just filled its control at one DPI can need a pixel more at
    // another.
    auto up = [&](LONG v) { return static_cast<LONG>((v * to + from - 1) / from); };
    const LONG left = nearest(r.left);
    const LONG top = nearest(r.top);
    return RECT{left, top, left + up(r.right - r.left), top + up(r.bottom - r.top)};
}

SIZE CDialogScaler::ScaledSize(HWND control) const {
    if (const Control* c = Find(control)) {
        RECT r = Scaled(c->rect);
        return SIZE{r.right - r.left, r.bottom - r.top};
    }
    RECT r = {};
    ::GetWindowRect(control, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE CDialogScaler::ScaledClientSize() const {
    RECT r = Scaled(RECT{0, 0, creationClient_.cx, creationClient_.cy});
    return SIZE{r.right, r.bottom};
}

void CDialogScaler::SetDpi(UINT dpi) {
    if (!dialog_ || dpi == 0 || dpi == dpi_)
        return;
    dpi_ = dpi;
    ApplyFont();
    ApplyIcons();
}

void CDialogScaler::ApplyFont() {
    if (!creationFont_)
        return;
    // At the creation DPI the dialog manager's own font; else the same face
    // at the template's point size for this DPI.
    UniqueFont scaled;
    HFONT font = creationFont_;
    if (dpi_ != creationDpi_) {
        LOGFONTW description = fontDescription_;
        int points = ::MulDiv(std::abs(static_cast<int>(fontDescription_.lfHeight)), 72,
                              static_cast<int>(creationDpi_));
        description.lfHeight = -::MulDiv(points, static_cast<int>(dpi_), 72);
        scaled.Reset(::CreateFontIndirectW(&description));
        if (!scaled)
            return;
        font = scaled.Get();
    }
    ::SendMessageW(dialog_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (const Control& c : controls_)
        ::SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    // No control uses the previous scaled font any more.
    font_ = std::move(scaled);
}

void CDialogScaler::ApplyIcons() {
    std::vector<UniqueIcon> loaded;
    for (const Control& c : controls_) {
        if (!c.icon)
            continue;
        HICON icon = c.icon;
        if (dpi_ != creationDpi_) {
            // Read again from the resource at the new size, not stretched.
            RECT r = Scaled(c.rect);
            auto copy = static_cast<HICON>(::CopyImage(c.icon, IMAGE_ICON, r.right - r.left,
                                                       r.bottom - r.top, LR_COPYFROMRESOURCE));
            if (copy) {
                loaded.emplace_back(copy);
                icon = copy;
            }
        }
        ::SendMessageW(c.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
    icons_ = std::move(loaded);
}

void CDialogScaler::ApplyTemplateLayout(const RECT* suggested) {
    if (!dialog_)
        return;
    for (const Control& c : controls_) {
        RECT r = Scaled(c.rect);
        ::SetWindowPos(c.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_STYLE));
    if (!(style & WS_CHILD)) {
        const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_EXSTYLE));
        const SIZE client = ScaledClientSize();
        SIZE size = WindowSizeForClient(client, style, exStyle, dpi_);
        RECT now = {};
        ::GetWindowRect(dialog_, &now);
        POINT at = suggested ? POINT{suggested->left, suggested->top} : POINT{now.left, now.top};
        ::SetWindowPos(dialog_, nullptr, at.x, at.y, size.cx, size.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        // The frame's real thickness may differ from what was asked for (a
        // window whose frame has not followed the DPI yet): correct by what
        // the client area came out short or long.
        RECT got = {};
        ::GetClientRect(dialog_, &got);
        if (got.right != client.cx || got.bottom != client.cy)
            ::SetWindowPos(dialog_, nullptr, 0, 0, size.cx + client.cx - got.right,
                           size.cy + client.cy - got.bottom,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(dialog_, nullptr, TRUE);
}
