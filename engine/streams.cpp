// The byte streams: typed operations on the two interfaces, the buffering
// layers, the plain file streams and the two combined file-and-buffer classes
// with their block ways (write-behind and read-ahead on the block pipe).
//
// The output side never forgets a failure: once a sink refuses bytes or fails
// to flush or close, the buffered stream stays failed, so the result of its
// last Close tells a writer whether every byte reached the file.
#include "engine/streams.h"

#include "engine/paths.h"
#include "engine/session_errors.h"

#include <io.h>

#include <algorithm>
#include <cstring>
#include <new>

// ---------------------------------------------------------------------------
// Typed operations

int32_t IInputStream::ReadInt32(bool* shortRead) {
    uint8_t bytes[4] = {};
    int got = Read(bytes, 0, 4);
    if (shortRead)
        *shortRead = got < 4;
    return static_cast<int32_t>(
        static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
        (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
}

int IInputStream::ReadByte() {
    uint8_t byte = 0;
    return Read(&byte, 0, 1) == 1 ? byte : -1;
}

uint64_t IInputStream::ReadUInt64(bool* shortRead) {
    uint8_t bytes[8] = {};
    int got = Read(bytes, 0, 8);
    if (shortRead)
        *shortRead = got < 8;
    uint64_t value = 0;
    for (int k = 7; k >= 0; --k)
        value = (value << 8) | bytes[k];
    return value;
}

std::string IInputStream::ReadString(bool* empty) {
    return ReadString(static_cast<size_t>(-1), empty, nullptr);
}

std::string IInputStream::ReadString(size_t maxBytes, bool* empty, bool* tooLong,
                                     bool* unterminated) {
    // Collected in 255-byte chunks so a long string costs a few appends, not
    // one per byte.
    std::string result;
    char chunk[256] = {};
    size_t used = 0;
    size_t total = 0;
    bool overLimit = false;
    bool cutOff = false;
    for (;;) {
        int byte = ReadByte();
        if (byte <= 0) {
            cutOff = byte < 0;
            break;
        }
        if (total == maxBytes) {
            overLimit = true;
            break;
        }
        chunk[used++] = static_cast<char>(byte);
        ++total;
        if (used == 255) {
            result.append(chunk, used);
            used = 0;
        }
    }
    result.append(chunk, used);
    if (empty)
        *empty = total == 0;
    if (tooLong)
        *tooLong = overLimit;
    if (unterminated)
        *unterminated = cutOff;
    return result;
}

bool IOutputStream::WriteInt32(int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return Write(bytes, 0, 4) == 4;
}

bool IOutputStream::WriteByte(int value) {
    uint8_t byte = static_cast<uint8_t>(value & 0xFF);
    return Write(&byte, 0, 1) == 1;
}

bool IOutputStream::WriteUInt64(uint64_t value) {
    uint8_t bytes[8];
    for (int k = 0; k < 8; ++k)
        bytes[k] = static_cast<uint8_t>(value >> (8 * k));
    return Write(bytes, 0, 8) == 8;
}

bool IOutputStream::WriteString(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF)
        return false;
    int count = static_cast<int>(bytes.size());
    // All bytes must be accepted: a half-written string would shift every
    // later field of a container.
    if (Write(reinterpret_cast<const uint8_t*>(bytes.data()), 0, count) != count)
        return false;
    return WriteByte(0);
}

bool WriteAllToFile(HANDLE file, const uint8_t* data, size_t count) {
    // One call moves at most 1 GiB, well below what a DWORD counts.
    constexpr size_t kMaxTransfer = 1 << 30;
    while (count > 0) {
        DWORD done = 0;
        SetLastError(ERROR_SUCCESS);
        if (!WriteFile(file, data, static_cast<DWORD>(count < kMaxTransfer ? count : kMaxTransfer),
                       &done, nullptr))
            return false;
        if (done == 0) {
            if (GetLastError() == ERROR_SUCCESS)
                SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += done;
        count -= done;
    }
    return true;
}

uint32_t SwapBytes32(uint32_t value) {
    return __builtin_bswap32(value);
}

uint64_t SwapBytes64(uint64_t value) {
    return __builtin_bswap64(value);
}

// ---------------------------------------------------------------------------
// Buffered input

CBufferedInputStream::CBufferedInputStream(IInputStream* source, int capacity)
    : source_(source), capacity_(capacity < 1 ? 1 : capacity),
      buffer_(new uint8_t[static_cast<size_t>(capacity_)]) {}

CBufferedInputStream::~CBufferedInputStream() {
    delete[] buffer_;
}

void CBufferedInputStream::Refill() {
    filled_ = 0;
    position_ = 0;
    int got = source_->Read(buffer_, 0, capacity_);
    filled_ = got > 0 ? got : 0;
}

int CBufferedInputStream::Read(uint8_t* buffer, int offset, int count) {
    uint8_t* destination = buffer + offset;
    int delivered = 0;
    if (filled_ < 0)
        Refill();
    while (count > 0) {
        // A refill that brought nothing marks the end; the source is not
        // asked again until Close.
        if (filled_ == 0)
            return delivered;
        int avail = filled_ - position_;
        if (avail >= count) {
            std::memcpy(destination, buffer_ + position_, static_cast<size_t>(count));
            position_ += count;
            return delivered + count;
        }
        if (avail > 0) {
            std::memcpy(destination, buffer_ + position_, static_cast<size_t>(avail));
            position_ += avail;
            destination += avail;
            delivered += avail;
            count -= avail;
        }
        Refill();
    }
    return delivered;
}

void CBufferedInputStream::Discard() {
    filled_ = -1;
    position_ = 0;
}

void CBufferedInputStream::Close() {
    Discard();
    source_->Close();
}

// ---------------------------------------------------------------------------
// Buffered output

CBufferedOutputStream::CBufferedOutputStream(IOutputStream* sink, int capacity)
    : capacity_(capacity < 1 ? 1 : capacity), buffer_(new uint8_t[static_cast<size_t>(capacity_)]),
      sink_(sink) {}

CBufferedOutputStream::~CBufferedOutputStream() {
    // Only the bytes; the sink is not ours to close. A combined file stream
    // has already emptied the buffer in its own destructor.
    FlushBuffer();
    delete[] buffer_;
}

bool CBufferedOutputStream::FlushBuffer() {
    if (last_ < 0)
        return !failed_;
    int count = last_ + 1;
    last_ = -1;
    if (failed_)
        return false;
    if (sink_->Write(buffer_, 0, count) != count)
        failed_ = true;
    return !failed_;
}

int CBufferedOutputStream::Write(const uint8_t* data, int offset, int count) {
    if (failed_)
        return 0;
    const uint8_t* source = data + offset;
    int written = 0;
    while (count > 0) {
        int free = capacity_ - last_ - 1;
        if (free >= count) {
            std::memcpy(buffer_ + last_ + 1, source, static_cast<size_t>(count));
            last_ += count;
            return written + count;
        }
        if (free > 0) {
            std::memcpy(buffer_ + last_ + 1, source, static_cast<size_t>(free));
            last_ += free;
            source += free;
            written += free;
            count -= free;
        }
        // The bytes taken so far are lost with the buffer when the sink
        // fails, so the caller must see this call as a failure.
        if (!Flush())
            return 0;
    }
    return written;
}

bool CBufferedOutputStream::Flush() {
    if (last_ < 0)
        return !failed_;
    if (!FlushBuffer())
        return false;
    if (!sink_->Flush())
        failed_ = true;
    return !failed_;
}

bool CBufferedOutputStream::Close() {
    Flush();
    if (!sink_->Close())
        failed_ = true;
    last_ = -1;
    return !failed_;
}

// ---------------------------------------------------------------------------
// File input

CFileInputStream::~CFileInputStream() {
    CFileInputStream::Close();
}

bool CFileInputStream::Open(const std::wstring& path, DWORD flags) {
    if (handle_)
        return false;
    handle_.Reset(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, flags, nullptr));
    if (!handle_)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_.Get(), &size))
        return false;
    size_ = size.QuadPart;
    return true;
}

