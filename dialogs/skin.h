// The skinned control family and the shared UI resources. Each control class
// attaches to a control of a dialog template (SubclassWindow) and then sees
// its messages first; all but CTitleBar pass every message on, so they act
// as the standard controls do and serve as typed handles with SetText and
// GetText. CTitleBar paints the banner bitmap itself, double-buffered.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/unique_handle.h"
#include "framework/controls.h"
#include "framework/window_impl.h"

template <class T> class CZelComCtrl {
public:
    CZelComCtrl() = default;
    CZelComCtrl(const CZelComCtrl&) = delete;
    CZelComCtrl& operator=(const CZelComCtrl&) = delete;

    void SetText(const std::wstring& text) { ::SetWindowTextW(Window(), text.c_str()); }

    // The control's whole text; empty for an empty control.
    std::wstring GetText() const { return CWindow(Window()).GetWindowText(); }

protected:
    // Skin state shared by the family: a GDI object the control would own
    // (deleted with it), a value, a colour and a flag. The current skins
    // draw nothing of their own, so these keep their initial values.
    UniqueGdiObject ownedObject_;
    uint32_t skinValue_ = 0;
    COLORREF skinColour_ = 0xF0F0F0;
    bool skinFlag_ = false;

private:
    HWND Window() const { return static_cast<const T*>(this)->m_hWnd; }
};

// The members that only pass messages on: one class per standard control,
// each its own CZelComCtrl.
template <class TControl>
class CZelPlainCtrl : public CZelComCtrl<CZelPlainCtrl<TControl>>,
                      public CWindowImpl<CZelPlainCtrl<TControl>, TControl, CControlWinTraits> {
public:
    BEGIN_MSG_MAP(CZelPlainCtrl)
    END_MSG_MAP()
};

using CZelStatic = CZelPlainCtrl<CStatic>;
using CZelEdit = CZelPlainCtrl<CEdit>;
using CZelButton = CZelPlainCtrl<CButton>;
using CZelListViewCtrl = CZelPlainCtrl<CListViewCtrl>;

// The banner at the top of the main window. It paints itself (WM_PAINT, and
// WM_PRINTCLIENT for a snapshot of the window); clicks and everything else
// reach the static control, whose notifications still go to the parent.
class CTitleBar : public CZelComCtrl<CTitleBar>,
                  public CWindowImpl<CTitleBar, CStatic, CControlWinTraits> {
public:
    BEGIN_MSG_MAP(CTitleBar)
        MSG_WM_PAINT(OnPaint)
        MSG_WM_PRINTCLIENT(OnPrintClient)
    END_MSG_MAP()

    // The banner is drawn for this DPI from now on (96 until told).
    void SetDpi(UINT dpi);

private:
    void OnPaint();
    void OnPrintClient(HDC dc, UINT);

    // Composes the banner off-screen and copies it to target in one go.
    void Draw(HDC target);
    HBITMAP CurrentBanner() const;

    UINT dpi_ = 96;
    // The banner at the current DPI, when no resource has that size.
    UniqueBitmap scaled_;
};

// The banner bitmaps (205, 640 x 80, and 208, the same at 1280 x 160) and the
// application icon (128), loaded once before the entry function runs. The
// banners are deleted at exit; the icon is a shared resource and needs no
// release.
class CSharedUiResources {
public:
    CSharedUiResources();

    HBITMAP Banner() const { return banner_.Get(); }
    HBITMAP LargeBanner() const { return largeBanner_.Get(); }
    HICON AppIcon() const { return appIcon_; }

private:
    UniqueBitmap banner_;
    UniqueBitmap largeBanner_;
    HICON appIcon_;
};

// The banner's size in pixels at a DPI: 640 x 80 at 96 DPI.
SIZE BannerSizeForDpi(UINT dpi);

// A banner bitmap of BannerSizeForDpi(dpi), reduced with halftoning from the
// next larger resource, so it is sharp at every scale; empty when one of the
// shared bitmaps has exactly that size (96 and 192 DPI).
UniqueBitmap MakeBannerForDpi(UINT dpi);

const CSharedUiResources& SharedUiResources();
