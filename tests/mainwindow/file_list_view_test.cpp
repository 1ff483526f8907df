// The file list view on a real main frame: adding by drop, Open dialog and
// menu (normalised paths, duplicates, roots, letter case, icons, dates and
// sizes), deleting with confirmation, the context menu, and the web pages
// behind Help and the banner.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "mainwindow/web_links.h"
#include "main_window_fixture.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;
using namespace mainwindow_tests;

namespace {

using Paths = std::vector<std::wstring>;

class FileListViewTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        file_ = scratch_ / L"notes.txt";
        folder_ = scratch_ / L"Photos";
        ASSERT_TRUE(WriteFileText(file_, "some notes"));
        ASSERT_TRUE(MakeDir(folder_));
    }

    // Clicks a view button and lets the robot script answer what it opens.
    void ClickWith(int id, const std::function<void()>& script) {
        RunWithRobot(script, [&] { ClickButton(View(), id); });
    }

    ScratchDir scratch_;
    std::wstring file_;
    std::wstring folder_;
};

TEST_F(FileListViewTest, ColumnsAndSystemImageList) {
    CListViewCtrl list(List());
    EXPECT_EQ(list.GetColumnWidth(0), 320);
    EXPECT_EQ(list.GetColumnWidth(1), 160);
    // Size keeps what the list leaves beside the others and a scroll bar.
    RECT r = {};
    list.GetWindowRect(&r);
    EXPECT_EQ(list.GetColumnWidth(2),
              std::min(160, int(r.right - r.left) - 480 - ::GetSystemMetrics(SM_CXVSCROLL)));
    const wchar_t* headings[] = {L"Path", L"Date", L"Size"};
    for (int column = 0; column < 3; ++column) {
        wchar_t text[32] = {};
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT;
        info.pszText = text;
        info.cchTextMax = 32;
        ASSERT_TRUE(list.SendMessage(LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info)));
        EXPECT_STREQ(text, headings[column]);
    }
    EXPECT_NE(list.GetImageList(LVSIL_SMALL), nullptr);
}

TEST_F(FileListViewTest, DropAddsFilesAndFoldersNormalised) {
    BoxWatcher boxes;
    Drop({file_, folder_});
    EXPECT_TRUE(boxes.Stop().empty());

    std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path, file_);
    EXPECT_EQ(rows[0].size, L"1 KB");
    EXPECT_EQ(rows[1].path, folder_ + L"\\");
    EXPECT_EQ(rows[1].size, L"");
    EXPECT_EQ(rows[1].date.size(), 24u);
    EXPECT_EQ(frame_.m_view.StoredPaths(), (Paths{folder_ + L"\\", file_}));
}

// Deep folders give names beyond 260 characters; each is added whole.
TEST_F(FileListViewTest, DropTakesNamesBeyond260CharactersWhole) {
    std::wstring deep = scratch_.Path();
    while (deep.size() <= 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(MakeDir(deep));
    }
    std::wstring file = deep + L"\\far down.txt";
    ASSERT_TRUE(WriteFileText(file, "far down"));
    BoxWatcher boxes;
    Drop({file, deep});
    EXPECT_TRUE(boxes.Stop().empty());
    EXPECT_EQ(RowPaths(), (Paths{file, deep + L"\\"}));
    // The rows come from snapshots of the long paths.
    const std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].size, L"1 KB");
    EXPECT_EQ(rows[0].date.size(), 24u);
    EXPECT_EQ(rows[1].date.size(), 24u);
}

TEST_F(FileListViewTest, RowsCarryTheShellIconIndex) {
    Drop({file_, folder_});
    CListViewCtrl list(List());
    for (int row = 0; row < 2; ++row) {
        std::wstring path = list.GetItemText(row, 0);
        SHFILEINFOW expected = {};
        ::SHGetFileInfoW(path.c_str(), 0, &expected, sizeof(expected), SHGFI_SYSICONINDEX);
        LVITEMW item = {};
        item.mask = LVIF_IMAGE | LVIF_PARAM;
        item.iItem = row;
        ASSERT_TRUE(list.GetItem(&item));
        EXPECT_EQ(item.iImage, expected.iIcon) << row;
        EXPECT_EQ(item.lParam, 0) << row;
    }
}

