// A many-entry container written to and read from a real file with the
// buffer sizes and block sizes the jobs use.
#include "engine/container.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::Bytes;
using testing_support::PatternBytes;
using testing_support::ReadFileBytes;
using testing_support::ScratchDir;

namespace {

constexpr int kContainerWriteBuffer = 1 << 20;
constexpr int kContainerReadBuffer = 8192;
constexpr int kEncryptBlock = 256 << 10;
constexpr int kDecryptBlock = 1 << 20;

struct Item {
    std::wstring folderPath;
    bool isFile;
    std::wstring name;
    Bytes body;
};

std::vector<Item> ManyItems() {
    std::vector<Item> items;
    items.push_back({L"/", false, L"Fotos \u00e9t\u00e9", {}});
    const size_t sizes[] = {0,
                            1,
                            7,
                            255,
                            256,
                            8191,
                            8192,
                            8193,
                            0,
                            3,
                            65536,
                            (256 << 10) + 5,
                            (1 << 20) + 3,
                            (3 << 20) + 17};
    uint32_t seed = 1;
    for (size_t size : sizes) {
        wchar_t name[32];
        _snwprintf(name, 32, L"file %u \u20ac.bin", seed);
        items.push_back({L"/Fotos \u00e9t\u00e9", true, name, PatternBytes(size, seed++)});
    }
    items.push_back({L"/Fotos \u00e9t\u00e9", false, L"2012", {}});
    for (int k = 0; k < 20; ++k) {
        wchar_t name[32];
        _snwprintf(name, 32, L"small%d.txt", k);
        items.push_back({L"/Fotos \u00e9t\u00e9/2012", true, name,
                         PatternBytes(static_cast<size_t>(k * 37), seed++)});
    }
    items.push_back({L"/Fotos \u00e9t\u00e9/2012", false, L"empty folder", {}});
    return items;
}

bool WriteContainer(const std::wstring& path, const std::wstring& password,
                    const std::vector<Item>& items) {
    RC4EncStdFile codec(password);
    CBufferedFileOutputStream file(kContainerWriteBuffer);
    if (!file.Open(path, false))
        return false;
    IOutputStream& out = static_cast<CBufferedOutputStream&>(file);
    if (!codec.WriteHeader(out))
        return false;
    for (const Item& item : items) {
        EntryInfo info;
        info.isFile = item.isFile;
        info.name = item.name;
        info.size = static_cast<int64_t>(item.body.size());
        if (!codec.WriteEntryHeader(item.folderPath, info, out))
            return false;
        for (size_t done = 0; done < item.body.size(); done += kEncryptBlock) {
            int count = static_cast<int>(std::min<size_t>(kEncryptBlock, item.body.size() - done));
            if (!codec.EncryptBlock(item.body.data(), static_cast<int>(done), count, out))
                return false;
        }
    }
    return file.Commit() && out.Close();
}

// Restores every file below `destination` and returns the entries read.
std::vector<EntryInfo> ReadContainer(const std::wstring& path, const std::wstring& password,
                                     const std::wstring& destination, bool* ok) {
    *ok = false;
    std::vector<EntryInfo> entries;
    CBufferedFileInputStream file(kContainerReadBuffer);
    if (!file.Open(path))
        return entries;
    IInputStream& in = static_cast<CBufferedInputStream&>(file);
    std::unique_ptr<EncFile> codec = OpenEncFile(password, in);
    bool readError = false;
    if (!codec || !codec->CheckPassword(readError, in))
        return entries;
    Bytes block(kDecryptBlock);
    int index = 0;
    while (!(file.IsAtEnd() && file.Available() < 1)) {
        EntryInfo info;
        if (!codec->ReadEntryHeader(info, in))
            return entries;
        entries.push_back(info);
        if (!info.isFile)
            continue;
        wchar_t name[32];
        _snwprintf(name, 32, L"\\%d", index++);
        CBufferedFileOutputStream plain(
            static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(info.size, 1 << 20))));
        if (!plain.Open(destination + name, false))
            return entries;
        IOutputStream& plainOut = static_cast<CBufferedOutputStream&>(plain);
        for (int64_t left = info.size; left > 0;) {
            int want = static_cast<int>(std::min<int64_t>(left, kDecryptBlock));
            if (in.Read(block.data(), 0, want) != want ||
                !codec->DecryptBlock(block.data(), 0, want, plainOut))
                return entries;
            left -= want;
        }
        if (!plainOut.Close())
            return entries;
    }
    *ok = true;
    return entries;
}

TEST(FileRoundTrip, ManyEntriesComeBackWhole) {
    ScratchDir dir;
    const std::vector<Item> items = ManyItems();
    const std::wstring container = dir / L"Fotos.lock";
    ASSERT_TRUE(WriteContainer(container, L"p\u00e4ss w\u00f6rd", items));

    ASSERT_TRUE(testing_support::MakeDir(dir / L"out"));
    bool ok = false;
    std::vector<EntryInfo> entries =
        ReadContainer(container, L"p\u00e4ss w\u00f6rd", dir / L"out", &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(entries.size(), items.size());
    int fileIndex = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        EXPECT_EQ(entries[k].folderPath, items[k].folderPath) << k;
        EXPECT_EQ(entries[k].name, items[k].name) << k;
        EXPECT_EQ(entries[k].isFile, items[k].isFile) << k;
        if (!items[k].isFile)
            continue;
        EXPECT_EQ(entries[k].size, static_cast<int64_t>(items[k].body.size())) << k;
        wchar_t name[32];
        _snwprintf(name, 32, L"out\\%d", fileIndex++);
        EXPECT_TRUE(ReadFileBytes(dir / name) == items[k].body) << "body of entry " << k;
    }
}

TEST(FileRoundTrip, ContainerEndingAfterItsHeaderRestoresNothing) {
    ScratchDir dir;
    const std::wstring container = dir / L"empty.lock";
    ASSERT_TRUE(WriteContainer(container, L"pw", {}));
    EXPECT_EQ(ReadFileBytes(container).size(), 4u + 4u + 2u);
    bool ok = false;
    EXPECT_TRUE(ReadContainer(container, L"pw", dir.Path(), &ok).empty());
    EXPECT_TRUE(ok);
}

TEST(FileRoundTrip, WrongPasswordOnARealFile) {
    ScratchDir dir;
    const std::wstring container = dir / L"c.lock";
    ASSERT_TRUE(WriteContainer(container, L"Secret", ManyItems()));
    bool ok = true;
    EXPECT_TRUE(ReadContainer(container, L"secret", dir.Path(), &ok).empty());
    EXPECT_FALSE(ok);
}

} // namespace
