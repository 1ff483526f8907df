// Scenario layouts, tree writing and checking, and the plain copy baseline.
// File contents come from the file's seed in 1 MiB chunks, so checking a
// restored gigabyte needs no second copy of it.
#include "bench/job_tree.h"

#include "bench/bench_common.h"
#include "common/unique_handle.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace bench {

namespace {

constexpr DWORD kChunk = 1 << 20;

// A small deterministic generator; the layout must not depend on the
// runtime library's rand().
class CRandom {
public:
    explicit CRandom(uint64_t seed) : x_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t Next() {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 7;
        x_ ^= x_ << 17;
        return x_;
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    uint64_t x_;
};

uint64_t Scaled(uint64_t value, unsigned percent) {
    return std::max<uint64_t>(1, value * percent / 100);
}

std::wstring Numbered(const wchar_t* prefix, uint64_t n, const wchar_t* suffix) {
    wchar_t text[64];
    _snwprintf(text, 64, L"%s%05llu%s", prefix, static_cast<unsigned long long>(n), suffix);
    text[63] = 0;
    return text;
}

void FillChunk(uint8_t* data, DWORD size, uint64_t fileSeed, uint64_t chunkIndex) {
    FillPattern(data, size, fileSeed * 0x100000001B3ull + chunkIndex);
}

std::wstring Join(const std::wstring& folder, const std::wstring& relative) {
    return relative.empty() ? folder : folder + L"\\" + relative;
}

UniqueFileHandle OpenForReading(const std::wstring& path) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

UniqueFileHandle CreateForWriting(const std::wstring& path) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadFull(HANDLE file, uint8_t* data, DWORD want, DWORD& got) {
    got = 0;
    while (got < want) {
        DWORD n = 0;
        if (!ReadFile(file, data + got, want - got, &n, nullptr))
            return false;
        if (n == 0)
            break;
        got += n;
    }
    return true;
}

bool WriteSeededFile(const std::wstring& path, const TreeFile& file, std::vector<uint8_t>& chunk,
                     bool flush = false) {
    UniqueFileHandle out = CreateForWriting(path);
    if (!out)
        return false;
    uint64_t index = 0;
    for (uint64_t done = 0; done < file.size; done += kChunk, ++index) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(kChunk, file.size - done));
        FillChunk(chunk.data(), n, file.seed, index);
        DWORD written = 0;
        if (!WriteFile(out.Get(), chunk.data(), n, &written, nullptr) || written != n)
            return false;
    }
    return !flush || FlushFileBuffers(out.Get());
}

bool CheckSeededFile(const std::wstring& path, const TreeFile& file, std::vector<uint8_t>& want,
                     std::vector<uint8_t>& got, std::string& problem) {
    UniqueFileHandle in = OpenForReading(path);
    if (!in) {
        problem = "cannot open " + Narrow(path);
        return false;
    }
    uint64_t index = 0;
    for (uint64_t done = 0;; done += kChunk, ++index) {
        DWORD expected = static_cast<DWORD>(std::min<uint64_t>(kChunk, file.size - done));
        DWORD n = 0;
        // One byte more than expected at the end shows a file that is too long.
        if (!ReadFull(in.Get(), got.data(), expected == 0 ? 1 : expected, n)) {
            problem = "cannot read " + Narrow(path);
            return false;
        }
        if (n != expected) {
            problem = "wrong size: " + Narrow(path);
            return false;
        }
        if (expected == 0)
            return true;
        FillChunk(want.data(), n, file.seed, index);
        if (std::memcmp(want.data(), got.data(), n) != 0) {
            problem = "different bytes in " + Narrow(path);
            return false;
        }
        if (done + n == file.size) {
            if (!ReadFull(in.Get(), got.data(), 1, n) || n != 0) {
                problem = "too long: " + Narrow(path);
                return false;
            }
            return true;
        }
    }
}

// Calls visit(child path, is folder) for every entry of folder but "." and
// "..", until visit returns false; false when the folder cannot be listed
// or a visit failed.
template <typename Visit> bool ForEachEntry(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
    if (!search)
        return false;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (!visit(folder + L"\\" + name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0))
            return false;
    } while (FindNextFileW(search.Get(), &found));
    return true;
}

