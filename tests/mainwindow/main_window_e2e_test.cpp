// End to end: Tessalock.exe started without arguments shows its main window;
// this separate process drops a file and a folder onto it, encrypts them
// through the Save dialog and the password dialog, sees the list empty and
// the container in place of the items, and closes the window (exit code 1).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "program_window_driver.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;
using namespace mainwindow_tests;

namespace {

TEST(MainWindowEndToEnd, DropEncryptAndTheListEmpties) {
    ScratchDir scratch;
    const std::wstring file = scratch / L"letter.txt";
    const std::wstring folder = scratch / L"Photos";
    const std::wstring container = scratch / L"collection.lock";
    ASSERT_TRUE(WriteFileBytes(file, PatternBytes(3000, 11)));
    ASSERT_TRUE(MakeDir(folder));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\beach.jpg", PatternBytes(70000, 12)));

    MainWindowRun run;
    ASSERT_TRUE(run.Started());
    HWND frame = run.WaitForFrame();
    ASSERT_NE(frame, nullptr);
    ASSERT_NE(run.View(), nullptr);
    EXPECT_EQ(run.RowCount(), 0);

    ASSERT_TRUE(run.Drop({file, folder}));
    ASSERT_TRUE(run.WaitForRowCount(2));

    PostClick(run.View(), 1004);
    HWND save = run.WaitForFileDialog();
    ASSERT_NE(save, nullptr);
    ChooseFileName(save, container);

    HWND dialog = run.WaitForDialog(kEncryptCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(::GetDlgItem(dialog, 1000)), folder + L"\\," + file);
    TypeText(dialog, 1002, L"correct horse");
    TypeText(dialog, 1003, L"correct horse");
    PostClick(dialog, 1004);
    EXPECT_EQ(run.AnswerBox(kAppCaption, IDOK), L"Encrypted successfully.");

    EXPECT_TRUE(run.WaitForRowCount(0));
    EXPECT_TRUE(PathExists(container));
    EXPECT_FALSE(PathExists(file));
    EXPECT_FALSE(PathExists(folder));

    PostClose(frame);
    EXPECT_EQ(run.WaitForExit(), 1);
}

} // namespace
