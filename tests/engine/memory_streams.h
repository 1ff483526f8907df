// In-memory streams for the engine tests. They record how they were called
// (the buffering rules are about when the wrapped stream is asked) and can be
// told to fail, which a real file only does on a full disk.
#pragma once

#include "engine/streams.h"
#include "support/test_files.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace engine_testing {

using testing_support::Bytes;

class MemorySource : public IInputStream {
public:
    explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}

    int Read(uint8_t* buffer, int offset, int count) override {
        ++reads;
        size_t left = bytes_.size() - position_;
        size_t n = std::min(left, static_cast<size_t>(count < 0 ? 0 : count));
        if (n)
            std::memcpy(buffer + offset, bytes_.data() + position_, n);
        position_ += n;
        return static_cast<int>(n);
    }
    void Close() override { ++closes; }

    size_t Consumed() const { return position_; }
    bool AtEnd() const { return position_ == bytes_.size(); }

    int reads = 0;
    int closes = 0;

private:
    Bytes bytes_;
    size_t position_ = 0;
};

// Records every call; fails as configured.
class MemorySink : public IOutputStream {
public:
    int Write(const uint8_t* data, int offset, int count) override {
        writeSizes.push_back(count);
        int take = count;
        if (acceptLimit >= 0)
            take = std::min(count, std::max(0, acceptLimit - static_cast<int>(bytes.size())));
        bytes.insert(bytes.end(), data + offset, data + offset + take);
        return take;
    }
    bool Flush() override {
        ++flushes;
        return !failFlush;
    }
    bool Close() override {
        ++closes;
        return !failClose;
    }

    Bytes bytes;
    std::vector<int> writeSizes;
    int flushes = 0;
    int closes = 0;
    int acceptLimit = -1; // total bytes accepted before writes come up short; -1 = no limit
    bool failFlush = false;
    bool failClose = false;
};

} // namespace engine_testing
