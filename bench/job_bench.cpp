// One scenario at a time: write the tree, then per round
//   1. the RC4 keystream speed and the key derivation's time (child
//      process) once more, next to the jobs, in case the machine's load
//      changed;
//   2. the cost of forcing as many fresh bytes to the disk with one
//      FlushFileBuffers, which the encryption job pays once for its
//      container before it counts as complete;
//   3. a Win32 copy of the tree beside itself (ReadFile/WriteFile, 1 MiB
//      buffer), then the Win32 deletion of that copy, each timed;
//   4. Linux's own `cp -r` of the tree beside itself, timed by a shell
//      script the benchmark starts at this point (see native_copy.h); the
//      copy is then deleted untimed;
//   4b. the two floors no Win32 program can go below: reading every file of
//      the tree (open, read, close; what packing must do at least), and
//      writing the tree anew with each file forced to the device before it
//      is closed, on as many threads as the restore writes with (what a
//      durable restore must do at least); that copy is deleted untimed;
//   5. the encryption job (child process): tree -> container, tree deleted;
//   6. the decryption job (child process): container -> tree, container
//      deleted; the restored tree is then checked byte for byte;
//   7. and 8. the same two jobs through the real program's windows, from
//      the button press to the message box; the tree is checked again;
//   steps 5 to 8 once in each container format, the formats taking turns
//   at going first. Format 2's jobs pay their key derivation with the cost
//   every new container gets.
// Each measured step starts after a settling pause (6 s by default) and
// reads what the step before wrote. On a virtual machine, memory released by
// a step is handed back to the host within seconds, and file cache memory
// that has to come back from the host costs several times as much to write:
// a step right after a deletion writes fast until the memory released there
// runs out or is handed back, so a quick copy would run on it entirely and a
// job that takes longer would not. After the pause every step meets the
// same settled state. At most two copies of the data exist at any moment.
//
// Best (least) wall time and least CPU time of the rounds are kept; the
// machine is shared, and CPU time is the steady figure.
#include "bench/job_bench.h"

#include "bench/bench_common.h"
#include "bench/job_child.h"
#include "bench/job_measures.h"
#include "bench/job_tree.h"
#include "bench/native_copy.h"
#include "bench/targets.h"
#include "bench/window_job.h"
#include "common/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr uint64_t kBlock = 1ull << 20;
// The password the child jobs use (job_child.cpp), typed into the windows.
const wchar_t kPassword[] = L"job benchmark password";

// The buffers the jobs are built to hold at most, for a tree whose largest
// file has the given size. Encryption: a 1 MiB block to encipher in, the
// container's three 1 MiB write-behind blocks, and three 1 MiB read-ahead
// blocks for a source larger than a block; the read-back check afterwards
// holds less (one block and three read-ahead blocks). Decryption: the
// container's three 1 MiB read-ahead blocks, a 1 MiB body buffer, and the
// restored files' writers: a queue of up to 256 bodies or 8 MiB, one more
// body admitted past that limit and one in hand on each of 4 threads.
uint64_t FixedEncryptBuffers(uint64_t largestFile) {
    return kBlock + 3 * kBlock + (largestFile > kBlock ? 3 * kBlock : 0);
}
uint64_t FixedDecryptBuffers(uint64_t largestFile) {
    const uint64_t body = std::min(largestFile, kBlock);
    const uint64_t queue = std::min<uint64_t>(256 * body, (8ull << 20) + body);
    return 3 * kBlock + kBlock + queue + 4 * body;
}

void KeepHighestPeak(JobRun& kept, const JobRun& run) {
    if (kept.peakWorkingSet == 0 || PeakBeyondIdle(run) > PeakBeyondIdle(kept))
        kept = run;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Report(bool ok, const char* what) {
    if (!ok)
        std::printf("  FAILED: %s (error %lu)\n", what, GetLastError());
    return ok;
}

// Lets the machine settle before a measured step (see the top of the file).
void Settle(unsigned seconds) {
    Sleep(seconds * 1000);
}

// Runs step on this thread and keeps its wall and CPU time; false when the
// step failed.
template <typename Step> bool Timed(Figure& figure, double& wall, Step step) {
    const double cpuBefore = ProcessCpuSeconds();
    CStopwatch time;
    const bool ok = step();
    wall = time.Seconds();
    if (ok)
        figure.Keep(wall, ProcessCpuSeconds() - cpuBefore);
    return ok;
}

// Times FlushFileBuffers on a file freshly written with bytes (the writing
// is not timed).
bool MeasureFlush(const std::wstring& path, uint64_t bytes, double& seconds) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!Report(file.IsValid(), "creating the flush measuring file"))
        return false;
    std::vector<uint8_t> chunk(1 << 20);
    FillPattern(chunk.data(), chunk.size(), 5);
    bool ok = true;
    for (uint64_t done = 0; ok && done < bytes;) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(chunk.size(), bytes - done));
        DWORD written = 0;
        ok = WriteFile(file.Get(), chunk.data(), n, &written, nullptr) && written == n;
        done += n;
    }
    CStopwatch time;
    ok = Report(ok && FlushFileBuffers(file.Get()), "writing the flush measuring file");
    seconds = time.Seconds();
    file.Reset();
    return Report(DeleteFileW(path.c_str()) != FALSE, "deleting the flush measuring file") && ok;
}

