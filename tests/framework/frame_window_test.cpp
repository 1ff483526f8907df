// CFrameWindowImpl: the frame takes its caption, menu, accelerators and
// class icon from its common resource id, keeps its client window filling
// the client area, and ends the message loop with code 1 when destroyed.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/frame_window.h"
#include "framework/message_loop.h"
#include "framework/update_ui.h"
#include "resources/resource.h"
#include "support/robot.h"

using namespace driver;
using namespace testing_support;

namespace {

class TestFrame : public CFrameWindowImpl<TestFrame>, public CUpdateUI<TestFrame> {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, IDR_MAINFRAME)

    BEGIN_UPDATE_UI_MAP(TestFrame)
    END_UPDATE_UI_MAP()

    BEGIN_MSG_MAP(TestFrame)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        CHAIN_MSG_MAP(CFrameWindowImpl<TestFrame>)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
        m_hWndClient = ::CreateWindowExW(0, L"STATIC", L"client", WS_CHILD | WS_VISIBLE, 0, 0, 10,
                                         10, m_hWnd, nullptr, nullptr, nullptr);
        return 0;
    }
};

TEST(FrameWindow, TakesItsResourcesFromTheCommonId) {
    TestFrame frame;
    ASSERT_NE(frame.CreateEx(), nullptr);
    EXPECT_EQ(WindowText(frame.m_hWnd), L"Tessalock v1.3");
    EXPECT_NE(frame.GetMenu(), nullptr);
    EXPECT_NE(frame.m_hAccel, nullptr);
    DWORD style = frame.GetStyle();
    EXPECT_EQ(style & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS),
              DWORD(WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS));
    EXPECT_EQ(frame.GetExStyle() & (WS_EX_APPWINDOW | WS_EX_WINDOWEDGE),
              DWORD(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE));

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wchar_t name[64] = {};
    ::GetClassNameW(frame.m_hWnd, name, 64);
    ASSERT_TRUE(::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    EXPECT_NE(wc.hIcon, nullptr);
    EXPECT_NE(wc.hIconSm, nullptr);
    EXPECT_FALSE(frame.UIEnable(ID_FILE_NEW, false)); // the map is empty
    frame.DestroyWindow();
}

void CALLBACK QuitAfterTimeout(HWND, UINT, UINT_PTR, DWORD) {
    ::PostQuitMessage(-99);
}

TEST(FrameWindow, ClientFillsTheClientAreaAndDestroyQuitsWithOne) {
    TestFrame frame;
    RECT start = {0, 0, 640, 480};
    ASSERT_NE(frame.CreateEx(nullptr, &start), nullptr);
    frame.MoveWindow(0, 0, 500, 300, true);
    RECT client;
    frame.GetClientRect(&client);
    RECT child = RectIn(frame.m_hWndClient, frame.m_hWnd);
    EXPECT_TRUE(::EqualRect(&client, &child));

    CMessageLoop loop;
    // Ends a loop that the frame failed to end.
    UINT_PTR guard = ::SetTimer(nullptr, 0, 5000, QuitAfterTimeout);
    frame.PostMessage(WM_CLOSE);
    EXPECT_EQ(loop.Run(), 1);
    ::KillTimer(nullptr, guard);
    EXPECT_EQ(frame.m_hWnd, nullptr);
}

} // namespace
