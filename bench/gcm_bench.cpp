// The authenticated container's cipher alone: AES-256-GCM segments of the
// container's size, over one large buffer, sealed in place and opened again
// into a segment buffer of their own through the codec, as the container
// session's writer and reader do. The key comes from a
// tiny key derivation, so the time is the cipher's and nothing else.
#include "bench/bench_common.h"
#include "engine/sealed_format.h"
#include "engine/streams.h"

#include <algorithm>
#include <vector>

namespace bench {

namespace {

// Takes the header the codec writes and keeps nothing.
class CDiscardingStream : public IOutputStream {
public:
    int Write(const uint8_t*, int, int count) override { return count; }
    bool Close() override { return true; }
    bool Flush() override { return true; }
};

// A codec keyed for new segments. The derivation's cost is lowered only
// for this codec's header and put back at once: every container written
// afterwards gets the cost it had.
bool KeyWithTinyDerivation(AesGcmEncFile& codec) {
    const KdfParameters saved = g_newContainerKdf;
    g_newContainerKdf = KdfParameters{64, 1, 1};
    CDiscardingStream header;
    const bool keyed = codec.WritePasswordCheck(header);
    g_newContainerKdf = saved;
    return keyed;
}

} // namespace

bool RunGcmBenchmark(size_t bytes, uint64_t leastPerRound, int rounds, GcmResult& result) {
    const size_t segments = std::max<size_t>(1, bytes / kSegmentBytes);
    // Every segment followed by room for its tag, as the session lays them
    // out in its blocks.
    const size_t stride = kSegmentBytes + kTagBytes;
    std::vector<uint8_t> buffer(segments * stride);
    for (size_t k = 0; k < segments; ++k)
        FillPattern(buffer.data() + k * stride, kSegmentBytes, k + 1);
    std::vector<uint8_t> plain(kSegmentBytes);
    const uint64_t passBytes = static_cast<uint64_t>(segments) * kSegmentBytes;
    const uint64_t passes = std::max<uint64_t>(1, (leastPerRound + passBytes - 1) / passBytes);
    result = GcmResult{1e30, 1e30, 1e30, 1e30, passes * passBytes};

    AesGcmEncFile codec(L"benchmark password");
    if (!KeyWithTinyDerivation(codec))
        return false;
    for (int round = 0; round < rounds; ++round) {
        double seal = 0, sealCpu = 0, open = 0, openCpu = 0;
        // The segments are numbered on through the passes, as a container's
        // are, so that no nonce comes twice. What a pass opens goes to the
        // plain buffer, so the next pass seals the sealed bytes again, which
        // costs the same.
        for (uint64_t pass = 0; pass < passes; ++pass) {
            const uint64_t first = pass * segments;
            const bool lastPass = pass + 1 == passes;
            double cpu = ProcessCpuSeconds();
            CStopwatch sealTime;
            for (size_t k = 0; k < segments; ++k) {
                if (!codec.SealSegment(first + k, lastPass && k + 1 == segments,
                                       buffer.data() + k * stride, kSegmentBytes))
                    return false;
            }
            seal += sealTime.Seconds();
            sealCpu += ProcessCpuSeconds() - cpu;
            cpu = ProcessCpuSeconds();
            CStopwatch openTime;
            for (size_t k = 0; k < segments; ++k) {
                if (!codec.OpenSegment(first + k, lastPass && k + 1 == segments,
                                       buffer.data() + k * stride, stride, plain.data()))
                    return false;
            }
            open += openTime.Seconds();
            openCpu += ProcessCpuSeconds() - cpu;
        }
        result.sealSeconds = std::min(result.sealSeconds, seal);
        result.sealCpuSeconds = std::min(result.sealCpuSeconds, sealCpu);
        result.openSeconds = std::min(result.openSeconds, open);
        result.openCpuSeconds = std::min(result.openCpuSeconds, openCpu);
    }
    return true;
}

} // namespace bench
