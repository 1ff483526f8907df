// The channel through which a job reports progress and learns that the user
// cancelled. Jobs call it from their worker thread; whatever implements it
// must only store values (never touch a window from these calls).
#pragma once

#include <cstdint>

namespace zelprogress {

class IProgressUpdate {
public:
    virtual ~IProgressUpdate() = default;
    virtual void SetTotal(uint64_t total) = 0;
    // Absolute position; reserved is ignored (callers pass 0).
    virtual void SetCurrent(uint64_t current, uint64_t reserved) = 0;
    // Called exactly once, as a job's last report, whatever the outcome:
    // status 0 after a success, 1 otherwise (a failure or a cancel).
    virtual void SetFinished(int32_t status) = 0;
    virtual bool IsCancelled() = 0;
    // The position last stored; jobs add each block to it.
    virtual uint64_t GetCurrent() = 0;
};

} // namespace zelprogress
