// The Open/Save dialog wrapper.
#include "framework/file_dialog.h"

#include <cwchar>

CFileDialog::CFileDialog(bool openFileDialog, const wchar_t* defaultExtension,
                         const wchar_t* fileName, DWORD flags, const wchar_t* filter, HWND parent)
    : m_ofn(), m_szFileName(), m_szFileTitle(), m_bOpenFileDialog(openFileDialog), filter_() {
    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = parent;
    m_ofn.nMaxFile = kFileNameCapacity;
    m_ofn.lpstrFileTitle = m_szFileTitle;
    m_ofn.nMaxFileTitle = MAX_PATH;
    m_ofn.lpstrDefExt = defaultExtension;
    m_ofn.Flags = flags | kAddedFlags;
    m_ofn.lpfnHook = HookProc;
    if (fileName)
        m_szFileName.assign(fileName, wcsnlen(fileName, kFileNameCapacity - 1));
    if (filter) {
        // The system wants the parts separated by NULs and ended by two.
        wcsncpy(filter_, filter, sizeof(filter_) / sizeof(filter_[0]) - 2);
        size_t length = wcslen(filter_);
        for (size_t i = 0; i < length; ++i) {
            if (filter_[i] == L'|')
                filter_[i] = L'\0';
        }
        m_ofn.lpstrFilter = filter_;
    }
}

INT_PTR CFileDialog::DoModal(HWND owner) {
    if (!m_ofn.hwndOwner)
        m_ofn.hwndOwner = owner;
    // The dialog writes into the string's own storage; it is cut back to the
    // text afterwards.
    m_szFileName.resize(kFileNameCapacity, L'\0');
    m_ofn.lpstrFile = &m_szFileName[0];
    m_ofn.nMaxFile = kFileNameCapacity;
    BOOL confirmed = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    m_szFileName.resize(wcsnlen(m_szFileName.c_str(), kFileNameCapacity));
    m_ofn.lpstrFile = nullptr;
    return confirmed ? IDOK : IDCANCEL;
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND, UINT, WPARAM, LPARAM) {
    // Returning 0 leaves every message to the standard dialog.
    return 0;
}