TEST_F(FileListViewTest, DuplicatesByDropDialogAndMenuGiveOneRowAndOneBoxEach) {
    // First by the Add button's Open dialog.
    ClickWith(IDC_ADD, [&] { ChooseInFileDialog(file_); });
    ASSERT_EQ(RowPaths(), Paths{file_});

    // Again by a drop, by the menu's Add, and twice within one drop.
    BoxWatcher boxes;
    Drop({file_});
    {
        // The box this choice brings is the watcher's: this robot closes
        // leftover dialogs soon after its script ends, and on a slow
        // machine it would close the box before the watcher read it.
        RunWithRobot(
            [&] {
                ChooseInFileDialog(file_);
                WaitUntil([&] { return boxes.Count() == 2; });
            },
            [&] { SendCommand(View(), ID_LIST_ADD, 0); });
    }
    Drop({folder_, folder_});
    std::vector<std::wstring> seen = boxes.Stop();

    std::wstring fileBox = file_ + L" has been existed.";
    std::wstring folderBox = folder_ + L"\\ has been existed.";
    EXPECT_EQ(seen, (std::vector<std::wstring>{fileBox, fileBox, folderBox}));
    EXPECT_EQ(RowPaths(), (Paths{file_, folder_ + L"\\"}));
}

TEST_F(FileListViewTest, FolderGivenWithItsBackslashIsTheSameKey) {
    BoxWatcher boxes;
    Drop({folder_ + L"\\", folder_});
    EXPECT_EQ(boxes.Stop(), std::vector<std::wstring>{folder_ + L"\\ has been existed."});
    EXPECT_EQ(RowPaths(), Paths{folder_ + L"\\"});
}

TEST_F(FileListViewTest, PathsThatCannotBeAddedAreIgnoredSilently) {
    const std::wstring ignored[] = {
        L"C:\\",                         // a drive root has no parent folder
        scratch_ / L"missing.txt",       // does not exist
        scratch_ / L"gone\\missing.txt", // neither does its folder
    };
    BoxWatcher boxes;
    for (const std::wstring& path : ignored)
        frame_.m_view.AddPath(path);
    EXPECT_TRUE(boxes.Stop().empty());
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(frame_.m_view.StoredPaths().empty());
}

TEST_F(FileListViewTest, LetterCaseMakesDifferentKeys) {
    std::wstring upper = scratch_.Path() + L"\\NOTES.TXT";
    BoxWatcher boxes;
    Drop({file_, upper});
    EXPECT_TRUE(boxes.Stop().empty());
    EXPECT_EQ(RowPaths(), (Paths{file_, upper}));
}

TEST_F(FileListViewTest, SizeCellsRoundUpToKilobytes) {
    const struct {
        size_t bytes;
        const wchar_t* size;
    } cases[] = {
        {0, L"0 KB"}, {1, L"1 KB"}, {1024, L"1 KB"}, {1025, L"2 KB"}, {1048576, L"1024 KB"}};
    Paths names;
    for (const auto& c : cases) {
        names.push_back(scratch_ / (L"size" + std::to_wstring(c.bytes)));
        ASSERT_TRUE(WriteFileBytes(names.back(), PatternBytes(c.bytes, 7)));
    }
    Drop(names);
    std::vector<Row> rows = Rows();
    ASSERT_EQ(rows.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(rows[i].size, cases[i].size) << cases[i].bytes;
}

TEST_F(FileListViewTest, DateCellShowsTheLastWriteTimeWithoutControlCharacters) {
    ASSERT_TRUE(SetLocalWriteTime(file_, 2013, 1, 2, 9, 5, 7));
    Drop({file_});
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0].date, L"Wed Jan 02 09:05:07 2013");
}

TEST_F(FileListViewTest, RowsAreNotRefreshedFromTheDisk) {
    Drop({file_});
    Row before = Rows()[0];
    ASSERT_TRUE(WriteFileBytes(file_, PatternBytes(5000, 1)));
    ASSERT_TRUE(SetLocalWriteTime(file_, 2001, 5, 6, 7, 8, 9));
    ASSERT_TRUE(::DeleteFileW(file_.c_str()));
    PumpPending();
    Row after = Rows()[0];
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.date, before.date);
}

class DeleteTest : public FileListViewTest {
protected:
    void SetUp() override {
        FileListViewTest::SetUp();
        for (const wchar_t* name : {L"d.txt", L"b.txt", L"c.txt", L"a.txt"}) {
            paths_.push_back(scratch_ / name);
            ASSERT_TRUE(WriteFileText(paths_.back(), "x"));
        }
        Drop(paths_);
        ASSERT_EQ(RowPaths(), paths_);
    }
    Paths paths_; // row order d, b, c, a
};

