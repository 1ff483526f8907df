// Every window of the program, laid out on a real screen and read back: each
// control lies inside its window's client area, no two controls overlap (a
// group box holds the buttons drawn on it), and every text fits its control
// in the control's own font. Each window is checked at the screen's DPI and
// again after being told, as Windows tells it, that it moved to a monitor at
// 96, 120, 144 and 192 DPI. The suite runs twice: in the main Wine prefix
// (96 DPI) and in the one scripts/test.sh prepares at 144 DPI; the screen's
// DPI it expects comes in TL_EXPECTED_DPI.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "dialogs/password_dialogs.h"
#include "dialogs/progress.h"
#include "framework/dpi.h"
#include "main_window_fixture.h"
#include "mainwindow/about.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;
using namespace mainwindow_tests;

namespace {

using Problems = std::vector<std::string>;

const UINT kMonitorDpis[] = {96, 120, 144, 192};

std::string Describe(HWND hwnd) {
    return Narrow(ClassNameOf(hwnd)) + " " + std::to_string(::GetDlgCtrlID(hwnd)) + " \"" +
           Narrow(WindowText(hwnd)) + "\"";
}

std::string Describe(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool IsGroupBox(HWND hwnd) {
    return _wcsicmp(ClassNameOf(hwnd).c_str(), L"Button") == 0 &&
           (::GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The text's extent in the control's own font.
SIZE TextExtent(HWND control, const std::wstring& text, UINT format, int width) {
    ScopedWindowDC dc(control);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    ScopedSelectObject selected(dc.Dc(), font ? font : ::GetStockObject(SYSTEM_FONT));
    RECT r = {0, 0, width, 0};
    ::DrawTextW(dc.Dc(), text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    return SIZE{r.right, r.bottom};
}

int LineHeight(HWND control) {
    return TextExtent(control, L"Ag", DT_SINGLELINE, 1000).cy;
}

// The link text of a SysLink control without its markup.
std::wstring LinkText(const std::wstring& markup) {
    std::wstring text;
    bool inTag = false;
    for (wchar_t c : markup) {
        if (c == L'<')
            inTag = true;
        else if (c == L'>')
            inTag = false;
        else if (!inTag)
            text += c;
    }
    return text;
}

// Whether a control shows all of its text (or its icon).
void CheckContent(HWND control, Problems& problems) {
    const std::wstring className = ClassNameOf(control);
    const std::wstring text = WindowText(control);
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(control, GWL_STYLE));
    RECT client = {};
    ::GetClientRect(control, &client);
    auto report = [&](const std::string& what) {
        problems.push_back(Describe(control) + ": " + what + " in a client area of " +
                           std::to_string(client.right) + " x " + std::to_string(client.bottom));
    };

    if (_wcsicmp(className.c_str(), L"Static") == 0) {
        const DWORD type = style & SS_TYPEMASK;
        if (type == SS_ICON) {
            HICON icon = reinterpret_cast<HICON>(::SendMessageW(control, STM_GETICON, 0, 0));
            ICONINFO info = {};
            if (icon && ::GetIconInfo(icon, &info)) {
                // The icon's bitmaps are copies that the caller owns.
                UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
                BITMAP bits = {};
                ::GetObjectW(mask.Get(), sizeof(bits), &bits);
                int height = color ? bits.bmHeight : bits.bmHeight / 2;
                if (bits.bmWidth > client.right || height > client.bottom)
                    report("icon of " + std::to_string(bits.bmWidth) + " x " +
                           std::to_string(height));
            }
            return;
        }
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP)
            return;
        if (text.empty())
            return;
        const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
        if (style & SS_ELLIPSISMASK) {
            // One line, cut with an ellipsis by design: the line must fit.
            if (LineHeight(control) > client.bottom)
                report("a line of height " + std::to_string(LineHeight(control)));
            return;
        }
        const UINT wrap = type == SS_LEFTNOWORDWRAP ? DT_SINGLELINE : DT_WORDBREAK;
        SIZE need = TextExtent(control, text, wrap | DT_EXPANDTABS | prefix, client.right);
        if (need.cx > client.right || need.cy > client.bottom)
            report("text of " + std::to_string(need.cx) + " x " + std::to_string(need.cy));
        return;
    }
    if (_wcsicmp(className.c_str(), L"Button") == 0) {
        const DWORD type = style & BS_TYPEMASK;
        if ((type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) || text.empty())
            return;
        // The button's edge and focus rectangle take three pixels a side.
        SIZE need = TextExtent(control, text, DT_SINGLELINE, 1000);
        if (need.cx + 6 > client.right || need.cy + 4 > client.bottom)
            report("text of " + std::to_string(need.cx) + " x " + std::to_string(need.cy));
        return;
    }
    if (_wcsicmp(className.c_str(), L"Edit") == 0) {
        if (LineHeight(control) > client.bottom)
            report("a line of height " + std::to_string(LineHeight(control)));
        return;
    }
    if (_wcsicmp(className.c_str(), L"SysLink") == 0) {
        SIZE need = TextExtent(control, LinkText(text), DT_SINGLELINE, 1000);
        if (need.cx > client.right || need.cy > client.bottom)
            report("link text of " + std::to_string(need.cx) + " x " + std::to_string(need.cy));
    }
}

// Every visible control of window: inside its client area, apart from the
// others (a group box may hold controls), showing all its content.
Problems LayoutProblems(HWND window) {
    Problems problems;
    RECT client = {};
    ::GetClientRect(window, &client);
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(window, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::IsWindowVisible(child))
            children.push_back(child);
    }
    for (size_t i = 0; i < children.size(); ++i) {
        RECT r = RectIn(children[i], window);
        if (!Contains(client, r))
            problems.push_back(Describe(children[i]) + " at " + Describe(r) +
                               " leaves the client area " + Describe(client));
        for (size_t j = i + 1; j < children.size(); ++j) {
            RECT other = RectIn(children[j], window);
            RECT common = {};
            if (!::IntersectRect(&common, &r, &other))
                continue;
            if ((IsGroupBox(children[i]) && Contains(r, other)) ||
                (IsGroupBox(children[j]) && Contains(other, r)))
                continue;
            problems.push_back(Describe(children[i]) + " at " + Describe(r) + " overlaps " +
                               Describe(children[j]) + " at " + Describe(other));
        }
        CheckContent(children[i], problems);
    }
    return problems;
}

// What Windows suggests when a window moves to a monitor at dpi: the same
// top left corner, the size scaled by the ratio of the DPIs.
RECT SuggestedRect(HWND window, UINT from, UINT to) {
    RECT r = {};
    ::GetWindowRect(window, &r);
    auto scale = [&](LONG v) { return ::MulDiv(v, static_cast<int>(to), static_cast<int>(from)); };
    return RECT{r.left, r.top, r.left + scale(r.right - r.left), r.top + scale(r.bottom - r.top)};
}

void MoveToDpi(HWND window, UINT from, UINT to) {
    RECT suggested = SuggestedRect(window, from, to);
    ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
}

// Checks window at the screen's DPI, then at each monitor DPI in turn, and
// back at the screen's DPI; check gives the problems for one DPI.
Problems AtEveryDpi(HWND window, const std::function<Problems(UINT dpi)>& check) {
    Problems all;
    auto collect = [&](UINT dpi) {
        for (const std::string& p : check(dpi))
            all.push_back("at " + std::to_string(dpi) + " DPI: " + p);
    };
    const UINT screen = SystemDpi();
    collect(screen);
    UINT current = screen;
    for (UINT dpi : kMonitorDpis) {
        MoveToDpi(window, current, dpi);
        current = dpi;
        collect(dpi);
    }
    MoveToDpi(window, current, screen);
    collect(screen);
    return all;
}

// The templates' fonts are 8 points high: so many pixels at dpi.
void CheckTemplateFont(HWND control, UINT dpi, Problems& problems) {
    LOGFONTW font = {};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font),
                 &font);
    if (font.lfHeight != -::MulDiv(8, static_cast<int>(dpi), 72))
        problems.push_back(Describe(control) + " has a font " + std::to_string(font.lfHeight) +
                           " pixels high");
}

