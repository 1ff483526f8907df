// What the main-window tests share: a real main frame with its view on the
// Xvfb screen, the view's rows as text, real drops, the keyboard as the
// program's loop sees it, and a watcher that reads and answers the
// program's message boxes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "mainwindow/main_frame.h"
#include "support/robot.h"

namespace mainwindow_tests {

struct Row {
    std::wstring path;
    std::wstring date;
    std::wstring size;
};

// Reads the message boxes captioned "Tessalock v1.3" that appear while it
// lives, and answers each with answer (IDOK, IDYES or IDNO).
class BoxWatcher {
public:
    explicit BoxWatcher(int answer = IDOK);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // Stops watching and returns the texts of the boxes seen, in order.
    std::vector<std::wstring> Stop();
    // How many boxes were seen so far.
    size_t Count();

private:
    int answer_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::wstring> texts_;
    testing_support::Robot robot_; // last: its thread uses the members above
};

// Sets the keyboard state GetKeyState reports for this thread: the given
// keys down, every other key up.
void HoldKeys(std::initializer_list<int> keys);

// Sets a file's last-write time to a local calendar time.
bool SetLocalWriteTime(const std::wstring& path, int year, int month, int day, int hour, int minute,
                       int second);

// A shown main frame created the way the graphical run creates it.
class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    HWND View() const { return frame_.m_view.m_hWnd; }
    HWND List() const { return ::GetDlgItem(View(), IDC_FILE_LIST); }
    std::vector<Row> Rows() const;
    std::vector<std::wstring> RowPaths() const;
    // Sends a real drop of names to the view (returns after AddPath ran).
    void Drop(const std::vector<std::wstring>& names);
    // Selects exactly the given rows.
    void Select(const std::vector<int>& rows);
    // A key pressed while the held keys are down, as the program's message
    // loop handles it: each message is offered to the frame's keyboard
    // filter and dispatched when the filter leaves it. F10 and keys pressed
    // with Alt arrive as system keys. Without release only the key-down is
    // sent (a menu opened by the key-down would swallow the key-up). Returns
    // whether the filter consumed the key-down.
    BOOL Press(UINT key, std::initializer_list<int> held = {}, HWND target = ::GetFocus(),
               bool release = true);

    CMainFrame frame_;
};

} // namespace mainwindow_tests
