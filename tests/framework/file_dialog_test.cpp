// CFileDialog with the system's real Save and Open dialogs: the flags the
// framework adds, the initial file name shown to the user, the chosen full
// path on confirmation, and IDCANCEL when the user backs out.
#include <windows.h>

#include <gtest/gtest.h>

#include "framework/file_dialog.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

TEST(FileDialog, AddsExplorerHookAndSizingFlags) {
    CFileDialog open(true);
    EXPECT_EQ(open.m_ofn.Flags, 0x00880026u);
    // The longest path the system can return fits.
    EXPECT_EQ(open.m_ofn.nMaxFile, 32768u);
    EXPECT_EQ(open.m_ofn.lpstrFilter, nullptr);
    EXPECT_EQ(open.m_ofn.lpstrDefExt, nullptr);
}

TEST(FileDialog, SaveShowsTheInitialNameAndReturnsTheChosenPath) {
    ScratchDir dir;
    std::wstring chosen = dir / L"chosen.lock";
    CFileDialog save(false, nullptr, L"20135793 5.lock");
    std::wstring shownName;
    bool found = false;
    INT_PTR result = 0;
    RunWithRobot(
        [&] {
            HWND d = WaitForFileDialog();
            found = d != nullptr;
            if (!found)
                return;
            shownName = FileDialogName(d);
            ChooseFileName(d, chosen);
        },
        [&] { result = save.DoModal(nullptr); });
    ASSERT_TRUE(found);
    EXPECT_EQ(Narrow(shownName), "20135793 5.lock");
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(Narrow(save.m_szFileName), Narrow(chosen));
}

TEST(FileDialog, CancelledOpenReturnsCancel) {
    CFileDialog open(true);
    bool found = false;
    INT_PTR result = 0;
    RunWithRobot(
        [&] {
            HWND d = WaitForFileDialog();
            found = d != nullptr;
            if (found)
                CancelFileDialog(d);
        },
        [&] { result = open.DoModal(nullptr); });
    EXPECT_TRUE(found);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(open.m_szFileName[0], L'\0');
}

} // namespace
