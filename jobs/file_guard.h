// A file the restore is writing, deleted again when the write fails on the
// way out of the function, so that nothing cut short keeps a name.
#pragma once

#include "engine/paths.h"

#include <windows.h>

#include <string>
#include <utility>

// Deletes a file unless dismissed, keeping the last error of the failure
// that got us here.
class ScopedFileRemoval {
public:
    explicit ScopedFileRemoval(std::wstring path) : path_(std::move(path)) {}
    ~ScopedFileRemoval() {
        if (path_.empty())
            return;
        DWORD error = GetLastError();
        DeleteFileW(ExtendedPath(path_).c_str());
        SetLastError(error);
    }
    ScopedFileRemoval(const ScopedFileRemoval&) = delete;
    ScopedFileRemoval& operator=(const ScopedFileRemoval&) = delete;
    void Dismiss() { path_.clear(); }

private:
    std::wstring path_;
};
