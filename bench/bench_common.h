// Shared pieces of the benchmark program: a wall-clock timer, the process's
// CPU time, deterministic test bytes, one line of the report, and the parts
// the program runs.
#pragma once

#include "engine/container.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// Seconds since construction, from the performance counter.
class CStopwatch {
public:
    CStopwatch();
    double Seconds() const;

private:
    LARGE_INTEGER start_;
};

// User plus kernel time of every thread of this process so far. On a
// machine shared with others this stays steady where wall time does not.
double ProcessCpuSeconds();

// Fills with pseudo-random bytes (xorshift), fast enough for gigabytes.
void FillPattern(uint8_t* data, size_t size, uint64_t seed);

// A text for the report: characters outside ASCII become '?'.
std::string Narrow(const std::wstring& text);

// Megabytes (10^6 bytes) per second, the unit `openssl speed` uses.
double MegabytesPerSecond(uint64_t bytes, double seconds);

// "name  xxx MB/s   baseline  yyy MB/s   ratio z.zz"
void PrintComparison(const char* name, uint64_t bytes, double seconds, const char* baselineName,
                     double baselineSeconds);

// Times returned by the benchmark parts, for the summary.
struct Rc4Result {
    double rc4Seconds;
    double xorSeconds;
    double rc4CpuSeconds; // of the fastest round
    uint64_t bytes;
};

// Least wall and least CPU time of the rounds, each for bytes sealed and as
// many opened.
struct GcmResult {
    double sealSeconds; // AES-256-GCM segments sealed in place
    double sealCpuSeconds;
    double openSeconds; // and opened again, tags checked
    double openCpuSeconds;
    uint64_t bytes;
};

struct ContainerResult {
    double writeSeconds;
    double writeCopySeconds;
    double readSeconds;
    double readCopySeconds;
    uint64_t bytes;
    bool verified;
};

Rc4Result RunRc4Benchmark(size_t bytes, int rounds);
// Over a buffer of whole 1 MiB segments (at least one), in as many passes
// per round as make at least leastPerRound bytes: the CPU clock ticks in
// steps of 10 ms or more. False when the codec could not be keyed or a
// segment failed.
bool RunGcmBenchmark(size_t bytes, uint64_t leastPerRound, int rounds, GcmResult& result);
// Needs room for three files of `bytes` in `folder`. False (with a message
// printed) when a file could not be written or read.
bool RunContainerBenchmark(const std::wstring& folder, uint64_t bytes, int rounds,
                           ContainerFormat format, ContainerResult& result);

} // namespace bench
