// Byte streams for containers and the files in them: two interfaces, a
// buffering layer for each, plain file streams, and the two combined classes
// (a file stream that is its own buffer).
//
// What the jobs use is the combined classes, mostly block by block. A
// container session's `CBufferedFileOutputStream` creates the container and
// hands out blocks (1 MiB, or one sealed segment) that the session fills in
// place (a body is enciphered straight into them) and a thread writes
// behind. A session's or the packer's `CBufferedFileInputStream` opens a
// container or a source file and reads it in runs of bytes (ReadFully: the
// headers, small files) or in blocks a thread reads ahead, which the caller
// deciphers or enciphers straight out of. The block pipe
// (engine/block_pipe.h) is their engine. The codec reads and writes the
// records through the typed operations of `IInputStream` and
// `IOutputStream`, over the sessions' blocks. The byte way of the combined
// classes (`Read` and `Write` through the buffering base, `IsAtEnd` with
// `Available`) serves the tests' own container builder, not the jobs. The
// restore writes its files through WriteAllToFile below: their handles come
// from the restore journal.
//
// Failure reporting: Read returns 0 at the end and on error; Write returns
// the count accepted. A buffered output stream remembers a failure of its
// sink (short write, failed flush or close) and from then on every Write
// returns 0 and Flush/Close return false, so a writer that checks the last
// Close knows for certain whether every byte reached the file. The block
// ways keep the system's reason of their first failure instead.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/unique_handle.h"
#include "engine/block_pipe.h"
#include "engine/checksum.h"

#include <memory>
#include <vector>

class IInputStream {
public:
    // Stores up to count bytes at buffer[offset..]; returns how many, 0 at
    // the end of the stream or on error.
    virtual int Read(uint8_t* buffer, int offset, int count) = 0;
    virtual void Close() = 0;
    virtual ~IInputStream() = default;

    // Typed reads, little-endian; containers swap with SwapBytes32/64.
    // *shortRead is set to whether fewer bytes than asked came.
    int32_t ReadInt32(bool* shortRead = nullptr);
    int ReadByte();
    uint64_t ReadUInt64(bool* shortRead = nullptr);
    // Bytes up to the next 0 byte (consumed) or the end of the stream.
    // *empty tells that no byte came before the terminator or the end.
    std::string ReadString(bool* empty = nullptr);
    // As ReadString, but stops after maxBytes bytes without a terminator and
    // sets *tooLong; a crafted stream then cannot make it allocate without bound.
    // *unterminated tells that the end of the stream came before the 0 byte
    // (a cut-off container).
    std::string ReadString(size_t maxBytes, bool* empty, bool* tooLong,
                           bool* unterminated = nullptr);
};

class IOutputStream {
public:
    // Takes count bytes from data[offset..]; returns how many were accepted.
    virtual int Write(const uint8_t* data, int offset, int count) = 0;
    // Close and Flush report whether everything written so far got through.
    virtual bool Close() = 0;
    virtual bool Flush() = 0;
    virtual ~IOutputStream() = default;

    bool WriteInt32(int32_t value);
    bool WriteByte(int value);
    bool WriteUInt64(uint64_t value);
    // Fails for an empty string and then writes nothing, not even the 0 byte.
    bool WriteString(const std::string& bytes);
};

// Writes every byte to a file handle, repeating after a short write so that
// a full disk reports itself through the last error (ERROR_DISK_FULL)
// instead of a short count. False with the last error set otherwise.
bool WriteAllToFile(HANDLE file, const uint8_t* data, size_t count);

uint32_t SwapBytes32(uint32_t value);
uint64_t SwapBytes64(uint64_t value);

class CBufferedInputStream : public IInputStream {
public:
    // A capacity below 1 is taken as 1. Throws std::bad_alloc when the buffer
    // cannot be allocated.
    CBufferedInputStream(IInputStream* source, int capacity);
    ~CBufferedInputStream() override;
    CBufferedInputStream(const CBufferedInputStream&) = delete;
    CBufferedInputStream& operator=(const CBufferedInputStream&) = delete;

