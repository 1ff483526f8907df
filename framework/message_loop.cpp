// The message loop. The lists are vectors (doubling from one element); a
// registration that cannot allocate fails instead of throwing, since the
// callers have no use for an exception there.
#include "framework/message_loop.h"

#include <algorithm>
#include <new>

namespace {

template <class T> bool TryAppend(std::vector<T*>& list, T* item) {
    try {
        list.push_back(item);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

template <class T> bool RemoveByIdentity(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

// The message WM_SYSTIMER that carets blink with; it has no public name.
constexpr UINT kSystemTimerMessage = 0x0118;

} // namespace

bool CMessageLoop::AddMessageFilter(CMessageFilter* filter) {
    return TryAppend(filters_, filter);
}

bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
    return RemoveByIdentity(filters_, filter);
}

bool CMessageLoop::AddIdleHandler(CIdleHandler* handler) {
    return TryAppend(idleHandlers_, handler);
}

bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) {
    return RemoveByIdentity(idleHandlers_, handler);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
    // Index loop: a filter may remove itself (or others) while it runs.
    for (size_t i = filters_.size(); i > 0; --i) {
        if (i > filters_.size())
            continue;
        CMessageFilter* filter = filters_[i - 1];
        if (filter && filter->PreTranslateMessage(msg))
            return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int) {
    for (size_t i = 0; i < idleHandlers_.size(); ++i) {
        if (CIdleHandler* handler = idleHandlers_[i])
            handler->OnIdle();
    }
    return FALSE;
}

bool CMessageLoop::IsIdleMessage(const MSG* msg) {
    switch (msg->message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case kSystemTimerMessage:
        return false;
    default:
        return true;
    }
}

int CMessageLoop::Run() {
    bool doIdle = true;
    int idleCount = 0;
    for (;;) {
        while (doIdle && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                doIdle = false;
        }
        BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
        if (got == -1)
            continue;
        if (!got)
            break;
        if (!PreTranslateMessage(&m_msg)) {
            ::TranslateMessage(&m_msg);
            ::DispatchMessageW(&m_msg);
        }
        if (IsIdleMessage(&m_msg)) {
            doIdle = true;
            idleCount = 0;
        }
    }
    return static_cast<int>(m_msg.wParam);
}
