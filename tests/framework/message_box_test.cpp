// The three message boxes: caption string 128 unless one is given, the right
// icon and buttons, the foreground window as owner, and the question box
// answering true only for Yes.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "common/message_box.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

// The static control that shows a message box's icon.
constexpr int kMessageBoxIconId = 0x0440;

struct BoxCase {
    const char* name;
    std::function<bool()> show; // returns the box's answer (true for non-questions)
    int answer;
    const wchar_t* caption;
    const wchar_t* icon;
    bool hasYesNo;
    bool expected;
};

const BoxCase kCases[] = {
    {"Info",
     [] {
         ShowInfoBox(L"Encrypted successfully.");
         return true;
     },
     IDOK, L"Tessalock v1.3", IDI_INFORMATION, false, true},
    {"Error",
     [] {
         ShowErrorBox(L"Fail to decrypt.", L"Custom");
         return true;
     },
     IDOK, L"Custom", IDI_ERROR, false, true},
    {"QuestionYes", [] { return AskQuestion(L"Confirm to delete?"); }, IDYES, L"Tessalock v1.3",
     IDI_QUESTION, true, true},
    {"QuestionNo", [] { return AskQuestion(L"Confirm to delete?"); }, IDNO, L"Tessalock v1.3",
     IDI_QUESTION, true, false},
};

class MessageBoxes : public testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, ShowTextCaptionIconAndAnswer) {
    const BoxCase& c = GetParam();
    std::wstring text, caption;
    bool yesNo = false;
    HICON icon = nullptr;
    Robot robot([&] {
        HWND box = WaitForDialog(nullptr);
        if (!box)
            return;
        caption = WindowText(box);
        yesNo = ::GetDlgItem(box, IDYES) && ::GetDlgItem(box, IDNO);
        icon = reinterpret_cast<HICON>(
            ::SendDlgItemMessageW(box, kMessageBoxIconId, STM_GETICON, 0, 0));
        text = AnswerBox(box, c.answer);
    });
    bool answer = c.show();
    robot.Join();
    EXPECT_EQ(answer, c.expected);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(Narrow(caption), Narrow(c.caption));
    EXPECT_EQ(yesNo, c.hasYesNo);
    EXPECT_EQ(icon, ::LoadIconW(nullptr, c.icon));
}

INSTANTIATE_TEST_SUITE_P(Kinds, MessageBoxes, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BoxCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(MessageBoxOwner, IsTheForegroundWindow) {
    HWND front = ::CreateWindowExW(0, L"STATIC", L"front", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                   200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(front, nullptr);
    ::SetForegroundWindow(front);
    PumpUntil([&] { return ::GetForegroundWindow() == front; }, 3000);
    HWND expectedOwner = ::GetForegroundWindow();
    ASSERT_NE(expectedOwner, nullptr);
    HWND owner = nullptr;
    Robot robot([&] {
        HWND box = WaitForDialog(kAppCaption);
        if (!box)
            return;
        owner = ::GetWindow(box, GW_OWNER);
        AnswerBox(box, IDOK);
    });
    ShowInfoBox(L"owned");
    robot.Join();
    EXPECT_EQ(owner, expectedOwner);
    ::DestroyWindow(front);
}

} // namespace