TEST_F(DeleteTest, YesRemovesExactlyTheSelectedRowsAndKeys) {
    Select({0, 2});
    BoxWatcher boxes(IDYES);
    SendCommand(View(), ID_LIST_DELETE, 0);
    EXPECT_EQ(boxes.Stop(), std::vector<std::wstring>{L"Confirm to delete?"});
    EXPECT_EQ(RowPaths(), (Paths{paths_[1], paths_[3]}));
    EXPECT_EQ(frame_.m_view.StoredPaths(), (Paths{paths_[3], paths_[1]}));
}

TEST_F(DeleteTest, RemovesRunsOfAdjacentRowsIncludingTheFirst) {
    Select({0, 1, 3});
    BoxWatcher boxes(IDYES);
    SendCommand(View(), ID_LIST_DELETE, 0);
    boxes.Stop();
    EXPECT_EQ(RowPaths(), Paths{paths_[2]});
    EXPECT_EQ(frame_.m_view.StoredPaths(), Paths{paths_[2]});
}

TEST_F(DeleteTest, NoKeepsEverything) {
    Select({1, 3});
    BoxWatcher boxes(IDNO);
    SendCommand(View(), ID_LIST_DELETE, 0);
    EXPECT_EQ(boxes.Stop(), std::vector<std::wstring>{L"Confirm to delete?"});
    EXPECT_EQ(RowPaths(), paths_);
    EXPECT_EQ(frame_.m_view.StoredPaths().size(), 4u);
}

TEST_F(DeleteTest, NoSelectionAsksNothing) {
    Select({});
    BoxWatcher boxes(IDYES);
    SendCommand(View(), ID_LIST_DELETE, 0);
    EXPECT_TRUE(boxes.Stop().empty());
    EXPECT_EQ(RowPaths(), paths_);
}

TEST_F(DeleteTest, DeletedPathCanBeAddedAgain) {
    Select({2});
    {
        BoxWatcher boxes(IDYES);
        SendCommand(View(), ID_LIST_DELETE, 0);
    }
    BoxWatcher boxes;
    Drop({paths_[2]});
    EXPECT_TRUE(boxes.Stop().empty());
    EXPECT_EQ(RowPaths(), (Paths{paths_[0], paths_[1], paths_[3], paths_[2]}));
}

// A right-click on the list opens the context menu; its Delete acts on the
// selection (a right-click on a selected row keeps the others selected).
TEST_F(DeleteTest, ContextMenuDeleteActsOnTheSelection) {
    Select({1, 3});
    RECT row = {LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(::SendMessageW(List(), LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&row)));
    LPARAM at = MAKELPARAM(60, (row.top + row.bottom) / 2);
    bool menuShown = false;
    Robot robot([&] {
        HWND menu = WaitForProcessWindow(L"#32768", nullptr, 5000);
        if (!menu)
            return;
        menuShown = true;
        // The popup's menu loop reads keys from the view's thread queue;
        // "d" is the mnemonic of "&Delete".
        ::PostMessageW(menu, WM_CHAR, L'd', 0);
        if (AnswerBox(IDYES, kAppCaption, 5000) == kNoBox)
            ::EndMenu(); // never leave the test thread inside the menu
    });
    // The list tracks the button until it is released: the release must
    // already wait in the queue when the press arrives.
    ::PostMessageW(List(), WM_RBUTTONUP, 0, at);
    ::SendMessageW(List(), WM_RBUTTONDOWN, MK_RBUTTON, at);
    PumpUntil([&] { return Rows().size() == 2; }, 5000);
    robot.Join();
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(RowPaths(), (Paths{paths_[0], paths_[2]}));
}

// ---- The list from the keyboard ---------------------------------------

struct DeleteKeyCase {
    const char* name;
    int answer;
    std::vector<int> remaining; // indexes into paths_
};

TEST_F(DeleteTest, DeleteKeyAsksLikeTheMenuAndActsOnTheAnswer) {
    // No first: it leaves the rows for the Yes case.
    const DeleteKeyCase cases[] = {{"No", IDNO, {0, 1, 2, 3}}, {"Yes", IDYES, {1, 3}}};
    for (const DeleteKeyCase& c : cases) {
        Select({0, 2});
        ::SetFocus(List());
        BoxWatcher boxes(c.answer);
        Press(VK_DELETE);
        EXPECT_EQ(boxes.Stop(), std::vector<std::wstring>{L"Confirm to delete?"}) << c.name;
        Paths expected;
        for (int i : c.remaining)
            expected.push_back(paths_[static_cast<size_t>(i)]);
        EXPECT_EQ(RowPaths(), expected) << c.name;
    }
}

