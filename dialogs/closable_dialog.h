// How the program's modal dialogs end, and the base of those the user can
// close without their work. Every modal dialog ends with kDialogJobDone when
// it did what it was opened for and with kDialogClosed otherwise; its opener
// reads nothing else from the code.
#pragma once

#include <windows.h>

#include "framework/dialog_impl.h"
#include "framework/message_map.h"

enum DialogEndCode : INT_PTR {
    kDialogJobDone = 1,
    kDialogClosed = 8,
};

// A modal dialog that the close button (and Alt+F4) and the command ExitId
// end with kDialogClosed. A derived map chains to this one:
//     CHAIN_MSG_MAP(CClosableDialog<CDialogExample, IDC_EXIT>)
template <class T, WORD ExitId> class CClosableDialog : public CDialogImpl<T> {
public:
    BEGIN_MSG_MAP(CClosableDialog)
        MSG_WM_CLOSE(OnClose)
        ON_COMMAND(ExitId, OnExit)
    END_MSG_MAP()

private:
    void OnClose() { this->EndDialog(kDialogClosed); }
    void OnExit(UINT) { this->EndDialog(kDialogClosed); }
};