// The restore writes files on this many threads besides its own.
constexpr int kRestoreWriterThreads = 4;

// Steps 3, 4 and 4b: the copies, the deletion and the two floors the jobs
// are measured against.
bool CopyBaselines(const TreeLayout& layout, const std::wstring& item, const std::wstring& copy,
                   const std::wstring& work, unsigned settleSeconds, Measures& m, double& win32,
                   double& deletion, double& native) {
    CopyCounts counts;
    Settle(settleSeconds);
    if (!Report(Timed(m.win32Copy, win32, [&] { return CopyTree(item, copy, counts); }),
                "Win32 copy of the tree"))
        return false;
    Settle(settleSeconds);
    if (!Report(Timed(m.deletion, deletion, [&] { return DeleteTree(copy); }), "deleting the copy"))
        return false;
    Settle(settleSeconds);
    NativeCopyResult result;
    std::string problem;
    if (!NativeCopyTree(item, copy, work, result, problem)) {
        std::printf("  FAILED: cp -r of the tree: %s\n", problem.c_str());
        DeleteTree(copy);
        return false;
    }
    native = result.seconds;
    m.nativeCopy.Keep(result.seconds, result.cpuSeconds);
    if (!Report(DeleteTree(copy), "deleting the cp -r copy"))
        return false;
    double seconds = 0;
    Settle(settleSeconds);
    CopyCounts read;
    if (!Report(Timed(m.win32Read, seconds, [&] { return ReadTree(item, read); }),
                "Win32 read of the tree"))
        return false;
    Settle(settleSeconds);
    if (!Report(Timed(m.durableWrite, seconds,
                      [&] { return WriteTreeDurably(copy, layout, kRestoreWriterThreads); }),
                "durable Win32 write of the tree"))
        return false;
    return Report(DeleteTree(copy), "deleting the durably written copy");
}

bool CheckAfterJob(bool encrypt, const std::wstring& item, const std::wstring& container) {
    // What the job leaves behind is part of its promise.
    if (encrypt && (Exists(item) || !Exists(container))) {
        std::printf("  FAILED: after encryption the source %s and the container %s\n",
                    Exists(item) ? "remains" : "is gone",
                    Exists(container) ? "exists" : "is missing");
        return false;
    }
    if (!encrypt && Exists(container)) {
        std::printf("  FAILED: the container remains after decryption\n");
        return false;
    }
    return true;
}

bool RunJob(bool encrypt, const std::wstring& item, const std::wstring& container,
            ContainerFormat format, JobRun& run) {
    bool ok = encrypt ? RunEncryptionChild(item, container, format, run)
                      : RunDecryptionChild(container, run);
    if (!ok) {
        std::printf("  FAILED: the %s job: %s\n", encrypt ? "encryption" : "decryption",
                    run.errorText.c_str());
        return false;
    }
    return CheckAfterJob(encrypt, item, container);
}

bool RunWindowJob(bool encrypt, const std::wstring& item, const std::wstring& container,
                  ContainerFormat format, WindowRun& run) {
    bool ok = encrypt ? RunEncryptionWindows(item, kPassword, format, run)
                      : RunDecryptionWindows(container, kPassword, run);
    if (!ok) {
        std::printf("  FAILED: the %s through the windows: %s\n",
                    encrypt ? "encryption" : "decryption", run.problem.c_str());
        return false;
    }
    return CheckAfterJob(encrypt, item, container);
}

