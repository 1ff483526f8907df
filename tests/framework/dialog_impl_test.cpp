// CDialogImpl on the real templates: a modal run returns the code its
// handler ended it with, gets the caller's init parameter at WM_INITDIALOG,
// survives a throwing handler, and returns -1 for a template that does not
// exist; a modeless child dialog is bound until its window goes away.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "framework/dialog_impl.h"
#include "resources/resource.h"
#include "support/robot.h"

using namespace driver;
using namespace testing_support;

namespace {

class DecryptLikeDialog : public CDialogImpl<DecryptLikeDialog> {
public:
    enum { IDD = IDD_DECRYPT };
    LPARAM initParam = -1;

    BEGIN_MSG_MAP(DecryptLikeDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_CLOSE, OnClose)
        COMMAND_HANDLER(IDC_DECRYPT, BN_CLICKED, OnDecrypt)
        COMMAND_HANDLER(IDC_EXIT, BN_CLICKED, OnExit)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, BOOL&) {
        initParam = lParam;
        return TRUE;
    }
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&) {
        EndDialog(8);
        return 0;
    }
    LRESULT OnDecrypt(WORD, WORD, HWND, BOOL&) {
        if (CWindow(GetDlgItem(IDC_PASSWORD)).GetWindowText() == L"throw")
            throw std::runtime_error("handler failed");
        EndDialog(1);
        return 0;
    }
    LRESULT OnExit(WORD, WORD, HWND, BOOL&) {
        EndDialog(8);
        return 0;
    }
};

struct EndCase {
    const char* name;
    std::function<void(HWND)> act;
    INT_PTR code;
};

const EndCase kEndCases[] = {
    {"DecryptButton", [](HWND d) { ClickButton(d, IDC_DECRYPT); }, 1},
    {"ExitButton", [](HWND d) { ClickButton(d, IDC_EXIT); }, 8},
    {"CloseMessage", [](HWND d) { PostClose(d); }, 8},
    {"EscapeIsIgnoredThenExit",
     [](HWND d) {
         // Escape and Enter arrive as IDCANCEL / IDOK, which nothing handles.
         SendCommand(d, IDCANCEL);
         SendCommand(d, IDOK);
         if (::IsWindow(d))
             ClickButton(d, IDC_EXIT);
     },
     8},
    {"ThrowingHandlerKeepsDialogOpen",
     [](HWND d) {
         TypeText(::GetDlgItem(d, IDC_PASSWORD), L"throw");
         ClickButton(d, IDC_DECRYPT);
         if (::IsWindow(d))
             ClickButton(d, IDC_EXIT);
     },
     8},
};

class ModalEndCodes : public testing::TestWithParam<EndCase> {};

TEST_P(ModalEndCodes, ReturnTheHandlersCode) {
    const EndCase& c = GetParam();
    DecryptLikeDialog dialog;
    bool found = false;
    Robot robot([&] {
        HWND d = WaitForDialog(kDecryptCaption);
        found = d != nullptr;
        if (found)
            c.act(d);
    });
    INT_PTR code = dialog.DoModal(nullptr, 1234);
    robot.Join();
    EXPECT_TRUE(found);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(dialog.initParam, 1234);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, ModalEndCodes, testing::ValuesIn(kEndCases),
                         [](const testing::TestParamInfo<EndCase>& info) {
                             return std::string(info.param.name);
                         });

class MissingTemplateDialog : public CDialogImpl<MissingTemplateDialog> {
public:
    enum { IDD = 9999 };
    BEGIN_MSG_MAP(MissingTemplateDialog)
    END_MSG_MAP()
};

TEST(ModalRun, MissingTemplateReturnsMinusOne) {
    MissingTemplateDialog dialog;
    EXPECT_EQ(dialog.DoModal(nullptr), -1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

class ViewLikeDialog : public CDialogImpl<ViewLikeDialog> {
public:
    enum { IDD = IDD_TESSALOCK_VIEW };
    int finalCalls = 0;
    BEGIN_MSG_MAP(ViewLikeDialog)
    END_MSG_MAP()
    void OnFinalMessage(HWND) override { ++finalCalls; }
};

TEST(ModelessDialog, LivesAsAChildUntilItsParentGoes) {
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&init);
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                    nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    ViewLikeDialog view;
    HWND hwnd = view.Create(parent);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(view.m_hWnd, hwnd);
    EXPECT_EQ(::GetParent(hwnd), parent);
    EXPECT_TRUE(view.GetStyle() & WS_CHILD);
    EXPECT_NE(view.GetDlgItem(IDC_FILE_LIST), nullptr);
    ::DestroyWindow(parent);
    EXPECT_EQ(view.m_hWnd, nullptr);
    EXPECT_EQ(view.finalCalls, 1);
}

} // namespace
