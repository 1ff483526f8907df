// The job benchmark's report: per scenario the baselines and each format's
// jobs with their targets, and at the end one table of every figure.
#include "bench/job_measures.h"

#include "bench/bench_common.h"

#include <cstdio>
#include <string>

namespace bench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// What a job may hold beyond the buffers it is built to hold.
constexpr uint64_t kPeakAllowance = 16ull << 20;

double Rate(const TreeLayout& layout, double seconds) {
    return MegabytesPerSecond(layout.totalBytes, seconds);
}

void PrintLine(const char* name, const TreeLayout& layout, const Figure& f) {
    if (!f.Measured()) {
        std::printf("  %-36s not measured\n", name);
        return;
    }
    std::printf("  %-36s %8.2f s %9.1f MB/s %9.0f files/s", name, f.seconds,
                Rate(layout, f.seconds),
                f.seconds > 0 ? static_cast<double>(layout.files.size()) / f.seconds : 0.0);
    if (f.cpuSeconds > 0 && f.cpuSeconds < 1e29)
        std::printf("   CPU %7.2f s", f.cpuSeconds);
    std::printf("\n");
}

void PrintPeak(const char* name, const JobRun& run) {
    std::printf("  %-36s %8.1f MiB - idle %.1f MiB = %.2f MiB\n", name,
                static_cast<double>(run.peakWorkingSet) / kMiB,
                static_cast<double>(run.idleWorkingSet) / kMiB,
                static_cast<double>(PeakBeyondIdle(run)) / kMiB);
}

double PeakMiB(const JobRun& run) {
    return static_cast<double>(PeakBeyondIdle(run)) / kMiB;
}

// The targets the old format's jobs were built to: against the keystream,
// cp -r and the buffers they hold.
void AddFormat1Targets(const ScenarioResult& r, CTargetList& targets) {
    const Measures& m = r.m;
    const FormatMeasures& f1 = m.format[0];
    const TreeLayout& layout = r.layout;
    auto name = [&](const char* what) {
        return std::string(1, static_cast<char>(layout.id - 'a' + 'A')) + " " + what;
    };
    const double rc4 = m.rc4BytesPerSecond / 1e6;
    const double packRate = Rate(layout, f1.pack.seconds);
    const double unpackRate = Rate(layout, f1.decryptJob.seconds);
    if (layout.id == 'a' || layout.id == 'c') {
        const double share = layout.id == 'a' ? 0.85 : 0.65;
        targets.AddRatio(name("pack / RC4 keystream"), packRate, "pack MB/s", rc4, "RC4 MB/s",
                         share, false);
        targets.AddRatio(name("unpack / RC4 keystream"), unpackRate, "unpack MB/s", rc4, "RC4 MB/s",
                         share, false);
    }
    if (layout.id == 'c')
        targets.AddRatio(name("unpack time / pack time"), f1.decryptJob.seconds, "unpack s",
                         f1.pack.seconds, "pack s", 1.0, true);
    if (layout.id == 'b') {
        targets.AddRatio(name("pack / cp -r"), f1.pack.seconds, "pack s", m.nativeCopy.seconds,
                         "cp s", 0.6, true);
        targets.AddRatio(name("unpack / cp -r"), f1.decryptJob.seconds, "unpack s",
                         m.nativeCopy.seconds, "cp s", 1.5, true);
        targets.AddRatio(name("encryption job / (pack + deletion)"), f1.encryptJob.seconds, "job s",
                         f1.pack.seconds + m.deletion.seconds, "(pack + deletion) s", 1.3, true);
    }
    const double allowedEncrypt = static_cast<double>(r.fixedEncrypt + kPeakAllowance) / kMiB;
    const double allowedDecrypt = static_cast<double>(r.fixedDecrypt + kPeakAllowance) / kMiB;
    targets.AddRatio(name("encryption peak / (fixed + 16 MiB)"), PeakMiB(f1.encryptPeak),
                     "beyond idle MiB", allowedEncrypt, "allowed MiB", 1.0, true);
    targets.AddRatio(name("decryption peak / (fixed + 16 MiB)"), PeakMiB(f1.decryptPeak),
                     "beyond idle MiB", allowedDecrypt, "allowed MiB", 1.0, true);
}

