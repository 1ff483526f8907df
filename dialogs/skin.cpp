// The banner painting and the process-wide UI resources.
#include "dialogs/skin.h"

#include "common/resource_instance.h"
#include "common/unique_handle.h"
#include "framework/dpi.h"
#include "resources/resource.h"

namespace {
// Built during static initialisation, before any window exists, and only
// read afterwards; destroyed at process exit.
const CSharedUiResources g_sharedUi;

constexpr int kBannerWidth = 640;
constexpr int kBannerHeight = 80;
} // namespace

CSharedUiResources::CSharedUiResources()
    : banner_(::LoadBitmapW(GetResourceInstance(), MAKEINTRESOURCEW(IDB_BANNER))),
      largeBanner_(::LoadBitmapW(GetResourceInstance(), MAKEINTRESOURCEW(IDB_BANNER_LARGE))),
      appIcon_(::LoadIconW(GetResourceInstance(), MAKEINTRESOURCEW(IDI_APPLICATION_ICON))) {}

const CSharedUiResources& SharedUiResources() {
    return g_sharedUi;
}

SIZE BannerSizeForDpi(UINT dpi) {
    return SIZE{ScaleForDpi(kBannerWidth, dpi), ScaleForDpi(kBannerHeight, dpi)};
}

UniqueBitmap MakeBannerForDpi(UINT dpi) {
    const SIZE size = BannerSizeForDpi(dpi);
    if (size.cx == kBannerWidth || size.cx == 2 * kBannerWidth)
        return UniqueBitmap();
    // Reducing keeps the drawing sharp; enlarging would blur it.
    const bool fromLarge = size.cx > kBannerWidth;
    HBITMAP source = fromLarge ? SharedUiResources().LargeBanner() : SharedUiResources().Banner();
    const int sourceWidth = fromLarge ? 2 * kBannerWidth : kBannerWidth;
    const int sourceHeight = fromLarge ? 2 * kBannerHeight : kBannerHeight;

    ScopedWindowDC screen(nullptr);
    UniqueBitmap scaled(::CreateCompatibleBitmap(screen.Dc(), size.cx, size.cy));
    {
        UniqueMemoryDC target(::CreateCompatibleDC(screen.Dc()));
        UniqueMemoryDC from(::CreateCompatibleDC(screen.Dc()));
        ScopedSelectObject onTarget(target.Get(), scaled.Get());
        ScopedSelectObject onSource(from.Get(), source);
        ::SetStretchBltMode(target.Get(), HALFTONE);
        ::SetBrushOrgEx(target.Get(), 0, 0, nullptr);
        ::StretchBlt(target.Get(), 0, 0, size.cx, size.cy, from.Get(), 0, 0, sourceWidth,
                     sourceHeight, SRCCOPY);
    }
    return scaled;
}

void CTitleBar::SetDpi(UINT dpi) {
    if (dpi == dpi_)
        return;
    dpi_ = dpi;
    scaled_ = MakeBannerForDpi(dpi);
    if (m_hWnd)
        Invalidate(false);
}

HBITMAP CTitleBar::CurrentBanner() const {
    if (scaled_)
        return scaled_.Get();
    return BannerSizeForDpi(dpi_).cx > kBannerWidth ? SharedUiResources().LargeBanner()
                                                    : SharedUiResources().Banner();
}

void CTitleBar::OnPaint() {
    ScopedPaint paint(m_hWnd);
    Draw(paint.Dc());
}

void CTitleBar::OnPrintClient(HDC dc, UINT) {
    Draw(dc);
}

void CTitleBar::Draw(HDC target) {
    // The rectangle in the parent's client coordinates: the sunken line is
    // drawn on it, which is the banner's own bottom row while the control
    // sits at the parent's origin (the view keeps it there).
    RECT r;
    GetWindowRect(&r);
    HWND parent = GetParent();
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    ::ScreenToClient(parent, &corners[0]);
    ::ScreenToClient(parent, &corners[1]);
    r = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    int width = r.right - r.left;
    int height = r.bottom - r.top;

    UniqueMemoryDC memory(::CreateCompatibleDC(target));
    UniqueBitmap canvas(::CreateCompatibleBitmap(target, width, height));
    {
        ScopedSelectObject onCanvas(memory.Get(), canvas.Get());
        {
            UniqueMemoryDC source(::CreateCompatibleDC(target));
            ScopedSelectObject banner(source.Get(), CurrentBanner());
            ::BitBlt(memory.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
        }
        ::DrawEdge(memory.Get(), &r, BDR_SUNKENINNER, BF_BOTTOM);
        ::BitBlt(target, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
    }
}
