// The application module and the program's one instance of it.
#include "framework/app_module.h"

#include <new>

#include "common/resource_instance.h"

CAppModule g_appModule;

HRESULT CAppModule::Init(HINSTANCE instance) {
    instance_ = instance;
    mainThreadId_ = ::GetCurrentThreadId();
    SetResourceInstance(instance);
    ScopedCriticalSectionLock hold(lock_);
    loops_.clear();
    return S_OK;
}

void CAppModule::Term() {
    ScopedCriticalSectionLock hold(lock_);
    loops_.clear();
    SetResourceInstance(nullptr);
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    ScopedCriticalSectionLock hold(lock_);
    try {
        return loops_.emplace(::GetCurrentThreadId(), loop).second;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CAppModule::RemoveMessageLoop() {
    ScopedCriticalSectionLock hold(lock_);
    return loops_.erase(::GetCurrentThreadId()) != 0;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
    ScopedCriticalSectionLock hold(lock_);
    auto it = loops_.find(threadId);
    return it == loops_.end() ? nullptr : it->second;
}
