// Writing and reading one large container through the buffered file
// streams, the way the jobs do, next to a plain ReadFile/WriteFile copy of
// the same bytes between the same kinds of files.
#include "bench/bench_common.h"
#include "engine/container.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace bench {

namespace {

// The buffer and block sizes of the jobs.
constexpr int kPlainReadBuffer = 256 << 10;
constexpr int kEncryptBlock = 256 << 10;
constexpr int kContainerWriteBuffer = 1 << 20;
constexpr int kContainerReadBuffer = 8192;
constexpr int kDecryptBlock = 1 << 20;
constexpr int kPlainWriteBuffer = 1 << 20;
constexpr DWORD kCopyChunk = 1 << 20;
const wchar_t kPassword[] = L"benchmark password";

struct FileCloser {
    HANDLE h;
    ~FileCloser() {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

bool MakeSourceFile(const std::wstring& path, uint64_t bytes) {
    FileCloser out{CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (out.h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> chunk(kCopyChunk);
    for (uint64_t done = 0; done < bytes;) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(kCopyChunk, bytes - done));
        FillPattern(chunk.data(), n, done + 7);
        DWORD written = 0;
        if (!WriteFile(out.h, chunk.data(), n, &written, nullptr) || written != n)
            return false;
        done += n;
    }
    return true;
}

// The baseline: every byte read once and written once, nothing else.
bool PlainCopy(const std::wstring& from, const std::wstring& to) {
    FileCloser in{CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)};
    FileCloser out{CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (in.h == INVALID_HANDLE_VALUE || out.h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> chunk(kCopyChunk);
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(in.h, chunk.data(), kCopyChunk, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!WriteFile(out.h, chunk.data(), got, &written, nullptr) || written != got)
            return false;
    }
}

bool WriteContainer(const std::wstring& source, const std::wstring& container, uint64_t bytes) {
    RC4EncStdFile codec(kPassword);
    CBufferedFileInputStream plain(kPlainReadBuffer);
    CBufferedFileOutputStream file(kContainerWriteBuffer);
    if (!plain.Open(source) || !file.Open(container, false))
        return false;
    IOutputStream& out = static_cast<CBufferedOutputStream&>(file);
    IInputStream& in = static_cast<CBufferedInputStream&>(plain);
    EntryInfo info;
    info.isFile = true;
    info.name = L"source.bin";
    info.size = static_cast<int64_t>(bytes);
    if (!codec.WriteHeader(out) || !codec.WriteEntryHeader(L"/", info, out))
        return false;
    std::vector<uint8_t> block(kEncryptBlock);
    for (uint64_t left = bytes; left > 0;) {
        int want = static_cast<int>(std::min<uint64_t>(left, kEncryptBlock));
        if (in.Read(block.data(), 0, want) != want ||
            !codec.EncryptBlock(block.data(), 0, want, out))
            return false;
        left -= static_cast<uint64_t>(want);
    }
    return out.Close();
}

bool ReadContainer(const std::wstring& container, const std::wstring& restored) {
    CBufferedFileInputStream file(kContainerReadBuffer);
    if (!file.Open(container))
        return false;
    IInputStream& in = static_cast<CBufferedInputStream&>(file);
    std::unique_ptr<EncFile> codec = OpenEncFile(kPassword, in);
    bool readError = false;
    EntryInfo info;
    if (!codec || !codec->CheckPassword(readError, in) || !codec->ReadEntryHeader(info, in))
        return false;
    CBufferedFileOutputStream plain(kPlainWriteBuffer);
    if (!plain.Open(restored, false))
        return false;
    IOutputStream& out = static_cast<CBufferedOutputStream&>(plain);
    std::vector<uint8_t> block(kDecryptBlock);
    for (int64_t left = info.size; left > 0;) {
        int want = static_cast<int>(std::min<int64_t>(left, kDecryptBlock));
        if (in.Read(block.data(), 0, want) != want ||
            !codec->DecryptBlock(block.data(), 0, want, out))
            return false;
        left -= want;
    }
    return out.Close() && file.IsAtEnd();
}

bool SameContents(const std::wstring& a, const std::wstring& b) {
    FileCloser fa{CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)};
    FileCloser fb{CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (fa.h == INVALID_HANDLE_VALUE || fb.h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<uint8_t> ca(kCopyChunk), cb(kCopyChunk);
    for (;;) {
        DWORD ga = 0, gb = 0;
        if (!ReadFile(fa.h, ca.data(), kCopyChunk, &ga, nullptr) ||
            !ReadFile(fb.h, cb.data(), kCopyChunk, &gb, nullptr) || ga != gb)
            return false;
        if (ga == 0)
            return true;
        if (std::memcmp(ca.data(), cb.data(), ga) != 0)
            return false;
    }
}

// Runs one step and keeps its best time; false when the step failed.
template <typename Step> bool Timed(const char* what, double& best, Step step) {
    Stopwatch time;
    if (!step()) {
        std::printf("%s failed (error %lu)\n", what, GetLastError());
        return false;
    }
    best = std::min(best, time.Seconds());
    return true;
}

} // namespace

bool RunContainerBenchmark(const std::wstring& folder, uint64_t bytes, int rounds,
                           ContainerResult& result) {
    const std::wstring source = folder + L"\\tessalock_bench_source.bin";
    const std::wstring container = folder + L"\\tessalock_bench.lock";
    const std::wstring copy = folder + L"\\tessalock_bench_copy.bin";
    result = ContainerResult{1e30, 1e30, 1e30, 1e30, bytes, false};

    bool ok = MakeSourceFile(source, bytes);
    if (!ok)
        std::printf("Could not write the %llu-byte source file (error %lu)\n",
                    static_cast<unsigned long long>(bytes), GetLastError());
    for (int round = 0; ok && round < rounds; ++round) {
        // Each measured step follows its baseline, so both meet the same
        // state of the system's file cache.
        ok =
            Timed("Plain copy", result.writeCopySeconds, [&] { return PlainCopy(source, copy); }) &&
            DeleteFileW(copy.c_str()) &&
            Timed("Container write", result.writeSeconds,
                  [&] { return WriteContainer(source, container, bytes); }) &&
            Timed("Plain copy", result.readCopySeconds,
                  [&] { return PlainCopy(container, copy); }) &&
            DeleteFileW(copy.c_str()) && Timed("Container read", result.readSeconds, [&] {
                return ReadContainer(container, copy);
            });
        if (ok && round == 0)
            result.verified = SameContents(source, copy);
        DeleteFileW(copy.c_str());
    }
    DeleteFileW(copy.c_str());
    DeleteFileW(container.c_str());
    DeleteFileW(source.c_str());
    return ok;
}

} // namespace bench
