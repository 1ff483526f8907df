// Write-behind and read-ahead threads for container files.
#include "engine/block_pipe.h"

#include "engine/streams.h"

#include <algorithm>

namespace {

DWORD LastErrorOr(DWORD fallback) {
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

} // namespace

ReadFileFunction g_readAheadFile = ::ReadFile;

std::vector<FileBlock> MakeFileBlocks(int count, size_t blockBytes) {
    std::vector<FileBlock> blocks(static_cast<size_t>(count));
    for (FileBlock& block : blocks)
        block.bytes.resize(blockBytes);
    return blocks;
}

// ---------------------------------------------------------------------------
// Write-behind

CBlockWriteBehind::CBlockWriteBehind(HANDLE file, size_t blockBytes, int count,
                                     CByteChecksum& checksum)
    : file_(file), checksum_(checksum), blocks_(MakeFileBlocks(count, blockBytes)) {
    for (FileBlock& block : blocks_)
        free_.push_back(&block);
}

CBlockWriteBehind::~CBlockWriteBehind() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

FileBlock* CBlockWriteBehind::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    FileBlock* block = free_.front();
    free_.pop_front();
    block->used = 0;
    return block;
}

bool CBlockWriteBehind::WriteBlock(const FileBlock& block) {
    checksum_.Update(block.bytes.data(), block.used);
    return WriteAllToFile(file_, block.bytes.data(), block.used);
}

bool CBlockWriteBehind::Submit(FileBlock* block) {
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_ != ERROR_SUCCESS) {
        free_.push_back(block);
        changed_.notify_all();
        return false;
    }
    queued_.push_back(block);
    changed_.notify_all();
    return true;
}

bool CBlockWriteBehind::Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queued_.empty() && !writing_; });
    return error_ == ERROR_SUCCESS;
}

DWORD CBlockWriteBehind::Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void CBlockWriteBehind::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (queued_.empty())
            return;
        FileBlock* block = queued_.front();
        queued_.pop_front();
        const bool failedBefore = error_ != ERROR_SUCCESS;
        writing_ = true;
        lock.unlock();
        // After a failure the rest is only handed back: the container is
        // lost anyway, and its first failure is the one to tell.
        const bool written = failedBefore || WriteBlock(*block);
        const DWORD error = written ? ERROR_SUCCESS : LastErrorOr(ERROR_WRITE_FAULT);
        lock.lock();
        writing_ = false;
        if (!written && error_ == ERROR_SUCCESS)
            error_ = error;
        free_.push_back(block);
        changed_.notify_all();
    }
}

// ---------------------------------------------------------------------------
// Read-ahead

CBlockReadAhead::CBlockReadAhead(HANDLE file, uint64_t start, uint64_t end, size_t blockBytes,
                                 int count, CByteChecksum* checksum)
    : file_(file), position_(start), end_(end), checksum_(checksum),
      ownBlocks_(MakeFileBlocks(count, blockBytes)) {
    Start(ownBlocks_);
}

CBlockReadAhead::CBlockReadAhead(HANDLE file, uint64_t start, uint64_t end,
                                 std::vector<FileBlock>& blocks, CByteChecksum* checksum)
    : file_(file), position_(start), end_(end), checksum_(checksum) {
    Start(blocks);
}

void CBlockReadAhead::Start(std::vector<FileBlock>& blocks) {
    for (FileBlock& block : blocks) {
        block.used = 0;
        free_.push_back(&block);
    }
    const size_t blockBytes = blocks.empty() ? 0 : blocks.front().bytes.size();
    if (end_ > position_ && end_ - position_ > blockBytes)
        thread_ = std::thread([this] { Run(); });
}

CBlockReadAhead::~CBlockReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool CBlockReadAhead::ReadBlock(FileBlock& block) {
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(block.bytes.size(), end_ - position_));
    block.used = 0;
    while (block.used < want) {
        DWORD got = 0;
        SetLastError(ERROR_SUCCESS);
        if (!g_readAheadFile(file_, block.bytes.data() + block.used,
                             static_cast<DWORD>(want - block.used), &got, nullptr)) {
            // Taken before the lock: taking a mutex the consumer holds can
            // reset the thread's last error, and the system's reason became
            // "Read fault".
            const DWORD error = LastErrorOr(ERROR_READ_FAULT);
            std::lock_guard<std::mutex> lock(mutex_);
            if (error_ == ERROR_SUCCESS)
                error_ = error;
            return false;
        }
        if (got == 0)
            break;
        block.used += got;
    }
    if (checksum_)
        checksum_->Update(block.bytes.data(), block.used);
    position_ += block.used;
    return block.used > 0;
}

const FileBlock* CBlockReadAhead::Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (handedOut_) {
        free_.push_back(handedOut_);
        handedOut_ = nullptr;
        changed_.notify_all();
    }
    if (!thread_.joinable()) {
        // A file of a block or less is read right here.
        if (finished_ || free_.empty())
            return nullptr;
        FileBlock* block = free_.front();
        free_.pop_front();
        lock.unlock();
        const bool read = ReadBlock(*block);
        lock.lock();
        if (!read) {
            free_.push_back(block);
            finished_ = true;
            return nullptr;
        }
        handedOut_ = block;
        return block;
    }
    changed_.wait(lock, [this] { return !filled_.empty() || finished_; });
    if (filled_.empty())
        return nullptr;
    handedOut_ = filled_.front();
    filled_.pop_front();
    return handedOut_;
}

DWORD CBlockReadAhead::Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

void CBlockReadAhead::Run() {
    for (;;) {
        FileBlock* block = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
            if (stopping_)
                return;
            block = free_.front();
            free_.pop_front();
        }
        const bool read = ReadBlock(*block);
        std::lock_guard<std::mutex> lock(mutex_);
        if (read) {
            filled_.push_back(block);
        } else {
            free_.push_back(block);
            finished_ = true;
        }
        changed_.notify_all();
        if (!read)
            return;
    }
}
