// Which window owns the program's boxes and dialogs while another program's
// window is in the foreground: the main window of a second copy of
// Tessalock, started for real. A modal window disables its owner, so an owner
// from another process would stay disabled until the box closed. Each case
// opens one box or dialog; the robot reads its owner and whether the other
// program's window is still enabled, then closes it.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/message_box.h"
#include "app/dispatch.h"
#include "driver/program_run.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

struct OwnerCase {
    const char* name;
    // Opens the window modally; returns when it has been closed.
    std::function<void(const ScratchDir&)> open;
};

void Dispatch(std::vector<std::wstring> args) {
    std::vector<const wchar_t*> raw;
    for (const std::wstring& arg : args)
        raw.push_back(arg.c_str());
    DispatchCommandLine(raw.data(), static_cast<int>(raw.size()));
}

const OwnerCase kCases[] = {
    {"InfoBox", [](const ScratchDir&) { ShowInfoBox(L"Encrypted successfully."); }},
    {"QuestionBox", [](const ScratchDir&) { AskQuestion(L"Confirm to delete?"); }},
    {"DecryptDialog",
     [](const ScratchDir& dir) {
         Dispatch({L"-dec", dir / L"x.lock"});
     }},
    {"EncryptDialog", [](const ScratchDir& dir) { Dispatch({dir / L"a.txt"}); }},
    {"AlreadyEncryptedNote",
     [](const ScratchDir& dir) {
         Dispatch({L"-enc", dir / L"x.lock"});
     }},
};

class OwnerOfNewWindows : public testing::TestWithParam<OwnerCase> {
protected:
    static void SetUpTestSuite() {
        other_ = new ProgramRun(L"");
        otherFrame_ = other_->WaitForTopLevel(IsMainFrame);
    }
    static void TearDownTestSuite() {
        if (otherFrame_)
            ::PostMessageW(otherFrame_, WM_CLOSE, 0, 0);
        delete other_;
        other_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(otherFrame_, nullptr) << "the other program's main window did not show";
        ASSERT_TRUE(WriteFileBytes(dir_ / L"a.txt", PatternBytes(10, 1)));
        ASSERT_TRUE(WriteFileBytes(dir_ / L"x.lock", PatternBytes(10, 2)));
        ::SetForegroundWindow(otherFrame_);
        ASSERT_TRUE(WaitUntil([] { return ::GetForegroundWindow() == otherFrame_; }, 5000));
    }

    static ProgramRun* other_;
    static HWND otherFrame_;
    ScratchDir dir_;
};

ProgramRun* OwnerOfNewWindows::other_ = nullptr;
HWND OwnerOfNewWindows::otherFrame_ = nullptr;

TEST_P(OwnerOfNewWindows, IsNeverTheOtherProgramsWindow) {
    const OwnerCase& c = GetParam();
    bool seen = false;
    HWND owner = nullptr;
    bool otherEnabled = false;
    RunWithRobot(
        [&] {
            HWND window = WaitForDialog(nullptr);
            if (!window)
                return;
            seen = true;
            owner = ::GetWindow(window, GW_OWNER);
            otherEnabled = ::IsWindowEnabled(otherFrame_) != FALSE;
            Dismiss(window);
        },
        [&] { c.open(dir_); });
    ASSERT_TRUE(seen);
    DWORD ownerProcess = 0;
    if (owner)
        ::GetWindowThreadProcessId(owner, &ownerProcess);
    EXPECT_TRUE(!owner || ownerProcess == ::GetCurrentProcessId())
        << "owned by a window of process " << ownerProcess;
    EXPECT_TRUE(otherEnabled);
    EXPECT_TRUE(::IsWindowEnabled(otherFrame_));
}

INSTANTIATE_TEST_SUITE_P(Cases, OwnerOfNewWindows, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<OwnerCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
