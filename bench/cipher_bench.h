// The two formats' costs that do not depend on files: the cipher of each
// (RC4's keystream, AES-256-GCM segments as the authenticated container
// seals them, the latter next to OpenSSL's rate on this machine) and the
// authenticated format's key derivation, its time and its memory.
#pragma once

#include "bench/bench_common.h"
#include "bench/job_child.h"
#include "bench/targets.h"

#include <cstddef>
#include <string>

namespace bench {

struct CipherBenchOptions {
    size_t bytes = 0; // the buffer the AES-256-GCM segments are sealed in
    int rounds = 1;
    // OpenSSL's AES-256-GCM over 1 MiB messages, natively on this machine
    // (bench/run.sh measures it before Wine starts); 0 when not given.
    double opensslGcmMegabytesPerSecond = 0;
    std::wstring folder; // where the key derivation writes its header
};

struct CipherBenchResult {
    GcmResult gcm;
    KdfRun kdf; // the least times of the rounds, the highest peak
};

// Peak working set growth of a key derivation run.
uint64_t KdfPeakBeyondIdle(const KdfRun& run);

// Measures, prints the figures and adds the targets (the cipher at least
// half OpenSSL's rate). False, with a message printed, when something
// failed.
bool RunCipherBenchmark(const CipherBenchOptions& options, CipherBenchResult& result,
                        CTargetList& targets);

} // namespace bench
