// CFileDialog: the system's Open or Save dialog. Its file-name buffer holds
// the longest path the system can hand over, so a chosen path is never cut.
// The framework always adds explorer style, a hook procedure (which does
// nothing) and resizing to the caller's flags, so the default
// hide-read-only and prompt-before-overwrite flags become 0x00880026.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

class CFileDialog {
public:
    static constexpr DWORD kAddedFlags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    // The system's paths are counted strings of at most 32,767 characters;
    // with the terminating NUL that is the most a dialog can ever return.
    static constexpr DWORD kFileNameCapacity = 32768;

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
    // The initial name before DoModal, the chosen full path after it.
    std::wstring m_szFileName;
    // A name without its folder is at most 255 characters.
    wchar_t m_szFileTitle[MAX_PATH];
    bool m_bOpenFileDialog;

private:
    static UINT_PTR CALLBACK HookProc(HWND, UINT, WPARAM, LPARAM);
    wchar_t filter_[512];
};
