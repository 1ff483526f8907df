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
// What a reading-ahead reader reads by itself while it checks the header:
// enough for any header, little enough not to hold up the read-ahead.
constexpr size_t kHeaderBufferBytes = 64 << 10;
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

ContainerWriter::ContainerWriter(const std::wstring& password, ContainerFormat format)
    : passwordFits_(PasswordFitsCheckBlock(password)) {
    if (format == ContainerFormat::Authenticated) {
        auto sealed = std::make_unique<AesGcmEncFile>(password);
        sealed_ = sealed.get();
        codec_ = std::move(sealed);
    } else {
        codec_ = std::make_unique<RC4EncStdFile>(password);
    }
}

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
    // enciphering seldom waits for the disk. A sealed segment and its tag
    // make one block.
    const size_t blockBytes = sealed_ ? kSegmentBytes + kTagBytes : kBufferBytes;
    behind_ = std::make_unique<BlockWriteBehind>(file_.Get(), blockBytes, 3, checksum_);
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

bool ContainerWriter::SealSegment(bool last) {
    if (!sealed_->SealSegment(segment_, last, block_->bytes.data(), block_->used))
        return Fail(ERROR_INVALID_DATA);
    ++segment_;
    block_->used += kTagBytes;
    written_ += kTagBytes;
    return Submit();
}

bool ContainerWriter::Finish() {
    if (!sealed_ || !inSegments_ || finished_)
        return !Failed();
    finished_ = true;
    return !Failed() && SealSegment(true);
}

