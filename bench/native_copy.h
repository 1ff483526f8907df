// The native copy the jobs are compared with: Linux's own `cp -r` of the
// same tree, started from the benchmark at the same point of the run. Wine
// runs a Linux program handed to CreateProcessW itself, but gives no process
// handle to wait on, so a small shell script times the copy and writes its
// figures to a result file the benchmark waits for.
#pragma once

#include <string>

namespace bench {

struct NativeCopyResult {
    double seconds = 0;    // wall time of cp alone, as the script measured it
    double cpuSeconds = 0; // user + system time of cp
};

// Runs `cp -r from to` (Windows paths; to must not exist). workFolder takes
// the script and its result file for the time of the call. False, with a
// message in problem, when the copy could not be run or failed.
bool NativeCopyTree(const std::wstring& from, const std::wstring& to,
                    const std::wstring& workFolder, NativeCopyResult& result, std::string& problem);

// The children's line of the shell's `times` ("0m1.250000s 0m0.500000s") as
// user + system seconds; false when it does not read as one.
bool ParseShellTimes(const std::string& line, double& seconds);

} // namespace bench
