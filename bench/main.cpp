// The benchmark program: the two container formats' ciphers (RC4 keystream,
// AES-256-GCM segments) and the authenticated format's key derivation, then
// container write and read speed, or whole encryption and decryption jobs in
// both formats, each next to a baseline measured in the same run.
//
//   tessalock_bench.exe [--folder DIR] [--size-mib N] [--rc4-mib N] [--rounds N] [--rc4-only]
//                       [--openssl-gcm-mbps MB/S]
//   tessalock_bench.exe --jobs [--scenario a|b|c|m|ab|...] [--percent N] [--folder DIR]
//                       [--rc4-mib N] [--rounds N] [--settle SECONDS] [--headless]
//                       [--openssl-gcm-mbps MB/S]
//
// --rc4-mib also sizes the buffer the AES-256-GCM segments are sealed in.
// --openssl-gcm-mbps is OpenSSL's AES-256-GCM rate on this machine, which
// bench/run.sh measures natively; the cipher is held against it.
//
// Every file goes to DIR, by default the temporary folder, and is deleted at
// the end. The container files are three of --size-mib each (1024 by
// default); the job scenarios are described in job_tree.h (a, b and c by
// default; m, 100,000 files, on request). --headless leaves out the runs
// through the program's windows. "--child" is how the program starts itself
// for one measured job.
#include "bench/bench_common.h"
#include "bench/cipher_bench.h"
#include "bench/job_bench.h"
#include "bench/job_child.h"

#include <cstdio>
#include <cwchar>
#include <exception>
#include <string>

namespace {

struct Options {
    std::wstring folder;
    uint64_t containerMib = 1024;
    uint64_t rc4Mib = 256;
    int rounds = 0; // 0: 2 for the container benchmark, 3 for the jobs
    bool rc4Only = false;
    bool jobs = false;
    bool headless = false;
    std::string scenarios = "abc";
    unsigned percent = 100;
    unsigned settleSeconds = 6;
    double opensslGcmMbps = 0;
};

bool ValidScenarios(const std::string& text) {
    return !text.empty() && text.find_first_not_of("abcm") == std::string::npos;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int k = 1; k < argc; ++k) {
        std::wstring arg = argv[k];
        bool hasValue = k + 1 < argc;
        if (arg == L"--rc4-only") {
            options.rc4Only = true;
        } else if (arg == L"--jobs") {
            options.jobs = true;
        } else if (arg == L"--headless") {
            options.headless = true;
            options.jobs = true;
        } else if (arg == L"--scenario" && hasValue) {
            std::wstring list = argv[++k];
            options.scenarios.clear();
            for (wchar_t c : list) {
                if (c != L',')
                    options.scenarios += static_cast<char>(c < 0x80 ? c : '?');
            }
            options.jobs = true;
        } else if (arg == L"--settle" && hasValue) {
            options.settleSeconds = static_cast<unsigned>(std::wcstoul(argv[++k], nullptr, 10));
        } else if (arg == L"--percent" && hasValue) {
            options.percent = static_cast<unsigned>(std::wcstoul(argv[++k], nullptr, 10));
        } else if (arg == L"--folder" && hasValue) {
            options.folder = argv[++k];
        } else if (arg == L"--size-mib" && hasValue) {
            options.containerMib = std::wcstoull(argv[++k], nullptr, 10);
        } else if (arg == L"--rc4-mib" && hasValue) {
            options.rc4Mib = std::wcstoull(argv[++k], nullptr, 10);
        } else if (arg == L"--openssl-gcm-mbps" && hasValue) {
            options.opensslGcmMbps = std::wcstod(argv[++k], nullptr);
        } else if (arg == L"--rounds" && hasValue) {
            options.rounds = static_cast<int>(std::wcstol(argv[++k], nullptr, 10));
        } else {
            return false;
        }
    }
    if (options.folder.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        DWORD n = GetTempPathW(MAX_PATH, temp);
        options.folder.assign(temp, n);
    }
    while (!options.folder.empty() && options.folder.back() == L'\\')
        options.folder.pop_back();
    if (options.rounds == 0)
        options.rounds = options.jobs ? 3 : 2;
    return options.containerMib > 0 && options.rc4Mib > 0 && options.rounds > 0 &&
           ValidScenarios(options.scenarios) && options.percent > 0 && options.percent <= 100;
}