bool ContainerWriter::Append(const uint8_t* data, size_t count, bool encipher) {
    if (Failed())
        return false;
    if (!block_)
        return Fail(ERROR_INVALID_HANDLE);
    if (finished_)
        return Fail(ERROR_INVALID_STATE);
    written_ += count;
    // A sealed segment goes out only once the next byte comes: until then
    // it may be the last one, whose nonce says so.
    const size_t capacity = inSegments_ ? kSegmentBytes : block_->bytes.size();
    // A body is enciphered straight into the block that goes to the file:
    // no copy.
    while (count > 0) {
        if (inSegments_ && block_->used == capacity && !SealSegment(false))
            return false;
        const size_t take = std::min(count, capacity - block_->used);
        uint8_t* to = block_->bytes.data() + block_->used;
        if (encipher && !sealed_)
            codec_->CryptBody(data, to, take);
        else
            std::memcpy(to, data, take);
        block_->used += take;
        data += take;
        count -= take;
        if (!inSegments_ && block_->used == block_->bytes.size() && !Submit())
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
    if (inSegments_)
        return Fail(ERROR_INVALID_STATE);
    HeaderSink sink(*this);
    if (!codec_->WriteHeader(sink)) {
        if (!passwordFits_)
            return Fail(ERROR_INVALID_PASSWORD);
        // Nothing was handed on: the key derivation found no memory.
        return Fail(sealed_ ? ERROR_NOT_ENOUGH_MEMORY : LastErrorOr(ERROR_WRITE_FAULT));
    }
    if (!sealed_)
        return true;
    // The header goes out in a block of its own; segments fill the rest.
    if (!Submit())
        return false;
    inSegments_ = true;
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
    if (!codec_->WriteEntryHeader(folderPath, entry, sink))
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
    if (!codec_->WriteEntryHeader(folderPath, entry, sink))
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
    if (Failed() || !BodyComplete() || !Finish() || !Drain())
        return false;
    SetLastError(ERROR_SUCCESS);
    if (!FlushFileBuffers(file_.Get()))
        return Fail(LastErrorOr(ERROR_WRITE_FAULT));
    return true;
}

bool ContainerWriter::Close() {
    if (!file_)
        return !Failed();
    if (!Failed() && BodyComplete())
        Finish();
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
    loaded_ = UINT64_MAX;
    if (!plain_.empty())
        WipeSecret(plain_.data(), plain_.size());
    file_.Reset();
}

bool ContainerReader::Open(const std::wstring& path, bool readAhead) {
    Close();
    error_ = ERROR_SUCCESS;
    codec_.reset();
    sealed_ = nullptr;
    tampered_ = false;
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
    size_ = fileSize_ = static_cast<uint64_t>(size.QuadPart);
    position_ = 0;
    bufferPos_ = bufferEnd_ = 0;
    bodyLeft_ = 0;
    skipped_ = false;
    checksum_ = ByteChecksum();
    readAhead_ = readAhead;
    // The header is read from a buffer of the reader's own; a read-ahead
    // starts after it, once the format is known.
    buffer_.resize(readAhead_ ? kHeaderBufferBytes : kBufferBytes);
    return true;
}

size_t ContainerReader::ReadFromFile(uint8_t* data, size_t count, bool sum) {
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
        if (sum)
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
    if (sealed_)
        return LoadSegment(position_ / sealed_->SegmentBytes());
    if (readAhead_ && codec_) {
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
            if (!readAhead_ && !sealed_ && codec_ && count >= buffer_.size()) {
                size_t got = ReadFromFile(data, count);
                if (decipher)
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
        if (decipher && codec_ && !sealed_)
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
    sealed_ = nullptr;
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
    auto* sealed = codec->GetTypeId() == 2 ? static_cast<AesGcmEncFile*>(codec.get()) : nullptr;
    if (damaged)
        return sealed && sealed->Problem() == SealedHeaderProblem::TooCostly
                   ? HeaderCheck::BeyondLimits
                   : HeaderCheck::Damaged;
    if (!matches)
        return HeaderCheck::WrongPassword;
    codec_ = std::move(codec);
    if (sealed) {
        sealed_ = sealed;
        StartSegments();
    }
    return HeaderCheck::Matches;
}

bool ContainerReader::MoveFileTo(uint64_t offset) {
    // A read-ahead has moved the file on: it starts again from the offset.
    ahead_.reset();
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN))
        return true;
    if (error_ == ERROR_SUCCESS)
        error_ = LastErrorOr(ERROR_SEEK);
    return false;
}

bool ContainerReader::Tamper() {
    tampered_ = true;
    if (error_ == ERROR_SUCCESS)
        error_ = ERROR_INVALID_DATA;
    bufferPos_ = bufferEnd_ = 0;
    loaded_ = UINT64_MAX;
    return false;
}

void ContainerReader::StartSegments() {
    // The checksum covers the file's bytes in order: the header, then each
    // segment as it is read, not what the header's buffer read beyond it.
    const uint64_t headerBytes = position_;
    streamStart_ = headerBytes;
    checksum_ = ByteChecksum();
    checksum_.Update(data_, static_cast<size_t>(headerBytes));
    bufferPos_ = bufferEnd_ = 0;
    position_ = 0;
    nextRaw_ = 0;
    loaded_ = UINT64_MAX;
    const uint64_t plainBytes = sealed_->SegmentBytes();
    const uint64_t rawBytes = plainBytes + kTagBytes;
    plain_.assign(static_cast<size_t>(rawBytes), 0);
    // Every segment but the last is whole, and the last holds at least its
    // tag: any other length is a cut or an addition.
    const uint64_t stream = fileSize_ - headerBytes;
    segmentCount_ = (stream + rawBytes - 1) / rawBytes;
    const uint64_t lastRaw = stream - (segmentCount_ > 0 ? segmentCount_ - 1 : 0) * rawBytes;
    if (segmentCount_ == 0 || lastRaw < kTagBytes) {
        size_ = 0;
        Tamper();
        return;
    }
    size_ = (segmentCount_ - 1) * plainBytes + (lastRaw - kTagBytes);
    if (!MoveFileTo(headerBytes)) {
        size_ = 0;
        return;
    }
    // A stream without a byte is still one sealed segment, checked now:
    // nothing else would read it.
    if (size_ == 0)
        LoadSegment(0);
}

bool ContainerReader::LoadSegment(uint64_t k) {
    if (tampered_ || k >= segmentCount_)
        return false;
    const uint64_t plainBytes = sealed_->SegmentBytes();
    const uint64_t rawBytes = plainBytes + kTagBytes;
    const bool last = k + 1 == segmentCount_;
    const size_t raw =
        static_cast<size_t>(last ? size_ - (segmentCount_ - 1) * plainBytes + kTagBytes : rawBytes);
    const uint64_t offset = streamStart_ + k * rawBytes;
    if (k != nextRaw_) {
        if (!MoveFileTo(offset))
            return false;
        skipped_ = true;
        nextRaw_ = k;
    }
    const uint8_t* input = plain_.data();
    if (readAhead_) {
        if (!ahead_)
            ahead_ = std::make_unique<BlockReadAhead>(file_.Get(), offset, fileSize_,
                                                      static_cast<size_t>(rawBytes), 3, nullptr);
        const FileBlock* block = ahead_->Next();
        if (!block) {
            if (error_ == ERROR_SUCCESS)
                error_ = ahead_->Error() != ERROR_SUCCESS ? ahead_->Error() : ERROR_HANDLE_EOF;
            return false;
        }
        if (block->used != raw)
            return Tamper();
        input = block->bytes.data();
    } else if (ReadFromFile(plain_.data(), raw, false) != raw) {
        if (error_ == ERROR_SUCCESS)
            error_ = ERROR_HANDLE_EOF;
        return false;
    }
    checksum_.Update(input, raw);
    ++nextRaw_;
    // Deciphered into the reader's own buffer, and handed out only once
    // the tag has checked.
    if (!sealed_->OpenSegment(k, last, input, raw, plain_.data()))
        return Tamper();
    loaded_ = k;
    data_ = plain_.data();
    bufferPos_ = 0;
    bufferEnd_ = raw - kTagBytes;
    return true;
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
    if (static_cast<uint64_t>(entry.size) > BytesLeft()) {
        // An authentic record whose body is not there: the stream was cut.
        if (sealed_)
            Tamper();
        return RecordRead::BodyPastEnd;
    }
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
    if (sealed_) {
        // Into the segment that holds the offset (the last one for the end),
        // read and checked unless it is the one at hand.
        const uint64_t plainBytes = sealed_->SegmentBytes();
        const uint64_t k = std::min(offset / plainBytes, segmentCount_ - 1);
        if (k != loaded_ && !LoadSegment(k))
            return false;
        bufferPos_ = static_cast<size_t>(offset - k * plainBytes);
        position_ = offset;
        bodyLeft_ = 0;
        skipped_ = true;
        return true;
    }
    // Within what the buffer already holds, no system call is needed. A
    // read-ahead has moved the file on, so it starts again from the offset.
    const uint64_t bufferStart = position_ - bufferPos_;
    if (!readAhead_ && offset >= bufferStart && offset <= bufferStart + bufferEnd_) {
        bufferPos_ = static_cast<size_t>(offset - bufferStart);
    } else {
        if (!MoveFileTo(offset))
            return false;
        bufferPos_ = bufferEnd_ = 0;
    }
    position_ = offset;
    bodyLeft_ = 0;
    skipped_ = true;
    return true;
}