    int Read(uint8_t* buffer, int offset, int count) override;
    void Close() override;
    // Bytes still unread in the buffer; -1 before the first fill.
    int Available() const { return filled_ < 0 ? -1 : filled_ - position_; }

protected:
    // Forgets the buffered bytes: the next Read fills the buffer afresh.
    void Discard();

private:
    void Refill();

    IInputStream* source_;
    int capacity_;
    uint8_t* buffer_;
    int filled_ = -1;
    int position_ = 0;
};

class CBufferedOutputStream : public IOutputStream {
public:
    // A capacity below 1 is taken as 1. Throws std::bad_alloc when the buffer
    // cannot be allocated.
    CBufferedOutputStream(IOutputStream* sink, int capacity);
    ~CBufferedOutputStream() override;
    CBufferedOutputStream(const CBufferedOutputStream&) = delete;
    CBufferedOutputStream& operator=(const CBufferedOutputStream&) = delete;

    int Write(const uint8_t* data, int offset, int count) override;
    bool Close() override;
    bool Flush() override;
    // True once the sink has refused bytes or failed to flush or close.
    bool HasFailed() const { return failed_; }

protected:
    // Passes the buffered bytes to the sink; records a failure.
    bool FlushBuffer();

private:
    int capacity_;
    uint8_t* buffer_;
    int last_ = -1;
    IOutputStream* sink_;
    bool failed_ = false;
};

class CFileInputStream : public IInputStream {
public:
    CFileInputStream() = default;
    ~CFileInputStream() override;
    CFileInputStream(const CFileInputStream&) = delete;
    CFileInputStream& operator=(const CFileInputStream&) = delete;

    int Read(uint8_t* buffer, int offset, int count) override;
    void Close() override;

    // False if already open, if the file cannot be opened, or if its size
    // cannot be read (the handle is then kept until Close). GetLastError
    // tells why. flags are the open's attributes and flags: a walk from start
    // to end adds FILE_FLAG_SEQUENTIAL_SCAN, a source that may be a link
    // FILE_FLAG_OPEN_REPARSE_POINT, so that the link itself is opened.
    bool Open(const std::wstring& path, DWORD flags = FILE_ATTRIBUTE_NORMAL);
    bool IsOpen() const { return handle_.IsValid(); }
    // True at the end of the file, or when the position cannot be read.
    bool IsAtEnd() const;
    int64_t Size() const { return size_; }
    // For questions about the open file (its identity, its times).
    HANDLE Handle() const { return handle_.Get(); }
    // Reads until count bytes came or the file ended (ReadFile may give less
    // before the end); got tells how many came. Unlike Read it tells a read
    // error from the end: false then, with the last error set.
    bool ReadFully(uint8_t* data, size_t count, size_t& got);

private:
    UniqueFileHandle handle_;
    int64_t size_ = 0;
};

class CFileOutputStream : public IOutputStream {
public:
    CFileOutputStream() = default;
    ~CFileOutputStream() override;
    CFileOutputStream(const CFileOutputStream&) = delete;
    CFileOutputStream& operator=(const CFileOutputStream&) = delete;

    int Write(const uint8_t* data, int offset, int count) override;
    // Flushes, then closes; false if either failed (a full disk shows here).
    bool Close() override;
    bool Flush() override;

    // "ab" when append is set, "wb" otherwise. False if already open or the
    // runtime library cannot open the file.
    bool Open(const std::wstring& path, bool append);
    bool IsOpen() const { return stream_ != nullptr; }
    // Flushes the runtime buffer and asks the system to write the file's
    // data through to the device. False on any failure.
    bool Commit();

private:
    FILE* stream_ = nullptr;
};

