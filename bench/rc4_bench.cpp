// The RC4 keystream over one large buffer, next to the cheapest possible
// pass over the same bytes: an XOR with a constant.
#include "bench/bench_common.h"
#include "engine/container.h"

#include <algorithm>
#include <vector>

namespace bench {

namespace {

// Kept out of line and fed through a volatile key so the compiler cannot
// fold the baseline away.
__attribute__((noinline)) void XorWithConstant(const uint8_t* input, size_t count, uint8_t* output,
                                               uint8_t key) {
    for (size_t k = 0; k < count; ++k)
        output[k] = static_cast<uint8_t>(input[k] ^ key);
}

} // namespace

Rc4Result RunRc4Benchmark(size_t bytes, int rounds) {
    std::vector<uint8_t> input(bytes), output(bytes);
    FillPattern(input.data(), bytes, 1);
    volatile uint8_t key = 0x5A;
    const uint8_t cipherKey[] = {'b', 'e', 'n', 'c', 'h', ' ', 'k', 'e', 'y'};

    Rc4Result result{1e30, 1e30, 0, bytes};
    for (int round = 0; round < rounds; ++round) {
        CStopwatch xorTime;
        XorWithConstant(input.data(), bytes, output.data(), key);
        result.xorSeconds = std::min(result.xorSeconds, xorTime.Seconds());

        RC4Cipher cipher;
        cipher.Init(cipherKey, sizeof cipherKey);
        const double cpuBefore = ProcessCpuSeconds();
        CStopwatch rc4Time;
        cipher.Crypt(input.data(), bytes, output.data());
        const double seconds = rc4Time.Seconds();
        if (seconds < result.rc4Seconds) {
            result.rc4Seconds = seconds;
            result.rc4CpuSeconds = ProcessCpuSeconds() - cpuBefore;
        }
    }
    return result;
}

} // namespace bench
