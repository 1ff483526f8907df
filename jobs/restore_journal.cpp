// The restore journal: length-prefixed records appended to one file.
#include "jobs/restore_journal.h"

#include "engine/paths.h"

#include <cstring>

namespace {

constexpr wchar_t kJournalMark[] = L".tl-journal";

void Put(std::vector<uint8_t>& out, const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

void PutText(std::vector<uint8_t>& out, const std::wstring& text) {
    const uint32_t length = static_cast<uint32_t>(text.size());
    Put(out, &length, sizeof length);
    Put(out, text.data(), text.size() * sizeof(wchar_t));
}

class CCursor {
public:
    CCursor(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    bool Get(void* out, size_t size) {
        if (size > left_)
            return false;
        memcpy(out, data_, size);
        data_ += size;
        left_ -= size;
        return true;
    }
    bool GetText(std::wstring& text) {
        uint32_t length = 0;
        if (!Get(&length, sizeof length) || length > left_ / sizeof(wchar_t))
            return false;
        text.resize(length);
        return Get(&text[0], length * sizeof(wchar_t));
    }

private:
    const uint8_t* data_;
    size_t left_;
};

} // namespace

bool StampOf(const std::wstring& path, FileStamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ExtendedPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    stamp.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.lastWrite = data.ftLastWriteTime;
    return true;
}

std::wstring CRestoreJournal::PathFor(const std::wstring& containerPath) {
    return containerPath + kJournalMark;
}

std::vector<JournalRecord> CRestoreJournal::Load(const std::wstring& path) {
    std::vector<JournalRecord> records;
    UniqueFileHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file)
        return records;
    LARGE_INTEGER size = {};
    std::vector<uint8_t> bytes;
    DWORD got = 0;
    // A journal holds a record per file of one container: far below this.
    if (GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0 && size.QuadPart < (256 << 20)) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
            got = 0;
    }
    file.Reset();
    CCursor cursor(bytes.data(), got);
    for (;;) {
        uint32_t length = 0;
        std::vector<uint8_t> body;
        if (!cursor.Get(&length, sizeof length) || length > got)
            break;
        body.resize(length);
        if (!cursor.Get(body.data(), length))
            break;
        CCursor fields(body.data(), body.size());
        JournalRecord record;
        uint8_t kind = 0;
        if (!fields.Get(&kind, 1) || !fields.Get(&record.stamp.size, sizeof record.stamp.size) ||
            !fields.Get(&record.stamp.lastWrite, sizeof record.stamp.lastWrite) ||
            !fields.GetText(record.path) || !fields.GetText(record.original) || kind < 1 ||
            kind > 3)
            break;
        record.kind = static_cast<JournalRecord::Kind>(kind);
        records.push_back(std::move(record));
    }
    return records;
}

bool CRestoreJournal::Create(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    file_.Reset(CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
}

bool CRestoreJournal::Append(const JournalRecord& record) {
    std::vector<uint8_t> body;
    const uint8_t kind = static_cast<uint8_t>(record.kind);
    Put(body, &kind, 1);
    Put(body, &record.stamp.size, sizeof record.stamp.size);
    Put(body, &record.stamp.lastWrite, sizeof record.stamp.lastWrite);
    PutText(body, record.path);
    PutText(body, record.original);
    std::vector<uint8_t> out;
    const uint32_t length = static_cast<uint32_t>(body.size());
    Put(out, &length, sizeof length);
    Put(out, body.data(), body.size());
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD written = 0;
    return file_ &&
           WriteFile(file_.Get(), out.data(), static_cast<DWORD>(out.size()), &written, nullptr) &&
           written == out.size();
}

void CRestoreJournal::Remove() {
    std::lock_guard<std::mutex> lock(mutex_);
    file_.Reset();
    if (!path_.empty())
        DeleteFileW(ExtendedPath(path_).c_str());
    path_.clear();
}
