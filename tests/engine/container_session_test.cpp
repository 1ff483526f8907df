// Container sessions on real files: what the writer puts on the disk is
// byte for byte what the codec defines, the reader gives it back whatever the
// piece sizes, both sides keep the protocol and the name rule, and a failure
// keeps the system's reason.
#include "engine/container_session.h"
#include "engine/stored_name.h"
#include "support/containers.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::BuildContainer;
using testing_support::Bytes;
using testing_support::FileRecord;
using testing_support::FolderRecord;
using testing_support::PatternBytes;
using testing_support::ReadFileBytes;
using testing_support::ReadRecords;
using testing_support::ScratchDir;
using testing_support::StoredEntry;
using testing_support::WriteFileBytes;

namespace {

const std::wstring kPassword = L"p\u00e4ss w\u00f6rd";

std::vector<StoredEntry> ManyItems() {
    std::vector<StoredEntry> items;
    const std::wstring top = L"/Fotos \u00e9t\u00e9";
    items.push_back(FolderRecord(L"/", L"Fotos \u00e9t\u00e9"));
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
        items.push_back(FileRecord(top, name, PatternBytes(size, seed++)));
    }
    items.push_back(FolderRecord(top, L"2012"));
    for (int k = 0; k < 20; ++k) {
        wchar_t name[32];
        _snwprintf(name, 32, L"small%d.txt", k);
        items.push_back(
            FileRecord(top + L"/2012", name, PatternBytes(static_cast<size_t>(k * 37), seed++)));
    }
    items.push_back(FolderRecord(top + L"/2012", L"empty folder"));
    return items;
}

// Writes the items, handing each body over in pieces of `piece` bytes.
bool WriteItems(CContainerWriter& writer, const std::vector<StoredEntry>& items, size_t piece) {
    if (!writer.WriteHeader())
        return false;
    for (const StoredEntry& item : items) {
        if (!item.isFile) {
            if (!writer.AddFolder(item.folderPath, item.name))
                return false;
            continue;
        }
        if (!writer.AddFile(item.folderPath, item.name, 0, item.data.size()))
            return false;
        Bytes body = item.data;
        for (size_t done = 0; done < body.size(); done += piece) {
            if (!writer.WriteBody(body.data() + done, std::min(piece, body.size() - done)))
                return false;
        }
    }
    return writer.Commit() && writer.Close();
}

// Most of what a session promises holds for both formats.
class SessionFormats : public testing::TestWithParam<ContainerFormat> {};
INSTANTIATE_TEST_SUITE_P(Both, SessionFormats,
                         testing::Values(ContainerFormat::Legacy, ContainerFormat::Authenticated),
                         [](const testing::TestParamInfo<ContainerFormat>& info) {
                             return info.param == ContainerFormat::Legacy ? "Legacy"
                                                                          : "Authenticated";
                         });

TEST_P(SessionFormats, ManyRecordsComeBackWholeWhateverThePieceSizes) {
    const std::vector<StoredEntry> items = ManyItems();
    const size_t pieces[][2] = {{1 << 18, 1 << 20}, {4096, 3}, {(1 << 20) + 1, 1 << 22}};
    for (const auto& piece : pieces) {
        SCOPED_TRACE(piece[0]);
        ScratchDir dir;
        const std::wstring path = dir / L"Fotos.lock";
        CContainerWriter writer(kPassword, GetParam());
        ASSERT_TRUE(writer.Create(path));
        ASSERT_TRUE(WriteItems(writer, items, piece[0]));
        EXPECT_EQ(writer.RecordCount(), items.size());
        EXPECT_EQ(writer.BytesWritten(), ReadFileBytes(path).size());

        CContainerReader reader;
        ASSERT_TRUE(reader.Open(path));
        std::vector<StoredEntry> back;
        ASSERT_TRUE(ReadRecords(reader, kPassword, back, piece[1]));
        ASSERT_EQ(back.size(), items.size());
        for (size_t k = 0; k < items.size(); ++k) {
            EXPECT_EQ(back[k].folderPath, items[k].folderPath) << k;
            EXPECT_EQ(back[k].name, items[k].name) << k;
            EXPECT_EQ(back[k].isFile, items[k].isFile) << k;
            EXPECT_TRUE(back[k].data == items[k].data) << "body of record " << k;
        }
        EXPECT_TRUE(reader.ChecksumCoversAll());
        EXPECT_EQ(reader.Checksum(), writer.Checksum());
    }
}

