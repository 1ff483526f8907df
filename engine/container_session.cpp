// Container sessions: the writer gathers headers and small bodies into one
// buffer and hands large bodies to the file directly; the reader does the
// same the other way. Both remember the system's reason of the first failure,
// because the calls made after it (closing, cleaning up) overwrite the
// thread's last error.
#include "engine/container_session.h"

#include "engine/extended_path.h"
#include "engine/stored_name.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBufferBytes = 1 << 20;
// A single ReadFile/WriteFile moves at most this much, well below the 4 GiB
// a DWORD can count.
constexpr size_t kMaxTransfer = 1 << 30;

DWORD LastErrorOr(DWORD fallback) {
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

bool IsStorablePlace(const std::wstring& folderPath, const std::wstring& name) {
    std::wstring relative;
    return IsStorableName(name) && RelativeFolderOf(folderPath, relative);
}

} // namespace

// ---------------------------------------------------------------------------
// Writer

// The codec writes headers through a stream; this one appends to the
// writer's buffer.
class ContainerWriter::HeaderSink : public IOutputStream {
public:
    explicit HeaderSink(ContainerWriter& writer) : writer_(writer) {}
    int Write(const uint8_t* data, int offset, int count) override {
        if (count <= 0 || !writer_.Append(data + offset, static_cast<size_t>(count), false))
            return 0;
        return count;
    }
    bool Close() override { return !writer_.Failed(); }
    bool Flush() override { return !writer_.Failed(); }

private:
    ContainerWriter& writer_;
};

ContainerWriter::ContainerWriter(const std::wstring& password) : codec_(password) {}

ContainerWriter::~ContainerWriter() {
    // The write-behind goes first: it may still be writing to the file.
    behind_.reset();
}

bool ContainerWriter::Fail(DWORD error) {
    if (error_ == ERROR_SUCCESS)
        error_ = error;
    return false;
}

bool ContainerWriter::Create(const std::wstring& path) {
    if (file_)
        return Fail(ERROR_ALREADY_INITIALIZED);
    file_.Reset(CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file_)
        return Fail(LastErrorOr(ERROR_OPEN_FAILED));
    // Three blocks: one being filled, one being written, one spare, so the
    // enciphering seldom waits for the disk.
    behind_ = std::make_unique<BlockWriteBehind>(file_.Get(), kBufferBytes, 3, checksum_);
    block_ = behind_->Take();
    return true;
}

bool ContainerWriter::Submit() {
    if (!block_ || block_->used == 0)
        return !Failed();
    FileBlock* full = block_;
    block_ = nullptr;
    if (!behind_->Submit(full))
        return Fail(behind_->Error());
    block_ = behind_->Take();
    return true;
}

bool ContainerWriter::Drain() {
    if (!Submit())
        return false;
    return behind_->Drain() || Fail(behind_->Error());
}

bool ContainerWriter::Append(const uint8_t* data, size_t count, bool encipher) {
    if (Failed())
        return false;
    if (!block_)
        return Fail(ERROR_INVALID_HANDLE);
    written_ += count;
    // A body is enciphered straight into the block that goes to the file:
    // no copy.
    while (count > 0) {
        const size_t take = std::min(count, block_->bytes.size() - block_->used);
        uint8_t* to = block_->bytes.data() + block_->used;
        if (encipher)
            codec_.CryptBody(data, to, take);
        else
            std::memcpy(to, data, take);
        block_->used += take;
        data += take;
        count -= take;
        if (block_->used == block_->bytes.size() && !Submit())
            return false;
    }
    return true;
}

bool ContainerWriter::BodyComplete() {
    return bodyLeft_ == 0 || Fail(ERROR_INVALID_DATA);
}

bool ContainerWriter::WriteHeader() {
    if (Failed())
        return false;
    HeaderSink sink(*this);
    if (!codec_.WriteHeader(sink))
        return Fail(codec_.PasswordFitsCheckBlock() ? LastErrorOr(ERROR_WRITE_FAULT)
                                                    : ERROR_INVALID_PASSWORD);
    return true;
}

bool ContainerWriter::AddFolder(const std::wstring& folderPath, const std::wstring& name) {
    if (Failed() || !BodyComplete())
        return false;
    if (!IsStorablePlace(folderPath, name))
        return Fail(ERROR_INVALID_NAME);
    EntryInfo entry;
    entry.name = name;
    HeaderSink sink(*this);
    if (!codec_.WriteEntryHeader(folderPath, entry, sink))
        return Fail(LastErrorOr(ERROR_WRITE_FAULT));
    ++records_;
    return true;
}

