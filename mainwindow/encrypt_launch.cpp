// The view's one use of the encryption dialog. The dialog copies the paths
// while it is constructed, so the caller's array only has to live this long.
#include "mainwindow/encrypt_launch.h"

#include "common/owner_window.h"
#include "dialogs/password_dialogs.h"

INT_PTR RunEncryptDialog(const wchar_t* const* paths, int count) {
    CDialogEncrypt dialog(paths, count);
    return dialog.DoModal(OwnerForNewWindow());
}