TEST_P(SessionFormats, HeaderAloneRestoresNothingAndAWrongPasswordNothingAtAll) {
    ScratchDir dir;
    CContainerWriter writer(kPassword, GetParam());
    ASSERT_TRUE(writer.Create(dir / L"empty.lock"));
    ASSERT_TRUE(WriteItems(writer, {}, 1));
    // The old header holds the password's 11 bytes; the new one is followed
    // by one empty sealed segment, its tag alone.
    EXPECT_EQ(ReadFileBytes(dir / L"empty.lock").size(), GetParam() == ContainerFormat::Legacy
                                                             ? 4u + 4u + 11u
                                                             : kSealedHeaderBytes + kTagBytes);
    CContainerReader reader;
    ASSERT_TRUE(reader.Open(dir / L"empty.lock"));
    std::vector<StoredEntry> back;
    EXPECT_TRUE(ReadRecords(reader, kPassword, back, 1));
    EXPECT_TRUE(back.empty());

    CContainerReader other;
    ASSERT_TRUE(other.Open(dir / L"empty.lock"));
    EXPECT_EQ(other.CheckHeader(L"p\u00e4ss w\u00f6rD"), HeaderCheck::WrongPassword);
    EntryInfo entry;
    EXPECT_EQ(other.NextRecord(entry), RecordRead::Damaged);
}

// The session adds nothing to the codec's bytes: the same records through
// the codec alone give the same file.
TEST(ContainerSession, WritesExactlyTheCodecsBytes) {
    const std::vector<StoredEntry> items = ManyItems();
    ScratchDir dir;
    CContainerWriter writer(kPassword, ContainerFormat::Legacy);
    ASSERT_TRUE(writer.Create(dir / L"c.lock"));
    ASSERT_TRUE(WriteItems(writer, items, 100000));
    EXPECT_TRUE(ReadFileBytes(dir / L"c.lock") == BuildContainer(kPassword, items));
}

TEST(ContainerSession, ChecksumFollowsTheBytesNotThePieces) {
    const Bytes bytes = PatternBytes(100003, 9);
    CByteChecksum whole, pieces;
    whole.Update(bytes.data(), bytes.size());
    for (size_t done = 0, piece = 1; done < bytes.size(); done += piece, piece = piece * 3 % 997)
        pieces.Update(bytes.data() + done, std::min(piece, bytes.size() - done));
    EXPECT_EQ(whole.Value(), pieces.Value());
    for (size_t at : {size_t{0}, size_t{31}, size_t{32}, bytes.size() - 1}) {
        Bytes changed = bytes;
        changed[at] ^= 0x40;
        CByteChecksum other;
        other.Update(changed.data(), changed.size());
        EXPECT_NE(other.Value(), whole.Value()) << at;
    }
    CByteChecksum shorter;
    shorter.Update(bytes.data(), bytes.size() - 1);
    EXPECT_NE(shorter.Value(), whole.Value());
}

