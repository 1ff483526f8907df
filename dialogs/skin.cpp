// The banner painting and the process-wide UI resources.
#include "dialogs/skin.h"

#include "common/resource_instance.h"
#include "common/unique_handle.h"
#include "resources/resource.h"

namespace {
// Built during static initialisation, before any window exists, and only
// read afterwards; destroyed at process exit.
const CSharedUiResources g_sharedUi;
} // namespace

CSharedUiResources::CSharedUiResources()
    : banner_(::LoadBitmapW(GetResourceInstance(), MAKEINTRESOURCEW(IDB_BANNER))),
      appIcon_(::LoadIconW(GetResourceInstance(), MAKEINTRESOURCEW(IDI_APPLICATION_ICON))) {}

const CSharedUiResources& SharedUiResources() {
    return g_sharedUi;
}

LRESULT CTitleBar::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
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

    ScopedPaint paint(m_hWnd);
    HDC screen = paint.Dc();
    UniqueMemoryDC memory(::CreateCompatibleDC(screen));
    UniqueBitmap canvas(::CreateCompatibleBitmap(screen, width, height));
    {
        ScopedSelectObject onCanvas(memory.Get(), canvas.Get());
        {
            UniqueMemoryDC source(::CreateCompatibleDC(screen));
            ScopedSelectObject banner(source.Get(), SharedUiResources().Banner());
            ::BitBlt(memory.Get(), 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
        }
        ::DrawEdge(memory.Get(), &r, BDR_SUNKENINNER, BF_BOTTOM);
        ::BitBlt(screen, 0, 0, width, height, memory.Get(), 0, 0, SRCCOPY);
    }
    return 0;
}