bool VerifyRestored(const std::wstring& item, const TreeLayout& layout) {
    std::string problem;
    if (VerifyTree(item, layout, problem))
        return true;
    std::printf("  FAILED: the restored tree differs from the original: %s\n", problem.c_str());
    return false;
}

// Steps 5 to 8 in one format.
bool RunFormatJobs(const TreeLayout& layout, const std::wstring& item,
                   const std::wstring& container, const JobBenchOptions& options, int f,
                   FormatMeasures& m) {
    JobRun encrypt, decrypt;
    Settle(options.settleSeconds);
    if (!RunJob(true, item, container, kFormats[f], encrypt))
        return false;
    Settle(options.settleSeconds);
    if (!RunJob(false, item, container, kFormats[f], decrypt) || !VerifyRestored(item, layout))
        return false;
    m.pack.Keep(encrypt.packSeconds, 0);
    m.readBack.Keep(encrypt.readBackSeconds, 0);
    m.encryptJob.Keep(encrypt.seconds, encrypt.cpuSeconds);
    m.decryptJob.Keep(decrypt.seconds, decrypt.cpuSeconds);
    KeepHighestPeak(m.encryptPeak, encrypt);
    KeepHighestPeak(m.decryptPeak, decrypt);
    std::printf("    format %d: encrypt %.2f s (container complete at %.2f s, read-back check "
                "%.2f s), decrypt %.2f s",
                FormatNumber(f), encrypt.seconds, encrypt.packSeconds, encrypt.readBackSeconds,
                decrypt.seconds);
    std::fflush(stdout);

    if (options.windows) {
        WindowRun encryptWindows, decryptWindows;
        Settle(options.settleSeconds);
        if (!RunWindowJob(true, item, container, kFormats[f], encryptWindows))
            return false;
        Settle(options.settleSeconds);
        if (!RunWindowJob(false, item, container, kFormats[f], decryptWindows) ||
            !VerifyRestored(item, layout))
            return false;
        m.encryptWindows.Keep(encryptWindows.seconds, 0);
        m.decryptWindows.Keep(decryptWindows.seconds, 0);
        std::printf(", through the windows %.2f s / %.2f s", encryptWindows.seconds,
                    decryptWindows.seconds);
    }
    std::printf("; restored tree verified\n");
    std::fflush(stdout);
    return true;
}

bool RunRound(const TreeLayout& layout, const std::wstring& work, const std::wstring& item,
              const std::wstring& copy, const std::wstring& container,
              const JobBenchOptions& options, int round, Measures& m) {
    // Long enough for the CPU clock, which may tick every 10 ms.
    Rc4Result rc4 = RunRc4Benchmark(64 << 20, 1);
    const double rc4Rate = static_cast<double>(rc4.bytes) / rc4.rc4Seconds;
    if (rc4Rate > m.rc4BytesPerSecond) {
        m.rc4BytesPerSecond = rc4Rate;
        m.rc4CpuBytesPerSecond = static_cast<double>(rc4.bytes) / rc4.rc4CpuSeconds;
    }
    KdfRun kdf;
    if (!RunKdfChild(work + L"\\kdf.lock", kdf)) {
        std::printf("  FAILED: the key derivation: %s\n", kdf.errorText.c_str());
        return false;
    }
    m.kdfWrite.Keep(kdf.writeSeconds, 0);
    m.kdfCheck.Keep(kdf.checkSeconds, 0);
    double flush = 0, win32 = 0, deletion = 0, native = 0;
    if (!MeasureFlush(copy, layout.totalBytes, flush))
        return false;
    m.flush.Keep(flush, 0);
    if (!CopyBaselines(layout, item, copy, work, options.settleSeconds, m, win32, deletion, native))
        return false;
    std::printf("  round %d: RC4 %.0f MB/s, key derivation %.2f s / %.2f s, flush %.2f s, Win32 "
                "copy %.2f s, deletion %.2f s, cp -r %.2f s\n",
                round + 1, rc4Rate / 1e6, kdf.writeSeconds, kdf.checkSeconds, flush, win32,
                deletion, native);
    std::fflush(stdout);
    // The formats take turns going first, so that neither always meets the
    // state of the disk and the memory that the other left behind.
    for (int k = 0; k < kFormatCount; ++k) {
        const int f = (k + round) % kFormatCount;
        if (!RunFormatJobs(layout, item, container, options, f, m.format[f]))
            return false;
    }
    return true;
}