// The new format against the old: no slower with its key derivation
// counted, and no more memory than the old one's plus the derivation's.
void AddFormat2Targets(const ScenarioResult& r, double kdfMiB, CTargetList& targets) {
    const FormatMeasures& f1 = r.m.format[0];
    const FormatMeasures& f2 = r.m.format[1];
    auto name = [&](const char* what) {
        return std::string(1, static_cast<char>(r.layout.id - 'a' + 'A')) + " " + what;
    };
    targets.AddRatio(name("encryption job: format 2 / 1"), f2.encryptJob.seconds, "format 2 s",
                     f1.encryptJob.seconds, "format 1 s", 1.0, true);
    targets.AddRatio(name("decryption job: format 2 / 1"), f2.decryptJob.seconds, "format 2 s",
                     f1.decryptJob.seconds, "format 1 s", 1.0, true);
    targets.AddRatio(name("encryption peak: format 2 / (1 + KDF)"), PeakMiB(f2.encryptPeak),
                     "format 2 MiB", PeakMiB(f1.encryptPeak) + kdfMiB, "(format 1 + KDF) MiB", 1.0,
                     true);
    targets.AddRatio(name("decryption peak: format 2 / (1 + KDF)"), PeakMiB(f2.decryptPeak),
                     "format 2 MiB", PeakMiB(f1.decryptPeak) + kdfMiB, "(format 1 + KDF) MiB", 1.0,
                     true);
}

// One format's jobs in a scenario's report.
void PrintFormatReport(const Measures& all, const TreeLayout& layout, int f, bool windows) {
    const FormatMeasures& m = all.format[f];
    std::printf("  -- format %d (%s)\n", FormatNumber(f),
                kFormats[f] == ContainerFormat::Legacy ? "RC4" : "Argon2id + AES-256-GCM");
    PrintLine("pack (container complete)", layout, m.pack);
    PrintLine("read-back check (run again)", layout, m.readBack);
    PrintLine("encryption job (check, deletion)", layout, m.encryptJob);
    std::printf("  %-36s %8.2f s (job - pack - read-back check)\n", "so the job's deletion took",
                m.encryptJob.seconds - m.pack.seconds - m.readBack.seconds);
    PrintLine("decryption job (unpack)", layout, m.decryptJob);
    if (windows) {
        PrintLine("encryption through the windows", layout, m.encryptWindows);
        PrintLine("decryption through the windows", layout, m.decryptWindows);
    }
    PrintPeak("encryption peak working set", m.encryptPeak);
    PrintPeak("decryption peak working set", m.decryptPeak);
    // Not targets: how far each job is above what any Win32 program pays
    // here, and where that floor stands against cp -r.
    auto floorLine = [&](const char* what, double job, const Figure& floor) {
        std::printf("  %-40s %5.2f x the floor; the floor is %5.2f x cp -r\n", what,
                    job / floor.seconds, floor.seconds / all.nativeCopy.seconds);
    };
    floorLine("pack / Win32 read of the tree", m.pack.seconds, all.win32Read);
    floorLine("unpack / durable Win32 write", m.decryptJob.seconds, all.durableWrite);

    // For scripts: one line per figure.
    const int n = FormatNumber(f);
    std::printf("JOB_%c_F%d_PACK_SECONDS=%.3f\n", layout.id, n, m.pack.seconds);
    std::printf("JOB_%c_F%d_ENCRYPT_SECONDS=%.3f\n", layout.id, n, m.encryptJob.seconds);
    std::printf("JOB_%c_F%d_DECRYPT_SECONDS=%.3f\n", layout.id, n, m.decryptJob.seconds);
    std::printf("JOB_%c_F%d_ENCRYPT_PEAK_BEYOND_IDLE_MIB=%.2f\n", layout.id, n,
                PeakMiB(m.encryptPeak));
    std::printf("JOB_%c_F%d_DECRYPT_PEAK_BEYOND_IDLE_MIB=%.2f\n", layout.id, n,
                PeakMiB(m.decryptPeak));
}

// Not targets: how much of format 2's extra time its key derivation
// explains, with the least time the derivation took in this run.
void PrintKeyDerivationShare(const Measures& m) {
    auto line = [](const char* what, const Figure& f1, const Figure& f2, const Figure& kdf) {
        const double extra = f2.seconds - f1.seconds;
        std::printf("  %-40s %+6.2f s: key derivation %.2f s, the rest %+.2f s\n", what, extra,
                    kdf.seconds, extra - kdf.seconds);
    };
    line("format 2 - format 1, encryption job", m.format[0].encryptJob, m.format[1].encryptJob,
         m.kdfWrite);
    line("format 2 - format 1, decryption job", m.format[0].decryptJob, m.format[1].decryptJob,
         m.kdfCheck);
}

} // namespace

