// One scenario at a time: write the tree, then per round
//   1. the RC4 keystream speed once more, next to the jobs, in case the
//      machine's load changed;
//   2. the cost of forcing as many fresh bytes to the disk with one
//      FlushFileBuffers, which the encryption job pays once for its
//      container before it may delete anything (a flush per copied file
//      would charge the copy a journal commit per file, which the job does
//      not pay);
//   3. copy baseline for encryption: copy the tree beside itself and delete
//      the original (every byte read and written once, every source deleted,
//      as the job does);
//   4. copy baseline for decryption: copy that copy back to the original
//      name (every byte read once, every file and folder created once, as the
//      job does); then the copy is deleted;
//   5. the encryption job (child process): tree -> container, tree deleted;
//   6. the decryption job (child process): container -> tree, container
//      deleted; the restored tree is then checked byte for byte.
// Each of the four measured steps starts after a settling pause (6 s by
// default) that follows a deletion of as many bytes as it writes, and reads
// what the step before wrote. On a virtual machine, memory released by a
// step is handed back to the host within seconds, and file cache memory that
// has to come back from the host costs several times as much to write: a
// step right after a deletion writes fast until the memory released there
// runs out or is handed back, so a quick copy would run on it entirely and a
// job that takes longer would not. After the pause every step meets the
// same settled state. The file system, too, is slower to create files
// shortly after many were deleted; both sides meet that alike. At most two
// copies of the data exist at any moment.
#include "bench/job_bench.h"

#include "bench/bench_common.h"
#include "bench/job_child.h"
#include "bench/job_tree.h"
#include "common/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr uint64_t kPeakLimitBytes = 16ull << 20;

// The fixed buffers the jobs are built to hold, for a tree whose largest file
// has the given size: encryption keeps a 1 MiB container buffer plus a read
// block and an input stream buffer of up to 256 KiB each; decryption an
// 8 KiB container buffer plus a block and an output buffer of up to 1 MiB each.
uint64_t FixedEncryptBuffers(uint64_t largestFile) {
    return (1ull << 20) + 2 * std::min<uint64_t>(largestFile, 256ull << 10);
}
uint64_t FixedDecryptBuffers(uint64_t largestFile) {
    return 8192 + 2 * std::min<uint64_t>(largestFile, 1ull << 20);
}

struct Measures {
    double encryptJob = 1e30;
    double encryptCopy = 1e30;
    double flush = 1e30;
    double rc4BytesPerSecond = 0; // the fastest keystream seen in this run
    double decryptJob = 1e30;
    double decryptCopy = 1e30;
    JobRun encryptPeak; // the run with the highest peak beyond idle
    JobRun decryptPeak;
};

