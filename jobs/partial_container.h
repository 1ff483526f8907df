// The container the encryption is writing, known by its path until the job
// is sure of it: when the job ends before, the destructor deletes it, so that
// a container cut short never lies beside the user's files.
#pragma once

#include "engine/paths.h"

#include <windows.h>

#include <string>

// The container being written, under its temporary name until it is moved
// into place; deleted by the destructor unless it got there.
class ScopedPartialContainer {
public:
    ~ScopedPartialContainer() {
        if (!path_.empty()) {
            DWORD error = GetLastError();
            DeleteFileW(ExtendedPath(path_).c_str());
            SetLastError(error);
        }
    }
    std::wstring path_;
};
