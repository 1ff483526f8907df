// What the container writer and reader share inside the engine: the size
// of the blocks they move, and how they keep the system's reason of a
// failure.
#pragma once

#include <windows.h>

#include <cstddef>

// Bytes per block a session writes behind or reads ahead (the old format;
// the authenticated one moves one segment and its tag per block).
constexpr size_t kBufferBytes = 1 << 20;

// The thread's last error, or fallback where the system set none.
inline DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}
