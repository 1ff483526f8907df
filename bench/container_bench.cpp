// Writing and reading one large container through the engine's container
// session, the way the jobs do, in either format, next to a plain
// ReadFile/WriteFile copy of the same bytes between the same kinds of files.
#include "bench/bench_common.h"
#include "common/unique_handle.h"
#include "engine/container_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace bench {

namespace {

// The jobs' block: what they read from a file, encipher and hand to the
// session, or ask the session for and write to a file, at a time.
constexpr DWORD kBlock = 1 << 20;
constexpr DWORD kCopyChunk = 1 << 20;
const wchar_t kPassword[] = L"benchmark password";

bool MakeSourceFile(const std::wstring& path, uint64_t bytes) {
    UniqueFileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    std::vector<uint8_t> chunk(kCopyChunk);
    for (uint64_t done = 0; done < bytes;) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(kCopyChunk, bytes - done));
        FillPattern(chunk.data(), n, done + 7);
        DWORD written = 0;
        if (!WriteFile(out.Get(), chunk.data(), n, &written, nullptr) || written != n)
            return false;
        done += n;
    }
    return true;
}

// The baseline: every byte read once and written once, nothing else.
bool PlainCopy(const std::wstring& from, const std::wstring& to) {
    UniqueFileHandle in(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueFileHandle out(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in || !out)
        return false;
    std::vector<uint8_t> chunk(kCopyChunk);
    for (;;) {
        DWORD got = 0, written = 0;
        if (!ReadFile(in.Get(), chunk.data(), kCopyChunk, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        if (!WriteFile(out.Get(), chunk.data(), got, &written, nullptr) || written != got)
            return false;
    }
}

bool WriteContainer(const std::wstring& source, const std::wstring& container, uint64_t bytes,
                    ContainerFormat format) {
    UniqueFileHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in)
        return false;
    CContainerWriter writer(kPassword, format);
    if (!writer.Create(container) || !writer.WriteHeader() ||
        !writer.AddFile(L"/", L"source.bin", 0, bytes))
        return false;
    std::vector<uint8_t> block(kBlock);
    for (uint64_t left = bytes; left > 0;) {
        DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, kBlock)), got = 0;
        if (!ReadFile(in.Get(), block.data(), want, &got, nullptr) || got != want ||
            !writer.WriteBody(block.data(), got))
            return false;
        left -= got;
    }
    // No flush: the copy it is compared with has none either.
    return writer.Close();
}

bool ReadContainer(const std::wstring& container, const std::wstring& restored) {
    CContainerReader reader;
    EntryInfo info;
    if (!reader.Open(container, true) || reader.CheckHeader(kPassword) != HeaderCheck::Matches ||
        reader.NextRecord(info) != RecordRead::Ok)
        return false;
    UniqueFileHandle out(CreateFileW(restored.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return false;
    std::vector<uint8_t> block(kBlock);
    while (reader.BodyLeft() > 0) {
        const size_t got = reader.ReadBody(block.data(), block.size());
        DWORD written = 0;
        if (got == 0 ||
            !WriteFile(out.Get(), block.data(), static_cast<DWORD>(got), &written, nullptr) ||
            written != got)
            return false;
    }
    return reader.AtEnd();
}

bool SameContents(const std::wstring& a, const std::wstring& b) {
    UniqueFileHandle fa(CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueFileHandle fb(CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!fa || !fb)
        return false;
    std::vector<uint8_t> ca(kCopyChunk), cb(kCopyChunk);
    for (;;) {
        DWORD ga = 0, gb = 0;
        if (!ReadFile(fa.Get(), ca.data(), kCopyChunk, &ga, nullptr) ||
            !ReadFile(fb.Get(), cb.data(), kCopyChunk, &gb, nullptr) || ga != gb)
            return false;
        if (ga == 0)
            return true;
        if (std::memcmp(ca.data(), cb.data(), ga) != 0)
            return false;
    }
}

// Runs one step and keeps its best time; false when the step failed.
template <typename Step> bool Timed(const char* what, double& best, Step step) {
    CStopwatch time;
    if (!step()) {
        std::printf("%s failed (error %lu)\n", what, GetLastError());
        return false;
    }
    best = std::min(best, time.Seconds());
    return true;
}

} // namespace

bool RunContainerBenchmark(const std::wstring& folder, uint64_t bytes, int rounds,
                           ContainerFormat format, ContainerResult& result) {
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
        // state of the system's file cache. A writer never replaces a file,
        // so the last round's container goes first.
        DeleteFileW(container.c_str());
        ok =
            Timed("Plain copy", result.writeCopySeconds, [&] { return PlainCopy(source, copy); }) &&
            DeleteFileW(copy.c_str()) &&
            Timed("Container write", result.writeSeconds,
                  [&] { return WriteContainer(source, container, bytes, format); }) &&
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