bool ContainerWriter::AddFile(const std::wstring& folderPath, const std::wstring& name,
                              int64_t modifiedTime, uint64_t size) {
    if (Failed() || !BodyComplete())
        return false;
    if (!IsStorablePlace(folderPath, name))
        return Fail(ERROR_INVALID_NAME);
    if (size > static_cast<uint64_t>(INT64_MAX))
        return Fail(ERROR_INVALID_DATA);
    EntryInfo entry;
    entry.isFile = true;
    entry.name = name;
    entry.modifiedTime = modifiedTime;
    entry.size = static_cast<int64_t>(size);
    HeaderSink sink(*this);
    if (!codec_.WriteEntryHeader(folderPath, entry, sink))
        return Fail(LastErrorOr(ERROR_WRITE_FAULT));
    ++records_;
    bodyLeft_ = size;
    return true;
}

bool ContainerWriter::WriteBody(const uint8_t* data, size_t count) {
    if (Failed())
        return false;
    if (!block_)
        return Fail(ERROR_INVALID_HANDLE);
    if (count > bodyLeft_)
        return Fail(ERROR_INVALID_DATA);
    bodyLeft_ -= count;
    return Append(data, count, true);
}

bool ContainerWriter::Commit() {
    if (Failed() || !BodyComplete() || !Drain())
        return false;
    SetLastError(ERROR_SUCCESS);
    if (!FlushFileBuffers(file_.Get()))
        return Fail(LastErrorOr(ERROR_WRITE_FAULT));
    return true;
}

bool ContainerWriter::Close() {
    if (!file_)
        return !Failed();
    Drain();
    behind_.reset();
    block_ = nullptr;
    SetLastError(ERROR_SUCCESS);
    // Closed by hand: a failing close can mean lost bytes.
    if (!CloseHandle(file_.Release()))
        Fail(LastErrorOr(ERROR_WRITE_FAULT));
    return !Failed();
}

// ---------------------------------------------------------------------------
// Reader

// The codec reads headers through a stream; this one reads from the
// reader's buffer.
class ContainerReader::SourceStream : public IInputStream {
public:
    explicit SourceStream(ContainerReader& reader) : reader_(reader) {}
    int Read(uint8_t* buffer, int offset, int count) override {
        if (count <= 0)
            return 0;
        return static_cast<int>(reader_.Read(buffer + offset, static_cast<size_t>(count)));
    }
    void Close() override {}

private:
    ContainerReader& reader_;
};

ContainerReader::ContainerReader() = default;

ContainerReader::~ContainerReader() {
    Close();
}

void ContainerReader::Close() {
    // The read-ahead goes first: it may still be reading the file.
    ahead_.reset();
    data_ = nullptr;
    bufferPos_ = bufferEnd_ = 0;
    file_.Reset();
}

bool ContainerReader::Open(const std::wstring& path, bool readAhead) {
    Close();
    error_ = ERROR_SUCCESS;
    file_.Reset(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                            nullptr));
    if (!file_) {
        error_ = LastErrorOr(ERROR_OPEN_FAILED);
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.Get(), &size)) {
        error_ = LastErrorOr(ERROR_READ_FAULT);
        Close();
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    position_ = 0;
    bufferPos_ = bufferEnd_ = 0;
    bodyLeft_ = 0;
    skipped_ = false;
    checksum_ = ByteChecksum();
    readAhead_ = readAhead;
    if (!readAhead_)
        buffer_.resize(kBufferBytes);
    return true;
}

size_t ContainerReader::ReadFromFile(uint8_t* data, size_t count) {
    size_t total = 0;
    while (count > 0) {
        DWORD chunk = static_cast<DWORD>(std::min(count, kMaxTransfer));
        DWORD got = 0;
        SetLastError(ERROR_SUCCESS);
        if (!ReadFile(file_.Get(), data, chunk, &got, nullptr)) {
            if (error_ == ERROR_SUCCESS)
                error_ = LastErrorOr(ERROR_READ_FAULT);
            break;
        }
        if (got == 0)
            break;
        checksum_.Update(data, got);
        data += got;
        count -= got;
        total += got;
    }
    return total;
}

bool ContainerReader::Refill() {
    bufferPos_ = 0;
    bufferEnd_ = 0;
    const uint64_t fileLeft = size_ - position_;
    if (fileLeft == 0 || !file_)
        return false;
    if (readAhead_) {
        // Starts where the file's own position is: right after what was read.
        if (!ahead_)
            ahead_ = std::make_unique<BlockReadAhead>(file_.Get(), position_, size_, kBufferBytes,
                                                      3, &checksum_);
        const FileBlock* block = ahead_->Next();
        if (!block) {
            if (error_ == ERROR_SUCCESS)
                error_ = ahead_->Error();
            return false;
        }
        data_ = block->bytes.data();
        bufferEnd_ = block->used;
        return true;
    }
    data_ = buffer_.data();
    bufferEnd_ = ReadFromFile(buffer_.data(),
                              static_cast<size_t>(std::min<uint64_t>(buffer_.size(), fileLeft)));
    return bufferEnd_ > 0;
}