// Counts what is below a folder, to notice anything the layout does not have.
bool CountTree(const std::wstring& folder, uint64_t& files, uint64_t& folders) {
    return ForEachEntry(folder, [&](const std::wstring& child, bool isFolder) {
        if (!isFolder) {
            ++files;
            return true;
        }
        ++folders;
        return CountTree(child, files, folders);
    });
}

// Folders of 20 subfolders, 100 files of 0 to largest bytes in each
// subfolder.
void MakeSmallFiles(uint64_t files, uint64_t largest, uint64_t seed, unsigned percent,
                    TreeLayout& layout) {
    const uint64_t fileCount = Scaled(files, percent);
    const uint64_t subfolders = Scaled(files / 100, percent);
    const uint64_t perSubfolder = (fileCount + subfolders - 1) / subfolders;
    CRandom random(seed);
    for (uint64_t s = 0; s < subfolders; ++s) {
        std::wstring top = Numbered(L"d", s / 20, L"");
        if (s % 20 == 0)
            layout.folders.push_back(top);
        std::wstring sub = top + L"\\" + Numbered(L"s", s % 20, L"");
        layout.folders.push_back(sub);
        for (uint64_t k = s * perSubfolder; k < std::min(fileCount, (s + 1) * perSubfolder); ++k) {
            uint64_t size = random.Next() % (largest + 1);
            layout.files.push_back(
                {sub + L"\\" + Numbered(L"f", k, L".dat"), size, seed * 100000 + k});
        }
    }
}

void MakeMixedFiles(unsigned percent, TreeLayout& layout) {
    // Log-uniform sizes: many files of a few KiB, some of several MiB, so
    // both the small-file path and the full read and write blocks are used.
    const uint64_t fileCount = Scaled(2000, percent);
    const uint64_t total = Scaled(500ull << 20, percent);
    const uint64_t folders = std::max<uint64_t>(1, fileCount / 100);
    CRandom random(3);
    std::vector<double> weights(fileCount);
    double sum = 0;
    for (double& w : weights) {
        w = std::exp(random.Unit() * std::log(4096.0));
        sum += w;
    }
    for (uint64_t f = 0; f < folders; ++f)
        layout.folders.push_back(Numbered(L"m", f, L""));
    uint64_t assigned = 0;
    for (uint64_t k = 0; k < fileCount; ++k) {
        uint64_t size = (k + 1 == fileCount)
                            ? total - assigned
                            : static_cast<uint64_t>(weights[k] / sum * static_cast<double>(total));
        size = std::min(size, total - assigned);
        assigned += size;
        layout.files.push_back(
            {layout.folders[k % folders] + L"\\" + Numbered(L"g", k, L".bin"), size, 300000 + k});
    }
}

} // namespace

bool MakeScenario(char id, unsigned percent, TreeLayout& layout) {
    layout = TreeLayout{};
    layout.id = id;
    switch (id) {
    case 'a':
        layout.description = "one large file";
        layout.itemName = L"large.bin";
        layout.singleFile = true;
        layout.files.push_back({L"", Scaled(1ull << 30, percent), 100000});
        break;
    case 'b':
        layout.description = "many small files";
        layout.itemName = L"small_files";
        MakeSmallFiles(20000, 16384, 2, percent, layout);
        break;
    case 'c':
        layout.description = "mixed file sizes";
        layout.itemName = L"mixed_files";
        MakeMixedFiles(percent, layout);
        break;
    case 'm':
        // For memory more than speed: what a restore keeps per file shows
        // at this count.
        layout.description = "100,000 small files";
        layout.itemName = L"many_files";
        MakeSmallFiles(100000, 4096, 4, percent, layout);
        break;
    default:
        return false;
    }
    for (const TreeFile& file : layout.files)
        layout.totalBytes += file.size;
    return true;
}

namespace {

// The item folder and every folder of the layout below it.
bool CreateFolders(const std::wstring& itemPath, const TreeLayout& layout) {
    if (!CreateDirectoryW(itemPath.c_str(), nullptr))
        return false;
    for (const std::wstring& folder : layout.folders) {
        if (!CreateDirectoryW(Join(itemPath, folder).c_str(), nullptr))
            return false;
    }
    return true;
}

} // namespace

