// The shared main-window test fixture and box watcher.
#include "main_window_fixture.h"

#include <commctrl.h>
#include <objbase.h>

#include "common/unique_handle.h"
#include "framework/controls.h"
#include "resources/resource.h"

using namespace driver;
using namespace testing_support;

namespace mainwindow_tests {

BoxWatcher::BoxWatcher(int answer)
    : answer_(answer), robot_([this] {
          while (!stop_) {
              if (HWND box = FindProcessWindow(L"#32770", kAppCaption)) {
                  std::wstring text = AnswerBox(box, answer_);
                  std::lock_guard<std::mutex> hold(lock_);
                  texts_.push_back(text);
              }
              ::Sleep(5);
          }
      }) {}

BoxWatcher::~BoxWatcher() {
    Stop();
}

std::vector<std::wstring> BoxWatcher::Stop() {
    stop_ = true;
    robot_.Join();
    std::lock_guard<std::mutex> hold(lock_);
    return texts_;
}

size_t BoxWatcher::Count() {
    std::lock_guard<std::mutex> hold(lock_);
    return texts_.size();
}

bool SetLocalWriteTime(const std::wstring& path, int year, int month, int day, int hour, int minute,
                       int second) {
    SYSTEMTIME local = {};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    FILETIME localTime, utc;
    // The inverse of the FileTimeToLocalFileTime that the view applies.
    if (!::SystemTimeToFileTime(&local, &localTime) || !::LocalFileTimeToFileTime(&localTime, &utc))
        return false;
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && ::SetFileTime(file.Get(), nullptr, nullptr, &utc) != FALSE;
}

void HoldKeys(std::initializer_list<int> keys) {
    BYTE state[256] = {};
    for (int key : keys)
        state[key] = 0x80;
    ::SetKeyboardState(state);
}

void MainWindowTest::SetUpTestSuite() {
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof(controls),
                                     ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
}

void MainWindowTest::TearDownTestSuite() {
    ::CoUninitialize();
}

void MainWindowTest::SetUp() {
    ASSERT_NE(frame_.CreateEx(), nullptr);
    frame_.ShowWindow(SW_SHOW);
    ::SetForegroundWindow(frame_.m_hWnd);
    PumpPending();
    ASSERT_NE(View(), nullptr);
}

void MainWindowTest::TearDown() {
    if (frame_.IsWindow())
        frame_.DestroyWindow();
    // The destroyed frame ends "the loop" with a quit message; this thread
    // has none, and a quit left pending would end the next test's modal run.
    MSG quit;
    ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

std::vector<Row> MainWindowTest::Rows() const {
    CListViewCtrl list(List());
    std::vector<Row> rows;
    for (int i = 0; i < list.GetItemCount(); ++i)
        rows.push_back(Row{list.GetItemText(i, 0), list.GetItemText(i, 1), list.GetItemText(i, 2)});
    return rows;
}

std::vector<std::wstring> MainWindowTest::RowPaths() const {
    std::vector<std::wstring> paths;
    for (const Row& row : Rows())
        paths.push_back(row.path);
    return paths;
}

void MainWindowTest::Drop(const std::vector<std::wstring>& names) {
    ASSERT_TRUE(DropFiles(View(), names));
}

BOOL MainWindowTest::Press(UINT key, std::initializer_list<int> held, HWND target, bool release) {
    bool alt = false;
    for (int k : held)
        alt = alt || k == VK_MENU;
    const bool system = alt || key == VK_F10;
    HoldKeys(held);
    auto offer = [&](UINT message, LPARAM data) {
        MSG msg = {target, message, key, data, ::GetTickCount(), {0, 0}};
        BOOL consumed = frame_.PreTranslateMessage(&msg);
        if (!consumed) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        return consumed;
    };
    const LPARAM altBit = alt ? (1 << 29) : 0;
    BOOL consumed = offer(system ? WM_SYSKEYDOWN : WM_KEYDOWN, 1 | altBit);
    if (release)
        offer(system ? WM_SYSKEYUP : WM_KEYUP, MAKELPARAM(1, 0xC000) | altBit);
    PumpPending();
    HoldKeys({});
    return consumed;
}

void MainWindowTest::Select(const std::vector<int>& rows) {
    CListViewCtrl list(List());
    list.SetItemState(-1, 0, LVIS_SELECTED);
    for (int row : rows)
        list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
}

} // namespace mainwindow_tests
