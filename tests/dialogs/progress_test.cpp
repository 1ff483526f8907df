// The progress window. Display cases run the window modeless on the test's
// thread and tick it by hand (any WM_TIMER ticks); the modal cases run it as
// a job would, with the robot standing in for the user and the worker.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>

#include "dialogs/progress.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

class ProgressWindow : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&init);
    }
};

HWND BarOf(HWND dialog) {
    return FindChildByClass(dialog, L"msctls_progress32");
}
HWND LabelOf(HWND dialog) {
    return FindChildByClass(dialog, L"Static");
}

TEST_F(ProgressWindow, LaysItselfOutAtFixedPixels) {
    CDialogProgress dialog;
    HWND hwnd = dialog.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    RECT window;
    ::GetWindowRect(hwnd, &window);
    RECT client = {};
    ::GetClientRect(hwnd, &client);
    EXPECT_EQ(window.right - window.left, 350);
    // 85 pixels high, unless the system's caption and borders leave less
    // than the 55 that the bar and the label need: then just tall enough.
    const int height = window.bottom - window.top;
    if (height == 85) {
        EXPECT_GE(client.bottom, 55);
    } else {
        EXPECT_GT(height, 85);
        EXPECT_EQ(client.bottom, 55);
    }
    EXPECT_EQ(window.left, (::GetSystemMetrics(SM_CXSCREEN) - 350) / 2);
    EXPECT_EQ(window.top, (::GetSystemMetrics(SM_CYSCREEN) - 85) / 2);
    EXPECT_EQ(WindowText(hwnd), L"");

    HWND bar = BarOf(hwnd);
    HWND label = LabelOf(hwnd);
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(label, nullptr);
    // The bar is centred on the window's width, and the label spans it.
    RECT b = RectIn(bar, hwnd);
    EXPECT_EQ(b.left, 35);
    EXPECT_EQ(b.top, 10);
    EXPECT_EQ(b.right - b.left, 280);
    EXPECT_EQ(b.bottom - b.top, 15);
    RECT l = RectIn(label, hwnd);
    EXPECT_EQ(l.left, 0);
    EXPECT_EQ(l.top, 30);
    EXPECT_EQ(l.right, 350);
    EXPECT_EQ(l.bottom - l.top, 20);
    EXPECT_EQ(WindowText(label), L"0 %");
    EXPECT_TRUE(::GetWindowLongW(label, GWL_STYLE) & SS_CENTER);
    EXPECT_EQ(::SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);

    LOGFONTW font = {};
    HFONT labelFont = reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0));
    ASSERT_NE(labelFont, nullptr);
    ::GetObjectW(labelFont, sizeof(font), &font);
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfWeight, 100);
    ::DestroyWindow(hwnd);
}

TEST_F(ProgressWindow, PaintsItsOwnBackgroundBehindTheLabel) {
    CDialogProgress dialog;
    HWND hwnd = dialog.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    ::ShowWindow(hwnd, SW_SHOW);
    ::RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    RECT client;
    ::GetClientRect(hwnd, &client);
    const Pixels shown = CaptureClient(hwnd);
    ASSERT_EQ(shown.height, client.bottom);
    EXPECT_EQ(shown.At(5, client.bottom - 2), RGB(220, 230, 244));
    EXPECT_EQ(shown.At(5, 40), RGB(220, 230, 244)); // inside the label, left of its text
    ::DestroyWindow(hwnd);
}

struct RefreshCase {
    const char* name;
    uint64_t total;
    uint64_t current;
    bool finished;
    const wchar_t* label;
    int barPosition;
};

const RefreshCase kRefreshCases[] = {
    {"TruncatesDown", 1000, 999, false, L"99 %", 99},
    {"OneThird", 3, 1, false, L"33 %", 33},
    {"MoreThanAnnouncedIsNotClamped", 100, 150, false, L"150 %", 100},
    {"ZeroTotalShowsZero", 0, 5, false, L"0 %", 0},
    {"ProductWrapsIn64Bits", 1ull << 63, 1ull << 62, false, L"0 %", 0},
    {"FinishedShowsFull", 400, 100, true, L"100 %", 100},
    {"FinishedWithZeroTotalShowsZero", 0, 0, true, L"0 %", 0},
};

class ProgressRefresh : public ProgressWindow, public testing::WithParamInterface<RefreshCase> {};

