// CWindowImpl on real windows: a subclassed control sees its messages first
// and keeps its own behaviour for the rest; the object detaches when the
// control is destroyed, when it unsubclasses, or when the object dies first;
// a created window is bound from WM_NCCREATE to WM_NCDESTROY; and an
// exception in a handler never leaves the window procedure.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/controls.h"
#include "framework/window_impl.h"
#include "driver/window_driver.h"

using driver::WindowText;

namespace {

constexpr UINT kAsk = WM_APP + 5;
constexpr UINT kThrow = WM_APP + 6;

class EditRecorder : public CWindowImpl<EditRecorder, CEdit> {
public:
    int setTextSeen = 0;
    int finalCalls = 0;
    HWND finalWindow = nullptr;

    BEGIN_MSG_MAP(EditRecorder)
        MESSAGE_HANDLER(kAsk, OnAsk)
        MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
        MESSAGE_HANDLER(kThrow, OnThrow)
    END_MSG_MAP()

    LRESULT OnAsk(UINT, WPARAM, LPARAM, BOOL&) { return 42; }
    LRESULT OnSetText(UINT, WPARAM, LPARAM, BOOL& handled) {
        ++setTextSeen;
        handled = FALSE;
        return 0;
    }
    LRESULT OnThrow(UINT, WPARAM, LPARAM, BOOL&) { throw std::runtime_error("handler failed"); }
    void OnFinalMessage(HWND hwnd) override {
        ++finalCalls;
        finalWindow = hwnd;
    }
};

class SubclassTest : public testing::Test {
protected:
    void SetUp() override {
        parent_ = ::CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, 0, 0, 200, 100, nullptr,
                                    nullptr, nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
        edit_ = NewEdit();
    }
    void TearDown() override { ::DestroyWindow(parent_); }

    HWND NewEdit() {
        return ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, parent_,
                                 nullptr, nullptr, nullptr);
    }
    HWND parent_ = nullptr;
    HWND edit_ = nullptr;
};

TEST_F(SubclassTest, MapAnswersFirstAndControlKeepsTheRest) {
    EXPECT_EQ(::SendMessageW(edit_, kAsk, 0, 0), 0);
    EditRecorder recorder;
    ASSERT_TRUE(recorder.SubclassWindow(edit_));
    EXPECT_EQ(recorder.m_hWnd, edit_);
    EXPECT_EQ(::SendMessageW(edit_, kAsk, 0, 0), 42);
    ::SetWindowTextW(edit_, L"typed");
    EXPECT_EQ(recorder.setTextSeen, 1);
    EXPECT_EQ(WindowText(edit_), L"typed");
}

TEST_F(SubclassTest, ThrowingHandlerFallsBackToTheControl) {
    EditRecorder recorder;
    ASSERT_TRUE(recorder.SubclassWindow(edit_));
    EXPECT_EQ(::SendMessageW(edit_, kThrow, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(edit_, kAsk, 0, 0), 42);
}

TEST_F(SubclassTest, DestroyingTheControlDetachesOnce) {
    EditRecorder recorder;
    ASSERT_TRUE(recorder.SubclassWindow(edit_));
    ::DestroyWindow(edit_);
    EXPECT_EQ(recorder.m_hWnd, nullptr);
    EXPECT_EQ(recorder.finalCalls, 1);
    EXPECT_EQ(recorder.finalWindow, edit_);
}

TEST_F(SubclassTest, UnsubclassGivesTheControlBack) {
    EditRecorder recorder;
    ASSERT_TRUE(recorder.SubclassWindow(edit_));
    EXPECT_EQ(recorder.UnsubclassWindow(), edit_);
    EXPECT_EQ(recorder.m_hWnd, nullptr);
    EXPECT_EQ(::SendMessageW(edit_, kAsk, 0, 0), 0);
    ::DestroyWindow(edit_);
    EXPECT_EQ(recorder.finalCalls, 0);
}

TEST_F(SubclassTest, ObjectDyingFirstLeavesAWorkingControl) {
    {
        EditRecorder recorder;
        ASSERT_TRUE(recorder.SubclassWindow(edit_));
    }
    EXPECT_EQ(::SendMessageW(edit_, kAsk, 0, 0), 0);
    ::SetWindowTextW(edit_, L"still an edit");
    EXPECT_EQ(WindowText(edit_), L"still an edit");
}

TEST_F(SubclassTest, OneWindowPerObject) {
    EditRecorder recorder;
    ASSERT_TRUE(recorder.SubclassWindow(edit_));
    HWND other = NewEdit();
    EXPECT_FALSE(recorder.SubclassWindow(other));
    EXPECT_EQ(recorder.m_hWnd, edit_);
    EXPECT_EQ(::SendMessageW(other, kAsk, 0, 0), 0);
    EXPECT_FALSE(EditRecorder().SubclassWindow(nullptr));
}

class PopupRecorder : public CWindowImpl<PopupRecorder, CWindow, CWinTraits<WS_POPUP>> {
public:
    bool boundAtCreate = false;
    int finalCalls = 0;

    BEGIN_MSG_MAP(PopupRecorder)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_HANDLER(kAsk, OnAsk)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
        boundAtCreate = m_hWnd != nullptr;
        return 0;
    }
    LRESULT OnAsk(UINT, WPARAM, LPARAM, BOOL&) { return 7; }
    void OnFinalMessage(HWND) override { ++finalCalls; }
};

class OtherPopup : public CWindowImpl<OtherPopup, CWindow, CWinTraits<WS_POPUP>> {
public:
    BEGIN_MSG_MAP(OtherPopup)
    END_MSG_MAP()
};

TEST(CreatedWindow, IsBoundFromCreationToDestruction) {
    PopupRecorder popup;
    HWND hwnd = popup.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(popup.m_hWnd, hwnd);
    EXPECT_TRUE(popup.boundAtCreate);
    EXPECT_TRUE(popup.GetStyle() & WS_POPUP);
    EXPECT_EQ(::SendMessageW(hwnd, kAsk, 0, 0), 7);
    ::DestroyWindow(hwnd);
    EXPECT_EQ(popup.m_hWnd, nullptr);
    EXPECT_EQ(popup.finalCalls, 1);
}

TEST(CreatedWindow, EachImplementationGetsItsOwnGeneratedClass) {
    PopupRecorder first;
    OtherPopup second;
    ASSERT_NE(first.Create(nullptr), nullptr);
    ASSERT_NE(second.Create(nullptr), nullptr);
    wchar_t a[64] = {}, b[64] = {};
    ::GetClassNameW(first.m_hWnd, a, 64);
    ::GetClassNameW(second.m_hWnd, b, 64);
    EXPECT_NE(std::wstring(a), std::wstring(b));
    EXPECT_EQ(std::wstring(a).rfind(L"Tessalock:", 0), 0u);
    first.DestroyWindow();
    second.DestroyWindow();
}

} // namespace
