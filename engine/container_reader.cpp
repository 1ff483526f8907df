// Reading a container: from a buffer of the reader's own or from blocks the
// file stream's thread reads ahead; in the authenticated format segment by
// segment, each handed out only once its tag has checked. The reader remembers the
// system's reason of the first failure, because the calls made after it
// (closing, cleaning up) overwrite the thread's last error.
#include "engine/container_session.h"

#include "engine/session_errors.h"

#include <algorithm>
#include <cstring>

namespace {

// What a reading-ahead reader reads by itself while it checks the header:
// enough for any header, little enough not to hold up the read-ahead.
constexpr size_t kHeaderBufferBytes = 64 << 10;

} // namespace

// The codec reads headers through a stream; this one reads from the
// reader's buffer.
class CContainerReader::CSourceStream : public IInputStream {
public:
    explicit CSourceStream(CContainerReader& reader) : reader_(reader) {}
    int Read(uint8_t* buffer, int offset, int count) override {
        if (count <= 0)
            return 0;
        return static_cast<int>(reader_.Read(buffer + offset, static_cast<size_t>(count)));
    }
    void Close() override {}

private:
    CContainerReader& reader_;
};

CContainerReader::CContainerReader() = default;

CContainerReader::~CContainerReader() {
    Close();
}

void CContainerReader::Close() {
    // The read-ahead goes first: it may still be reading the file.
    file_.StopReadAhead();
    data_ = nullptr;
    bufferPos_ = bufferEnd_ = 0;
    loaded_ = UINT64_MAX;
    if (!plain_.empty())
        WipeSecret(plain_.data(), plain_.size());
    file_.Close();
}

bool CContainerReader::Open(const std::wstring& path, bool readAhead) {
    Close();
    error_ = ERROR_SUCCESS;
    codec_.reset();
    sealed_ = nullptr;
    tampered_ = false;
    if (!file_.Open(path, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN)) {
        // Open, but its size could not be read.
        const bool opened = file_.IsOpen();
        error_ = LastErrorOr(opened ? ERROR_READ_FAULT : ERROR_OPEN_FAILED);
        if (opened)
            Close();
        return false;
    }
    size_ = fileSize_ = static_cast<uint64_t>(file_.Size());
    position_ = 0;
    bufferPos_ = bufferEnd_ = 0;
    bodyLeft_ = 0;
    skipped_ = false;
    checksum_ = CByteChecksum();
    readAhead_ = readAhead;
    // The header is read from a buffer of the reader's own; a read-ahead
    // starts after it, once the format is known.
    buffer_.resize(readAhead_ ? kHeaderBufferBytes : kBufferBytes);
    return true;
}

size_t CContainerReader::ReadFromFile(uint8_t* data, size_t count, bool sum) {
    size_t got = 0;
    if (!file_.ReadFully(data, count, got) && error_ == ERROR_SUCCESS)
        error_ = LastErrorOr(ERROR_READ_FAULT);
    if (sum)
        checksum_.Update(data, got);
    return got;
}

bool CContainerReader::Refill() {
    bufferPos_ = 0;
    bufferEnd_ = 0;
    const uint64_t fileLeft = size_ - position_;
    if (fileLeft == 0 || !file_.IsOpen())
        return false;
    if (sealed_)
        return LoadSegment(position_ / sealed_->SegmentBytes());
    if (readAhead_ && codec_) {
        // Starts where the file's own position is: right after what was read.
        if (!file_.IsReadingAhead())
            file_.StartReadAhead(position_, size_, kBufferBytes, 3, &checksum_);
        const FileBlock* block = file_.NextBlock();
        if (!block) {
            if (error_ == ERROR_SUCCESS)
                error_ = file_.ReadAheadError();
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

size_t CContainerReader::Read(uint8_t* data, size_t count, bool decipher) {
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

HeaderCheck CContainerReader::CheckHeader(const std::wstring& password) {
    codec_.reset();
    sealed_ = nullptr;
    CSourceStream stream(*this);
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

bool CContainerReader::MoveFileTo(uint64_t offset) {
    // A read-ahead has moved the file on: it starts again from the offset.
    if (file_.Seek(offset))
        return true;
    if (error_ == ERROR_SUCCESS)
        error_ = LastErrorOr(ERROR_SEEK);
    return false;
}

bool CContainerReader::Tamper() {
    tampered_ = true;
    if (error_ == ERROR_SUCCESS)
        error_ = ERROR_INVALID_DATA;
    bufferPos_ = bufferEnd_ = 0;
    loaded_ = UINT64_MAX;
    return false;
}

void CContainerReader::StartSegments() {
    // The checksum covers the file's bytes in order: the header, then each
    // segment as it is read, not what the header's buffer read beyond it.
    const uint64_t headerBytes = position_;
    streamStart_ = headerBytes;
    checksum_ = CByteChecksum();
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

bool CContainerReader::LoadSegment(uint64_t k) {
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
        if (!file_.IsReadingAhead())
            file_.StartReadAhead(offset, fileSize_, static_cast<size_t>(rawBytes), 3, nullptr);
        const FileBlock* block = file_.NextBlock();
        if (!block) {
            if (error_ == ERROR_SUCCESS)
                error_ = file_.ReadAheadError() != ERROR_SUCCESS ? file_.ReadAheadError()
                                                                 : ERROR_HANDLE_EOF;
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

RecordRead CContainerReader::NextRecord(EntryInfo& entry) {
    if (!codec_ || bodyLeft_ != 0) {
        if (error_ == ERROR_SUCCESS)
            error_ = ERROR_INVALID_DATA;
        return RecordRead::Damaged;
    }
    CSourceStream stream(*this);
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

size_t CContainerReader::ReadRawBody(uint8_t* data, size_t count) {
    count = static_cast<size_t>(std::min<uint64_t>(count, bodyLeft_));
    size_t got = Read(data, count);
    bodyLeft_ -= got;
    return got;
}

size_t CContainerReader::ReadBody(uint8_t* data, size_t count) {
    count = static_cast<size_t>(std::min<uint64_t>(count, bodyLeft_));
    size_t got = Read(data, count, true);
    bodyLeft_ -= got;
    return got;
}

bool CContainerReader::SkipBody() {
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

bool CContainerReader::SeekToRecord(uint64_t offset) {
    if (!file_.IsOpen() || offset > size_)
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
