// Moving a file's bytes on a thread of its own, in blocks, while the job's
// thread enciphers: CBlockWriteBehind writes and sums the blocks a writer hands
// it, CBlockReadAhead reads and sums the blocks a reader will ask for next.
// They are the engine of the combined file streams' block ways
// (engine/streams.h), through which the jobs use them.
// Each owns a small fixed set of blocks, so memory stays bounded, and keeps
// the system's reason of its first failure for the thread that asks.
//
// A thread starts only when the first block is handed over (writing) or the
// file is larger than one block (reading): starting one costs milliseconds,
// more than a small container takes.
#pragma once

#include "engine/checksum.h"

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// One block of bytes and how many of them are used.
struct FileBlock {
    std::vector<uint8_t> bytes;
    size_t used = 0;
};

// count blocks of blockBytes each.
std::vector<FileBlock> MakeFileBlocks(int count, size_t blockBytes);

class CBlockWriteBehind {
public:
    // Blocks of blockBytes each, count of them in all; the sum covers every
    // byte written, in order.
    CBlockWriteBehind(HANDLE file, size_t blockBytes, int count, CByteChecksum& checksum);
    ~CBlockWriteBehind();
    CBlockWriteBehind(const CBlockWriteBehind&) = delete;
    CBlockWriteBehind& operator=(const CBlockWriteBehind&) = delete;

    // A free block to fill (waits for one while all are queued).
    FileBlock* Take();
    // Queues a filled block for writing; false once a write has failed.
    bool Submit(FileBlock* block);
    // Waits until every queued block is written; false when one failed.
    bool Drain();
    DWORD Error();

private:
    void Run();
    // Writes and sums one block on the calling thread; false on failure.
    bool WriteBlock(const FileBlock& block);

    HANDLE file_;
    CByteChecksum& checksum_;
    std::vector<FileBlock> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FileBlock*> free_;
    std::deque<FileBlock*> queued_;
    bool writing_ = false;
    bool stopping_ = false;
    DWORD error_ = ERROR_SUCCESS;
    std::thread thread_;
};

// How the read-ahead reads: ReadFile, unless a test puts in its place a read
// that fails partway, which a real disk does only by accident.
using ReadFileFunction = BOOL(WINAPI*)(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD got,
                                       LPOVERLAPPED overlapped);
extern ReadFileFunction g_readAheadFile;

class CBlockReadAhead {
public:
    // Reads the file from its current position up to end bytes in all (the
    // caller has positioned it at start), summing what it reads when a
    // checksum is given.
    CBlockReadAhead(HANDLE file, uint64_t start, uint64_t end, size_t blockBytes, int count,
                    CByteChecksum* checksum);
    // The same with blocks the caller keeps (all of one size): a job that
    // reads file after file allocates them once, instead of getting fresh
    // zeroed memory from the system for every file.
    CBlockReadAhead(HANDLE file, uint64_t start, uint64_t end, std::vector<FileBlock>& blocks,
                    CByteChecksum* checksum);
    ~CBlockReadAhead();
    CBlockReadAhead(const CBlockReadAhead&) = delete;
    CBlockReadAhead& operator=(const CBlockReadAhead&) = delete;

    // The next block in file order, or null at the end or after a failure
    // (Error tells). The block returned before goes back to the reader.
    const FileBlock* Next();
    DWORD Error();

private:
    // Puts the blocks in the free list and starts the thread when the file
    // holds more than one block.
    void Start(std::vector<FileBlock>& blocks);
    void Run();
    // Reads one block on the calling thread; false at the end or on failure.
    bool ReadBlock(FileBlock& block);

    HANDLE file_;
    uint64_t position_;
    const uint64_t end_;
    CByteChecksum* checksum_;
    std::vector<FileBlock> ownBlocks_; // when the caller lends none
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FileBlock*> free_;
    std::deque<FileBlock*> filled_;
    FileBlock* handedOut_ = nullptr;
    bool finished_ = false; // no more blocks will come
    bool stopping_ = false;
    DWORD error_ = ERROR_SUCCESS;
    std::thread thread_;
};
