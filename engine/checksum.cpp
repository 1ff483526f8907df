// Four multiply-rotate lanes over 32-byte stripes, folded together with the
// length and the tail at the end.
#include "engine/checksum.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;

inline uint64_t Rotate(uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

inline uint64_t Load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

inline uint64_t Round(uint64_t lane, uint64_t word) {
    return Rotate(lane + word * kPrime2, 31) * kPrime1;
}

inline uint64_t Mix(uint64_t value) {
    value ^= value >> 33;
    value *= kPrime2;
    value ^= value >> 29;
    value *= kPrime3;
    value ^= value >> 32;
    return value;
}

} // namespace

CByteChecksum::CByteChecksum() : lanes_{kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1}, pending_{} {}

void CByteChecksum::Stripe(const uint8_t* data) {
    lanes_[0] = Round(lanes_[0], Load64(data));
    lanes_[1] = Round(lanes_[1], Load64(data + 8));
    lanes_[2] = Round(lanes_[2], Load64(data + 16));
    lanes_[3] = Round(lanes_[3], Load64(data + 24));
}

void CByteChecksum::Update(const uint8_t* data, size_t count) {
    length_ += count;
    if (pendingCount_ > 0) {
        size_t take = sizeof pending_ - pendingCount_;
        if (take > count)
            take = count;
        std::memcpy(pending_ + pendingCount_, data, take);
        pendingCount_ += take;
        data += take;
        count -= take;
        if (pendingCount_ < sizeof pending_)
            return;
        Stripe(pending_);
        pendingCount_ = 0;
    }
    for (; count >= sizeof pending_; data += sizeof pending_, count -= sizeof pending_)
        Stripe(data);
    std::memcpy(pending_, data, count);
    pendingCount_ = count;
}

uint64_t CByteChecksum::Value() const {
    uint64_t sum =
        Rotate(lanes_[0], 1) + Rotate(lanes_[1], 7) + Rotate(lanes_[2], 12) + Rotate(lanes_[3], 18);
    sum = (sum ^ Mix(length_)) * kPrime1;
    for (size_t k = 0; k < pendingCount_; ++k)
        sum = Rotate(sum ^ (pending_[k] * kPrime3), 11) * kPrime1;
    return Mix(sum);
}
