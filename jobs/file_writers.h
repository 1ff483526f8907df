// The restore's pool of writer threads: it creates, writes, forces to the
// device, closes and places restored files while the job's thread goes on
// deciphering. It belongs to the restore, not to the block pipe: each file it
// finishes is noted in the run's changes and the journal.
#pragma once

#include "common/unique_handle.h"
#include "jobs/restore_changes.h"

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Writes restored files and forces them to the device on helper threads,
// so that the job's thread goes on deciphering while files are created,
// written, flushed and closed: for many small files those calls, not the
// deciphering, take the time. A file whose body fits a block comes whole;
// a larger one is written by the job's thread and only flushed and closed
// here. The first few files of a job are done right away on the job's
// thread: starting threads costs milliseconds, more than a job of a few
// small files takes. Finish waits for all of them; the container may be
// deleted only after it reported success.
class CFileWriters {
public:
    explicit CFileWriters(Journal& journal) : journal_(journal) {}
    ~CFileWriters() { Finish(); }
    CFileWriters(const CFileWriters&) = delete;
    CFileWriters& operator=(const CFileWriters&) = delete;

    // A new file with its whole body; created exclusively, so it never
    // replaces anything.
    void AddFile(std::wstring target, std::wstring name, uint64_t offset,
                 std::vector<uint8_t> body) {
        Add(Task{std::move(target), std::wstring(), std::move(name), offset, std::move(body),
                 UniqueFileHandle()});
    }
    // A buffer for a whole body of the given size: the smallest one a
    // writer has finished with that holds it, so that files of up to a block
    // do not each take fresh memory from the system; empty when none does.
    std::vector<uint8_t> TakeBuffer(size_t bytes);
    // A complete file under its temporary name: flushed, closed and put in
    // its place here.
    void AddWritten(UniqueFileHandle file, std::wstring target, std::wstring partial,
                    std::wstring name, uint64_t offset) {
        Add(Task{std::move(target), std::move(partial), std::move(name), offset,
                 std::vector<uint8_t>(), std::move(file)});
    }
    // Waits until every file is done. False when one failed; FailedName
    // and FailedError tell which and why.
    bool Finish();
    bool Failed();
    const std::wstring& FailedName() const { return failedName_; }
    DWORD FailedError() const { return failedError_; }

private:
    static constexpr size_t kDoneInPlace = 8;
    static constexpr int kThreads = 4;
    static constexpr size_t kQueuedFiles = 256;
    static constexpr size_t kQueuedBytes = 8 << 20;
    static constexpr size_t kSpareBuffers = 8;

    struct Task {
        std::wstring target;
        std::wstring partial; // empty: the body comes with the task
        std::wstring name;
        uint64_t offset;
        std::vector<uint8_t> body;
        UniqueFileHandle file;
    };

    void Add(Task task);
    void Do(Task& task);
    void Failure(const std::wstring& name, DWORD error);
    void Run();
    // Keeps a written body's memory for a later one, as long as the spare
    // and the queued bodies together stay within the queue's byte limit.
    void Recycle(std::vector<uint8_t> body);

    Journal& journal_;
    size_t added_ = 0;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable room_;
    std::deque<Task> pending_;
    size_t queuedBytes_ = 0;
    std::vector<std::vector<uint8_t>> spare_;
    size_t spareBytes_ = 0;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
    std::wstring failedName_;
    DWORD failedError_ = ERROR_SUCCESS;
};
