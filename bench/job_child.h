// Each measured job, and each measured key derivation, runs in a fresh child
// process of the benchmark, so its peak working set is its own alone and not
// what an earlier job, the tree generator or the cipher benchmark's buffers
// left behind.
#pragma once

#include "engine/container.h"

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

// Encrypts item into container (which is beside it) in the format, in a
// child process.
bool RunEncryptionChild(const std::wstring& item, const std::wstring& container,
                        ContainerFormat format, JobRun& run);
// Restores container beside itself in a child process; the container says
// its format.
bool RunDecryptionChild(const std::wstring& container, JobRun& run);

// One key derivation with the cost every new container gets.
struct KdfRun {
    std::string errorText;
    double writeSeconds = 0; // CContainerWriter::WriteHeader: a fresh salt, one derivation
    double checkSeconds = 0; // CContainerReader::CheckHeader of that header: one more
    double cpuSeconds = 0;   // of both, every thread of the child
    uint64_t idleWorkingSet = 0;
    uint64_t peakWorkingSet = 0;
};

// Writes a container of nothing but its header at scratchPath (which must
// not exist) and reads the header back, in a child process; the file is
// deleted again.
bool RunKdfChild(const std::wstring& scratchPath, KdfRun& run);

// The child's side: argv[first..] are "encrypt FORMAT CONTAINER ITEM" (FORMAT
// 1 or 2), "decrypt CONTAINER" or "kdf PATH". Prints one result line;
// returns the exit code.
int ChildMain(int argc, wchar_t** argv, int first);

} // namespace bench