bool WriteTree(const std::wstring& itemPath, const TreeLayout& layout) {
    std::vector<uint8_t> chunk(kChunk);
    if (layout.singleFile)
        return WriteSeededFile(itemPath, layout.files[0], chunk);
    if (!CreateFolders(itemPath, layout))
        return false;
    for (const TreeFile& file : layout.files) {
        if (!WriteSeededFile(Join(itemPath, file.relativePath), file, chunk))
            return false;
    }
    return true;
}

bool VerifyTree(const std::wstring& itemPath, const TreeLayout& layout, std::string& problem) {
    std::vector<uint8_t> want(kChunk), got(kChunk);
    for (const TreeFile& file : layout.files) {
        if (!CheckSeededFile(Join(itemPath, file.relativePath), file, want, got, problem))
            return false;
    }
    if (layout.singleFile)
        return true;
    uint64_t files = 0, folders = 0;
    if (!CountTree(itemPath, files, folders) || files != layout.files.size() ||
        folders != layout.folders.size()) {
        problem = "the restored tree holds other entries than were encrypted";
        return false;
    }
    return true;
}

namespace {

bool CopyEntry(const std::wstring& from, const std::wstring& to, std::vector<uint8_t>& buffer,
               CopyCounts& counts) {
    DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        UniqueFileHandle in = OpenForReading(from);
        UniqueFileHandle out = CreateForWriting(to);
        if (!in || !out)
            return false;
        for (;;) {
            DWORD got = 0, written = 0;
            if (!ReadFile(in.Get(), buffer.data(), kChunk, &got, nullptr))
                return false;
            if (got == 0)
                break;
            if (!WriteFile(out.Get(), buffer.data(), got, &written, nullptr) || written != got)
                return false;
            counts.bytes += got;
        }
        ++counts.files;
        return true;
    }
    if (!CreateDirectoryW(to.c_str(), nullptr))
        return false;
    ++counts.folders;
    return ForEachEntry(from, [&](const std::wstring& child, bool) {
        return CopyEntry(child, to + child.substr(from.size()), buffer, counts);
    });
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& buffer, CopyCounts& counts) {
    UniqueFileHandle in = OpenForReading(path);
    if (!in)
        return false;
    for (DWORD got = 1; got != 0; counts.bytes += got) {
        if (!ReadFile(in.Get(), buffer.data(), kChunk, &got, nullptr))
            return false;
    }
    ++counts.files;
    return true;
}

bool ReadFolder(const std::wstring& folder, std::vector<uint8_t>& buffer, CopyCounts& counts) {
    return ForEachEntry(folder, [&](const std::wstring& child, bool isFolder) {
        if (!isFolder)
            return ReadWholeFile(child, buffer, counts);
        ++counts.folders;
        return ReadFolder(child, buffer, counts);
    });
}

} // namespace

bool CopyTree(const std::wstring& from, const std::wstring& to, CopyCounts& counts) {
    // One buffer for the whole copy, as a copy tool would keep it.
    std::vector<uint8_t> buffer(kChunk);
    return CopyEntry(from, to, buffer, counts);
}

bool ReadTree(const std::wstring& path, CopyCounts& counts) {
    std::vector<uint8_t> buffer(kChunk);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ReadFolder(path, buffer, counts)
                                                   : ReadWholeFile(path, buffer, counts);
}

bool WriteTreeDurably(const std::wstring& itemPath, const TreeLayout& layout, int threads) {
    std::vector<uint8_t> chunk(kChunk);
    if (layout.singleFile)
        return WriteSeededFile(itemPath, layout.files[0], chunk, true);
    if (!CreateFolders(itemPath, layout))
        return false;
    // Each thread takes the next file in layout order, as a restore meets them.
    std::atomic<size_t> next{0};
    std::atomic<bool> ok{true};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            std::vector<uint8_t> own(kChunk);
            for (size_t k; ok && (k = next++) < layout.files.size();) {
                const TreeFile& file = layout.files[k];
                if (!WriteSeededFile(Join(itemPath, file.relativePath), file, own, true))
                    ok = false;
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return ok;
}

bool DeleteTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(path.c_str()) != FALSE;
    ForEachEntry(path, [](const std::wstring& child, bool isFolder) {
        if (isFolder)
            DeleteTree(child);
        else
            DeleteFileW(child.c_str());
        return true;
    });
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

} // namespace bench