// A file input stream read through its own buffer: read through the
// CBufferedInputStream base for buffered reads; open and test IsAtEnd
// through the CFileInputStream base. Or read in blocks a thread reads ahead:
// for a file read from start to end, or a container's bodies.
class CBufferedFileInputStream : public CFileInputStream, public CBufferedInputStream {
public:
    explicit CBufferedFileInputStream(int capacity);
    ~CBufferedFileInputStream() override;

    // Through either base: stops a read-ahead, forgets the buffered bytes
    // and closes the file.
    void Close() override;

    // Starts reading ahead from the file's position, which the caller has
    // set to start, up to end bytes in all, in count blocks of blockBytes;
    // the checksum, when given, sums every byte read. A file of a block or
    // less is read on the caller's thread when its block is asked for.
    void StartReadAhead(uint64_t start, uint64_t end, size_t blockBytes, int count,
                        CByteChecksum* checksum);
    // The same with blocks the caller keeps (all of one size): a job that
    // reads file after file allocates them once.
    void StartReadAhead(uint64_t start, uint64_t end, std::vector<FileBlock>& blocks,
                        CByteChecksum* checksum);
    bool IsReadingAhead() const { return ahead_ != nullptr; }
    // The next block in file order, or null at the end or after a failure
    // (ReadAheadError tells). The caller uses its bytes where they lie; the
    // block returned before goes back to the read-ahead.
    const FileBlock* NextBlock();
    DWORD ReadAheadError();
    // The read-ahead stops; the file's position is then wherever it got to.
    void StopReadAhead();
    // Stops a read-ahead, forgets the buffered bytes and moves the file to
    // offset. False with the last error set.
    bool Seek(uint64_t offset);

private:
    std::unique_ptr<CBlockReadAhead> ahead_;
};

// A file output stream written through its own buffer: open through the
// CFileOutputStream base, write and close through the CBufferedOutputStream
// base (closing writes pending bytes before the file is closed).
//
// A container is written the other way, in blocks: CreateNew makes the file,
// the caller fills Block() in place (a body is enciphered straight into it),
// PassBlock hands it to a thread that writes it behind and gives the next
// one, Commit forces everything to the device, CloseBlocks ends. The first
// failure's system reason stays in WriteError, because the calls made after
// it (closing, cleaning up) overwrite the thread's last error.
class CBufferedFileOutputStream : public CFileOutputStream, public CBufferedOutputStream {
public:
    explicit CBufferedFileOutputStream(int capacity);
    ~CBufferedFileOutputStream() override;
    // Writes pending bytes, flushes the runtime buffer and forces the data
    // to the device, keeping the file open; for a file written in blocks,
    // passes the block being filled and waits until every block is written
    // first. False if anything failed so far.
    bool Commit();

    // Creates the file for writing in blocks of blockBytes; fails, with the
    // last error set, when anything already has the name. Nobody else may
    // open it until it is closed. The checksum sums every byte written, in
    // order.
    bool CreateNew(const std::wstring& path, size_t blockBytes, CByteChecksum& checksum);
    bool IsBlockFileOpen() const { return blockFile_.IsValid(); }
    // The block being filled: bytes[used..] is free. Null once a hand-over
    // has failed.
    FileBlock* Block() const { return block_; }
    // Hands the block being filled to the write-behind, unless it is empty,
    // and takes a free one.
    bool PassBlock();
    // Passes the block being filled, waits until every block is written and
    // closes the file (closed by hand: a failing close can mean lost bytes).
    // True when every byte got through. Closing a second time does nothing.
    bool CloseBlocks();
    DWORD WriteError() const { return error_; }

private:
    bool Fail(DWORD error);
    // Waits until every handed-over block is written.
    bool WaitWritten();

    UniqueFileHandle blockFile_;
    // Declared after the file: it may still be writing to it, so it goes first.
    std::unique_ptr<CBlockWriteBehind> behind_;
    FileBlock* block_ = nullptr;
    DWORD error_ = ERROR_SUCCESS;
};
