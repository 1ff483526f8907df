// The two password dialogs that stand between the user's choice and a job.
// CDialogEncrypt shows the items to protect, asks for the password twice and
// runs the encryption job; CDialogDecrypt shows one container, asks for its
// password and runs the decryption job. Both are modal and end with 1 after
// a successful job and 8 when closed without one (Exit, the close button, an
// invalid path at start-up, or a Save dialog that was not confirmed).
//
// Escape and Enter in a password field reach no handler here, so the default
// dialog processing ignores them: only Exit and the close button end a
// dialog without a job.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/skin.h"
#include "framework/dialog_impl.h"
#include "jobs/path_info.h"
#include "resources/resource.h"

// End codes of the password dialogs.
constexpr INT_PTR kDialogJobDone = 1;
constexpr INT_PTR kDialogClosed = 8;

// How a restored item is opened after a successful decryption. The shell
// opens it in a program or window of its own, which a test cannot watch
// reliably, so tests swap this for a recorder. Same arguments as
// ShellExecuteW, which is the default.
using ShellOpenFunction = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file,
                                             LPCWSTR parameters, LPCWSTR directory, INT show);
extern ShellOpenFunction g_shellOpen;

class CDialogEncrypt : public CDialogImpl<CDialogEncrypt> {
public:
    enum { IDD = IDD_ENCRYPT };

    // Takes a snapshot of every path now, in the given order; a count of 0
    // or less gives an empty list.
    CDialogEncrypt(const wchar_t* const* paths, int count);

    BEGIN_MSG_MAP(CDialogEncrypt)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_CLOSE, OnClose)
        COMMAND_HANDLER(IDC_EXIT, BN_CLICKED, OnExit)
        COMMAND_HANDLER(IDC_ENCRYPT, BN_CLICKED, OnEncrypt)
    END_MSG_MAP()

    const std::wstring& ContainerPath() const { return containerPath; }
    uint64_t TotalSize() const { return totalSize; }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnExit(WORD, WORD, HWND, BOOL&);
    LRESULT OnEncrypt(WORD, WORD, HWND, BOOL&);

    // Checks the items, shows them, totals their size and fixes where the
    // container goes; false when it has ended the dialog instead.
    bool PlanContainerPath();

    CZelStatic pathLabel;
    CZelEdit passwordField;
    CZelEdit reenterField;
    std::vector<CPathInfo> items;
    std::wstring containerPath;
    uint64_t totalSize = 0;
    // The user has agreed to replace a file at containerPath.
    bool replaceConfirmed = false;
};

class CDialogDecrypt : public CDialogImpl<CDialogDecrypt> {
public:
    enum { IDD = IDD_DECRYPT };

    // Takes a snapshot of the container path now.
    explicit CDialogDecrypt(const std::wstring& path);

    BEGIN_MSG_MAP(CDialogDecrypt)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_CLOSE, OnClose)
        COMMAND_HANDLER(IDC_DECRYPT, BN_CLICKED, OnDecrypt)
        COMMAND_HANDLER(IDC_EXIT, BN_CLICKED, OnExit)
    END_MSG_MAP()

    // The first item restored; kept across attempts in the same dialog.
    const std::wstring& ResultPath() const { return resultPath; }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnExit(WORD, WORD, HWND, BOOL&);
    LRESULT OnDecrypt(WORD, WORD, HWND, BOOL&);

    // Shows the container path, or ends the dialog when it does not exist;
    // false in that case.
    bool CheckContainerPath();

    CPathInfo container;
    std::wstring resultPath;
    CZelStatic pathLabel;
    CZelEdit passwordField;
};
