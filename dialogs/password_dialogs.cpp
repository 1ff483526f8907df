// The encryption and decryption dialogs: start-up checks, the password
// checks, running the job with the progress window and reporting its end.
#include "dialogs/password_dialogs.h"

#include <shellapi.h>

#include "common/message_box.h"
#include "common/owner_window.h"
#include "common/res_string.h"
#include "dialogs/job_host.h"
#include "dialogs/label_tip.h"
#include "engine/container.h"
#include "framework/file_dialog.h"
#include "jobs/decrypt_job.h"
#include "jobs/encrypt_job.h"
#include "jobs/job_texts.h"
#include "jobs/timestamp.h"

ShellOpenFunction g_shellOpen = ::ShellExecuteW;

namespace {

// Wipes a copy of a password when the handler that read it is left.
class ScopedSecretWipe {
public:
    explicit ScopedSecretWipe(std::wstring& text) : text_(text) {}
    ~ScopedSecretWipe() { WipeSecret(text_); }
    ScopedSecretWipe(const ScopedSecretWipe&) = delete;
    ScopedSecretWipe& operator=(const ScopedSecretWipe&) = delete;

private:
    std::wstring& text_;
};

void ShowInvalidPath(const std::wstring& path) {
    ShowErrorBox(FormatString(L"%s.%s", path.c_str(), LoadResString(IDS_INVALID_PATH).c_str()));
}

// The items one per line, for the label's tooltip.
std::wstring ItemLines(const std::vector<CPathInfo>& items) {
    std::wstring lines;
    for (const CPathInfo& item : items)
        lines += (lines.empty() ? L"" : L"\r\n") + item.PathWithSeparator();
    return lines;
}

// The common part of both dialogs' start-up.
void SetDialogIcon(HWND dialog) {
    ::SendMessageW(dialog, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(SharedUiResources().AppIcon()));
}

} // namespace

// ---- Encryption ----------------------------------------------------------

CDialogEncrypt::CDialogEncrypt(const wchar_t* const* paths, int count, ContainerFormat format)
    : format_(format) {
    for (int i = 0; i < count; ++i)
        items_.emplace_back(paths[i]);
}

BOOL CDialogEncrypt::OnInitDialog(HWND, LPARAM) {
    SetDialogIcon(m_hWnd);
    pathLabel_.SubclassWindow(GetDlgItem(IDC_PATH_LABEL));
    passwordField_.SubclassWindow(GetDlgItem(IDC_PASSWORD));
    reenterField_.SubclassWindow(GetDlgItem(IDC_REENTER));
    PlanContainerPath();
    // TRUE lets the dialog manager focus the first tab stop, the password.
    return TRUE;
}

bool CDialogEncrypt::PlanContainerPath() {
    std::wstring listText;
    int missing = SummarizeItems(items_, listText, totalSize_);
    if (missing >= 0) {
        ShowInvalidPath(items_[static_cast<size_t>(missing)].PathWithSeparator());
        EndDialog(kDialogClosed);
        return false;
    }
    pathLabel_.SetText(listText);
    AddLabelTip(pathLabel_.m_hWnd, ItemLines(items_));

    if (items_.size() == 1) {
        containerPath_ = ContainerPathBesideItem(items_[0]);
        return true;
    }
    const std::wstring defaultName = DefaultContainerName(CTimeStamp::Now());
    for (;;) {
        // A name typed without an extension gets ".lock", as Windows users
        // expect of a Save dialog; the decryption knows containers by it.
        CFileDialog save(false, L"lock", defaultName.c_str(),
                         OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr);
        if (save.DoModal(OwnerForNewWindow()) != IDOK) {
            EndDialog(kDialogClosed);
            return false;
        }
        // A container inside a selected folder would be packed into itself
        // and deleted with that folder; ask for another place.
        const CPathInfo* holder = FindItemHoldingPath(items_, save.m_szFileName);
        if (!holder) {
            containerPath_ = save.m_szFileName;
            // The Save dialog has asked before an existing file is chosen.
            replaceConfirmed_ = true;
            return true;
        }
        ShowErrorBox(jobtext::kContainerInsideItem + holder->PathWithSeparator() +
                     jobtext::kContainerInsideItemEnd);
    }
}

