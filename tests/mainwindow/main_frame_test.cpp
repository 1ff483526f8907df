// The main frame on the Xvfb screen: its fixed, centred geometry and styles,
// the view's fixed layout inside it, the keyboard filter (accelerators
// consumed without effect, Tab order through the view, Space on a button),
// and the graphical run ending with exit code 1 however the frame closes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/app_module.h"
#include "mainwindow/graphical_run.h"
#include "mainwindow/web_links.h"
#include "main_window_fixture.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;
using namespace mainwindow_tests;

namespace {

using MainFrameTest = MainWindowTest;

TEST_F(MainFrameTest, CentredFixedSizeWithoutMaximiseSizingBorderOrMenu) {
    RECT r = {};
    frame_.GetWindowRect(&r);
    int x = (::GetSystemMetrics(SM_CXSCREEN) - 640) / 2;
    int y = (::GetSystemMetrics(SM_CYSCREEN) - 480) / 2;
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_EQ(r.bottom - r.top, 480);

    DWORD style = frame_.GetStyle();
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_CAPTION | WS_SYSMENU),
              DWORD(WS_MINIMIZEBOX | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(frame_.GetExStyle() & (WS_EX_APPWINDOW | WS_EX_WINDOWEDGE),
              DWORD(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE));
    EXPECT_EQ(frame_.GetMenu(), nullptr);
    EXPECT_EQ(WindowText(frame_.m_hWnd), L"Tessalock v1.3");

    // Double-clicking the caption does not maximise.
    POINT caption = {(r.left + r.right) / 2, r.top + 5};
    frame_.SendMessage(WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(caption.x, caption.y));
    PumpPending();
    RECT after = {};
    frame_.GetWindowRect(&after);
    EXPECT_TRUE(::EqualRect(&r, &after));
}

// At 96 DPI. The view's client area is what the frame's caption and borders
// leave of 640 x 480 (630 x 451 here): the banner, the list and the group box
// span it and the box reaches its bottom, so nothing is cut off; Add and
// Encrypt >> keep their distances from its right edge.
TEST_F(MainFrameTest, ViewFillsTheClientAreaWithControlsAtFixedPlaces) {
    RECT client = {};
    frame_.GetClientRect(&client);
    RECT view = RectIn(View(), frame_.m_hWnd);
    EXPECT_TRUE(::EqualRect(&client, &view));
    EXPECT_EQ(frame_.m_hWndClient, View());

    RECT inner = {};
    ::GetClientRect(View(), &inner);
    const int width = inner.right;
    const int height = inner.bottom;
    RECT encrypt = RectIn(::GetDlgItem(View(), IDC_ENCRYPT), View());
    const int buttonWidth = encrypt.right - encrypt.left;
    // Controls that keep their template size are checked for place only.
    const struct {
        int id;
        RECT place;
        bool sized;
    } layout[] = {
        {IDC_BANNER, {0, 0, width, 80}, true},
        {IDC_HINT, {10, 90, 0, 0}, false},
        {IDC_FILE_LIST, {0, 110, width, 360}, true},
        {IDC_FRAME_BOX, {0, 360, width, height}, true},
        {IDC_ABOUT, {10, 400, 0, 0}, false},
        {IDC_HELP_BUTTON, {100, 400, 0, 0}, false},
        {IDC_ADD, {width - 10 - 2 * buttonWidth - 15, 400, 0, 0}, false},
        {IDC_ENCRYPT, {width - 10 - buttonWidth, 400, 0, 0}, false},
    };
    for (const auto& c : layout) {
        RECT r = RectIn(::GetDlgItem(View(), c.id), View());
        EXPECT_EQ(r.left, c.place.left) << c.id;
        EXPECT_EQ(r.top, c.place.top) << c.id;
        if (c.sized) {
            EXPECT_EQ(r.right, c.place.right) << c.id;
            EXPECT_EQ(r.bottom, c.place.bottom) << c.id;
        }
    }
    // The group box lies behind the buttons drawn on it.
    EXPECT_EQ(::GetWindow(::GetDlgItem(View(), IDC_FRAME_BOX), GW_HWNDNEXT), nullptr);
}

// Tab follows the reading order on screen: the list, then the buttons from
// left to right.
TEST_F(MainFrameTest, TabCyclesThroughTheViewInReadingOrder) {
    ::SetFocus(List());
    ASSERT_EQ(::GetFocus(), List());
    std::vector<int> forward;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(Press(VK_TAB));
        forward.push_back(::GetDlgCtrlID(::GetFocus()));
    }
    EXPECT_EQ(forward,
              (std::vector<int>{IDC_ABOUT, IDC_HELP_BUTTON, IDC_ADD, IDC_ENCRYPT, IDC_FILE_LIST}));
    EXPECT_TRUE(Press(VK_TAB, {VK_SHIFT}));
    EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_ENCRYPT);

    // The buttons' places on screen match that order.
    int previousLeft = -1;
    for (int id : {IDC_ABOUT, IDC_HELP_BUTTON, IDC_ADD, IDC_ENCRYPT}) {
        RECT r = RectIn(::GetDlgItem(View(), id), View());
        EXPECT_GT(r.left, previousLeft) << id;
        previousLeft = r.left;
    }
}