TEST_F(DeleteTest, CtrlASelectsEveryRow) {
    Select({});
    ::SetFocus(List());
    Press('A', {VK_CONTROL});
    EXPECT_EQ(CListViewCtrl(List()).GetSelectedCount(), 4);
    // Without Ctrl, A is only a letter to search for.
    Select({});
    Press('A');
    EXPECT_LE(CListViewCtrl(List()).GetSelectedCount(), 1);
}

struct MenuKeyCase {
    const char* name;
    UINT key;
    std::initializer_list<int> held;
};

// The menu opens where the focused row is (not where the mouse happens to
// be), and its Delete acts on the selection.
TEST_F(DeleteTest, MenuKeysOpenTheMenuAtTheFocusedRow) {
    const MenuKeyCase cases[] = {{"Shift+F10", VK_F10, {VK_SHIFT}}, {"menu key", VK_APPS, {}}};
    for (const MenuKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Rows().size(), 4u);
        Select({1, 2});
        CListViewCtrl(List()).SetItemState(2, LVIS_FOCUSED, LVIS_FOCUSED);
        ::SetFocus(List());
        ::SetCursorPos(0, 0);
        RECT row = {LVIR_LABEL, 0, 0, 0};
        ASSERT_TRUE(::SendMessageW(List(), LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)));
        POINT expected = {row.left, row.bottom};
        ::ClientToScreen(List(), &expected);

        RECT menuRect = {};
        bool answered = false;
        Robot robot([&] {
            HWND menu = WaitForProcessWindow(L"#32768", nullptr, 5000);
            if (!menu)
                return;
            ::GetWindowRect(menu, &menuRect);
            ::PostMessageW(menu, WM_CHAR, L'd', 0); // "&Delete"
            answered = AnswerBox(IDYES, kAppCaption, 5000) != kNoBox;
            if (!answered)
                ::EndMenu();
        });
        Press(c.key, c.held, List(), c.key != VK_F10);
        PumpUntil([&] { return Rows().size() == 2; }, 5000);
        robot.Join();
        // Without the menu the rows cannot be put back: stop here.
        ASSERT_TRUE(answered);
        EXPECT_NEAR(menuRect.left, expected.x, 2);
        EXPECT_NEAR(menuRect.top, expected.y, 2);
        EXPECT_EQ(RowPaths(), (Paths{paths_[0], paths_[3]}));

        // Put the two rows back for the next key.
        Drop({paths_[1], paths_[2]});
        Paths again = {paths_[0], paths_[3], paths_[1], paths_[2]};
        ASSERT_EQ(RowPaths(), again);
        paths_ = again;
    }
}

// The share of a row's label pixels that show the list's own background:
// high for a row drawn as unselected, low for a highlighted one.
double PlainBackgroundShare(HWND list, int row) {
    const Pixels shown = PrintClient(list);
    RECT label = {LVIR_LABEL, 0, 0, 0};
    ::SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label));
    const COLORREF plain = ::GetSysColor(COLOR_WINDOW);
    int total = 0, same = 0;
    // The first 60 pixels of the label lie under the path's text.
    for (int y = label.top + 1; y < label.bottom - 1 && y < shown.height; ++y) {
        for (int x = label.left + 2; x < label.left + 62 && x < shown.width; ++x) {
            ++total;
            same += shown.At(x, y) == plain;
        }
    }
    return total ? static_cast<double>(same) / total : 1.0;
}

// While "Confirm to delete?" has the focus, the rows it is about are still
// drawn selected.
TEST_F(DeleteTest, SelectionStaysVisibleWhileTheConfirmationAsks) {
    Select({1});
    ::SetFocus(List());
    double selected = -1, unselected = -1;
    RunWithRobot(
        [&] {
            HWND box = WaitForDialog(kAppCaption, ::GetCurrentProcessId(), 5000);
            if (!box)
                return;
            selected = PlainBackgroundShare(List(), 1);
            unselected = PlainBackgroundShare(List(), 0);
            AnswerBox(box, IDNO);
        },
        [&] { SendCommand(View(), ID_LIST_DELETE, 0); });
    EXPECT_GT(unselected, 0.5);
    EXPECT_LT(selected, 0.2);
    EXPECT_EQ(RowPaths(), paths_);
}

