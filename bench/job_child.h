// Each measured job runs in a fresh child process of the benchmark, so its
// peak working set is that job's alone and not what an earlier job or the
// tree generator left behind.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct JobRun {
    bool succeeded = false;
    std::string errorText;
    double seconds = 0;    // the job alone, without process start-up
    double cpuSeconds = 0; // user + kernel time of all the child's threads in the job
    // Encryption: when the container was complete under its own name
    // (written and on the device), before it is read back and the sources
    // are deleted.
    double packSeconds = 0;
    // Encryption: the job's read-back check of the container, run once more
    // by itself right after the job (the container's bytes are as fresh in
    // the cache as they were for the job's own check).
    double readBackSeconds = 0;
    uint64_t idleWorkingSet = 0; // the child's working set just before the job
    uint64_t peakWorkingSet = 0; // the child's peak working set after the job
};

// Encrypts item into container (which is beside it) in a child process.
bool RunEncryptionChild(const std::wstring& item, const std::wstring& container, JobRun& run);
// Restores container beside itself in a child process.
bool RunDecryptionChild(const std::wstring& container, JobRun& run);

// The child's side: argv[first..] are "encrypt CONTAINER ITEM" or
// "decrypt CONTAINER". Prints one result line; returns the exit code.
int ChildMain(int argc, wchar_t** argv, int first);

} // namespace bench
