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

#include "dialogs/closable_dialog.h"
#include "dialogs/skin.h"
#include "engine/container.h"
#include "jobs/path_info.h"
#include "resources/resource.h"

// How a restored item is opened after a successful decryption. The shell
// opens it in a program or window of its own, which a test cannot watch
// reliably, so tests swap this for a recorder. Same arguments as
// ShellExecuteW, which is the default.
using ShellOpenFunction = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file,
                                             LPCWSTR parameters, LPCWSTR directory, INT show);
extern ShellOpenFunction g_shellOpen;

class CDialogEncrypt : public CClosableDialog<CDialogEncrypt, IDC_EXIT> {
public:
    enum { IDD = IDD_ENCRYPT };

    // Takes a snapshot of every path now, in the given order; a count of 0
    // or less gives an empty list.
    CDialogEncrypt(const wchar_t* const* paths, int count,
                   ContainerFormat format = ContainerFormat::Authenticated);

    BEGIN_MSG_MAP(CDialogEncrypt)
        MSG_WM_INITDIALOG(OnInitDialog)
        ON_COMMAND_CODE(IDC_ENCRYPT, BN_CLICKED, OnEncrypt)
        CHAIN_MSG_MAP(CClosableDialog)
    END_MSG_MAP()

    const std::wstring& ContainerPath() const { return containerPath_; }
    uint64_t TotalSize() const { return totalSize_; }

private:
    BOOL OnInitDialog(HWND, LPARAM);
    void OnEncrypt(UINT);

    // Checks the items, shows them, totals their size and fixes where the
    // container goes; false when it has ended the dialog instead.
    bool PlanContainerPath();

    CZelStatic pathLabel_;
    CZelEdit passwordField_;
    CZelEdit reenterField_;
    std::vector<CPathInfo> items_;
    std::wstring containerPath_;
    uint64_t totalSize_ = 0;
    // The user has agreed to replace a file at containerPath_.
    bool replaceConfirmed_ = false;
    ContainerFormat format_;
    // The question said the Recycle Bin cannot take that file.
    bool replaceForGood_ = false;
};

class CDialogDecrypt : public CClosableDialog<CDialogDecrypt, IDC_EXIT> {
public:
    enum { IDD = IDD_DECRYPT };

    // Takes a snapshot of the container path now.
    explicit CDialogDecrypt(const std::wstring& path);

    BEGIN_MSG_MAP(CDialogDecrypt)
        MSG_WM_INITDIALOG(OnInitDialog)
        ON_COMMAND_CODE(IDC_DECRYPT, BN_CLICKED, OnDecrypt)
        CHAIN_MSG_MAP(CClosableDialog)
    END_MSG_MAP()

    // The first item restored; kept across attempts in the same dialog.
    const std::wstring& ResultPath() const { return resultPath_; }

private:
    BOOL OnInitDialog(HWND, LPARAM);
    void OnDecrypt(UINT);

    // Shows the container path, or ends the dialog when it does not exist;
    // false in that case.
    bool CheckContainerPath();

    CPathInfo container_;
    std::wstring resultPath_;
    CZelStatic pathLabel_;
    CZelEdit passwordField_;
};
