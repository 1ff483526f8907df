// The GUI test robot: a script on its own thread, and the sweep of leftover
// dialogs after it.
#include "support/robot.h"

namespace testing_support {

using namespace driver;

namespace {

constexpr DWORD kPollMs = 10;
// How long the robot waits after its script before closing leftovers: long
// enough for a modal run that the script ended to return and be joined.
constexpr DWORD kLeftoverGraceMs = 2000;

} // namespace

Robot::Robot(std::function<void()> script) : thread_([this, script] { Run(script); }) {}

Robot::~Robot() {
    Join();
}

void Robot::Join() {
    joining_ = true;
    if (thread_.joinable())
        thread_.join();
}

void Robot::Run(const std::function<void()>& script) {
    // Nothing may leave a thread entry: a throwing script just ends early.
    try {
        script();
    } catch (...) {
    }
    ULONGLONG sweepFrom = ::GetTickCount64() + kLeftoverGraceMs;
    while (!joining_) {
        if (::GetTickCount64() >= sweepFrom) {
            for (HWND dialog :
                 TopLevelWindows([](HWND hwnd) { return ClassNameOf(hwnd) == L"#32770"; },
                                 ::GetCurrentProcessId(), false))
                Dismiss(dialog);
            sweepFrom = ::GetTickCount64() + 500;
        }
        ::Sleep(kPollMs);
    }
}

void RunWithRobot(const std::function<void()>& script, const std::function<void()>& run) {
    Robot robot(script);
    run();
    robot.Join();
}

} // namespace testing_support
