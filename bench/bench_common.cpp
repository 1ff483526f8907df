// Timer, test bytes and report lines for the benchmark program.
#include "bench/bench_common.h"

#include <cstdio>
#include <cstring>

namespace bench {

CStopwatch::CStopwatch() {
    QueryPerformanceCounter(&start_);
}

double CStopwatch::Seconds() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start_.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

void FillPattern(uint8_t* data, size_t size, uint64_t seed) {
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    size_t k = 0;
    for (; k + 8 <= size; k += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(data + k, &x, 8);
    }
    for (; k < size; ++k)
        data[k] = static_cast<uint8_t>(x >> (8 * (k % 8)));
}

double MegabytesPerSecond(uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
}

void PrintComparison(const char* name, uint64_t bytes, double seconds, const char* baselineName,
                     double baselineSeconds) {
    double speed = MegabytesPerSecond(bytes, seconds);
    double baseline = MegabytesPerSecond(bytes, baselineSeconds);
    std::printf("%-22s %9.1f MB/s   %-22s %9.1f MB/s   ratio %.2f\n", name, speed, baselineName,
                baseline, baseline > 0 ? speed / baseline : 0.0);
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += (c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

} // namespace bench