bool EnoughSpace(const std::wstring& folder, const TreeLayout& layout) {
    // Two copies of the data, with a cluster of slack per file.
    uint64_t need = 2 * layout.totalBytes + 2 * 8192 * layout.files.size() + (256ull << 20);
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExW((folder + L"\\").c_str(), &freeBytes, nullptr, nullptr))
        return true;
    if (freeBytes.QuadPart >= need)
        return true;
    std::printf("  Not enough free space in %ls: %.0f MiB needed, %.0f MiB free\n", folder.c_str(),
                static_cast<double>(need) / kMiB, static_cast<double>(freeBytes.QuadPart) / kMiB);
    return false;
}

// False when the scenario failed; result holds its figures otherwise.
bool RunScenario(const JobBenchOptions& options, char id, ScenarioResult& result) {
    TreeLayout& layout = result.layout;
    if (!MakeScenario(id, options.percent, layout)) {
        std::printf("Unknown scenario %c\n", id);
        return false;
    }
    std::printf(
        "\n== Scenario %c, %s: %llu file%s in %llu folder%s, %.1f MB\n", id - 'a' + 'A',
        layout.description.c_str(), static_cast<unsigned long long>(layout.files.size()),
        layout.files.size() == 1 ? "" : "s", static_cast<unsigned long long>(layout.folders.size()),
        layout.folders.size() == 1 ? "" : "s", static_cast<double>(layout.totalBytes) / 1e6);
    const std::wstring work = options.folder + L"\\tessalock_jobbench_" + wchar_t(id);
    const std::wstring item = work + L"\\" + layout.itemName;
    const std::wstring copy = item + L"_copy";
    const std::wstring container = item + L".lock";
    if (!Report(DeleteTree(work), "removing an earlier run's folder") ||
        !Report(CreateDirectoryW(work.c_str(), nullptr) != FALSE, "creating the work folder"))
        return false;
    if (!EnoughSpace(options.folder, layout)) {
        DeleteTree(work);
        return false;
    }
    uint64_t largest = 0;
    for (const TreeFile& file : layout.files)
        largest = std::max(largest, file.size);
    result.fixedEncrypt = FixedEncryptBuffers(largest);
    result.fixedDecrypt = FixedDecryptBuffers(largest);

    CStopwatch generation;
    bool ok = Report(WriteTree(item, layout), "writing the tree");
    if (ok)
        std::printf("  tree written in %.1f s\n", generation.Seconds());
    std::fflush(stdout);
    result.m.rc4BytesPerSecond = options.rc4BytesPerSecond;
    result.m.rc4CpuBytesPerSecond = options.rc4CpuBytesPerSecond;
    result.m.kdfWrite.Keep(options.kdfWriteSeconds, 0);
    result.m.kdfCheck.Keep(options.kdfCheckSeconds, 0);
    for (int round = 0; ok && round < options.rounds; ++round)
        ok = RunRound(layout, work, item, copy, container, options, round, result.m);
    Report(DeleteTree(work), "removing the work folder");
    return ok;
}

} // namespace

int RunJobBenchmark(const JobBenchOptions& options) {
    std::printf("\nWhole jobs, each run headless in a fresh child process%s, next to the RC4 "
                "keystream,\nLinux's cp -r, a Win32 copy (ReadFile/WriteFile, 1 MiB buffer) and a "
                "Win32 deletion of the same tree,\nall measured in this run in %ls.\n"
                "\"pack\" is the encryption until its container is complete and on the device; "
                "the encryption job\nthen reads it back and deletes the sources. Each measured "
                "step follows a %u s pause (--settle).\n",
                options.windows ? " and through the real program's windows" : "",
                options.folder.c_str(), options.settleSeconds);
    std::vector<ScenarioResult> results;
    CTargetList allTargets = options.earlierTargets;
    for (char id : options.scenarios) {
        ScenarioResult result;
        if (!RunScenario(options, id, result))
            return 1;
        CTargetList targets;
        AddTargets(result, options.windows, static_cast<double>(options.kdfPeakBytes) / kMiB,
                   targets);
        PrintScenarioReport(result, options, options.windows, targets);
        for (const Target& t : targets.Targets())
            allTargets.AddTarget(t);
        results.push_back(result);
    }
    PrintSummaryTable(results, options.windows);
    std::printf("\n");
    allTargets.PrintTable();
    const bool met = allTargets.AllMet();
    std::printf("\n%s\n", met ? "Every job target met." : "Some job targets MISSED.");
    return met ? 0 : 3;
}

} // namespace bench
