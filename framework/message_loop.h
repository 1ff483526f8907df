// The GUI thread's message loop with message filters (keyboard
// pre-translation, offered newest first) and idle handlers (called in
// registration order when the queue runs empty after a real message).
#pragma once

#include <windows.h>

#include <vector>

class CMessageFilter {
public:
    // True when the message was consumed and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    // True when the handler wants more idle calls.
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    CMessageLoop() = default;
    virtual ~CMessageLoop() = default;
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    // False when the list cannot grow; the filter is then not registered.
    bool AddMessageFilter(CMessageFilter* filter);
    // Removes by identity; an unknown pointer changes nothing.
    bool RemoveMessageFilter(CMessageFilter* filter);
    bool AddIdleHandler(CIdleHandler* handler);
    bool RemoveIdleHandler(CIdleHandler* handler);

    // Runs until WM_QUIT and returns its exit code.
    int Run();

    // Offers msg to the filters, most recently added first; true when one
    // consumed it.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Calls every idle handler in registration order; answers false, so the
    // loop stops idling until the next message.
    virtual BOOL OnIdle(int idleCount);

    MSG m_msg = {};

protected:
    // Mouse moves, paints and the system timer do not restart idle calls.
    static bool IsIdleMessage(const MSG* msg);

private:
    std::vector<CMessageFilter*> filters_;
    std::vector<CIdleHandler*> idleHandlers_;
};
