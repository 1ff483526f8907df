// File streams on real files: opening, end detection, the combined
// file-and-buffer classes, and a full disk reaching the writer.
#include "engine/streams.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

using testing_support::Bytes;
using testing_support::PatternBytes;
using testing_support::ReadFileBytes;
using testing_support::ScratchDir;
using testing_support::WriteFileBytes;

namespace {

TEST(FileInput, OpenOfAMissingFileFails) {
    ScratchDir dir;
    CFileInputStream in;
    EXPECT_FALSE(in.Open(dir / L"missing.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(in.IsOpen());
    EXPECT_TRUE(in.IsAtEnd());
}

TEST(FileInput, SecondOpenFailsAndKeepsTheFirstFile) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"a", Bytes{'a', 'a'}));
    ASSERT_TRUE(WriteFileBytes(dir / L"b", Bytes{'b'}));
    CFileInputStream in;
    ASSERT_TRUE(in.Open(dir / L"a"));
    EXPECT_FALSE(in.Open(dir / L"b"));
    EXPECT_EQ(in.Size(), 2);
    EXPECT_EQ(in.ReadByte(), 'a');
}

TEST(FileInput, BufferEmptyIsNotTheEndOfTheFile) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"f", PatternBytes(8, 1)));
    CBufferedFileInputStream in(4);
    ASSERT_TRUE(in.Open(dir / L"f"));
    uint8_t b[4];
    ASSERT_EQ(in.CBufferedInputStream::Read(b, 0, 4), 4);
    EXPECT_EQ(in.Available(), 0);
    EXPECT_FALSE(in.IsAtEnd());
    ASSERT_EQ(in.CBufferedInputStream::Read(b, 0, 4), 4);
    EXPECT_EQ(in.Available(), 0);
    EXPECT_TRUE(in.IsAtEnd());
}

TEST(FileInput, BufferedReadOfAWholeFileAndReopenAfterClose) {
    ScratchDir dir;
    const Bytes data = PatternBytes(100000, 3);
    ASSERT_TRUE(WriteFileBytes(dir / L"f", data));
    CBufferedFileInputStream in(8192);
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(in.Open(dir / L"f")) << round;
        IInputStream& buffered = static_cast<CBufferedInputStream&>(in);
        Bytes got(data.size() + 10);
        EXPECT_EQ(buffered.Read(got.data(), 0, static_cast<int>(got.size())),
                  static_cast<int>(data.size()));
        got.resize(data.size());
        EXPECT_EQ(got, data);
        EXPECT_TRUE(in.IsAtEnd());
        // Closing through the buffer resets it, so the next file starts fresh.
        in.CBufferedInputStream::Close();
        EXPECT_FALSE(in.IsOpen());
        EXPECT_EQ(in.Available(), -1);
    }
}

TEST(FileOutput, SecondOpenFailsAndKeepsTheFirstFile) {
    ScratchDir dir;
    {
        CFileOutputStream out;
        ASSERT_TRUE(out.Open(dir / L"a", false));
        EXPECT_FALSE(out.Open(dir / L"b", false));
        EXPECT_TRUE(out.WriteByte('x'));
        EXPECT_TRUE(out.Close());
        EXPECT_FALSE(out.IsOpen());
    }
    EXPECT_EQ(ReadFileBytes(dir / L"a"), Bytes{'x'});
    EXPECT_FALSE(testing_support::PathExists(dir / L"b"));
}

TEST(FileOutput, AppendModeKeepsWhatWasThere) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"f", Bytes{'a'}));
    CFileOutputStream out;
    ASSERT_TRUE(out.Open(dir / L"f", true));
    out.WriteByte('b');
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(ReadFileBytes(dir / L"f"), Bytes({'a', 'b'}));
}

TEST(FileOutput, OpenInAMissingFolderFails) {
    ScratchDir dir;
    CFileOutputStream out;
    EXPECT_FALSE(out.Open(dir / L"no\\such.bin", false));
    EXPECT_FALSE(out.IsOpen());
}

