// The file list view on a real main frame: adding by drop, Open dialog and
// menu (normalised paths, duplicates, roots, letter case, icons, dates and
// sizes), deleting with confirmation, the context menu, and the web pages
// behind Help and the banner.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/controls.h"
#include "mainwindow/web_links.h"
#include "main_window_fixture.h"
#include "support/robot.h"
#include "support/test_files.h"

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
    void ClickWith(int id, std::function<void(Robot&)> script) {
        Robot robot(std::move(script));
        ClickButton(View(), id);
        robot.Join();
    }

    ScratchDir scratch_;
    std::wstring file_;
    std::wstring folder_;
};

TEST_F(FileListViewTest, ColumnsAndSystemImageList) {
    CListViewCtrl list(List());
    EXPECT_EQ(list.GetColumnWidth(0), 320);
    EXPECT_EQ(list.GetColumnWidth(1), 160);
    EXPECT_EQ(list.GetColumnWidth(2), 160);
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
    EXPECT_EQ(rows[1].date.size(), 25u);
    EXPECT_EQ(frame_.m_view.StoredPaths(), (Paths{folder_ + L"\\", file_}));
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
    ClickWith(IDC_ADD, [&](Robot&) { ChooseInFileDialog(file_); });
    ASSERT_EQ(RowPaths(), Paths{file_});

    // Again by a drop, by the menu's Add, and twice within one drop.
    BoxWatcher boxes;
    Drop({file_});
    {
        // The box this choice brings is the watcher's: this robot closes
        // leftover dialogs soon after its script ends, and on a slow
        // machine it would close the box before the watcher read it.
        Robot robot([&](Robot&) {
            ChooseInFileDialog(file_);
            WaitUntil([&] { return boxes.Count() == 2; });
        });
        SendCommand(View(), ID_LIST_ADD, 0);
        robot.Join();
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

TEST_F(FileListViewTest, DateCellShowsTheLastWriteTimeWithLineFeed) {
    ASSERT_TRUE(SetLocalWriteTime(file_, 2013, 1, 2, 9, 5, 7));
    Drop({file_});
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0].date, L"Wed Jan 02 09:05:07 2013\n");
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
    Robot robot([&](Robot&) {
        HWND menu = WaitForProcessWindow(L"#32768", nullptr, 5000);
        if (!menu)
            return;
        menuShown = true;
        // The popup's menu loop reads keys from the view's thread queue;
        // "d" is the mnemonic of "&Delete".
        ::PostMessageW(menu, WM_CHAR, L'd', 0);
        HWND box = WaitForProcessWindow(L"#32770", L"Tessalock v1.3", 5000);
        if (box)
            AnswerMessageBox(box, IDYES);
        else
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

// The build ships every page beside the program, so no link leads nowhere.
TEST(WebPages, ShipBesideTheProgram) {
    std::wstring program = L"Z:" TL_PROGRAM_FILE;
    for (wchar_t& c : program)
        c = c == L'/' ? L'\\' : c;
    std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    for (WebPage page : {WebPage::Help, WebPage::Protect, WebPage::Maker}) {
        std::wstring path = folder + WebPageFileName(page);
        Bytes bytes = ReadFileBytes(path);
        std::string text(bytes.begin(), bytes.end());
        EXPECT_NE(text.find("<html"), std::string::npos) << Narrow(path);
    }
}

} // namespace
