// The one place the password dialogs are opened from.
#include "dialogs/dialog_launch.h"

#include "common/owner_window.h"
#include "dialogs/password_dialogs.h"

INT_PTR RunEncryptDialog(const wchar_t* const* paths, int count, ContainerFormat format) {
    CDialogEncrypt dialog(paths, count, format);
    return dialog.DoModal(OwnerForNewWindow());
}

INT_PTR RunDecryptDialog(const std::wstring& path) {
    CDialogDecrypt dialog(path);
    return dialog.DoModal(OwnerForNewWindow());
}
