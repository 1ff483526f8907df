// Writing a container: headers and records are gathered into the block that
// goes to the file next, bodies are enciphered straight into it, and a
// thread of its own writes the blocks behind. In the authenticated format a
// block holds one segment, sealed once the next byte shows it is not the
// last. The writer remembers the system's reason of the first failure,
// because the calls made after it (closing, cleaning up) overwrite the
// thread's last error.
#include "engine/container_session.h"

#include "engine/paths.h"
#include "engine/session_errors.h"
#include "engine/stored_name.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsStorablePlace(const std::wstring& folderPath, const std::wstring& name) {
    std::wstring relative;
    return IsStorableName(name) && RelativeFolderOf(folderPath, relative);
}

} // namespace

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