TEST(BufferedFileOutput, DestructionWritesPendingBytesAndClosesTheFile) {
    ScratchDir dir;
    const Bytes data = PatternBytes(1000, 5);
    {
        CBufferedFileOutputStream out(4096);
        ASSERT_TRUE(out.Open(dir / L"f", false));
        ASSERT_EQ(out.CBufferedOutputStream::Write(data.data(), 0, 1000), 1000);
    }
    EXPECT_EQ(ReadFileBytes(dir / L"f"), data);
    // Closed: the file can be deleted at once.
    EXPECT_TRUE(DeleteFileW((dir / L"f").c_str()));
}

TEST(BufferedFileOutput, CloseThroughTheBufferWritesEverythingAndReportsSuccess) {
    ScratchDir dir;
    const Bytes data = PatternBytes(300000, 6);
    CBufferedFileOutputStream out(65536);
    ASSERT_TRUE(out.Open(dir / L"f", false));
    IOutputStream& buffered = static_cast<CBufferedOutputStream&>(out);
    for (size_t done = 0; done < data.size(); done += 1000)
        ASSERT_EQ(buffered.Write(data.data(), static_cast<int>(done), 1000), 1000);
    // Commit leaves the file open with every byte in it.
    EXPECT_TRUE(out.Commit());
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    ASSERT_TRUE(GetFileAttributesExW((dir / L"f").c_str(), GetFileExInfoStandard, &attributes));
    EXPECT_EQ(attributes.nFileSizeLow, data.size());
    EXPECT_TRUE(out.IsOpen());
    EXPECT_TRUE(buffered.Close());
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(ReadFileBytes(dir / L"f"), data);
}

TEST(BufferedFileOutput, WritingWithoutAnOpenFileFails) {
    CBufferedFileOutputStream out(4);
    IOutputStream& buffered = static_cast<CBufferedOutputStream&>(out);
    const Bytes data = PatternBytes(3, 1);
    buffered.Write(data.data(), 0, 3);
    EXPECT_FALSE(buffered.Close());
}

// A full disk must show in the writer's results. The test runner maps a tiny
// tmpfs as drive T: when it can; without it there is no full disk to use.
bool HaveFullDiskDrive() {
    UINT type = GetDriveTypeW(L"T:\\");
    return type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
}

std::wstring FullDiskPath(const wchar_t* name) {
    wchar_t path[64];
    _snwprintf(path, 64, L"T:\\engine_%lu_%s", GetCurrentProcessId(), name);
    return path;
}

TEST(FullDisk, BufferedFileOutputReportsLostBytes) {
    if (!HaveFullDiskDrive())
        GTEST_SKIP() << "no small drive T: (the test runner maps one when run as root)";
    // More than the drive holds, and a tail small enough to sit in the buffer
    // until Close: the failure must surface there at the latest.
    const Bytes data = PatternBytes(3 << 20, 9);
    const std::wstring path = FullDiskPath(L"buffered.bin");
    bool closed = true;
    {
        CBufferedFileOutputStream out(1 << 20);
        ASSERT_TRUE(out.Open(path, false));
        IOutputStream& buffered = static_cast<CBufferedOutputStream&>(out);
        for (size_t done = 0; done < data.size(); done += 100000) {
            int count = static_cast<int>(std::min<size_t>(100000, data.size() - done));
            buffered.Write(data.data(), static_cast<int>(done), count);
        }
        EXPECT_TRUE(out.HasFailed());
        closed = buffered.Close();
    }
    DeleteFileW(path.c_str());
    EXPECT_FALSE(closed);
}

TEST(FullDisk, PlainFileOutputReportsLostBytesInClose) {
    if (!HaveFullDiskDrive())
        GTEST_SKIP() << "no small drive T: (the test runner maps one when run as root)";
    const Bytes data = PatternBytes(3 << 20, 10);
    const std::wstring path = FullDiskPath(L"plain.bin");
    bool closed = true;
    {
        CFileOutputStream out;
        ASSERT_TRUE(out.Open(path, false));
        // Small writes stay in the runtime library's own buffer; only the
        // error indicator remembers the ones that failed.
        for (size_t done = 0; done < data.size(); done += 512)
            out.Write(data.data(), static_cast<int>(done), 512);
        closed = out.Close();
    }
    DeleteFileW(path.c_str());
    EXPECT_FALSE(closed);
}

} // namespace