std::string Join(const Problems& problems) {
    std::string text;
    for (const std::string& p : problems)
        text += p + "\n";
    return text;
}

TEST(Screen, HasTheDpiThisRunIsFor) {
    const char* expected = std::getenv("TL_EXPECTED_DPI");
    if (!expected)
        GTEST_SKIP() << "TL_EXPECTED_DPI is not set";
    EXPECT_EQ(SystemDpi(), static_cast<UINT>(std::atoi(expected)))
        << "the Wine prefix is not at the DPI this run is for (scripts/test.sh prepares it)";
}

class MainWindowLayout : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Enough rows for the list's scroll bars.
        std::vector<std::wstring> names;
        for (int i = 0; i < 30; ++i) {
            names.push_back(scratch_ /
                            (L"file with a rather long name " + std::to_wstring(i) + L".txt"));
            ASSERT_TRUE(WriteFileText(names.back(), "x"));
        }
        Drop(names);
        ASSERT_EQ(Rows().size(), names.size());
    }

    Problems Check(UINT dpi) {
        PumpPending();
        Problems problems;
        auto scale = [dpi](int v) { return ScaleForDpi(v, dpi); };
        // 640 x 480 at 96 DPI, unless the screen is too small for that.
        RECT frame = {};
        frame_.GetWindowRect(&frame);
        int width = std::min(scale(640), ::GetSystemMetrics(SM_CXMAXTRACK));
        int height = std::min(scale(480), ::GetSystemMetrics(SM_CYMAXTRACK));
        if (frame.right - frame.left != width || frame.bottom - frame.top != height)
            problems.push_back("the frame is " + Describe(frame));
        RECT client = {};
        frame_.GetClientRect(&client);
        RECT view = RectIn(View(), frame_.m_hWnd);
        if (!::EqualRect(&view, &client))
            problems.push_back("the view " + Describe(view) + " does not fill the client area " +
                               Describe(client));
        RECT viewClient = {};
        ::GetClientRect(View(), &viewClient);
        // The list and the group box span the width; the box reaches the bottom.
        RECT list = RectIn(List(), View());
        RECT box = RectIn(::GetDlgItem(View(), IDC_FRAME_BOX), View());
        RECT banner = RectIn(::GetDlgItem(View(), IDC_BANNER), View());
        if (list.left != 0 || list.right != viewClient.right)
            problems.push_back("the list " + Describe(list) + " does not span the view");
        // Its columns fit beside the vertical scroll bar (unless the screen is
        // too small for the frame).
        const bool fullSize = width == scale(640) && height == scale(480);
        if (fullSize && (::GetWindowLongW(List(), GWL_STYLE) & WS_HSCROLL))
            problems.push_back("the list has a horizontal scroll bar");
        if (box.left != 0 || box.right != viewClient.right || box.bottom != viewClient.bottom)
            problems.push_back("the group box " + Describe(box) + " does not fill the bottom of " +
                               Describe(viewClient));
        if (banner.bottom - banner.top != scale(80))
            problems.push_back("the banner " + Describe(banner) +
                               " is not 80 pixels high at 96 DPI");
        for (const std::string& p : LayoutProblems(View()))
            problems.push_back(p);
        for (int id : {IDC_HINT, IDC_FILE_LIST, IDC_ABOUT, IDC_ENCRYPT})
            CheckTemplateFont(::GetDlgItem(View(), id), dpi, problems);
        return problems;
    }

    ScratchDir scratch_;
};