// Records the pages the view asks to open instead of starting a browser.
std::vector<std::wstring>* g_openedPages = nullptr;
void RecordPage(const std::wstring& address) {
    g_openedPages->push_back(address);
}

class WebPageTest : public FileListViewTest {
protected:
    void SetUp() override {
        FileListViewTest::SetUp();
        g_openedPages = &opened_;
        previous_ = SetPageOpener(RecordPage);
    }
    void TearDown() override {
        SetPageOpener(previous_);
        g_openedPages = nullptr;
        FileListViewTest::TearDown();
    }
    std::vector<std::wstring> opened_;
    PageOpener previous_ = nullptr;
};

TEST_F(WebPageTest, HelpTwiceOpensTheHelpPageTwice) {
    ClickButton(View(), IDC_HELP_BUTTON);
    ClickButton(View(), IDC_HELP_BUTTON);
    std::wstring help = WebPagePath(WebPage::Help);
    EXPECT_EQ(opened_, (std::vector<std::wstring>{help, help}));
}

TEST_F(WebPageTest, BannerClickOpensTheProtectionPage) {
    HWND banner = ::GetDlgItem(View(), IDC_BANNER);
    ::SendMessageW(banner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    ::SendMessageW(banner, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(opened_, std::vector<std::wstring>{WebPagePath(WebPage::Protect)});
}

// A Linux path of this machine as the test sees it (drive Z: is the root).
std::wstring HostPath(const wchar_t* linuxPath) {
    std::wstring path = std::wstring(L"Z:") + linuxPath;
    for (wchar_t& c : path)
        c = c == L'/' ? L'\\' : c;
    return path;
}

// The program carries its pages: they are written out byte for byte, over a
// stale copy left by another version, so a lone Tessalock.exe has working
// links.
TEST(WebPages, AreWrittenOutOfTheResources) {
    ScratchDir scratch;
    const std::wstring folder = scratch / L"pages";
    const wchar_t* files[] = {L"help.html", L"protect.html", L"about.html", L"tessalock.css"};
    for (const char* round : {"fresh folder", "stale copy"}) {
        ASSERT_TRUE(WriteWebPages(folder)) << round;
        for (const wchar_t* name : files) {
            Bytes source = ReadFileBytes(HostPath(TL_SOURCE_DIR L"/docs/web/") + name);
            ASSERT_FALSE(source.empty()) << Narrow(name);
            EXPECT_EQ(ReadFileBytes(folder + L"\\" + name), source) << round << " " << Narrow(name);
        }
        ASSERT_TRUE(WriteFileText(folder + L"\\help.html", "<html>an older version</html>"));
    }
    for (WebPage page : {WebPage::Help, WebPage::Protect, WebPage::Maker})
        EXPECT_EQ(WebPagePath(page), WebPagesFolder() + WebPageFileName(page));
}

struct PageFailureCase {
    const char* name;
    void (*show)(const std::wstring& path);
    const wchar_t* page; // below the scratch folder
};

// Help that cannot be shown says so, with the system's reason.
TEST(WebPages, FailuresShowTheReason) {
    const PageFailureCase cases[] = {
        // The pages' folder would have to be where a file is.
        {"cannot be written", ShowLocalPage, L"taken\\help.html"},
        // Nothing on this system opens such a file.
        {"cannot be opened", ShellOpenPage, L"page.tessalock-test-nothing-opens-it"},
    };
    for (const PageFailureCase& c : cases) {
        ScratchDir scratch;
        ASSERT_TRUE(WriteFileText(scratch / L"taken", "a file, not a folder"));
        ASSERT_TRUE(WriteFileText(scratch / L"page.tessalock-test-nothing-opens-it", "x"));
        const std::wstring page = scratch / c.page;
        BoxWatcher boxes(IDOK);
        c.show(page);
        std::vector<std::wstring> seen = boxes.Stop();
        ASSERT_EQ(seen.size(), 1u) << c.name;
        const std::wstring start = L"Cannot show the page " + page + L".\n";
        EXPECT_EQ(Narrow(seen[0].substr(0, start.size())), Narrow(start)) << c.name;
        EXPECT_GT(seen[0].size(), start.size()) << c.name << ": no reason given";
        // The system's message is told with its inserts filled in.
        EXPECT_EQ(seen[0].find(L"%1"), std::wstring::npos) << c.name << ": " << Narrow(seen[0]);
    }
}

} // namespace