// The writer keeps the protocol: a body of exactly the size its record
// gives, and only names a reader restores unchanged.
TEST_P(SessionFormats, WriterRefusesWhatNoReaderCouldUse) {
    struct Case {
        const char* what;
        void (*act)(CContainerWriter&);
        DWORD error;
    };
    const Case cases[] = {
        {"body longer than its record",
         [](CContainerWriter& w) {
             uint8_t b[4] = {};
             w.AddFile(L"/", L"a", 0, 3);
             w.WriteBody(b, 4);
         },
         ERROR_INVALID_DATA},
        {"record before the body is complete",
         [](CContainerWriter& w) {
             uint8_t b[2] = {};
             w.AddFile(L"/", L"a", 0, 3);
             w.WriteBody(b, 2);
             w.AddFolder(L"/", L"b");
         },
         ERROR_INVALID_DATA},
        {"commit before the body is complete",
         [](CContainerWriter& w) {
             w.AddFile(L"/", L"a", 0, 1);
             w.Commit();
         },
         ERROR_INVALID_DATA},
        {"trailing dot", [](CContainerWriter& w) { w.AddFolder(L"/", L"src."); },
         ERROR_INVALID_NAME},
        {"trailing blank", [](CContainerWriter& w) { w.AddFile(L"/", L"file.txt ", 0, 0); },
         ERROR_INVALID_NAME},
        {"folder path component with a dot",
         [](CContainerWriter& w) { w.AddFile(L"/a./", L"x", 0, 0); }, ERROR_INVALID_NAME},
        {"device name", [](CContainerWriter& w) { w.AddFile(L"/", L"COM\u00b9.txt", 0, 0); },
         ERROR_INVALID_NAME},
        {"relative folder path", [](CContainerWriter& w) { w.AddFolder(L"a", L"b"); },
         ERROR_INVALID_NAME},
        {"password no reader accepts", nullptr, ERROR_INVALID_PASSWORD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        CContainerWriter writer(c.act ? kPassword : std::wstring(1025, L'x'), GetParam());
        ASSERT_TRUE(writer.Create(dir / L"c.lock"));
        if (c.act) {
            ASSERT_TRUE(writer.WriteHeader());
            c.act(writer);
        } else {
            EXPECT_FALSE(writer.WriteHeader());
        }
        EXPECT_EQ(writer.LastError(), c.error);
        // Once failed, a writer stays failed.
        EXPECT_FALSE(writer.AddFolder(L"/", L"later"));
        EXPECT_FALSE(writer.Close());
        EXPECT_EQ(writer.LastError(), c.error);
    }
}

TEST(ContainerSession, CreateNeverReplacesAFile) {
    ScratchDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"c.lock", {1, 2, 3}));
    CContainerWriter writer(kPassword, ContainerFormat::Authenticated);
    EXPECT_FALSE(writer.Create(dir / L"c.lock"));
    EXPECT_EQ(writer.LastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadFileBytes(dir / L"c.lock"), (Bytes{1, 2, 3}));
}

TEST(ContainerSession, ReaderTellsHeaderProblemsApart) {
    ScratchDir dir;
    Bytes good, sealed;
    for (ContainerFormat format : {ContainerFormat::Legacy, ContainerFormat::Authenticated}) {
        CContainerWriter writer(kPassword, format);
        ASSERT_TRUE(writer.Create(dir / L"good.lock"));
        ASSERT_TRUE(WriteItems(writer, {FileRecord(L"/", L"a", PatternBytes(10, 1))}, 10));
        (format == ContainerFormat::Legacy ? good : sealed) = ReadFileBytes(dir / L"good.lock");
        DeleteFileW((dir / L"good.lock").c_str());
    }
    // The sealed header with one big-endian field set anew.
    auto sealedWith = [&](size_t at, uint32_t value) {
        Bytes bytes = sealed;
        for (int k = 0; k < 4; ++k)
            bytes[at + k] = static_cast<uint8_t>(value >> (24 - 8 * k));
        return bytes;
    };
    Bytes unknownCipher = sealed;
    unknownCipher[49] = 2;
    struct Case {
        const char* what;
        Bytes bytes;
        std::wstring password;
        HeaderCheck expected;
    };
    const Case cases[] = {
        {"matches", good, kPassword, HeaderCheck::Matches},
        {"other letter case", good, L"P\u00e4ss w\u00f6rd", HeaderCheck::WrongPassword},
        {"little-endian type id",
         {1, 0, 0, 0, 0, 0, 0, 1, 0},
         kPassword,
         HeaderCheck::NotAContainer},
        {"shorter than a type id", {0, 0}, kPassword, HeaderCheck::NotAContainer},
        {"check length 1025", {0, 0, 0, 1, 0, 0, 4, 1}, kPassword, HeaderCheck::Damaged},
        {"cut inside the check block", Bytes(good.begin(), good.begin() + 10), kPassword,
         HeaderCheck::Damaged},
        {"sealed, matches", sealed, kPassword, HeaderCheck::Matches},
        {"sealed, other letter case", sealed, L"P\u00e4ss w\u00f6rd", HeaderCheck::WrongPassword},
        {"sealed, salt changed", sealedWith(20, 0x01020304), kPassword, HeaderCheck::WrongPassword},
        {"sealed, cut inside the header", Bytes(sealed.begin(), sealed.begin() + 60), kPassword,
         HeaderCheck::Damaged},
        {"sealed, unknown cipher", unknownCipher, kPassword, HeaderCheck::Damaged},
        // Refused before a byte of memory is taken for the key.
        {"sealed, 4 GiB of memory", sealedWith(5, 0xFFFFFFFF), kPassword,
         HeaderCheck::BeyondLimits},
        {"sealed, a thousand passes", sealedWith(9, 1000), kPassword, HeaderCheck::BeyondLimits},
        {"sealed, no lanes", sealedWith(13, 0), kPassword, HeaderCheck::BeyondLimits},
        {"sealed, 1 GiB segments", sealedWith(50, 1u << 30), kPassword, HeaderCheck::BeyondLimits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(dir / L"c.lock", c.bytes));
        CContainerReader reader;
        ASSERT_TRUE(reader.Open(dir / L"c.lock"));
        EXPECT_EQ(reader.CheckHeader(c.password), c.expected);
    }
}

