// The combined file streams' block ways, the path every container and every
// large source file takes: blocks come and go in file order, whole and
// summed, and a seek or a close stops the thread that reads ahead before
// the file moves or goes.
#include "engine/streams.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using testing_support::Bytes;
using testing_support::PatternBytes;
using testing_support::ReadFileBytes;
using testing_support::ScratchDir;
using testing_support::WriteFileBytes;

namespace {

constexpr size_t kBlock = 4096;

uint64_t SumOf(const Bytes& bytes) {
    CByteChecksum sum;
    sum.Update(bytes.data(), bytes.size());
    return sum.Value();
}

Bytes ReadAllBlocks(CBufferedFileInputStream& in) {
    Bytes all;
    while (const FileBlock* block = in.NextBlock())
        all.insert(all.end(), block->bytes.begin(), block->bytes.begin() + block->used);
    return all;
}

// Up to a block the caller's thread reads, beyond it the read-ahead's; the
// end asked for is one byte past the file, as the packer asks.
TEST(BlockInput, ReadAheadGivesTheFileFromWhereItStands) {
    struct Case {
        size_t size;
        uint64_t start;
    } const cases[] = {{0, 0}, {100, 0}, {kBlock, 0}, {3 * kBlock + 7, 0}, {3 * kBlock + 7, 5}};
    ScratchDir dir;
    for (const Case& c : cases) {
        const Bytes data = PatternBytes(c.size, 7);
        ASSERT_TRUE(WriteFileBytes(dir / L"f", data));
        CBufferedFileInputStream in(1);
        ASSERT_TRUE(in.Open(dir / L"f", FILE_FLAG_SEQUENTIAL_SCAN));
        ASSERT_TRUE(in.Seek(c.start));
        CByteChecksum sum;
        in.StartReadAhead(c.start, c.size + 1, kBlock, 3, &sum);
        const Bytes expected(data.begin() + static_cast<ptrdiff_t>(c.start), data.end());
        EXPECT_EQ(ReadAllBlocks(in), expected) << c.size << " from " << c.start;
        EXPECT_EQ(in.ReadAheadError(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(sum.Value(), SumOf(expected)) << c.size << " from " << c.start;
    }
}

TEST(BlockInput, SeekStopsTheReadAheadAndMovesTheFile) {
    ScratchDir dir;
    const Bytes data = PatternBytes(8 * kBlock, 9);
    ASSERT_TRUE(WriteFileBytes(dir / L"f", data));
    CBufferedFileInputStream in(1);
    ASSERT_TRUE(in.Open(dir / L"f"));
    in.StartReadAhead(0, data.size(), kBlock, 3, nullptr);
    ASSERT_NE(in.NextBlock(), nullptr);
    const size_t offset = 5 * kBlock + 3;
    ASSERT_TRUE(in.Seek(offset));
    EXPECT_FALSE(in.IsReadingAhead());
    Bytes got(10);
    size_t count = 0;
    ASSERT_TRUE(in.ReadFully(got.data(), got.size(), count));
    EXPECT_EQ(got, Bytes(data.begin() + offset, data.begin() + offset + 10));
}

// The session closes its file through the combined class; a thread still
// reading must never be left with a closed handle, whichever base closes.
TEST(BlockInput, CloseThroughEitherBaseStopsTheReadAhead) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"f", PatternBytes(8 * kBlock, 2)));
    for (bool throughBuffer : {true, false}) {
        CBufferedFileInputStream in(1);
        ASSERT_TRUE(in.Open(dir / L"f"));
        in.StartReadAhead(0, 8 * kBlock, kBlock, 3, nullptr);
        ASSERT_NE(in.NextBlock(), nullptr);
        if (throughBuffer)
            static_cast<CBufferedInputStream&>(in).Close();
        else
            static_cast<CFileInputStream&>(in).Close();
        EXPECT_FALSE(in.IsReadingAhead()) << throughBuffer;
        EXPECT_FALSE(in.IsOpen()) << throughBuffer;
        EXPECT_EQ(in.NextBlock(), nullptr) << throughBuffer;
    }
}

// The packer tells a file that ended early from one it could not read.
TEST(FileInput, ReadFullyTellsTheEndFromAnError) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"f", PatternBytes(10, 1)));
    CFileInputStream in;
    Bytes got(20);
    size_t count = 99;
    EXPECT_FALSE(in.ReadFully(got.data(), got.size(), count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(in.Open(dir / L"f"));
    EXPECT_TRUE(in.ReadFully(got.data(), 4, count));
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(in.ReadFully(got.data(), got.size(), count));
    EXPECT_EQ(count, 6u);
}

// Blocks filled in place, in uneven pieces, reach the file in order and
// summed; Commit puts every byte on the disk and keeps the file open.
TEST(BlockOutput, BlocksReachTheFileInOrder) {
    ScratchDir dir;
    const Bytes data = PatternBytes(3 * kBlock + 100, 4);
    CByteChecksum sum;
    CBufferedFileOutputStream out(1);
    ASSERT_TRUE(out.CreateNew(dir / L"f", kBlock, sum));
    for (size_t done = 0; done < data.size();) {
        FileBlock* block = out.Block();
        const size_t take =
            std::min({data.size() - done, block->bytes.size() - block->used, size_t{1000}});
        std::memcpy(block->bytes.data() + block->used, data.data() + done, take);
        block->used += take;
        done += take;
        if (block->used == block->bytes.size()) {
            ASSERT_TRUE(out.PassBlock());
        }
    }
    ASSERT_TRUE(out.Commit());
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    ASSERT_TRUE(GetFileAttributesExW((dir / L"f").c_str(), GetFileExInfoStandard, &attributes));
    EXPECT_EQ(attributes.nFileSizeLow, data.size());
    EXPECT_TRUE(out.IsBlockFileOpen());
    EXPECT_TRUE(out.CloseBlocks());
    EXPECT_FALSE(out.IsBlockFileOpen());
    EXPECT_TRUE(out.CloseBlocks());
    EXPECT_EQ(ReadFileBytes(dir / L"f"), data);
    EXPECT_EQ(sum.Value(), SumOf(data));
}

} // namespace
