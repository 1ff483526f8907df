// A running 64-bit checksum of a byte sequence that may arrive in pieces of
// any size: the container writer sums what it writes, the reader what it
// reads back, and equal sums say the disk holds what was written. Not a
// cryptographic hash; it only has to catch accidents fast.
#pragma once

#include <cstddef>
#include <cstdint>

class CByteChecksum {
public:
    CByteChecksum();
    void Update(const uint8_t* data, size_t count);
    // The sum of everything so far; Update may go on afterwards.
    uint64_t Value() const;
    uint64_t Length() const { return length_; }

private:
    void Stripe(const uint8_t* data);

    // Four independent lanes over 32-byte stripes keep the multiplier busy.
    uint64_t lanes_[4];
    uint8_t pending_[32];
    size_t pendingCount_ = 0;
    uint64_t length_ = 0;
};
