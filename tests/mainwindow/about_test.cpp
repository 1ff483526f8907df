// The About box opened from the view: centred on the screen's work area,
// modal over the main window, with the application icon; its close button
// and Esc end it with code 8, and its link opens the maker's page.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "dialogs/skin.h"
#include "mainwindow/about.h"
#include "mainwindow/web_links.h"
#include "main_window_fixture.h"
#include "support/robot.h"

using namespace driver;
using namespace testing_support;
using namespace mainwindow_tests;

namespace {

std::vector<std::wstring>* g_opened = nullptr;
void RecordPage(const std::wstring& address) {
    g_opened->push_back(address);
}

class AboutTest : public MainWindowTest {};

TEST_F(AboutTest, OpensCentredAndModalAndClosesByItsCloseButton) {
    bool frameDisabled = false;
    RECT box = {};
    HICON icon = nullptr;
    HWND about = nullptr;
    Robot robot([&] {
        about = WaitForDialog(L"About");
        if (!about)
            return;
        ::GetWindowRect(about, &box);
        frameDisabled = !::IsWindowEnabled(frame_.m_hWnd);
        icon = reinterpret_cast<HICON>(::SendMessageW(about, WM_GETICON, ICON_BIG, 0));
        ::SendMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0);
        WaitForWindowGone(about);
    });
    ClickButton(View(), IDC_ABOUT);
    robot.Join();

    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(::IsWindow(about));
    EXPECT_TRUE(frameDisabled);
    EXPECT_TRUE(::IsWindowEnabled(frame_.m_hWnd));
    EXPECT_EQ(icon, SharedUiResources().AppIcon());
    RECT work = {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((box.left + box.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((box.top + box.bottom) - (work.top + work.bottom)), 2);
}

struct EndCase {
    const char* name;
    std::function<void(HWND)> act;
};

TEST(AboutBox, EndsWithCodeEight) {
    const EndCase cases[] = {
        {"close message", [](HWND about) { PostClose(about); }},
        {"Esc", [](HWND about) { ::PostMessageW(about, WM_COMMAND, IDCANCEL, 0); }},
    };
    for (const EndCase& c : cases) {
        Robot robot([&] {
            if (HWND about = WaitForDialog(L"About"))
                c.act(about);
        });
        CAboutDlg2 about;
        EXPECT_EQ(about.DoModal(nullptr), 8) << c.name;
        robot.Join();
    }
}

TEST(AboutBox, LinkOpensTheMakersPage) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
    std::vector<std::wstring> opened;
    g_opened = &opened;
    PageOpener previous = SetPageOpener(RecordPage);
    Robot robot([&] {
        HWND about = WaitForDialog(L"About");
        if (!about)
            return;
        HWND link = ::GetDlgItem(about, IDC_ABOUT_LINK);
        ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 6));
        ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(4, 6));
        PostClose(about);
    });
    CAboutDlg2 about;
    about.DoModal(nullptr);
    robot.Join();
    SetPageOpener(previous);
    EXPECT_EQ(opened, std::vector<std::wstring>{WebPagePath(WebPage::Maker)});
}

} // namespace