std::vector<std::wstring>* g_opened = nullptr;
void RecordPage(const std::wstring& address) {
    g_opened->push_back(address);
}

TEST_F(MainFrameTest, SpacePressesTheFocusedButton) {
    std::vector<std::wstring> opened;
    g_opened = &opened;
    PageOpener previous = SetPageOpener(RecordPage);
    HWND help = ::GetDlgItem(View(), IDC_HELP_BUTTON);
    ::SetFocus(help);
    Press(VK_SPACE, {}, help);
    SetPageOpener(previous);
    EXPECT_EQ(opened, std::vector<std::wstring>{WebPagePath(WebPage::Help)});
}

TEST_F(MainFrameTest, AcceleratorKeysAreConsumedAndDoNothing) {
    ScratchDir scratch;
    ASSERT_TRUE(WriteFileText(scratch / L"kept.txt", "x"));
    Drop({scratch / L"kept.txt"});
    const struct {
        const char* name;
        std::initializer_list<int> held;
        UINT key;
    } keys[] = {
        {"Ctrl+N", {VK_CONTROL}, 'N'},
        {"Ctrl+O", {VK_CONTROL}, 'O'},
        {"Ctrl+S", {VK_CONTROL}, 'S'},
        {"Ctrl+P", {VK_CONTROL}, 'P'},
        {"F6", {}, VK_F6},
        {"Shift+F6", {VK_SHIFT}, VK_F6},
    };
    for (HWND target : {List(), frame_.m_hWnd}) {
        for (const auto& k : keys) {
            EXPECT_TRUE(Press(k.key, k.held, target)) << k.name;
            EXPECT_TRUE(frame_.IsWindowVisible()) << k.name;
            EXPECT_EQ(Rows().size(), 1u) << k.name;
            EXPECT_EQ(FindProcessWindow(L"#32770", nullptr), nullptr) << k.name;
        }
    }
}

TEST_F(MainFrameTest, IdleAsksForNoMoreCalls) {
    EXPECT_FALSE(frame_.OnIdle());
}

struct CloseCase {
    const char* name;
    std::function<void(HWND)> close;
};

TEST(GraphicalRun, EndsWithOneHoweverTheFrameCloses) {
    const CloseCase cases[] = {
        {"WM_CLOSE", [](HWND frame) { PostClose(frame); }},
        {"system close", [](HWND frame) { ::PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Exit command", [](HWND frame) { ::PostMessageW(frame, WM_COMMAND, ID_APP_EXIT, 0); }},
    };
    for (const CloseCase& c : cases) {
        bool registered = false;
        bool shown = false;
        Robot robot([&] {
            HWND frame = WaitForTopLevel(IsMainFrame);
            if (!frame)
                return;
            registered = g_appModule.GetMessageLoop(::GetWindowThreadProcessId(frame, nullptr));
            shown = ::IsWindowVisible(frame) != FALSE;
            // The New command is handled and does nothing.
            ::SendMessageW(frame, WM_COMMAND, ID_FILE_NEW, 0);
            c.close(frame);
        });
        EXPECT_EQ(RunMainWindow(nullptr, SW_SHOW), 1) << c.name;
        robot.Join();
        EXPECT_TRUE(registered) << c.name;
        EXPECT_TRUE(shown) << c.name;
        EXPECT_EQ(g_appModule.GetMessageLoop(), nullptr) << c.name;
    }
}

} // namespace
