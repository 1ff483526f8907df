// The restore's writer threads; see file_writers.h.
#include "jobs/file_writers.h"

#include "engine/paths.h"
#include "engine/streams.h"
#include "jobs/decrypt_job.h"

#include <utility>

std::vector<uint8_t> CFileWriters::TakeBuffer(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto best = spare_.end();
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
        if (it->capacity() >= bytes && (best == spare_.end() || it->capacity() < best->capacity()))
            best = it;
    }
    if (best == spare_.end())
        return std::vector<uint8_t>();
    std::vector<uint8_t> body = std::move(*best);
    *best = std::move(spare_.back());
    spare_.pop_back();
    spareBytes_ -= body.capacity();
    return body;
}

bool CFileWriters::Finish() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    threads_.clear();
    stopping_ = false;
    return !Failed();
}

bool CFileWriters::Failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failedError_ != ERROR_SUCCESS;
}

void CFileWriters::Add(Task task) {
    if (++added_ <= kDoneInPlace) {
        Do(task);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (threads_.empty()) {
        for (int i = 0; i < kThreads; ++i)
            threads_.emplace_back([this] { Run(); });
    }
    room_.wait(lock,
               [this] { return pending_.size() < kQueuedFiles && queuedBytes_ < kQueuedBytes; });
    // Counted by the memory held: a reused buffer may be larger than its body.
    queuedBytes_ += task.body.capacity();
    pending_.push_back(std::move(task));
    work_.notify_one();
}

void CFileWriters::Do(Task& task) {
    DWORD error = ERROR_SUCCESS;
    if (task.partial.empty()) {
        // A whole body goes to its place in one write: a second name
        // and a move would cost more than the write (each new name is a
        // search of the folder under Wine). Until it is on the device
        // the journal has it as unfinished.
        task.file = CreateNew(journal_, task.target, FILE_ATTRIBUTE_NORMAL);
        if (!task.file) {
            Failure(task.name, GetLastError());
            return;
        }
        task.partial = task.target;
        if (!WriteAllToFile(task.file.Get(), task.body.data(), task.body.size()))
            error = GetLastError();
    }
    if (error == ERROR_SUCCESS && !g_flushRestoredFile(task.file.Get()))
        error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    if (!CloseHandle(task.file.Release()) && error == ERROR_SUCCESS)
        error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    if (error == ERROR_SUCCESS &&
        !(task.partial == task.target ? FinishNew(journal_, task.target)
                                      : PlacePartial(journal_, task.partial, task.target, 0)))
        error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    if (error != ERROR_SUCCESS) {
        // A file that did not come whole, or found its place taken, goes again.
        DeleteFileW(ExtendedPath(task.partial).c_str());
        journal_.DropPartial(task.partial);
        Failure(task.name, error);
        return;
    }
    journal_.Note(task.offset);
}

void CFileWriters::Failure(const std::wstring& name, DWORD error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failedError_ == ERROR_SUCCESS) {
        failedError_ = error;
        failedName_ = name;
    }
}

void CFileWriters::Run() {
    for (;;) {
        Task task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (pending_.empty())
                return;
            task = std::move(pending_.front());
            pending_.pop_front();
            queuedBytes_ -= task.body.capacity();
            room_.notify_one();
        }
        Do(task);
        Recycle(std::move(task.body));
    }
}

void CFileWriters::Recycle(std::vector<uint8_t> body) {
    body.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    if (body.capacity() == 0 || spare_.size() >= kSpareBuffers ||
        queuedBytes_ + spareBytes_ + body.capacity() > kQueuedBytes)
        return;
    spareBytes_ += body.capacity();
    spare_.push_back(std::move(body));
}