TEST_P(ProgressRefresh, ShowsPercentInLabelAndBar) {
    const RefreshCase& c = GetParam();
    CDialogProgress dialog;
    dialog.SetTotal(c.total);
    dialog.SetCurrent(c.current, 0);
    if (c.finished)
        dialog.SetFinished(0);
    HWND hwnd = dialog.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    HWND bar = BarOf(hwnd);
    HWND label = LabelOf(hwnd);
    // Any timer id ticks, not only the window's own timer 1.
    ::SendMessageW(hwnd, WM_TIMER, 77, 0);
    EXPECT_EQ(Narrow(WindowText(label)), Narrow(c.label));
    EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), c.barPosition);
    if (c.finished) {
        // The finishing tick closes the window; that is no cancel.
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hwnd); }, 5000));
        EXPECT_FALSE(dialog.IsCancelled());
        EXPECT_EQ(dialog.GetCurrent(), c.total);
    } else {
        ::DestroyWindow(hwnd);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressRefresh, testing::ValuesIn(kRefreshCases),
                         [](const testing::TestParamInfo<RefreshCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ProgressWindow, FinishedJobClosesAtTheFirstTick) {
    CDialogProgress dialog;
    dialog.SetTotal(10);
    dialog.SetFinished(0); // before the window exists
    bool appeared = false;
    bool closed = false;
    ULONGLONG shownFor = 0;
    Robot robot([&] {
        HWND d = WaitForDialog(L"");
        appeared = d != nullptr;
        ULONGLONG seen = ::GetTickCount64();
        closed = appeared && WaitForWindowGone(d, 5000);
        shownFor = ::GetTickCount64() - seen;
    });
    dialog.DoModal(nullptr);
    robot.Join();
    EXPECT_TRUE(appeared);
    EXPECT_TRUE(closed);
    // It waits for the one-second tick rather than closing at once.
    EXPECT_GE(shownFor, 800u);
    EXPECT_FALSE(dialog.IsCancelled());
}

struct CloseCase {
    const char* name;
    bool finishedBeforeClose;
    bool cancelled;
};

const CloseCase kCloseCases[] = {
    {"WhileRunningCancels", false, true},
    {"AfterFinishingDoesNotCancel", true, false},
};

class ProgressClose : public ProgressWindow, public testing::WithParamInterface<CloseCase> {};

TEST_P(ProgressClose, SetsCancelledOnlyBeforeFinish) {
    const CloseCase& c = GetParam();
    CDialogProgress dialog;
    dialog.SetTotal(100);
    bool closed = false;
    Robot robot([&] {
        HWND d = WaitForDialog(L"");
        if (!d)
            return;
        if (c.finishedBeforeClose)
            dialog.SetFinished(0);
        PostClose(d);
        closed = WaitForWindowGone(d, 5000);
    });
    dialog.DoModal(nullptr);
    robot.Join();
    EXPECT_TRUE(closed);
    EXPECT_EQ(dialog.IsCancelled(), c.cancelled);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressClose, testing::ValuesIn(kCloseCases),
                         [](const testing::TestParamInfo<CloseCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ProgressWindow, EscapeAndEnterDoNothing) {
    CDialogProgress dialog;
    dialog.SetTotal(100);
    bool openAfterKeys = false;
    bool sawTick = false;
    Robot robot([&] {
        HWND d = WaitForDialog(L"");
        if (!d)
            return;
        SendCommand(d, IDCANCEL);
        SendCommand(d, IDOK);
        ::PostMessageW(d, WM_KEYDOWN, VK_ESCAPE, 0);
        ::PostMessageW(d, WM_KEYDOWN, VK_RETURN, 0);
        // Posted messages are taken before any timer message, so once a tick
        // shows 42 % the keys above have been handled.
        dialog.SetCurrent(42, 0);
        ::PostMessageW(d, WM_TIMER, 1, 0);
        HWND label = LabelOf(d);
        sawTick = WaitUntil([&] { return WindowText(label) == L"42 %"; }, 5000);
        openAfterKeys = ::IsWindow(d) && ::IsWindowVisible(d);
        PostClose(d);
    });
    dialog.DoModal(nullptr);
    robot.Join();
    EXPECT_TRUE(sawTick);
    EXPECT_TRUE(openAfterKeys);
    EXPECT_TRUE(dialog.IsCancelled()); // closed by the user while running
}

} // namespace
