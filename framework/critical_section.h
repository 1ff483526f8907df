// A Win32 critical section and its scoped lock, for the framework's shared
// tables (window-class registration, the module's message-loop map).
#pragma once

#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&section_); }
    ~CCriticalSection() { ::DeleteCriticalSection(&section_); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock() { ::EnterCriticalSection(&section_); }
    void Unlock() { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class ScopedCriticalSectionLock {
public:
    explicit ScopedCriticalSectionLock(CCriticalSection& section) : section_(section) {
        section_.Lock();
    }
    ~ScopedCriticalSectionLock() { section_.Unlock(); }
    ScopedCriticalSectionLock(const ScopedCriticalSectionLock&) = delete;
    ScopedCriticalSectionLock& operator=(const ScopedCriticalSectionLock&) = delete;

private:
    CCriticalSection& section_;
};
