// Byte streams through which every file and container byte passes: two
// interfaces, a buffering layer for each, plain file streams, and the two
// combined classes the jobs use (a file stream that is its own buffer).
//
// Failure reporting: Read returns 0 at the end and on error; Write returns
// the count accepted. A buffered output stream remembers a failure of its
// sink (short write, failed flush or close) and from then on every Write
// returns 0 and Flush/Close return false, so a writer that checks the last
// Close knows for certain whether every byte reached the file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/unique_handle.h"

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
    // tells why.
    bool Open(const std::wstring& path);
    bool IsOpen() const { return handle_.IsValid(); }
    // True at the end of the file, or when the position cannot be read.
    bool IsAtEnd() const;
    int64_t Size() const { return size_; }

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
// CBufferedInputStream base for buffered reads; open, test IsAtEnd and close
// through the CFileInputStream base.
class CBufferedFileInputStream : public CFileInputStream, public CBufferedInputStream {
public:
    explicit CBufferedFileInputStream(int capacity);
    ~CBufferedFileInputStream() override;
};

// A file output stream written through its own buffer: open through the
// CFileOutputStream base, write and close through the CBufferedOutputStream
// base (closing writes pending bytes before the file is closed).
class CBufferedFileOutputStream : public CFileOutputStream, public CBufferedOutputStream {
public:
    explicit CBufferedFileOutputStream(int capacity);
    ~CBufferedFileOutputStream() override;
    // Writes pending bytes, flushes the runtime buffer and forces the data
    // to the device, keeping the file open. False if anything failed so far.
    bool Commit();
};