void KeepHighestPeak(JobRun& kept, const JobRun& run) {
    auto beyond = [](const JobRun& r) {
        return r.peakWorkingSet > r.idleWorkingSet ? r.peakWorkingSet - r.idleWorkingSet : 0;
    };
    if (kept.peakWorkingSet == 0 || beyond(run) > beyond(kept))
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

// Times copying item beside itself and deleting the original (encryption's
// baseline), then copying the copy back (decryption's baseline); the copy is
// then removed (not timed).
bool CopyBaselines(const std::wstring& item, const std::wstring& copy, unsigned settleSeconds,
                   double& encryptSeconds, double& decryptSeconds) {
    CopyCounts counts;
    Settle(settleSeconds);
    Stopwatch encryptTime;
    bool ok = Report(CopyTree(item, copy, counts), "copy of the tree") &&
              Report(DeleteTree(item), "deleting the copied tree");
    encryptSeconds = encryptTime.Seconds();
    if (!ok)
        return false;
    Settle(settleSeconds);
    Stopwatch decryptTime;
    ok = Report(CopyTree(copy, item, counts), "copy of the copy");
    decryptSeconds = decryptTime.Seconds();
    return ok && Report(DeleteTree(copy), "deleting the copy");
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
    Stopwatch time;
    ok = Report(ok && FlushFileBuffers(file.Get()), "writing the flush measuring file");
    seconds = time.Seconds();
    file.Reset();
    return Report(DeleteFileW(path.c_str()) != FALSE, "deleting the flush measuring file") && ok;
}

bool RunJob(bool encrypt, const std::wstring& item, const std::wstring& container, JobRun& run) {
    bool ok =
        encrypt ? RunEncryptionChild(item, container, run) : RunDecryptionChild(container, run);
    if (!ok) {
        std::printf("  FAILED: the %s job: %s\n", encrypt ? "encryption" : "decryption",
                    run.errorText.c_str());
        return false;
    }
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

bool RunRound(const TreeLayout& layout, const std::wstring& item, const std::wstring& copy,
              const std::wstring& container, unsigned settleSeconds, int round, Measures& m) {
    Rc4Result rc4 = RunRc4Benchmark(32 << 20, 1);
    m.rc4BytesPerSecond =
        std::max(m.rc4BytesPerSecond, static_cast<double>(rc4.bytes) / rc4.rc4Seconds);
    double encryptCopy = 0, decryptCopy = 0, flush = 0;
    if (!MeasureFlush(copy, layout.totalBytes, flush) ||
        !CopyBaselines(item, copy, settleSeconds, encryptCopy, decryptCopy))
        return false;
    JobRun encrypt, decrypt;
    Settle(settleSeconds);
    if (!RunJob(true, item, container, encrypt))
        return false;
    Settle(settleSeconds);
    if (!RunJob(false, item, container, decrypt))
        return false;
    std::string problem;
    if (!VerifyTree(item, layout, problem)) {
        std::printf("  FAILED: the restored tree differs from the original: %s\n", problem.c_str());
        return false;
    }
    std::printf("  round %d: encrypt %.2f s (copy %.2f s, flush %.2f s), decrypt %.2f s "
                "(copy %.2f s), restored tree verified\n",
                round + 1, encrypt.seconds, encryptCopy, flush, decrypt.seconds, decryptCopy);
    std::fflush(stdout);
    m.encryptCopy = std::min(m.encryptCopy, encryptCopy);
    m.decryptCopy = std::min(m.decryptCopy, decryptCopy);
    m.flush = std::min(m.flush, flush);
    m.encryptJob = std::min(m.encryptJob, encrypt.seconds);
    m.decryptJob = std::min(m.decryptJob, decrypt.seconds);
    KeepHighestPeak(m.encryptPeak, encrypt);
    KeepHighestPeak(m.decryptPeak, decrypt);
    return true;
}

void PrintLine(const char* name, const TreeLayout& layout, double seconds) {
    std::printf("  %-34s %8.2f s %9.1f MB/s %9.0f files/s\n", name, seconds,
                MegabytesPerSecond(layout.totalBytes, seconds),
                seconds > 0 ? static_cast<double>(layout.files.size()) / seconds : 0.0);
}

// "job / (copy [+ flush] [+ RC4])" against its limit; true when met.
bool PrintRatio(const char* name, double job, double copy, double flush, double rc4, double limit) {
    double ratio = job / (copy + flush + rc4);
    bool met = ratio <= limit;
    std::printf("  %s: job / (copy%s%s) = %.2f / (%.2f", name, flush > 0 ? " + flush" : "",
                rc4 > 0 ? " + RC4" : "", job, copy);
    if (flush > 0)
        std::printf(" + %.2f", flush);
    if (rc4 > 0)
        std::printf(" + %.2f", rc4);
    std::printf(") = %.2f   target <= %.2f  %s\n", ratio, limit, met ? "met" : "MISSED");
    return met;
}

// Peak beyond the idle child and the fixed buffers; true when below 16 MiB.
bool PrintPeak(const char* name, const JobRun& run, uint64_t fixedBuffers, double& beyondMiB) {
    double peak = static_cast<double>(run.peakWorkingSet) / kMiB;
    double idle = static_cast<double>(run.idleWorkingSet) / kMiB;
    double fixed = static_cast<double>(fixedBuffers) / kMiB;
    beyondMiB = peak - idle - fixed;
    bool met = run.peakWorkingSet < run.idleWorkingSet + fixedBuffers + kPeakLimitBytes;
    std::printf("  %s peak working set %.1f MiB - idle %.1f MiB - fixed buffers %.2f MiB = "
                "%.2f MiB   target < 16 MiB  %s\n",
                name, peak, idle, fixed, beyondMiB, met ? "met" : "MISSED");
    return met;
}

// 0 all met, 3 a target missed.
int PrintScenarioReport(const TreeLayout& layout, const Measures& m, int rounds) {
    uint64_t largest = 0;
    for (const TreeFile& file : layout.files)
        largest = std::max(largest, file.size);
    const bool bulk = layout.id != 'b';
    const double rc4 = bulk ? static_cast<double>(layout.totalBytes) / m.rc4BytesPerSecond : 0.0;
    const double limit = bulk ? 1.30 : 1.50;

    std::printf("  -- best of %d round%s\n", rounds, rounds == 1 ? "" : "s");
    PrintLine("encryption job", layout, m.encryptJob);
    PrintLine("copy baseline (copy, delete source)", layout, m.encryptCopy);
    std::printf("  %-34s %8.2f s\n", "one flush of as many fresh bytes", m.flush);
    PrintLine("decryption job", layout, m.decryptJob);
    PrintLine("copy baseline (copy the copy back)", layout, m.decryptCopy);
    if (bulk)
        std::printf(
            "  RC4 keystream for %.1f MB: %.2f s (%.1f MB/s, the fastest measured in this run)\n",
            static_cast<double>(layout.totalBytes) / 1e6, rc4, m.rc4BytesPerSecond / 1e6);
    bool met = PrintRatio("encrypt", m.encryptJob, m.encryptCopy, m.flush, rc4, limit);
    std::printf("  (without the flush: %.2f)\n", m.encryptJob / (m.encryptCopy + rc4));
    met = PrintRatio("decrypt", m.decryptJob, m.decryptCopy, 0, rc4, limit) && met;
    double encryptBeyond = 0, decryptBeyond = 0;
    met = PrintPeak("encrypt", m.encryptPeak, FixedEncryptBuffers(largest), encryptBeyond) && met;
    met = PrintPeak("decrypt", m.decryptPeak, FixedDecryptBuffers(largest), decryptBeyond) && met;

    // For scripts: one line per figure.
    std::printf("JOB_%c_ENCRYPT_RATIO=%.3f\n", layout.id,
                m.encryptJob / (m.encryptCopy + m.flush + rc4));
    std::printf("JOB_%c_DECRYPT_RATIO=%.3f\n", layout.id, m.decryptJob / (m.decryptCopy + rc4));
    std::printf("JOB_%c_ENCRYPT_PEAK_BEYOND_MIB=%.2f\n", layout.id, encryptBeyond);
    std::printf("JOB_%c_DECRYPT_PEAK_BEYOND_MIB=%.2f\n", layout.id, decryptBeyond);
    return met ? 0 : 3;
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

int RunScenario(const JobBenchOptions& options, char id) {
    TreeLayout layout;
    if (!MakeScenario(id, options.percent, layout)) {
        std::printf("Unknown scenario %c\n", id);
        return 1;
    }
    std::printf(
        "\n== Scenario %c, %s: %llu file%s in %llu folder%s, %.1f MB\n", id,
        layout.description.c_str(), static_cast<unsigned long long>(layout.files.size()),
        layout.files.size() == 1 ? "" : "s", static_cast<unsigned long long>(layout.folders.size()),
        layout.folders.size() == 1 ? "" : "s", static_cast<double>(layout.totalBytes) / 1e6);
    const std::wstring work = options.folder + L"\\tessalock_jobbench_" + wchar_t(id);
    const std::wstring item = work + L"\\" + layout.itemName;
    const std::wstring copy = item + L"_copy";
    const std::wstring container = item + L".lock";
    if (!Report(DeleteTree(work), "removing an earlier run's folder") ||
        !Report(CreateDirectoryW(work.c_str(), nullptr) != FALSE, "creating the work folder"))
        return 1;
    if (!EnoughSpace(options.folder, layout)) {
        DeleteTree(work);
        return 1;
    }

    Stopwatch generation;
    bool ok = Report(WriteTree(item, layout), "writing the tree");
    if (ok)
        std::printf("  tree written in %.1f s\n", generation.Seconds());
    std::fflush(stdout);
    Measures m;
    m.rc4BytesPerSecond = options.rc4BytesPerSecond;
    for (int round = 0; ok && round < options.rounds; ++round)
        ok = RunRound(layout, item, copy, container, options.settleSeconds, round, m);
    Report(DeleteTree(work), "removing the work folder");
    if (!ok)
        return 1;
    return PrintScenarioReport(layout, m, options.rounds);
}

} // namespace

int RunJobBenchmark(const JobBenchOptions& options) {
    std::printf("\nWhole jobs, each run in a fresh child process, next to a plain copy of the "
                "same tree\n(ReadFile/WriteFile with a 1 MiB buffer, CreateDirectoryW per "
                "folder) in %ls.\n",
                options.folder.c_str());
    std::printf("Encryption is compared with copying the tree and deleting the source, plus one "
                "flush of as many bytes;\ndecryption with copying that copy back. Bulk "
                "scenarios add the RC4 keystream time.\nEach measured step follows a %u s pause "
                "(--settle) so that all meet the same state of memory and disk.\n",
                options.settleSeconds);
    int status = 0;
    for (char id : options.scenarios) {
        int result = RunScenario(options, id);
        if (result == 1)
            return 1;
        status = std::max(status, result);
    }
    std::printf("\n%s\n", status == 0 ? "Every job target met." : "Some job targets MISSED.");
    return status;
}

} // namespace bench
