// What the job benchmark keeps of its rounds, per scenario and per
// container format, and the report made of it: the figures, the targets as
// ratios of them, and the closing Markdown table.
#pragma once

#include "bench/job_bench.h"
#include "bench/job_child.h"
#include "bench/job_tree.h"
#include "bench/targets.h"
#include "engine/container.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bench {

// Wall time (least of the rounds) and CPU time (least of the rounds).
struct Figure {
    double seconds = 1e30;
    double cpuSeconds = 1e30;
    void Keep(double wall, double cpu) {
        seconds = std::min(seconds, wall);
        cpuSeconds = std::min(cpuSeconds, cpu);
    }
    bool Measured() const { return seconds < 1e29; }
};

// The jobs' figures in one container format.
struct FormatMeasures {
    Figure pack;     // encryption until the container is complete (wall only)
    Figure readBack; // the encryption's read-back check, run again (wall only)
    Figure encryptJob;
    Figure decryptJob;
    Figure encryptWindows; // wall only
    Figure decryptWindows;
    JobRun encryptPeak; // the run with the highest peak beyond idle
    JobRun decryptPeak;
};

// Every job runs in both formats; the old one is the reference the new one
// is held against.
constexpr int kFormatCount = 2;
constexpr ContainerFormat kFormats[kFormatCount] = {ContainerFormat::Legacy,
                                                    ContainerFormat::Authenticated};

inline int FormatNumber(int index) {
    return static_cast<int>(kFormats[index]);
}

struct Measures {
    double rc4BytesPerSecond = 0;    // the fastest keystream seen in this run
    double rc4CpuBytesPerSecond = 0; // the same by CPU time
    Figure flush;                    // one FlushFileBuffers of as many fresh bytes (wall only)
    Figure win32Copy;
    Figure deletion; // Win32 deletion of a copy of the tree
    Figure nativeCopy;
    Figure win32Read;    // every file of the tree opened, read and closed
    Figure durableWrite; // the tree written anew, each file flushed before its close
    // One key derivation with the default cost (wall only), measured again
    // in every round like the keystream, as the load on the machine
    // changes: for a new container, and for one that is read.
    Figure kdfWrite;
    Figure kdfCheck;
    FormatMeasures format[kFormatCount]; // in the order of kFormats
};

// What one scenario measured, for the summary at the end.
struct ScenarioResult {
    TreeLayout layout;
    Measures m;
    uint64_t fixedEncrypt = 0;
    uint64_t fixedDecrypt = 0;
};

inline uint64_t PeakBeyondIdle(const JobRun& run) {
    return run.peakWorkingSet > run.idleWorkingSet ? run.peakWorkingSet - run.idleWorkingSet : 0;
}

// The targets of one scenario, as ratios of figures of this run; kdfMiB is
// the key derivation's memory measured at the start of the run.
void AddTargets(const ScenarioResult& r, bool windows, double kdfMiB, CTargetList& targets);
void PrintScenarioReport(const ScenarioResult& r, const JobBenchOptions& options, bool windows,
                         const CTargetList& targets);
// The figures of every scenario as one Markdown table, a row per format.
void PrintSummaryTable(const std::vector<ScenarioResult>& results, bool windows);

} // namespace bench
