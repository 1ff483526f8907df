// Window class registration for CWindowImpl and the frame windows. The first
// Create of a class registers it; later ones reuse the atom. A critical
// section makes the check-then-register step safe if two threads race.
#include "framework/window_impl.h"

#include <cwchar>

#include "common/resource_instance.h"
#include "framework/critical_section.h"

namespace {
CCriticalSection& RegistrationLock() {
    static CCriticalSection lock;
    return lock;
}
} // namespace

ATOM RegisterWndClass(CWndClassInfo& info, WNDPROC proc) {
    ScopedCriticalSectionLock hold(RegistrationLock());
    if (info.atom)
        return info.atom;
    const wchar_t* name = info.name;
    if (!name) {
        // Unique per description: its address cannot repeat in the process.
        _snwprintf(info.generatedName, sizeof(info.generatedName) / sizeof(wchar_t) - 1,
                   L"Tessalock:%p", static_cast<void*>(&info));
        name = info.generatedName;
    }
    HINSTANCE instance = GetResourceInstance();
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = info.style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground =
        info.background ? reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(info.background)) : nullptr;
    wc.lpszClassName = name;
    if (info.iconId) {
        wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(info.iconId));
        wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(info.iconId),
                                                     IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
    info.atom = ::RegisterClassExW(&wc);
    return info.atom;
}