void AddTargets(const ScenarioResult& r, bool windows, double kdfMiB, CTargetList& targets) {
    AddFormat1Targets(r, targets);
    AddFormat2Targets(r, kdfMiB, targets);
    if (!windows)
        return;
    for (int f = 0; f < kFormatCount; ++f) {
        const FormatMeasures& m = r.m.format[f];
        char name[80];
        std::snprintf(name, sizeof name, "%c format %d encryption: windows / headless",
                      r.layout.id - 'a' + 'A', FormatNumber(f));
        targets.AddRatio(name, m.encryptWindows.seconds, "windows s", m.encryptJob.seconds,
                         "headless s", 1.1, true);
        std::snprintf(name, sizeof name, "%c format %d decryption: windows / headless",
                      r.layout.id - 'a' + 'A', FormatNumber(f));
        targets.AddRatio(name, m.decryptWindows.seconds, "windows s", m.decryptJob.seconds,
                         "headless s", 1.1, true);
    }
}

void PrintScenarioReport(const ScenarioResult& r, const JobBenchOptions& options, bool windows,
                         const CTargetList& targets) {
    const int rounds = options.rounds;
    const Measures& m = r.m;
    const TreeLayout& layout = r.layout;
    std::printf("  -- best wall time and least CPU time of %d round%s\n", rounds,
                rounds == 1 ? "" : "s");
    std::printf("  %-36s %8.1f MB/s by wall time, %.1f MB/s by CPU time (fastest in this run)\n",
                "RC4 keystream", m.rc4BytesPerSecond / 1e6, m.rc4CpuBytesPerSecond / 1e6);
    PrintLine("cp -r (Linux, native)", layout, m.nativeCopy);
    PrintLine("Win32 copy (ReadFile/WriteFile)", layout, m.win32Copy);
    PrintLine("Win32 deletion of a copy", layout, m.deletion);
    PrintLine("one flush of as many fresh bytes", layout, m.flush);
    PrintLine("Win32 read of the tree (floor)", layout, m.win32Read);
    PrintLine("durable Win32 write (floor)", layout, m.durableWrite);
    std::printf("  %-36s %8.2f MiB encryption, %.2f MiB decryption (+ 16 MiB allowed)\n",
                "fixed buffers", static_cast<double>(r.fixedEncrypt) / kMiB,
                static_cast<double>(r.fixedDecrypt) / kMiB);
    for (int f = 0; f < kFormatCount; ++f)
        PrintFormatReport(m, layout, f, windows);
    std::printf("  -- format 2 against format 1\n");
    PrintKeyDerivationShare(m);
    std::printf("JOB_%c_CP_SECONDS=%.3f\n", layout.id, m.nativeCopy.seconds);
    targets.Print();
}

void PrintSummaryTable(const std::vector<ScenarioResult>& results, bool windows) {
    std::printf(
        "\n| Set | Format | RC4 MB/s (CPU) | cp -r s (CPU) | Win32 copy s | Win32 delete s | "
        "flush s | Win32 read s | durable write s | pack s | read-back s | encrypt job s (CPU) | "
        "decrypt job s (CPU) |%s peak beyond idle enc / dec MiB |\n",
        windows ? " windows enc / dec s |" : "");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|%s---|\n",
                windows ? "---|" : "");
    for (const ScenarioResult& r : results) {
        const Measures& m = r.m;
        for (int f = 0; f < kFormatCount; ++f) {
            const FormatMeasures& j = m.format[f];
            std::printf("| %c: %s, %.0f MB | %d | %.0f (%.0f) | %.2f (%.2f) | %.2f | %.2f | %.2f "
                        "| %.2f | %.2f | %.2f (%.0f MB/s) | %.2f | %.2f (%.2f) | %.2f (%.2f) "
                        "(%.0f MB/s) |",
                        r.layout.id - 'a' + 'A', r.layout.description.c_str(),
                        static_cast<double>(r.layout.totalBytes) / 1e6, FormatNumber(f),
                        m.rc4BytesPerSecond / 1e6, m.rc4CpuBytesPerSecond / 1e6,
                        m.nativeCopy.seconds, m.nativeCopy.cpuSeconds, m.win32Copy.seconds,
                        m.deletion.seconds, m.flush.seconds, m.win32Read.seconds,
                        m.durableWrite.seconds, j.pack.seconds, Rate(r.layout, j.pack.seconds),
                        j.readBack.seconds, j.encryptJob.seconds, j.encryptJob.cpuSeconds,
                        j.decryptJob.seconds, j.decryptJob.cpuSeconds,
                        Rate(r.layout, j.decryptJob.seconds));
            if (windows)
                std::printf(" %.2f / %.2f |", j.encryptWindows.seconds, j.decryptWindows.seconds);
            std::printf(" %.1f / %.1f |\n", PeakMiB(j.encryptPeak), PeakMiB(j.decryptPeak));
        }
    }
}

} // namespace bench
