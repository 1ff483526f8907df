// The out-of-line parts of CWindow.
#include "framework/window.h"

#include <vector>

std::wstring CWindow::GetWindowText() const {
    int length = GetWindowTextLength();
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    // The text may have shrunk between the two calls; stop at the first NUL.
    std::wstring text(buffer.data());
    // Password fields are read through here: leave no copy behind.
    ::SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
    return text;
}

bool CWindow::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return false;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
    if (swpFlags != 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return true;
}
