// CFileDialog: the system's Open or Save dialog with a 260-character file
// name buffer. The framework always adds explorer style, a hook procedure
// (which does nothing) and resizing to the caller's flags, so the default
// hide-read-only and prompt-before-overwrite flags become 0x00880026.
#pragma once

#include <windows.h>
#include <commdlg.h>

class CFileDialog {
public:
    static constexpr DWORD kAddedFlags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;

    // filter uses '|' between its parts ("Text|*.txt|"); null for none.
    explicit CFileDialog(bool openFileDialog, const wchar_t* defaultExtension = nullptr,
                         const wchar_t* fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         const wchar_t* filter = nullptr, HWND parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user confirmed (the full path is in m_szFileName),
    // IDCANCEL otherwise (also when the dialog failed).
    INT_PTR DoModal(HWND owner = ::GetActiveWindow());

    OPENFILENAMEW m_ofn;
    wchar_t m_szFileName[MAX_PATH];
    wchar_t m_szFileTitle[MAX_PATH];
    bool m_bOpenFileDialog;

private:
    static UINT_PTR CALLBACK HookProc(HWND, UINT, WPARAM, LPARAM);
    wchar_t filter_[512];
};