TEST_F(MainWindowLayout, FitsAtEveryDpi) {
    Problems problems = AtEveryDpi(frame_.m_hWnd, [this](UINT dpi) { return Check(dpi); });
    EXPECT_TRUE(problems.empty()) << Join(problems);
}

// The banner is drawn from a picture of its own size at 96 and 192 DPI, not
// from an enlargement.
TEST_F(MainWindowLayout, BannerIsDrawnFromThePictureForTheDpi) {
    HWND banner = ::GetDlgItem(View(), IDC_BANNER);
    const struct {
        UINT dpi;
        HBITMAP picture;
    } cases[] = {{96, SharedUiResources().Banner()}, {192, SharedUiResources().LargeBanner()}};
    UINT current = SystemDpi();
    for (const auto& c : cases) {
        MoveToDpi(frame_.m_hWnd, current, c.dpi);
        current = c.dpi;
        PumpPending();
        // A bitmap can be in one DC at a time: the banner's own drawing
        // needs the picture until it has been printed.
        const Pixels shown = PrintClient(banner, PRF_CLIENT);
        const Pixels expected = BitmapPixels(c.picture);
        int differing = 0;
        // The bottom row carries the sunken line; compare the rest on a grid.
        for (int y = 0; y < shown.height - 2; y += 3) {
            for (int x = 0; x < shown.width; x += 3)
                differing += x >= expected.width || y >= expected.height ||
                             shown.At(x, y) != expected.At(x, y);
        }
        EXPECT_EQ(shown.height, ScaleForDpi(80, c.dpi)) << c.dpi;
        EXPECT_EQ(differing, 0) << c.dpi;
    }
    MoveToDpi(frame_.m_hWnd, current, SystemDpi());
}

