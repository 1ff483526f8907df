// Writing a container: headers and records are gathered into the block that
// goes to the file next, bodies are enciphered straight into it, and the
// file stream's thread writes the blocks behind. In the authenticated
// format a block holds one segment, sealed once the next byte shows it is
// not the last. The writer remembers the system's reason of the first failure,
// because the calls made after it (closing, cleaning up) overwrite the
// thread's last error.
#include "engine/container_session.h"

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
class CContainerWriter::CHeaderSink : public IOutputStream {
public:
    explicit CHeaderSink(CContainerWriter& writer) : writer_(writer) {}
    int Write(const uint8_t* data, int offset, int count) override {
        if (count <= 0 || !writer_.Append(data + offset, static_cast<size_t>(count), false))
            return 0;
        return count;
    }
    bool Close() override { return !writer_.Failed(); }
    bool Flush() override { return !writer_.Failed(); }

private:
    CContainerWriter& writer_;
};

CContainerWriter::CContainerWriter(const std::wstring& password, ContainerFormat format)
    : passwordFits_(PasswordFitsCheckBlock(password)) {
    if (format == ContainerFormat::Authenticated) {
        auto sealed = std::make_unique<AesGcmEncFile>(password);
        sealed_ = sealed.get();
        codec_ = std::move(sealed);
    } else {
        codec_ = std::make_unique<RC4EncStdFile>(password);
    }
}

// The file stream waits for its write-behind before it closes the file.
CContainerWriter::~CContainerWriter() = default;

bool CContainerWriter::Fail(DWORD error) {
    if (error_ == ERROR_SUCCESS)
        error_ = error;
    return false;
}

bool CContainerWriter::Create(const std::wstring& path) {
    if (file_.IsBlockFileOpen())
        return Fail(ERROR_ALREADY_INITIALIZED);
    // A sealed segment and its tag make one block.
    const size_t blockBytes = sealed_ ? kSegmentBytes + kTagBytes : kBufferBytes;
    if (!file_.CreateNew(path, blockBytes, checksum_))
        return Fail(LastErrorOr(ERROR_OPEN_FAILED));
    return true;
}

bool CContainerWriter::Submit() {
    const FileBlock* block = file_.Block();
    if (!block || block->used == 0)
        return !Failed();
    return file_.PassBlock() || Fail(file_.WriteError());
}

bool CContainerWriter::SealSegment(bool last) {
    FileBlock* block = file_.Block();
    if (!sealed_->SealSegment(segment_, last, block->bytes.data(), block->used))
        return Fail(ERROR_INVALID_DATA);
    ++segment_;
    block->used += kTagBytes;
    written_ += kTagBytes;
    return Submit();
}

bool CContainerWriter::Finish() {
    if (!sealed_ || !inSegments_ || finished_)
        return !Failed();
    finished_ = true;
    return !Failed() && SealSegment(true);
}

bool CContainerWriter::Append(const uint8_t* data, size_t count, bool encipher) {
    if (Failed())
        return false;
    if (!file_.Block())
        return Fail(ERROR_INVALID_HANDLE);
    if (finished_)
        return Fail(ERROR_INVALID_STATE);
    written_ += count;
    // A sealed segment goes out only once the next byte comes: until then
    // it may be the last one, whose nonce says so.
    const size_t capacity = inSegments_ ? kSegmentBytes : file_.Block()->bytes.size();
    // A body is enciphered straight into the block that goes to the file:
    // no copy.
    while (count > 0) {
        if (inSegments_ && file_.Block()->used == capacity && !SealSegment(false))
            return false;
        // Taken again after every hand-over: the stream gives a new block.
        FileBlock* block = file_.Block();
        const size_t take = std::min(count, capacity - block->used);
        uint8_t* to = block->bytes.data() + block->used;
        if (encipher && !sealed_)
            codec_->CryptBody(data, to, take);
        else
            std::memcpy(to, data, take);
        block->used += take;
        data += take;
        count -= take;
        if (!inSegments_ && block->used == block->bytes.size() && !Submit())
            return false;
    }
    return true;
}

bool CContainerWriter::BodyComplete() {
    return bodyLeft_ == 0 || Fail(ERROR_INVALID_DATA);
}

bool CContainerWriter::WriteHeader() {
    if (Failed())
        return false;
    if (inSegments_)
        return Fail(ERROR_INVALID_STATE);
    CHeaderSink sink(*this);
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

bool CContainerWriter::AddFolder(const std::wstring& folderPath, const std::wstring& name) {
    if (Failed() || !BodyComplete())
        return false;
    if (!IsStorablePlace(folderPath, name))
        return Fail(ERROR_INVALID_NAME);
    EntryInfo entry;
    entry.name = name;
    CHeaderSink sink(*this);
    if (!codec_->WriteEntryHeader(folderPath, entry, sink))
        return Fail(LastErrorOr(ERROR_WRITE_FAULT));
    ++records_;
    return true;
}

bool CContainerWriter::AddFile(const std::wstring& folderPath, const std::wstring& name,
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
    CHeaderSink sink(*this);
    if (!codec_->WriteEntryHeader(folderPath, entry, sink))
        return Fail(LastErrorOr(ERROR_WRITE_FAULT));
    ++records_;
    bodyLeft_ = size;
    return true;
}

bool CContainerWriter::WriteBody(const uint8_t* data, size_t count) {
    if (Failed())
        return false;
    if (!file_.Block())
        return Fail(ERROR_INVALID_HANDLE);
    if (count > bodyLeft_)
        return Fail(ERROR_INVALID_DATA);
    bodyLeft_ -= count;
    return Append(data, count, true);
}

bool CContainerWriter::Commit() {
    if (!file_.IsBlockFileOpen())
        return Fail(ERROR_INVALID_HANDLE);
    if (Failed() || !BodyComplete() || !Finish() || !Submit())
        return false;
    return file_.Commit() || Fail(file_.WriteError());
}

bool CContainerWriter::Close() {
    if (!file_.IsBlockFileOpen())
        return !Failed();
    if (!Failed() && BodyComplete())
        Finish();
    Submit();
    if (!file_.CloseBlocks())
        Fail(file_.WriteError());
    return !Failed();
}
