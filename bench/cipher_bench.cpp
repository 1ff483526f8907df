// The authenticated format's cipher and key derivation in the report. Each
// key derivation runs in a fresh child process, so its memory is not hidden
// in the peak that the cipher buffers of this process already set.
#include "bench/cipher_bench.h"

#include "engine/sealed_format.h"

#include <windows.h>

#include <cstdio>

namespace bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// The cipher must keep at least this share of OpenSSL's own AES-256-GCM.
constexpr double kOpenSslShare = 0.5;
// Sealed and opened per round: enough for the CPU clock's 10 ms steps.
constexpr uint64_t kGcmBytesPerRound = 1ull << 30;

// OpenSSL's speed test divides by the CPU time it used, not by the wall
// time, so a machine shared with others hardly changes its figure; the
// cipher is compared with it by CPU time too.
void PrintGcmLine(const char* name, uint64_t bytes, double seconds, double cpuSeconds,
                  double openssl) {
    const double cpuSpeed = MegabytesPerSecond(bytes, cpuSeconds);
    std::printf("%-22s %9.1f MB/s (by CPU time %.1f MB/s)   %s ", name,
                MegabytesPerSecond(bytes, seconds), cpuSpeed, "OpenSSL AES-256-GCM");
    if (openssl > 0)
        std::printf("%.1f MB/s   ratio by CPU time %.2f\n", openssl, cpuSpeed / openssl);
    else
        std::printf("not measured (bench/run.sh passes --openssl-gcm-mbps)\n");
}

bool MeasureKdf(const CipherBenchOptions& options, KdfRun& best) {
    const std::wstring scratch = options.folder + L"\\tessalock_bench_kdf.lock";
    DeleteFileW(scratch.c_str());
    for (int round = 0; round < options.rounds; ++round) {
        KdfRun run;
        if (!RunKdfChild(scratch, run)) {
            std::printf("Key derivation failed: %s\n", run.errorText.c_str());
            return false;
        }
        if (round == 0 || run.writeSeconds < best.writeSeconds) {
            best.writeSeconds = run.writeSeconds;
            best.cpuSeconds = run.cpuSeconds;
        }
        if (round == 0 || run.checkSeconds < best.checkSeconds)
            best.checkSeconds = run.checkSeconds;
        if (round == 0 || KdfPeakBeyondIdle(run) > KdfPeakBeyondIdle(best)) {
            best.idleWorkingSet = run.idleWorkingSet;
            best.peakWorkingSet = run.peakWorkingSet;
        }
    }
    return true;
}

void PrintKdf(const KdfRun& kdf) {
    std::printf("Key derivation (Argon2id, %u MiB, %u passes, %u lanes; what every new container "
                "gets):\n",
                kDefaultKdf.memoryKiB / 1024, kDefaultKdf.passes, kDefaultKdf.lanes);
    std::printf("  writing a header %.2f s, checking it %.2f s (CPU of both %.2f s)\n",
                kdf.writeSeconds, kdf.checkSeconds, kdf.cpuSeconds);
    std::printf("  peak working set %.1f MiB - idle %.1f MiB = %.1f MiB\n",
                static_cast<double>(kdf.peakWorkingSet) / kMiB,
                static_cast<double>(kdf.idleWorkingSet) / kMiB,
                static_cast<double>(KdfPeakBeyondIdle(kdf)) / kMiB);
    std::printf("KDF_SECONDS=%.3f\nKDF_PEAK_BEYOND_IDLE_MIB=%.1f\n", kdf.writeSeconds,
                static_cast<double>(KdfPeakBeyondIdle(kdf)) / kMiB);
}

} // namespace

uint64_t KdfPeakBeyondIdle(const KdfRun& run) {
    return run.peakWorkingSet > run.idleWorkingSet ? run.peakWorkingSet - run.idleWorkingSet : 0;
}

bool RunCipherBenchmark(const CipherBenchOptions& options, CipherBenchResult& result,
                        CTargetList& targets) {
    const GcmResult& gcm = result.gcm;
    if (!RunGcmBenchmark(options.bytes, kGcmBytesPerRound, options.rounds, result.gcm)) {
        std::printf("AES-256-GCM segments could not be sealed or opened\n");
        return false;
    }
    const double openssl = options.opensslGcmMegabytesPerSecond;
    PrintGcmLine("AES-256-GCM seal", gcm.bytes, gcm.sealSeconds, gcm.sealCpuSeconds, openssl);
    PrintGcmLine("AES-256-GCM open", gcm.bytes, gcm.openSeconds, gcm.openCpuSeconds, openssl);
    const double seal = MegabytesPerSecond(gcm.bytes, gcm.sealCpuSeconds);
    const double open = MegabytesPerSecond(gcm.bytes, gcm.openCpuSeconds);
    std::printf("GCM_SEAL_MBPS=%.1f\nGCM_OPEN_MBPS=%.1f\nGCM_SEAL_CPU_MBPS=%.1f\n"
                "GCM_OPEN_CPU_MBPS=%.1f\n",
                MegabytesPerSecond(gcm.bytes, gcm.sealSeconds),
                MegabytesPerSecond(gcm.bytes, gcm.openSeconds), seal, open);
    // Without OpenSSL's figure there is nothing to hold the cipher against.
    if (openssl > 0) {
        targets.AddRatio("AES-256-GCM seal / OpenSSL, by CPU time", seal, "seal MB/s", openssl,
                         "OpenSSL MB/s", kOpenSslShare, false);
        targets.AddRatio("AES-256-GCM open / OpenSSL, by CPU time", open, "open MB/s", openssl,
                         "OpenSSL MB/s", kOpenSslShare, false);
    }
    std::printf("\n");
    if (!MeasureKdf(options, result.kdf))
        return false;
    PrintKdf(result.kdf);
    return true;
}

} // namespace bench