void CDialogEncrypt::OnEncrypt(UINT) {
    std::wstring password = passwordField_.GetText();
    ScopedSecretWipe wipePassword(password);
    std::wstring reenter = reenterField_.GetText();
    ScopedSecretWipe wipeReenter(reenter);
    if (password.empty()) {
        ShowInfoBox(LoadResString(IDS_ENTER_PASSWORD));
        return;
    }
    if (reenter.empty()) {
        ShowInfoBox(LoadResString(IDS_CONFIRM_PASSWORD));
        return;
    }
    if (password != reenter) {
        ShowInfoBox(LoadResString(IDS_PASSWORDS_DIFFER));
        return;
    }
    if (!PasswordFitsCheckBlock(password)) {
        ShowInfoBox(jobtext::kPasswordTooLong);
        return;
    }

    if (NothingToStore(items_)) {
        ShowInfoBox(LoadResString(IDS_NOTHING_TO_ENCRYPT));
        return;
    }
    // An earlier container at this place is replaced only with the user's
    // consent; the job refuses to touch it otherwise.
    // Where the Recycle Bin cannot take it, the question says so.
    const bool recyclable = HasRecycleBin(containerPath_) && FitsRecycleBin(containerPath_);
    if (!replaceConfirmed_ && CPathInfo(containerPath_).Exists()) {
        if (!AskQuestion(FormatString(
                LoadResString(recyclable ? IDS_REPLACE_CONTAINER : IDS_REPLACE_CONTAINER_FOR_GOOD)
                    .c_str(),
                containerPath_.c_str())))
            return;
        replaceConfirmed_ = true;
        replaceForGood_ = !recyclable;
    }

    CDialogProgress progress;
    EncryptRequest request;
    request.items = items_;
    request.containerPath = containerPath_;
    request.totalSize = totalSize_;
    request.replaceExisting = replaceConfirmed_;
    request.format = format_;
    request.replaceForGood = replaceForGood_;
    const EncryptionOutcome outcome =
        RunEncryptJob(request, password, progress, WithProgressWindow(progress));
    if (!outcome.started) {
        ShowErrorBox(jobtext::kEncryptError + GetSystemErrorText());
        return;
    }
    switch (outcome.result) {
    case JobResult::Succeeded: {
        std::wstring text = LoadResString(IDS_ENCRYPTED_OK);
        if (!outcome.leftBehind.empty())
            text += L"\n\n" + LoadResString(IDS_ENCRYPTED_LEFT_BEHIND) +
                    DescribeLeftItems(outcome.leftBehind);
        ShowInfoBox(text);
        EndDialog(kDialogJobDone);
        break;
    }
    case JobResult::Failed:
        ShowErrorBox(outcome.errorText);
        break;
    case JobResult::Cancelled:
    case JobResult::NeedsConsent: // asked above, before the job
        break;
    }
}

// ---- Decryption ----------------------------------------------------------

CDialogDecrypt::CDialogDecrypt(const std::wstring& path) : container_(path) {}

BOOL CDialogDecrypt::OnInitDialog(HWND, LPARAM) {
    SetDialogIcon(m_hWnd);
    pathLabel_.SubclassWindow(GetDlgItem(IDC_PATH_LABEL));
    passwordField_.SubclassWindow(GetDlgItem(IDC_PASSWORD));
    CheckContainerPath();
    return TRUE;
}

bool CDialogDecrypt::CheckContainerPath() {
    const std::wstring path = container_.PathWithSeparator();
    if (!container_.Exists()) {
        ShowInvalidPath(path);
        EndDialog(kDialogClosed);
        return false;
    }
    pathLabel_.SetText(path);
    AddLabelTip(pathLabel_.m_hWnd, path);
    return true;
}

void CDialogDecrypt::OnDecrypt(UINT) {
    std::wstring password = passwordField_.GetText();
    ScopedSecretWipe wipePassword(password);
    if (password.empty()) {
        ShowInfoBox(LoadResString(IDS_ENTER_PASSWORD));
        return;
    }

    // Items that already exist are replaced only after the user has seen
    // how many and agreed; the job writes nothing before that.
    const std::wstring failed = LoadResString(IDS_DECRYPT_FAILED);
    size_t consent = 0;
    for (;;) {
        CDialogProgress progress;
        DecryptRequest request;
        request.container = container_;
        request.replaceConsent = consent;
        request.resultPath = resultPath_;
        const DecryptionOutcome outcome =
            RunDecryptJob(request, password, progress, WithProgressWindow(progress));
        if (!outcome.started) {
            ShowErrorBox(failed + GetSystemErrorText());
            return;
        }
        resultPath_ = outcome.resultPath;
        // The worker never shows a box; what it could not clean up after a
        // success comes first, then the success question. A run that asks
        // for consent has written nothing and warns of nothing.
        if (!outcome.warningText.empty())
            ShowErrorBox(outcome.warningText);
        switch (outcome.result) {
        case JobResult::NeedsConsent: {
            const std::wstring question = FormatString(LoadResString(IDS_REPLACE_RESTORED).c_str(),
                                                       OutputFolderOf(container_).c_str(),
                                                       static_cast<unsigned>(outcome.existingCount),
                                                       DescribeExistingItems(outcome).c_str());
            if (!AskQuestion(question))
                return;
            consent = outcome.existingCount;
            continue;
        }
        case JobResult::Succeeded: {
            EndDialog(kDialogJobDone);
            std::wstring question =
                FormatString(LoadResString(IDS_DECRYPTED_ASK_OPEN).c_str(), resultPath_.c_str());
            const std::wstring renamed = DescribeRenamedItems(outcome);
            if (!renamed.empty())
                question = renamed + L"\n\n" + question;
            if (AskQuestion(question))
                g_shellOpen(nullptr, L"open", resultPath_.c_str(), nullptr, nullptr, SW_SHOW);
            break;
        }
        case JobResult::Failed:
            ShowErrorBox(failed + outcome.errorText);
            break;
        case JobResult::Cancelled:
            break;
        }
        return;
    }
}
