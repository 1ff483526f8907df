// The whole-job benchmark: the encryption and decryption jobs run headless
// on fixed-seed trees, each next to a plain copy of the same tree measured in
// the same run, with the jobs' peak working set.
#pragma once

#include <string>

namespace bench {

struct JobBenchOptions {
    std::wstring folder;    // where the trees, copies and containers go
    std::string scenarios;  // any of 'a', 'b', 'c'
    unsigned percent = 100; // shrinks every scenario for a quick run
    int rounds = 1;
    unsigned settleSeconds = 6;   // pause before each measured step
    double rc4BytesPerSecond = 0; // keystream speed measured in this run
};

// Runs the scenarios in order and prints their report. Returns 0 when every
// job succeeded, restored every byte and met its targets, 3 when only targets
// were missed, 1 when something failed.
int RunJobBenchmark(const JobBenchOptions& options);

} // namespace bench
