// The message loop and the module: filters are offered a message newest
// first and the first that consumes it ends the offer; idle handlers run in
// registration order once per idle period, and mouse moves do not start a
// new period; Run returns the quit code; the module maps threads to loops.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "framework/app_module.h"
#include "framework/message_loop.h"

namespace {

constexpr UINT kConsumedByNewest = WM_APP + 1;
constexpr UINT kPassedToAll = WM_APP + 2;

class RecordingFilter : public CMessageFilter {
public:
    RecordingFilter(std::string name, std::string& trace, UINT consumes)
        : name_(std::move(name)), trace_(trace), consumes_(consumes) {}
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message < WM_APP)
            return FALSE;
        trace_ += name_ + ":" + std::to_string(msg->message - WM_APP) + ";";
        return msg->message == consumes_;
    }

private:
    std::string name_;
    std::string& trace_;
    UINT consumes_;
};

// A thread timer that ends a loop whose test went wrong, so Run returns.
class QuitGuard {
public:
    QuitGuard() : id_(::SetTimer(nullptr, 0, 5000, OnTimeout)) {}
    ~QuitGuard() { ::KillTimer(nullptr, id_); }

private:
    static void CALLBACK OnTimeout(HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(-99); }
    UINT_PTR id_;
};

TEST(MessageLoop, FiltersAreOfferedNewestFirst) {
    std::string trace;
    RecordingFilter older("older", trace, 0);
    RecordingFilter newer("newer", trace, kConsumedByNewest);
    RecordingFilter removed("removed", trace, 0);
    CMessageLoop loop;
    ASSERT_TRUE(loop.AddMessageFilter(&older));
    ASSERT_TRUE(loop.AddMessageFilter(&removed));
    ASSERT_TRUE(loop.AddMessageFilter(&newer));
    EXPECT_TRUE(loop.RemoveMessageFilter(&removed));
    EXPECT_FALSE(loop.RemoveMessageFilter(&removed));

    QuitGuard guard;
    ::PostThreadMessageW(::GetCurrentThreadId(), kConsumedByNewest, 0, 0);
    ::PostThreadMessageW(::GetCurrentThreadId(), kPassedToAll, 0, 0);
    ::PostQuitMessage(5);
    EXPECT_EQ(loop.Run(), 5);
    EXPECT_EQ(trace, "newer:1;newer:2;older:2;");
}

bool g_timerFired = false;

void CALLBACK MarkTimerFired(HWND, UINT, UINT_PTR id, DWORD) {
    g_timerFired = true;
    ::KillTimer(nullptr, id);
}

class RecordingIdler : public CIdleHandler {
public:
    RecordingIdler(char name, std::string& trace) : name_(name), trace_(trace) {}
    BOOL OnIdle() override {
        trace_ += name_;
        ++calls;
        if (name_ == 'a' && calls == 1) {
            // A mouse move is no activity: the next idle period must wait
            // for the timer message that comes after it.
            ::PostThreadMessageW(::GetCurrentThreadId(), WM_MOUSEMOVE, 0, 0);
            ::SetTimer(nullptr, 0, 100, MarkTimerFired);
        } else if (name_ == 'a' && calls == 2) {
            timerFiredAtSecondIdle = g_timerFired;
            ::PostQuitMessage(0);
        }
        return TRUE; // asks for more, which the loop does not give
    }
    int calls = 0;
    bool timerFiredAtSecondIdle = false;

private:
    char name_;
    std::string& trace_;
};

TEST(MessageLoop, IdleHandlersRunInOrderOncePerIdlePeriod) {
    std::string trace;
    RecordingIdler a('a', trace);
    RecordingIdler b('b', trace);
    CMessageLoop loop;
    ASSERT_TRUE(loop.AddIdleHandler(&a));
    ASSERT_TRUE(loop.AddIdleHandler(&b));
    g_timerFired = false;
    QuitGuard guard;
    EXPECT_EQ(loop.Run(), 0);
    // One period at start and one after the timer; none after the mouse
    // move or the quit message.
    EXPECT_EQ(trace, "abab");
    EXPECT_TRUE(a.timerFiredAtSecondIdle);
}

TEST(AppModule, MapsEachThreadToItsOwnLoop) {
    CAppModule module;
    ASSERT_EQ(module.Init(::GetModuleHandleW(nullptr)), S_OK);
    EXPECT_EQ(module.GetMainThreadId(), ::GetCurrentThreadId());
    CMessageLoop loop;
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    ASSERT_TRUE(module.AddMessageLoop(&loop));
    EXPECT_FALSE(module.AddMessageLoop(&loop));
    EXPECT_EQ(module.GetMessageLoop(), &loop);

    DWORD mainThread = ::GetCurrentThreadId();
    CMessageLoop* seenOwn = &loop;
    CMessageLoop* seenMain = nullptr;
    std::thread other([&] {
        seenOwn = module.GetMessageLoop();
        seenMain = module.GetMessageLoop(mainThread);
    });
    other.join();
    EXPECT_EQ(seenOwn, nullptr);
    EXPECT_EQ(seenMain, &loop);

    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    module.Term();
}

// The registration ends with its scope, also when the scope is left by an
// exception, and never takes away a loop the thread had before it.
TEST(AppModule, LoopRegistrationEndsWithItsScopeAndLeavesAnEarlierLoop) {
    CAppModule module;
    ASSERT_EQ(module.Init(::GetModuleHandleW(nullptr)), S_OK);
    CMessageLoop loop;
    try {
        ScopedMessageLoopRegistration registration(module, loop);
        EXPECT_EQ(module.GetMessageLoop(), &loop);
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(module.GetMessageLoop(), nullptr);

    CMessageLoop earlier;
    ASSERT_TRUE(module.AddMessageLoop(&earlier));
    { ScopedMessageLoopRegistration second(module, loop); }
    EXPECT_EQ(module.GetMessageLoop(), &earlier);
    module.Term();
}

} // namespace