int CFileInputStream::Read(uint8_t* buffer, int offset, int count) {
    if (!handle_ || count <= 0)
        return 0;
    DWORD got = 0;
    if (!ReadFile(handle_.Get(), buffer + offset, static_cast<DWORD>(count), &got, nullptr))
        return 0;
    return static_cast<int>(got);
}

bool CFileInputStream::ReadFully(uint8_t* data, size_t count, size_t& got) {
    // One call moves at most 1 GiB, well below what a DWORD counts.
    constexpr size_t kMaxTransfer = 1 << 30;
    got = 0;
    while (got < count) {
        DWORD more = 0;
        SetLastError(ERROR_SUCCESS);
        if (!ReadFile(handle_.Get(), data + got,
                      static_cast<DWORD>(std::min(count - got, kMaxTransfer)), &more, nullptr))
            return false;
        if (more == 0)
            break;
        got += more;
    }
    return true;
}

void CFileInputStream::Close() {
    if (!handle_)
        return;
    handle_.Reset();
    size_ = 0;
}

bool CFileInputStream::IsAtEnd() const {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER position;
    if (!handle_ || !SetFilePointerEx(handle_.Get(), zero, &position, FILE_CURRENT))
        return true;
    return position.QuadPart == size_;
}

// ---------------------------------------------------------------------------
// File output

CFileOutputStream::~CFileOutputStream() {
    CFileOutputStream::Close();
}

bool CFileOutputStream::Open(const std::wstring& path, bool append) {
    if (stream_)
        return false;
    stream_ = _wfopen(ExtendedPath(path).c_str(), append ? L"ab" : L"wb");
    return stream_ != nullptr;
}

int CFileOutputStream::Write(const uint8_t* data, int offset, int count) {
    if (!stream_ || count <= 0)
        return 0;
    return static_cast<int>(std::fwrite(data + offset, 1, static_cast<size_t>(count), stream_));
}