TEST(ContainerSession, RecordClaimingMoreThanTheFileHoldsIsCaughtBeforeItsBody) {
    ScratchDir dir;
    CContainerWriter writer(kPassword, ContainerFormat::Legacy);
    ASSERT_TRUE(writer.Create(dir / L"c.lock"));
    ASSERT_TRUE(WriteItems(writer, {FileRecord(L"/", L"a", PatternBytes(5000, 1))}, 5000));
    Bytes bytes = ReadFileBytes(dir / L"c.lock");
    bytes.resize(bytes.size() - 1);
    ASSERT_TRUE(WriteFileBytes(dir / L"c.lock", bytes));
    CContainerReader reader;
    ASSERT_TRUE(reader.Open(dir / L"c.lock"));
    ASSERT_EQ(reader.CheckHeader(kPassword), HeaderCheck::Matches);
    EntryInfo entry;
    EXPECT_EQ(reader.NextRecord(entry), RecordRead::BodyPastEnd);
    EXPECT_EQ(entry.name, L"a");
}

// A walk over the headers alone, then back to a record to read its body.
TEST_P(SessionFormats, HeadersAloneAndBackAgain) {
    ScratchDir dir;
    const std::vector<StoredEntry> items = ManyItems();
    CContainerWriter writer(kPassword, GetParam());
    ASSERT_TRUE(writer.Create(dir / L"c.lock"));
    ASSERT_TRUE(WriteItems(writer, items, 1 << 16));

    CContainerReader reader;
    ASSERT_TRUE(reader.Open(dir / L"c.lock"));
    ASSERT_EQ(reader.CheckHeader(kPassword), HeaderCheck::Matches);
    std::vector<uint64_t> offsets;
    std::vector<std::wstring> names;
    while (!reader.AtEnd()) {
        offsets.push_back(reader.Position());
        EntryInfo entry;
        ASSERT_EQ(reader.NextRecord(entry), RecordRead::Ok);
        names.push_back(entry.name);
        ASSERT_TRUE(reader.SkipBody());
    }
    ASSERT_EQ(names.size(), items.size());
    for (size_t k = 0; k < items.size(); ++k)
        EXPECT_EQ(names[k], items[k].name);
    EXPECT_FALSE(reader.ChecksumCoversAll());

    // The largest body, read raw after a seek back: its length is right and
    // the reader is at the next record afterwards.
    const size_t big = 13;
    ASSERT_TRUE(reader.SeekToRecord(offsets[big]));
    EntryInfo entry;
    ASSERT_EQ(reader.NextRecord(entry), RecordRead::Ok);
    EXPECT_EQ(entry.name, items[big].name);
    Bytes raw(static_cast<size_t>(entry.size));
    EXPECT_EQ(reader.ReadRawBody(raw.data(), raw.size()), raw.size());
    EXPECT_EQ(reader.Position(), offsets[big + 1]);
}