size_t ContainerReader::Read(uint8_t* data, size_t count, bool decipher) {
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - position_));
    size_t total = 0;
    while (count > 0) {
        size_t available = bufferEnd_ - bufferPos_;
        if (available == 0) {
            // Without read-ahead a large read goes straight into the
            // caller's memory.
            if (!readAhead_ && count >= buffer_.size()) {
                size_t got = ReadFromFile(data, count);
                if (decipher && codec_)
                    codec_->CryptBody(data, data, got);
                position_ += got;
                return total + got;
            }
            if (!Refill())
                break;
            available = bufferEnd_ - bufferPos_;
        }
        size_t take = std::min(available, count);
        // Deciphering is the copy out of the block: the bytes move once.
        if (decipher && codec_)
            codec_->CryptBody(data_ + bufferPos_, data, take);
        else
            std::memcpy(data, data_ + bufferPos_, take);
        bufferPos_ += take;
        position_ += take;
        data += take;
        count -= take;
        total += take;
    }
    return total;
}

HeaderCheck ContainerReader::CheckHeader(const std::wstring& password) {
    codec_.reset();
    SourceStream stream(*this);
    SetLastError(ERROR_SUCCESS);
    std::unique_ptr<EncFile> codec = OpenEncFile(password, stream);
    if (error_ != ERROR_SUCCESS)
        return HeaderCheck::ReadFailed;
    if (!codec)
        return HeaderCheck::NotAContainer;
    bool damaged = false;
    bool matches = codec->CheckPassword(damaged, stream);
    if (error_ != ERROR_SUCCESS)
        return HeaderCheck::ReadFailed;
    if (damaged)
        return HeaderCheck::Damaged;
    if (!matches)
        return HeaderCheck::WrongPassword;
    codec_ = std::move(codec);
    return HeaderCheck::Matches;
}

RecordRead ContainerReader::NextRecord(EntryInfo& entry) {
    if (!codec_ || bodyLeft_ != 0) {
        if (error_ == ERROR_SUCCESS)
            error_ = ERROR_INVALID_DATA;
        return RecordRead::Damaged;
    }
    SourceStream stream(*this);
    entry = EntryInfo();
    if (!codec_->ReadEntryHeader(entry, stream))
        return RecordRead::Damaged;
    if (!entry.isFile)
        return RecordRead::Ok;
    if (static_cast<uint64_t>(entry.size) > BytesLeft())
        return RecordRead::BodyPastEnd;
    bodyLeft_ = static_cast<uint64_t>(entry.size);
    return RecordRead::Ok;
}

size_t ContainerReader::ReadRawBody(uint8_t* data, size_t count) {
    count = static_cast<size_t>(std::min<uint64_t>(count, bodyLeft_));
    size_t got = Read(data, count);
    bodyLeft_ -= got;
    return got;
}

size_t ContainerReader::ReadBody(uint8_t* data, size_t count) {
    count = static_cast<size_t>(std::min<uint64_t>(count, bodyLeft_));
    size_t got = Read(data, count, true);
    bodyLeft_ -= got;
    return got;
}

bool ContainerReader::SkipBody() {
    if (bodyLeft_ == 0)
        return true;
    const size_t buffered = bufferEnd_ - bufferPos_;
    if (bodyLeft_ <= buffered) {
        bufferPos_ += static_cast<size_t>(bodyLeft_);
        position_ += bodyLeft_;
        bodyLeft_ = 0;
        return true;
    }
    skipped_ = true;
    return SeekToRecord(position_ + bodyLeft_);
}

bool ContainerReader::SeekToRecord(uint64_t offset) {
    if (!file_ || offset > size_)
        return false;
    // Within what the buffer already holds, no system call is needed. A
    // read-ahead has moved the file on, so it starts again from the offset.
    const uint64_t bufferStart = position_ - bufferPos_;
    if (!readAhead_ && offset >= bufferStart && offset <= bufferStart + bufferEnd_) {
        bufferPos_ = static_cast<size_t>(offset - bufferStart);
    } else {
        ahead_.reset();
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN)) {
            if (error_ == ERROR_SUCCESS)
                error_ = LastErrorOr(ERROR_SEEK);
            return false;
        }
        bufferPos_ = bufferEnd_ = 0;
    }
    position_ = offset;
    bodyLeft_ = 0;
    skipped_ = true;
    return true;
}
