// The label tooltip: a standard tooltip control with one tool, the label.
#include "dialogs/label_tip.h"

#include <commctrl.h>

namespace {
// Long lists take a while to read: the tip stays up this long.
constexpr int kShowMilliseconds = 30000;
} // namespace

void AddLabelTip(HWND label, const std::wstring& text) {
    HWND dialog = ::GetParent(label);
    HWND tip =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, nullptr, nullptr);
    if (!tip)
        return;
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(label);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // A tooltip breaks its text into lines only when it has a width limit.
    ::SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, ::GetSystemMetrics(SM_CXSCREEN));
    ::SendMessageW(tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, kShowMilliseconds);
}
