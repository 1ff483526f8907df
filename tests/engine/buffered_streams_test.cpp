// The buffering layers: when they ask the wrapped stream, what they hand on,
// and how a failing sink reaches the writer.
#include "engine/streams.h"
#include "memory_streams.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

using engine_testing::Bytes;
using engine_testing::MemorySink;
using engine_testing::MemorySource;

namespace {

Bytes Iota(size_t count) {
    Bytes bytes(count);
    for (size_t k = 0; k < count; ++k)
        bytes[k] = static_cast<uint8_t>(k + 1);
    return bytes;
}

// ---------------------------------------------------------------------------
// Buffered input

TEST(BufferedInput, FirstReadFillsEvenForZeroBytes) {
    MemorySource source(Iota(10));
    CBufferedInputStream in(&source, 4);
    EXPECT_EQ(in.Available(), -1);
    uint8_t b[1];
    EXPECT_EQ(in.Read(b, 0, 0), 0);
    EXPECT_EQ(source.reads, 1);
    EXPECT_EQ(in.Available(), 4);
}

TEST(BufferedInput, ReadingExactlyTheBufferedBytesDoesNotRefill) {
    MemorySource source(Iota(8));
    CBufferedInputStream in(&source, 4);
    uint8_t b[4];
    EXPECT_EQ(in.Read(b, 0, 4), 4);
    EXPECT_EQ(source.reads, 1);
    EXPECT_EQ(in.Available(), 0);
    EXPECT_EQ(in.Read(b, 0, 1), 1);
    EXPECT_EQ(source.reads, 2);
    EXPECT_EQ(b[0], 5);
}

TEST(BufferedInput, ShortSourceGivesWhatIsLeftAndIsNotAskedAgain) {
    // 4 bytes left in the buffer, 3 more in the source: a Read of 10 gives 7.
    MemorySource source(Iota(11));
    CBufferedInputStream in(&source, 8);
    uint8_t b[16] = {};
    ASSERT_EQ(in.Read(b, 0, 4), 4);
    EXPECT_EQ(in.Read(b, 2, 10), 7);
    EXPECT_EQ(b[2], 5);
    EXPECT_EQ(b[8], 11);
    int asked = source.reads;
    EXPECT_EQ(in.Read(b, 0, 5), 0);
    EXPECT_EQ(in.Read(b, 0, 1), 0);
    EXPECT_EQ(source.reads, asked);
}

TEST(BufferedInput, CloseResetsAndClosesTheSource) {
    MemorySource source(Iota(3));
    CBufferedInputStream in(&source, 8);
    uint8_t b[8];
    ASSERT_EQ(in.Read(b, 0, 8), 3);
    ASSERT_EQ(in.Read(b, 0, 8), 0);
    in.Close();
    EXPECT_EQ(source.closes, 1);
    EXPECT_EQ(in.Available(), -1);
    int asked = source.reads;
    in.Read(b, 0, 1);
    EXPECT_EQ(source.reads, asked + 1);
}

TEST(BufferedInput, CapacityBelowOneIsTakenAsOne) {
    for (int capacity : {0, -5}) {
        MemorySource source(Iota(3));
        CBufferedInputStream in(&source, capacity);
        uint8_t b[3] = {};
        EXPECT_EQ(in.Read(b, 0, 3), 3);
        EXPECT_EQ(b[2], 3);
        EXPECT_EQ(source.reads, 3);
    }
}

TEST(BufferedInput, AnyCapacityAndChunkSizeDeliversTheSameBytes) {
    const Bytes data = testing_support::PatternBytes(5000, 7);
    for (int capacity : {1, 3, 8, 255, 4096, 8192}) {
        for (int chunk : {1, 2, 7, 8, 1000, 6000}) {
            MemorySource source(data);
            CBufferedInputStream in(&source, capacity);
            Bytes got;
            Bytes piece(static_cast<size_t>(chunk));
            for (;;) {
                int n = in.Read(piece.data(), 0, chunk);
                if (n == 0)
                    break;
                got.insert(got.end(), piece.begin(), piece.begin() + n);
            }
            EXPECT_EQ(got, data) << "capacity " << capacity << " chunk " << chunk;
        }
    }
}

// ---------------------------------------------------------------------------
// Buffered output

TEST(BufferedOutput, FullBufferWaitsUntilMoreRoomIsNeeded) {
    MemorySink sink;
    CBufferedOutputStream out(&sink, 4);
    const Bytes data = Iota(5);
    EXPECT_EQ(out.Write(data.data(), 0, 4), 4);
    EXPECT_TRUE(sink.writeSizes.empty());
    EXPECT_EQ(out.Write(data.data(), 4, 1), 1);
    EXPECT_EQ(sink.writeSizes, std::vector<int>({4}));
    EXPECT_EQ(sink.bytes, Bytes(data.begin(), data.begin() + 4));
}

TEST(BufferedOutput, FlushOfAnEmptyBufferDoesNotCallTheSink) {
    MemorySink sink;
    CBufferedOutputStream out(&sink, 4);
    EXPECT_TRUE(out.Flush());
    EXPECT_TRUE(sink.writeSizes.empty());
    EXPECT_EQ(sink.flushes, 0);
}

TEST(BufferedOutput, LargeWritesReachTheSinkInCapacitySizedPieces) {
    MemorySink sink;
    CBufferedOutputStream out(&sink, 4);
    const Bytes data = Iota(10);
    EXPECT_EQ(out.Write(data.data(), 0, 10), 10);
    EXPECT_EQ(sink.writeSizes, std::vector<int>({4, 4}));
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(sink.writeSizes, std::vector<int>({4, 4, 2}));
    EXPECT_EQ(sink.bytes, data);
    EXPECT_EQ(sink.closes, 1);
}

TEST(BufferedOutput, DestructionWritesPendingBytesButLeavesTheSinkOpen) {
    MemorySink sink;
    {
        CBufferedOutputStream out(&sink, 16);
        const Bytes data = Iota(3);
        out.Write(data.data(), 0, 3);
    }
    EXPECT_EQ(sink.bytes, Iota(3));
    EXPECT_EQ(sink.closes, 0);
}

TEST(BufferedOutput, CapacityZeroIsTakenAsOne) {
    MemorySink sink;
    CBufferedOutputStream out(&sink, 0);
    const Bytes data = Iota(3);
    EXPECT_EQ(out.Write(data.data(), 0, 3), 3);
    EXPECT_EQ(sink.writeSizes, std::vector<int>({1, 1}));
    EXPECT_TRUE(out.Flush());
    EXPECT_EQ(sink.bytes, data);
}

// A sink that gives up must be seen by the writer in every later result,
// whichever call the failure surfaced in.
struct SinkFailure {
    const char* name;
    int acceptLimit;
    bool failFlush;
    bool failClose;
};

void PrintTo(const SinkFailure& f, std::ostream* os) {
    *os << f.name;
}

class FailingSink : public ::testing::TestWithParam<SinkFailure> {};

TEST_P(FailingSink, EveryLaterResultReportsIt) {
    const SinkFailure& f = GetParam();
    MemorySink sink;
    sink.acceptLimit = f.acceptLimit;
    sink.failFlush = f.failFlush;
    sink.failClose = f.failClose;
    CBufferedOutputStream out(&sink, 4);
    const Bytes data = Iota(6);

    // Six bytes through a 4-byte buffer pass one full buffer to the sink.
    int first = out.Write(data.data(), 0, 6);
    bool flushed = out.Flush();
    bool closed = out.Close();
    EXPECT_FALSE(closed);
    EXPECT_FALSE(out.Close());
    EXPECT_TRUE(out.HasFailed());
    EXPECT_EQ(out.Write(data.data(), 0, 1), 0);
    EXPECT_FALSE(out.Flush());
    if (f.acceptLimit >= 0) {
        EXPECT_EQ(first, 0);
        EXPECT_FALSE(flushed);
    }
    if (f.failFlush) {
        EXPECT_FALSE(flushed);
    }
    // The sink is closed anyway so its file is released.
    EXPECT_GE(sink.closes, 1);
}

INSTANTIATE_TEST_SUITE_P(Buffered, FailingSink,
                         ::testing::Values(SinkFailure{"NothingAccepted", 0, false, false},
                                           SinkFailure{"ShortWrite", 3, false, false},
                                           SinkFailure{"FlushFails", -1, true, false},
                                           SinkFailure{"CloseFails", -1, false, true}),
                         [](const ::testing::TestParamInfo<SinkFailure>& info) {
                             return std::string(info.param.name);
                         });

TEST(BufferedOutput, ShortWriteOfTheLastBytesShowsInClose) {
    MemorySink sink;
    sink.acceptLimit = 5;
    CBufferedOutputStream out(&sink, 4);
    const Bytes data = Iota(6);
    EXPECT_EQ(out.Write(data.data(), 0, 6), 6);
    EXPECT_FALSE(out.Close());
}

// ---------------------------------------------------------------------------
// Typed operations

TEST(TypedRead, AtTheEnd) {
    MemorySource source(Bytes{});
    EXPECT_EQ(source.ReadByte(), -1);
    bool shortRead = false;
    EXPECT_EQ(source.ReadInt32(&shortRead), 0);
    EXPECT_TRUE(shortRead);
    shortRead = false;
    EXPECT_EQ(source.ReadUInt64(&shortRead), 0u);
    EXPECT_TRUE(shortRead);
}

TEST(TypedRead, ValuesAreLittleEndianAndShortReadsFlagged) {
    MemorySource source(Bytes{0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4, 5, 6, 7, 8, 0xAA, 0xBB, 0xCC});
    bool shortRead = true;
    EXPECT_EQ(source.ReadInt32(&shortRead), 0x12345678);
    EXPECT_FALSE(shortRead);
    EXPECT_EQ(source.ReadUInt64(&shortRead), 0x0807060504030201ull);
    EXPECT_FALSE(shortRead);
    EXPECT_EQ(source.ReadInt32(&shortRead), 0x00CCBBAA);
    EXPECT_TRUE(shortRead);
}

TEST(TypedRead, ByteValuesAboveTheSignBit) {
    MemorySource source(Bytes{0xFF, 0x80});
    EXPECT_EQ(source.ReadByte(), 255);
    EXPECT_EQ(source.ReadByte(), 128);
}

struct StringCase {
    const char* name;
    Bytes input;
    std::string expected;
    bool expectEmpty;
    size_t consumed;
};

std::vector<StringCase> StringCases() {
    std::string s255(255, 'a'), s300(300, 'b'), s510(510, 'c');
    auto withZero = [](const std::string& s) {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        b.push_back('z');
        return b;
    };
    return {
        {"LoneZero", Bytes{0, 'z'}, "", true, 1},
        {"Short", withZero("abc"), "abc", false, 4},
        {"OneChunk", withZero(s255), s255, false, 256},
        {"PastOneChunk", withZero(s300), s300, false, 301},
        {"TwoChunks", withZero(s510), s510, false, 511},
        {"EndWithoutZero", Bytes{'x', 'y'}, "xy", false, 2},
        {"NothingAtAll", Bytes{}, "", true, 0},
    };
}

TEST(TypedRead, ReadStringTable) {
    for (const StringCase& c : StringCases()) {
        MemorySource source(c.input);
        bool empty = !c.expectEmpty;
        EXPECT_EQ(source.ReadString(&empty), c.expected) << c.name;
        EXPECT_EQ(empty, c.expectEmpty) << c.name;
        EXPECT_EQ(source.Consumed(), c.consumed) << c.name;
    }
}

TEST(TypedRead, CappedReadStringStopsAfterTheLimit) {
    struct Case {
        const char* text;
        bool tooLong;
    } cases[] = {{"abcde", false}, {"abcdef", true}};
    for (const Case& c : cases) {
        Bytes input = testing_support::TextBytes(c.text);
        input.push_back(0);
        MemorySource source(input);
        bool empty = true;
        bool tooLong = !c.tooLong;
        std::string got = source.ReadString(5, &empty, &tooLong);
        EXPECT_EQ(tooLong, c.tooLong) << c.text;
        EXPECT_FALSE(empty);
        if (!c.tooLong) {
            EXPECT_EQ(got, c.text);
        }
    }
}

TEST(TypedWrite, LittleEndianValues) {
    MemorySink sink;
    EXPECT_TRUE(sink.WriteInt32(0x12345678));
    EXPECT_TRUE(sink.WriteUInt64(0x0807060504030201ull));
    EXPECT_TRUE(sink.WriteByte(0x1AB));
    EXPECT_EQ(sink.bytes, Bytes({0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4, 5, 6, 7, 8, 0xAB}));
}

TEST(TypedWrite, WriteStringAddsTheTerminator) {
    MemorySink sink;
    EXPECT_TRUE(sink.WriteString("ab"));
    EXPECT_EQ(sink.bytes, Bytes({'a', 'b', 0}));
}

TEST(TypedWrite, EmptyStringFailsAndWritesNothing) {
    MemorySink sink;
    EXPECT_FALSE(sink.WriteString(""));
    EXPECT_TRUE(sink.writeSizes.empty());
}

TEST(TypedWrite, ShortAcceptanceFails) {
    struct Case {
        int limit;
        bool (*write)(IOutputStream&);
    } cases[] = {
        {3, [](IOutputStream& s) { return s.WriteInt32(1); }},
        {7, [](IOutputStream& s) { return s.WriteUInt64(1); }},
        {0, [](IOutputStream& s) { return s.WriteByte(1); }},
        {2, [](IOutputStream& s) { return s.WriteString("abc"); }},
        {3, [](IOutputStream& s) { return s.WriteString("abc"); }},
    };
    for (const Case& c : cases) {
        MemorySink sink;
        sink.acceptLimit = c.limit;
        EXPECT_FALSE(c.write(sink)) << "limit " << c.limit;
    }
}

TEST(TypedWrite, SwapBytes) {
    EXPECT_EQ(SwapBytes32(0x01020304u), 0x04030201u);
    EXPECT_EQ(SwapBytes64(0x0102030405060708ull), 0x0807060504030201ull);
}

} // namespace
