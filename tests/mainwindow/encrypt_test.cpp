// "Encrypt >>" from the view with the real encryption dialog and job: an
// empty list only says so; the dialog gets the paths in store order, not
// row order; leaving it (Exit, or an item gone from the disk) keeps the
// list; a successful encryption empties it.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;
using namespace mainwindow_tests;

namespace {

using Paths = std::vector<std::wstring>;

class EncryptTest : public MainWindowTest {
protected:
    // Presses "Encrypt >>" and lets the robot, once the encryption dialog
    // shows, take the steps on it.
    void EncryptWith(const std::function<void(HWND dialog)>& steps) {
        RunWithRobot(
            [&] {
                if (HWND dialog = WaitForDialog(kEncryptCaption))
                    steps(dialog);
            },
            [&] { ClickButton(View(), IDC_ENCRYPT); });
    }
    // Types the password twice, presses Encrypt and answers the box that
    // follows; returns its text.
    static std::wstring Submit(HWND dialog, const std::wstring& password) {
        TypeText(dialog, IDC_PASSWORD, password);
        TypeText(dialog, IDC_REENTER, password);
        PostClick(dialog, IDC_ENCRYPT);
        return AnswerBox(IDOK);
    }
    std::wstring MakeFile(const wchar_t* name, const char* text) {
        std::wstring path = scratch_ / name;
        EXPECT_TRUE(WriteFileText(path, text));
        return path;
    }
    ScratchDir scratch_;
};

TEST_F(EncryptTest, EmptyListOnlySaysSo) {
    BoxWatcher boxes;
    ClickButton(View(), IDC_ENCRYPT);
    EXPECT_EQ(boxes.Stop(), std::vector<std::wstring>{L"Found no file/folder for encryption."});
}

TEST_F(EncryptTest, DialogGetsTheStoreOrderAndExitKeepsTheRows) {
    std::wstring b = MakeFile(L"b.txt", "bee");
    std::wstring a = MakeFile(L"a.txt", "ay");
    Drop({b, a});
    std::wstring label;
    RunWithRobot(
        [&] {
            // Two items: the dialog first asks where the container goes.
            if (!ChooseInFileDialog(scratch_ / L"both.lock"))
                return;
            HWND dialog = WaitForDialog(kEncryptCaption);
            if (!dialog)
                return;
            label = WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL));
            PostClick(dialog, IDC_EXIT);
            WaitForWindowGone(dialog);
        },
        [&] { ClickButton(View(), IDC_ENCRYPT); });

    EXPECT_EQ(label, a + L"," + b);
    EXPECT_EQ(RowPaths(), (Paths{b, a}));
    EXPECT_EQ(frame_.m_view.StoredPaths(), (Paths{a, b}));
    EXPECT_TRUE(PathExists(a));
    EXPECT_FALSE(PathExists(scratch_ / L"both.lock"));
}

TEST_F(EncryptTest, SuccessfulEncryptionEmptiesTheList) {
    std::wstring file = MakeFile(L"secret.txt", "the only copy");
    Drop({file});
    std::wstring done;
    EncryptWith([&](HWND dialog) { done = Submit(dialog, L"pass word"); });

    EXPECT_EQ(done, L"Encrypted successfully.");
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(frame_.m_view.StoredPaths().empty());
    EXPECT_TRUE(PathExists(file + L".lock"));
    EXPECT_FALSE(PathExists(file));
}

// A file deep enough that its path passes 260 characters goes from the drop
// through the dialog, which shows its path whole, into its container beside it.
TEST_F(EncryptTest, ItemBeyond260CharactersIsShownWholeAndEncrypted) {
    std::wstring deep = scratch_.Path();
    while (deep.size() <= 300) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_TRUE(MakeDir(deep));
    }
    const std::wstring file = deep + L"\\far down.txt";
    ASSERT_TRUE(WriteFileText(file, "far down"));
    Drop({file});
    ASSERT_EQ(RowPaths(), (Paths{file}));
    std::wstring label, done;
    EncryptWith([&](HWND dialog) {
        label = WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL));
        done = Submit(dialog, L"deep");
    });

    EXPECT_EQ(label, file);
    EXPECT_EQ(done, L"Encrypted successfully.");
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(PathExists(file + L".lock"));
    EXPECT_FALSE(PathExists(file));
}

TEST_F(EncryptTest, ItemGoneFromTheDiskKeepsTheList) {
    std::wstring file = MakeFile(L"moved.txt", "x");
    Drop({file});
    ASSERT_TRUE(::DeleteFileW(file.c_str()));
    BoxWatcher boxes;
    ClickButton(View(), IDC_ENCRYPT);
    EXPECT_EQ(boxes.Stop(), std::vector<std::wstring>{file + L".Invalid path."});
    EXPECT_EQ(RowPaths(), Paths{file});
    EXPECT_EQ(frame_.m_view.StoredPaths(), Paths{file});
}

} // namespace