// Anything done to a sealed container after it was written is caught when
// the segment it touches is read, and nothing of that segment comes out.
TEST(SealedContainer, EveryChangeIsRefused) {
    ScratchDir dir;
    const std::vector<StoredEntry> items = {
        FolderRecord(L"/", L"top"), FileRecord(L"/top", L"big.bin", PatternBytes(5 << 19, 4)),
        FileRecord(L"/top", L"small.txt", PatternBytes(300, 5))};
    CContainerWriter writer(kPassword, ContainerFormat::Authenticated);
    ASSERT_TRUE(writer.Create(dir / L"good.lock"));
    ASSERT_TRUE(WriteItems(writer, items, 1 << 16));
    const Bytes good = ReadFileBytes(dir / L"good.lock");
    const size_t segment = kSegmentBytes + kTagBytes;
    const size_t first = kSealedHeaderBytes; // where segment 0 starts
    ASSERT_GT(good.size(), first + 2 * segment);

    auto flipped = [&](size_t at) {
        Bytes bytes = good;
        bytes.at(at) ^= 0x01;
        return bytes;
    };
    Bytes swapped = good;
    std::swap_ranges(swapped.begin() + first, swapped.begin() + first + segment,
                     swapped.begin() + first + segment);
    Bytes repeated = good;
    repeated.insert(repeated.end() - (good.size() - first - 2 * segment),
                    good.begin() + first + segment, good.begin() + first + 2 * segment);
    Bytes appended = good;
    appended.push_back(0);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"a record's byte", flipped(first + 3)},
        {"a body's byte", flipped(first + segment + 100)},
        {"a tag's byte", flipped(first + segment - 1)},
        {"the last byte", flipped(good.size() - 1)},
        {"cut after a whole segment", Bytes(good.begin(), good.begin() + first + 2 * segment)},
        {"cut by one byte", Bytes(good.begin(), good.end() - 1)},
        {"cut to the header", Bytes(good.begin(), good.begin() + first)},
        {"one byte added", appended},
        {"two segments swapped", swapped},
        {"a segment repeated", repeated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(dir / L"c.lock", c.bytes));
        for (bool readAhead : {false, true}) {
            CContainerReader reader;
            ASSERT_TRUE(reader.Open(dir / L"c.lock", readAhead));
            std::vector<StoredEntry> back;
            EXPECT_FALSE(ReadRecords(reader, kPassword, back, 1 << 20));
            EXPECT_TRUE(reader.Tampered());
            // What came out before the change is the container's own.
            for (size_t k = 0; k < back.size() && k < items.size(); ++k) {
                if (back[k].data.size() == items[k].data.size()) {
                    EXPECT_TRUE(back[k].data == items[k].data) << k;
                }
            }
        }
    }
}

// Whoever holds a container learns neither the password nor a name, and
// two containers of the same items under one password share no keystream.
TEST(SealedContainer, HidesThePasswordTheNamesAndTheKeystream) {
    ScratchDir dir;
    const std::vector<StoredEntry> items = ManyItems();
    Bytes files[2];
    for (Bytes& file : files) {
        CContainerWriter writer(kPassword, ContainerFormat::Authenticated);
        ASSERT_TRUE(writer.Create(dir / L"c.lock"));
        ASSERT_TRUE(WriteItems(writer, items, 1 << 20));
        file = ReadFileBytes(dir / L"c.lock");
        DeleteFileW((dir / L"c.lock").c_str());
    }
    std::vector<std::wstring> secrets = {kPassword};
    for (const StoredEntry& item : items)
        secrets.push_back(item.name);
    for (const std::wstring& secret : secrets) {
        SCOPED_TRACE(testing_support::Narrow(secret));
        for (const Bytes& file : files)
            EXPECT_FALSE(testing_support::HoldsText(file, secret));
    }
    // Same plain bytes at the same places: under one keystream the cipher
    // bytes would be equal; under two they agree one time in 256.
    ASSERT_EQ(files[0].size(), files[1].size());
    size_t same = 0;
    for (size_t k = kSealedHeaderBytes; k < files[0].size(); ++k)
        same += files[0][k] == files[1][k];
    EXPECT_LT(same, (files[0].size() - kSealedHeaderBytes) / 100);
}

