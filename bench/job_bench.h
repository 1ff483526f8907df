// The whole-job benchmark: the encryption and decryption jobs on fixed-seed
// trees, in both container formats, headless and through the real windows,
// each next to what the same run measures for the RC4 keystream, Linux's own
// `cp -r`, a Win32 copy and a Win32 deletion of the same tree, with CPU time
// and peak memory, and the targets as ratios of those figures: format 1's
// against those baselines, format 2's against format 1's.
#pragma once

#include "bench/targets.h"

#include <cstdint>
#include <string>

namespace bench {

struct JobBenchOptions {
    std::wstring folder;    // where the trees, copies and containers go
    std::string scenarios;  // any of 'a', 'b', 'c', 'm'
    unsigned percent = 100; // shrinks every scenario for a quick run
    int rounds = 1;
    unsigned settleSeconds = 6;      // pause before each measured step
    bool windows = true;             // also run the jobs through the real program
    double rc4BytesPerSecond = 0;    // keystream speed measured in this run
    double rc4CpuBytesPerSecond = 0; // the same by CPU time
    // What one key derivation with the default cost adds to a process's
    // peak working set, measured in this run: format 2's jobs may hold that
    // much more than format 1's.
    uint64_t kdfPeakBytes = 0;
    double kdfWriteSeconds = 0; // the same derivation's time for a new container
    double kdfCheckSeconds = 0; // and for one that is read
    CTargetList earlierTargets; // of this run's cipher measures, for the final table
};

// Runs the scenarios in order and prints their report. Returns 0 when every
// job succeeded, restored every byte and met its targets, 3 when only targets
// were missed, 1 when something failed.
int RunJobBenchmark(const JobBenchOptions& options);

} // namespace bench