bool CFileOutputStream::Flush() {
    return stream_ && std::fflush(stream_) == 0;
}

bool CFileOutputStream::Close() {
    if (!stream_)
        return true;
    // The error indicator also covers a write that failed inside the runtime
    // library's own buffer, long before this flush.
    bool ok = std::fflush(stream_) == 0;
    ok = !std::ferror(stream_) && ok;
    ok = std::fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    return ok;
}

bool CFileOutputStream::Commit() {
    if (!stream_ || std::fflush(stream_) != 0 || std::ferror(stream_))
        return false;
    return _commit(_fileno(stream_)) == 0;
}

// ---------------------------------------------------------------------------
// Combined classes

CBufferedFileInputStream::CBufferedFileInputStream(int capacity)
    : CFileInputStream(), CBufferedInputStream(static_cast<CFileInputStream*>(this), capacity) {}

// The read-ahead goes first (a member), then the buffer (base destruction
// order), then the file part closes its handle.
CBufferedFileInputStream::~CBufferedFileInputStream() = default;

void CBufferedFileInputStream::Close() {
    // The read-ahead may still be reading the file.
    StopReadAhead();
    Discard();
    CFileInputStream::Close();
}

void CBufferedFileInputStream::StartReadAhead(uint64_t start, uint64_t end, size_t blockBytes,
                                              int count, CByteChecksum* checksum) {
    ahead_.reset();
    ahead_ = std::make_unique<CBlockReadAhead>(Handle(), start, end, blockBytes, count, checksum);
}

void CBufferedFileInputStream::StartReadAhead(uint64_t start, uint64_t end,
                                              std::vector<FileBlock>& blocks,
                                              CByteChecksum* checksum) {
    ahead_.reset();
    ahead_ = std::make_unique<CBlockReadAhead>(Handle(), start, end, blocks, checksum);
}

const FileBlock* CBufferedFileInputStream::NextBlock() {
    return ahead_ ? ahead_->Next() : nullptr;
}

DWORD CBufferedFileInputStream::ReadAheadError() {
    return ahead_ ? ahead_->Error() : ERROR_SUCCESS;
}

void CBufferedFileInputStream::StopReadAhead() {
    ahead_.reset();
}

bool CBufferedFileInputStream::Seek(uint64_t offset) {
    // A read-ahead has moved the file on: it must not go on from there.
    StopReadAhead();
    Discard();
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(Handle(), to, nullptr, FILE_BEGIN) != FALSE;
}

CBufferedFileOutputStream::CBufferedFileOutputStream(int capacity)
    : CFileOutputStream(), CBufferedOutputStream(static_cast<CFileOutputStream*>(this), capacity) {}

CBufferedFileOutputStream::~CBufferedFileOutputStream() {
    // Pending bytes must reach the runtime-library stream while the whole
    // object is still alive; the file part closes after the buffer is gone.
    CBufferedOutputStream::Flush();
}

bool CBufferedFileOutputStream::Commit() {
    if (blockFile_) {
        if (!PassBlock() || !WaitWritten())
            return false;
        SetLastError(ERROR_SUCCESS);
        return FlushFileBuffers(blockFile_.Get()) || Fail(LastErrorOr(ERROR_WRITE_FAULT));
    }
    bool flushed = CBufferedOutputStream::Flush();
    return CFileOutputStream::Commit() && flushed;
}

bool CBufferedFileOutputStream::Fail(DWORD error) {
    if (error_ == ERROR_SUCCESS)
        error_ = error;
    return false;
}

bool CBufferedFileOutputStream::CreateNew(const std::wstring& path, size_t blockBytes,
                                          CByteChecksum& checksum) {
    if (blockFile_) {
        SetLastError(ERROR_ALREADY_INITIALIZED);
        return false;
    }
    blockFile_.Reset(CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!blockFile_)
        return false;
    error_ = ERROR_SUCCESS;
    // Three blocks: one being filled, one being written, one spare, so the
    // caller seldom waits for the disk.
    behind_ = std::make_unique<CBlockWriteBehind>(blockFile_.Get(), blockBytes, 3, checksum);
    block_ = behind_->Take();
    return true;
}

bool CBufferedFileOutputStream::PassBlock() {
    if (!block_ || block_->used == 0)
        return error_ == ERROR_SUCCESS;
    FileBlock* full = block_;
    block_ = nullptr;
    if (!behind_->Submit(full))
        return Fail(behind_->Error());
    block_ = behind_->Take();
    return true;
}

bool CBufferedFileOutputStream::WaitWritten() {
    return !behind_ || behind_->Drain() || Fail(behind_->Error());
}

bool CBufferedFileOutputStream::CloseBlocks() {
    if (!blockFile_)
        return error_ == ERROR_SUCCESS;
    PassBlock();
    WaitWritten();
    behind_.reset();
    block_ = nullptr;
    SetLastError(ERROR_SUCCESS);
    if (!CloseHandle(blockFile_.Release()))
        Fail(LastErrorOr(ERROR_WRITE_FAULT));
    return error_ == ERROR_SUCCESS;
}