// The rule every stored name follows, on the writing and the reading side.
TEST(StoredNames, TheRule) {
    struct Case {
        std::wstring name;
        bool storable;
        std::wstring kept; // as Windows keeps it
    };
    const Case cases[] = {
        {L"a.txt", true, L"a.txt"},
        {L".profile", true, L".profile"},
        {L"\u00e9t\u00e9 \U0001F600", true, L"\u00e9t\u00e9 \U0001F600"},
        {L"src.", false, L"src"},
        {L"file.txt ", false, L"file.txt"},
        {L"a. . ", false, L"a"},
        {L"...", false, L""},
        {L".. ", false, L""},
        {L"", false, L""},
        {L".", false, L""},
        {L"..", false, L""},
        {L"a\\b", false, L"a\\b"},
        {L"a/b", false, L"a/b"},
        {L"C:x", false, L"C:x"},
        {L"x\x01y", false, L"x\x01y"},
        {L"del\x7f.txt", true, L"del\x7f.txt"}, // DEL is a name character on Windows
        {L"what?", false, L"what?"},
        {L"a*b", false, L"a*b"},
        {L"CON", false, L"CON"},
        {L"nul.txt", false, L"nul.txt"},
        {L"Aux .log", false, L"Aux .log"},
        {L"COM1", false, L"COM1"},
        {L"lpt9.doc", false, L"lpt9.doc"},
        {L"COM\u00b9", false, L"COM\u00b9"},
        {L"LPT\u00b2.txt", false, L"LPT\u00b2.txt"},
        {L"com\u00b3", false, L"com\u00b3"},
        {L"COM10", true, L"COM10"},
        {L"CONSOLE", true, L"CONSOLE"},
        {std::wstring(255, L'n'), true, std::wstring(255, L'n')},
        {std::wstring(256, L'n'), false, std::wstring(256, L'n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::Narrow(c.name));
        EXPECT_EQ(IsStorableName(c.name), c.storable);
        EXPECT_EQ(NameAsWindowsKeepsIt(c.name), c.kept);
    }

    struct PathCase {
        std::wstring folderPath;
        bool valid;
        std::wstring relative;
    };
    const PathCase paths[] = {
        {L"/", true, L""},
        {L"/a", true, L"a"},
        {L"/a/b c", true, L"a\\b c"},
        {L"/src./x ", true, L"src\\x"},
        {L"", false, L""},
        {L"a", false, L""},
        {L"//", false, L""},
        {L"/a/", false, L""},
        {L"/a/../b", false, L""},
        {L"/a/.../b", false, L""},
        {L"/NUL/x", false, L""},
        {L"\\a", false, L""},
    };
    for (const PathCase& c : paths) {
        SCOPED_TRACE(testing_support::Narrow(c.folderPath));
        std::wstring relative = L"junk";
        EXPECT_EQ(RelativeFolderOf(c.folderPath, relative), c.valid);
        if (c.valid) {
            EXPECT_EQ(relative, c.relative);
        }
    }
}

// A disk that fills up: the writer fails and says why, in the system's words.
TEST_P(SessionFormats, FullDiskKeepsTheSystemsReason) {
    if (GetDriveTypeW(L"T:\\") == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "no small drive T: (the test runner maps one when run as root)";
    wchar_t path[64];
    _snwprintf(path, 64, L"T:\\session_%lu.lock", GetCurrentProcessId());
    {
        CContainerWriter writer(kPassword, GetParam());
        ASSERT_TRUE(writer.Create(path));
        ASSERT_TRUE(writer.WriteHeader());
        ASSERT_TRUE(writer.AddFile(L"/", L"big", 0, 3 << 20));
        Bytes body = PatternBytes(1 << 20, 3);
        bool ok = true;
        for (int k = 0; k < 3 && ok; ++k) {
            Bytes piece = body;
            ok = writer.WriteBody(piece.data(), piece.size());
        }
        ok = ok && writer.Commit() && writer.Close();
        EXPECT_FALSE(ok);
        EXPECT_EQ(writer.LastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        writer.Close();
    }
    DeleteFileW(path);
}

} // namespace