// Runs a modal dialog and has the robot check it at every DPI once it shows.
Problems CheckModal(const wchar_t* caption, const std::function<void()> run) {
    Problems problems;
    Robot robot([&] {
        HWND dialog = WaitForDialog(caption);
        if (!dialog) {
            problems.push_back("the dialog did not show");
            return;
        }
        problems = AtEveryDpi(dialog, [&](UINT dpi) {
            Problems found = LayoutProblems(dialog);
            for (HWND child = ::GetWindow(dialog, GW_CHILD); child;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                // An icon has no font.
                const bool icon = _wcsicmp(ClassNameOf(child).c_str(), L"Static") == 0 &&
                                  (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
                if (!icon)
                    CheckTemplateFont(child, dpi, found);
            }
            return found;
        });
        PostClose(dialog);
    });
    run();
    robot.Join();
    return problems;
}

class DialogLayout : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LINK_CLASS | ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
    }
    ScratchDir dir_;
};

TEST_F(DialogLayout, EncryptionDialogFitsAtEveryDpi) {
    const std::wstring item = dir_ / L"Holiday photos from the summer of 2013, sorted by day";
    ASSERT_TRUE(MakeDir(item));
    Problems problems = CheckModal(L"Tessalock-Encrypt", [&] {
        const wchar_t* paths[] = {item.c_str()};
        CDialogEncrypt dialog(paths, 1);
        dialog.DoModal(nullptr);
    });
    EXPECT_TRUE(problems.empty()) << Join(problems);
}

TEST_F(DialogLayout, DecryptionDialogFitsAtEveryDpi) {
    const std::wstring container = dir_ / L"Holiday photos from the summer of 2013.lock";
    ASSERT_TRUE(WriteFileText(container, "x"));
    Problems problems = CheckModal(L"Tessalock-Decrypt", [&] {
        CDialogDecrypt dialog(container);
        dialog.DoModal(nullptr);
    });
    EXPECT_TRUE(problems.empty()) << Join(problems);
}

TEST_F(DialogLayout, AboutBoxFitsAtEveryDpi) {
    Problems problems = CheckModal(L"About", [] {
        CAboutDlg2 about;
        about.DoModal(nullptr);
    });
    EXPECT_TRUE(problems.empty()) << Join(problems);
}

TEST_F(DialogLayout, ProgressWindowFitsAtEveryDpi) {
    CDialogProgress progress;
    HWND window = progress.Create(nullptr);
    ASSERT_NE(window, nullptr);
    ::ShowWindow(window, SW_SHOW);
    progress.SetTotal(1000);
    progress.SetCurrent(999, 0);
    ::SendMessageW(window, WM_TIMER, 1, 0);
    Problems problems = AtEveryDpi(window, [&](UINT dpi) {
        PumpPending();
        Problems found = LayoutProblems(window);
        HWND label = FindChildByClass(window, L"Static");
        // The label spans the window's width, on which the bar is centred;
        // the frame hides its last few pixels, which hold no text.
        const std::string labelLeaves = Describe(label) + " at ";
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](const std::string& p) {
                                       return p.compare(0, labelLeaves.size(), labelLeaves) == 0 &&
                                              p.find("leaves the client area") != std::string::npos;
                                   }),
                    found.end());
        LOGFONTW font = {};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)), sizeof(font),
                     &font);
        if (font.lfHeight != -ScaleForDpi(12, dpi))
            found.push_back("the label's font is " + std::to_string(font.lfHeight) + " high");
        // The background reaches the far corner of the (larger) client area.
        ::RedrawWindow(window, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT client = {};
        ::GetClientRect(window, &client);
        const Pixels shown = CaptureClient(window);
        if (shown.colors.empty() ||
            shown.At(client.right - 2, client.bottom - 2) != RGB(220, 230, 244))
            found.push_back("the background is not painted at the client's far corner");
        return found;
    });
    ::DestroyWindow(window);
    EXPECT_TRUE(problems.empty()) << Join(problems);
}

} // namespace
