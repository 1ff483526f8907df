// A small GUI robot for in-process tests. Modal dialogs and message boxes
// block the test's thread, so a Robot runs a script on a second thread that
// waits for the windows, reads them, types into them, presses their buttons
// and closes them with the verbs of driver/window_driver.h.
//
//     std::wstring seen;
//     RunWithRobot([&] { seen = AnswerBox(IDOK); },
//                  [] { ShowInfoBox(L"Done."); });
//
// After its script has returned, the robot keeps closing leftover dialogs
// of the process until Join is called, so a script that missed a window
// cannot leave the test thread stuck in a modal loop. Call Join right after
// the modal run that the script drives.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "driver/window_driver.h"

namespace testing_support {

class Robot {
public:
    explicit Robot(std::function<void()> script);
    ~Robot();
    Robot(const Robot&) = delete;
    Robot& operator=(const Robot&) = delete;

    // Waits for the script and stops the clean-up of leftover dialogs.
    void Join();

private:
    void Run(const std::function<void()>& script);

    std::atomic<bool> joining_{false};
    std::thread thread_;
};

// Runs script on a robot while run (a modal run on this thread) goes on, and
// returns when both have ended.
void RunWithRobot(const std::function<void()>& script, const std::function<void()>& run);

} // namespace testing_support
