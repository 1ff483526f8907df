// CAppModule: the process's one application module. It holds the instance
// handle every resource is loaded from, the id of the thread that initialised
// it, and the map from GUI thread ids to their message loops (guarded by a
// critical section, as any thread may look a loop up).
#pragma once

#include <windows.h>

#include <map>

#include "framework/critical_section.h"
#include "framework/message_loop.h"

class CAppModule {
public:
    CAppModule() = default;
    CAppModule(const CAppModule&) = delete;
    CAppModule& operator=(const CAppModule&) = delete;

    // Records the instance (also as the resource instance) and the calling
    // thread as the main thread; starts with an empty loop map.
    HRESULT Init(HINSTANCE instance);
    void Term();

    HINSTANCE GetModuleInstance() const { return instance_; }
    HINSTANCE GetResourceInstance() const { return instance_; }
    DWORD GetMainThreadId() const { return mainThreadId_; }

    // Registers loop for the calling thread; false if it already has one.
    bool AddMessageLoop(CMessageLoop* loop);
    // Removes the calling thread's loop; false if it had none.
    bool RemoveMessageLoop();
    // The loop of the given thread, or null.
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) const;

private:
    HINSTANCE instance_ = nullptr;
    DWORD mainThreadId_ = 0;
    mutable CCriticalSection lock_;
    std::map<DWORD, CMessageLoop*> loops_;
};

// The program's module object.
extern CAppModule g_appModule;

// Registers a loop for the calling thread for as long as it lives, so that
// the registration ends also when what runs in between throws.
class ScopedMessageLoopRegistration {
public:
    ScopedMessageLoopRegistration(CAppModule& module, CMessageLoop& loop)
        : module_(module), registered_(module.AddMessageLoop(&loop)) {}
    ~ScopedMessageLoopRegistration() {
        if (registered_)
            module_.RemoveMessageLoop();
    }
    ScopedMessageLoopRegistration(const ScopedMessageLoopRegistration&) = delete;
    ScopedMessageLoopRegistration& operator=(const ScopedMessageLoopRegistration&) = delete;

private:
    CAppModule& module_;
    bool registered_;
};
