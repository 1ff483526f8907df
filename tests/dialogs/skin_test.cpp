// The skinned controls on real windows: attached controls behave like the
// standard ones (typing, clicks reaching the parent, list-view operations),
// GetText returns exactly the control's text, and the banner control paints
// the banner bitmap with a sunken line on its bottom row.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/skin.h"
#include "framework/window_impl.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

// A visible top-level window that records the commands its children send.
class CommandRecorder
    : public CWindowImpl<CommandRecorder, CWindow, CWinTraits<WS_POPUP | WS_VISIBLE>> {
public:
    std::vector<std::pair<int, int>> commands; // (id, code)

    BEGIN_MSG_MAP(CommandRecorder)
        MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()

    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL&) {
        commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return 0;
    }
};

class SkinTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&init);
    }
    void SetUp() override {
        RECT r = {40, 40, 740, 200};
        ASSERT_NE(parent_.Create(nullptr, &r), nullptr);
    }
    void TearDown() override { parent_.DestroyWindow(); }

    HWND Child(const wchar_t* className, DWORD style, int id, int x, int y, int cx, int cy) {
        return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, x, y, cx, cy,
                                 parent_.m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 nullptr, nullptr);
    }

    CommandRecorder parent_;
};

TEST_F(SkinTest, GetTextReturnsExactlyTheText) {
    CZelEdit edit;
    ASSERT_TRUE(
        edit.SubclassWindow(Child(L"EDIT", ES_PASSWORD | ES_AUTOHSCROLL, 1002, 0, 0, 200, 20)));
    const std::wstring texts[] = {L"",
                                  L"x",
                                  L"pass Word 123",
                                  std::wstring(300, L'a'),
                                  L"\u00fc\u00f1\u00ee \u20ac",
                                  L"  leading and trailing  "};
    for (const std::wstring& text : texts) {
        edit.SetText(text);
        EXPECT_EQ(edit.GetText(), text) << "length " << text.size();
    }
}

TEST_F(SkinTest, TypingReachesTheEditControl) {
    CZelEdit edit;
    ASSERT_TRUE(
        edit.SubclassWindow(Child(L"EDIT", ES_PASSWORD | ES_AUTOHSCROLL, 1002, 0, 0, 200, 20)));
    for (wchar_t c : std::wstring(L"Secret1"))
        ::SendMessageW(edit.m_hWnd, WM_CHAR, c, 1);
    EXPECT_EQ(edit.GetText(), L"Secret1");
    EXPECT_NE(edit.GetPasswordChar(), 0);
}

TEST_F(SkinTest, ClicksOnASkinnedButtonReachTheParent) {
    CZelButton button;
    ASSERT_TRUE(button.SubclassWindow(Child(L"BUTTON", BS_PUSHBUTTON, 1006, 10, 40, 80, 24)));
    button.SetText(L"Add");
    parent_.commands.clear();
    button.Click();
    PumpPending();
    ASSERT_EQ(parent_.commands.size(), 1u);
    EXPECT_EQ(parent_.commands[0], std::make_pair(1006, BN_CLICKED));
    EXPECT_EQ(button.GetText(), L"Add");
}

TEST_F(SkinTest, SkinnedListViewKeepsTheListOperations) {
    CZelListViewCtrl list;
    ASSERT_TRUE(
        list.SubclassWindow(Child(WC_LISTVIEWW, LVS_REPORT | LVS_ALIGNLEFT, 1008, 0, 0, 640, 120)));
    EXPECT_EQ(list.InsertColumn(0, L"Path"), 0);
    EXPECT_EQ(list.InsertColumn(1, L"Date"), 1);
    EXPECT_TRUE(list.SetColumnWidth(0, 320));
    EXPECT_EQ(list.GetColumnWidth(0), 320);

    const std::wstring longPath = L"C:\\" + std::wstring(700, L'p') + L"\\file.txt";
    const wchar_t* paths[] = {L"C:\\b.txt", longPath.c_str(), L"C:\\Data\\"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.InsertItem(LVIF_TEXT | LVIF_IMAGE, i, L"", 0, 0, 0, 0), i);
        EXPECT_TRUE(list.SetItemText(i, 0, paths[i]));
        EXPECT_TRUE(list.SetItemText(i, 1, L"Wed Jan 02 09:05:07 2013\n"));
    }
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(1, 0), longPath); // longer than the first buffer
    EXPECT_EQ(list.GetItemText(0, 1), L"Wed Jan 02 09:05:07 2013\n");

    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 0);
    EXPECT_EQ(list.GetNextItem(0, LVNI_SELECTED), 2);
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetItemText(0, 0), longPath);
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST(SharedUiResources, HoldTheBannerAndTheIcon) {
    BITMAP banner = {};
    ASSERT_NE(SharedUiResources().Banner(), nullptr);
    ::GetObjectW(SharedUiResources().Banner(), sizeof(banner), &banner);
    EXPECT_EQ(banner.bmWidth, 640);
    EXPECT_EQ(banner.bmHeight, 80);
    EXPECT_NE(SharedUiResources().AppIcon(), nullptr);
}

TEST_F(SkinTest, TitleBarPaintsTheBannerWithASunkenBottomLine) {
    HWND control = Child(L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 1007, 0, 0, 640, 80);
    CTitleBar bar;
    ASSERT_TRUE(bar.SubclassWindow(control));
    ::RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpPending();

    const Pixels shown = CaptureClient(control);
    const Pixels banner = BitmapPixels(SharedUiResources().Banner());
    ASSERT_EQ(shown.width, 640);
    ASSERT_EQ(shown.height, 80);
    ASSERT_EQ(banner.colors.size(), shown.colors.size());

    size_t differentAbove = 0;
    for (size_t i = 0; i < 640 * 79; ++i)
        differentAbove += shown.colors[i] != banner.colors[i];
    EXPECT_EQ(differentAbove, 0u);

    // The bottom row is the edge's light line, not the banner's own row.
    size_t lineMatches = 0;
    for (int x = 0; x < 640; ++x)
        lineMatches += shown.At(x, 79) == ::GetSysColor(COLOR_3DLIGHT);
    EXPECT_EQ(lineMatches, 640u);
}

TEST_F(SkinTest, TitleBarStillNotifiesClicks) {
    HWND control = Child(L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 1007, 0, 0, 640, 80);
    CTitleBar bar;
    ASSERT_TRUE(bar.SubclassWindow(control));
    parent_.commands.clear();
    ::SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ::SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    PumpPending();
    ASSERT_FALSE(parent_.commands.empty());
    EXPECT_EQ(parent_.commands[0], std::make_pair(1007, STN_CLICKED));
}

} // namespace