// A container's times against what its parts cost alone: the plain copy and
// the cipher for as many bytes, and for format 2 the key derivation that
// writing and reading each pay once.
void PrintContainerReport(ContainerFormat format, const bench::ContainerResult& c,
                          const bench::Rc4Result& rc4, const bench::CipherBenchResult& cipher) {
    const double bytes = static_cast<double>(c.bytes);
    const bool legacy = format == ContainerFormat::Legacy;
    double writeCipher = rc4.rc4Seconds * bytes / static_cast<double>(rc4.bytes);
    double readCipher = writeCipher;
    if (!legacy) {
        // By wall time, as the copy and the container are timed.
        const double gcmBytes = static_cast<double>(cipher.gcm.bytes);
        writeCipher = cipher.gcm.sealSeconds * bytes / gcmBytes + cipher.kdf.writeSeconds;
        readCipher = cipher.gcm.openSeconds * bytes / gcmBytes + cipher.kdf.checkSeconds;
    }
    std::printf("\n");
    bench::PrintComparison(legacy ? "Container write (1)" : "Container write (2)", c.bytes,
                           c.writeSeconds, "ReadFile/WriteFile copy", c.writeCopySeconds);
    bench::PrintComparison(legacy ? "Container read (1)" : "Container read (2)", c.bytes,
                           c.readSeconds, "ReadFile/WriteFile copy", c.readCopySeconds);
    std::printf("Time against (plain copy + %s), target at most 1.30:\n",
                legacy ? "RC4 keystream" : "AES-256-GCM + key derivation");
    std::printf("  write %.2f s / (%.2f s + %.2f s) = %.2f\n", c.writeSeconds, c.writeCopySeconds,
                writeCipher, c.writeSeconds / (c.writeCopySeconds + writeCipher));
    std::printf("  read  %.2f s / (%.2f s + %.2f s) = %.2f\n", c.readSeconds, c.readCopySeconds,
                readCipher, c.readSeconds / (c.readCopySeconds + readCipher));
    std::printf("Restored file %s the original.\n", c.verified ? "matches" : "DOES NOT MATCH");
}

int Run(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::printf("usage: tessalock_bench [--folder DIR] [--size-mib N] [--rc4-mib N] "
                    "[--rounds N] [--rc4-only] [--openssl-gcm-mbps MB/S]\n"
                    "       tessalock_bench --jobs [--scenario any of a, b, c, m] "
                    "[--percent 1-100] [--folder DIR] [--rc4-mib N] [--rounds N] "
                    "[--settle SECONDS] [--headless] [--openssl-gcm-mbps MB/S]\n");
        return 2;
    }
    std::printf("MB = 10^6 bytes; best of %d rounds\n\n", options.rounds);

    bench::Rc4Result rc4 = bench::RunRc4Benchmark(options.rc4Mib << 20, options.rounds);
    bench::PrintComparison("RC4 keystream", rc4.bytes, rc4.rc4Seconds, "XOR with constant",
                           rc4.xorSeconds);
    std::printf("RC4_MBPS=%.1f\n", bench::MegabytesPerSecond(rc4.bytes, rc4.rc4Seconds));
    if (options.rc4Only)
        return 0;

    bench::CipherBenchOptions cipherOptions;
    cipherOptions.bytes = options.rc4Mib << 20;
    cipherOptions.rounds = options.rounds;
    cipherOptions.opensslGcmMegabytesPerSecond = options.opensslGcmMbps;
    cipherOptions.folder = options.folder;
    bench::CipherBenchResult cipher;
    bench::CTargetList cipherTargets;
    if (!bench::RunCipherBenchmark(cipherOptions, cipher, cipherTargets))
        return 1;
    cipherTargets.Print();
    if (options.jobs) {
        bench::JobBenchOptions jobs;
        jobs.folder = options.folder;
        jobs.scenarios = options.scenarios;
        jobs.percent = options.percent;
        jobs.rounds = options.rounds;
        jobs.settleSeconds = options.settleSeconds;
        jobs.windows = !options.headless;
        jobs.rc4BytesPerSecond = static_cast<double>(rc4.bytes) / rc4.rc4Seconds;
        jobs.rc4CpuBytesPerSecond = static_cast<double>(rc4.bytes) / rc4.rc4CpuSeconds;
        jobs.kdfPeakBytes = bench::KdfPeakBeyondIdle(cipher.kdf);
        jobs.kdfWriteSeconds = cipher.kdf.writeSeconds;
        jobs.kdfCheckSeconds = cipher.kdf.checkSeconds;
        jobs.earlierTargets = cipherTargets;
        return bench::RunJobBenchmark(jobs);
    }

    uint64_t bytes = options.containerMib << 20;
    ULARGE_INTEGER freeBytes;
    if (GetDiskFreeSpaceExW((options.folder + L"\\").c_str(), &freeBytes, nullptr, nullptr) &&
        freeBytes.QuadPart < 3 * bytes + (256ull << 20)) {
        std::printf("Not enough free space in %ls for three files of %llu MiB\n",
                    options.folder.c_str(), static_cast<unsigned long long>(options.containerMib));
        return 1;
    }
    bool verified = true;
    for (ContainerFormat format : {ContainerFormat::Legacy, ContainerFormat::Authenticated}) {
        bench::ContainerResult c;
        if (!bench::RunContainerBenchmark(options.folder, bytes, options.rounds, format, c))
            return 1;
        PrintContainerReport(format, c, rc4, cipher);
        verified = verified && c.verified;
    }
    if (!verified)
        return 1;
    return cipherTargets.AllMet() ? 0 : 3;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc > 1 && std::wstring(argv[1]) == L"--child")
            return bench::ChildMain(argc, argv, 2);
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::printf("benchmark failed: %s\n", e.what());
        return 1;
    }
}
