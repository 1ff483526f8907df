// Damaged and crafted containers: every way a container can be cut short or
// altered must end in the failure its reader reports, never in a silently
// wrong result or an unbounded read.
#include "engine/container.h"
#include "memory_streams.h"
#include "support/containers.h"

#include <gtest/gtest.h>

using engine_testing::MemorySink;
using engine_testing::MemorySource;
using testing_support::BuildContainer;
using testing_support::Bytes;
using testing_support::Cat;
using testing_support::ContainerLayout;
using testing_support::FileRecord;
using testing_support::FolderRecord;
using testing_support::StoredEntry;

namespace {

enum class Outcome { NotRecognised, CheckDamaged, WrongPassword, HeaderError, BodyShort, Complete };

const char* Name(Outcome o) {
    switch (o) {
    case Outcome::NotRecognised:
        return "NotRecognised";
    case Outcome::CheckDamaged:
        return "CheckDamaged";
    case Outcome::WrongPassword:
        return "WrongPassword";
    case Outcome::HeaderError:
        return "HeaderError";
    case Outcome::BodyShort:
        return "BodyShort";
    case Outcome::Complete:
        return "Complete";
    }
    return "?";
}

struct ReadResult {
    Outcome outcome = Outcome::Complete;
    std::vector<EntryInfo> entries;
    std::vector<Bytes> bodies;
};

// Reads a container the way the decryption job does, on the codec alone:
// type id, password, then entries until the input is used up.
ReadResult ReadThroughCodec(const Bytes& bytes, const std::wstring& password) {
    ReadResult result;
    MemorySource source(bytes);
    std::unique_ptr<EncFile> codec = OpenEncFile(password, source);
    if (!codec) {
        result.outcome = Outcome::NotRecognised;
        return result;
    }
    bool readError = false;
    if (!codec->CheckPassword(readError, source)) {
        result.outcome = readError ? Outcome::CheckDamaged : Outcome::WrongPassword;
        return result;
    }
    while (!source.AtEnd()) {
        EntryInfo info;
        if (!codec->ReadEntryHeader(info, source)) {
            result.outcome = Outcome::HeaderError;
            return result;
        }
        result.entries.push_back(info);
        result.bodies.emplace_back();
        if (!info.isFile || info.size == 0)
            continue;
        Bytes cipher(static_cast<size_t>(info.size));
        int got = source.Read(cipher.data(), 0, static_cast<int>(cipher.size()));
        if (got != static_cast<int>(cipher.size())) {
            result.outcome = Outcome::BodyShort;
            return result;
        }
        MemorySink plain;
        EXPECT_TRUE(codec->DecryptBlock(cipher.data(), 0, got, plain));
        result.bodies.back() = plain.bytes;
    }
    return result;
}

// A reference container and the offsets where each of its fields ends.
struct Reference {
    Bytes bytes;
    ContainerLayout layout;
};

Reference MakeReference() {
    std::vector<StoredEntry> entries = {FolderRecord(L"/", L"Docs"),
                                        FileRecord(L"/Docs", L"a.txt", {'h', 'e', 'l', 'l', 'o'}),
                                        FileRecord(L"/Docs", L"empty", {}),
                                        FolderRecord(L"/Docs", L"Sub"),
                                        FileRecord(L"/Docs/Sub", L"b", {'x', 'y', 'z'}),
                                        FolderRecord(L"/Docs", L"Last")};
    for (StoredEntry& entry : entries)
        entry.modifiedTime = 1234567890;
    Reference ref;
    ref.bytes = BuildContainer(L"Pass", entries, ContainerFormat::Legacy, &ref.layout);
    EXPECT_TRUE(ref.layout.everyRecordWritten);
    return ref;
}

// What a reader must report for a container cut after `kept` bytes.
Outcome ExpectedForCut(const Reference& ref, size_t kept, size_t* entriesRead) {
    *entriesRead = 0;
    if (kept < 4)
        return Outcome::NotRecognised;
    if (kept < ref.layout.headerEnd)
        return Outcome::CheckDamaged;
    for (const ContainerLayout::Record& e : ref.layout.records) {
        if (kept == e.start)
            return Outcome::Complete;
        if (kept < e.headerEnd)
            return Outcome::HeaderError;
        ++*entriesRead;
        if (kept < e.bodyEnd)
            return Outcome::BodyShort;
    }
    return Outcome::Complete;
}

TEST(DamagedContainer, TheReferenceReadsBackWhole) {
    const Reference ref = MakeReference();
    ReadResult r = ReadThroughCodec(ref.bytes, L"Pass");
    ASSERT_EQ(r.outcome, Outcome::Complete);
    ASSERT_EQ(r.entries.size(), 6u);
    EXPECT_EQ(r.entries[4].folderPath, L"/Docs/Sub");
    EXPECT_EQ(r.entries[4].name, L"b");
    EXPECT_EQ(r.entries[4].modifiedTime, 1234567890);
    EXPECT_EQ(r.bodies[1], Bytes({'h', 'e', 'l', 'l', 'o'}));
    EXPECT_EQ(r.bodies[4], Bytes({'x', 'y', 'z'}));
    EXPECT_FALSE(r.entries[5].isFile);
}

TEST(DamagedContainer, CutAtEveryByte) {
    const Reference ref = MakeReference();
    for (size_t kept = 0; kept < ref.bytes.size(); ++kept) {
        size_t entriesRead = 0;
        Outcome expected = ExpectedForCut(ref, kept, &entriesRead);
        ReadResult r =
            ReadThroughCodec(Bytes(ref.bytes.begin(), ref.bytes.begin() + kept), L"Pass");
        EXPECT_EQ(Name(r.outcome), std::string(Name(expected))) << "cut after " << kept;
        if (expected == Outcome::Complete) {
            EXPECT_EQ(r.entries.size(), entriesRead) << "cut after " << kept;
        }
    }
}

TEST(DamagedContainer, StrayBytesAfterTheLastEntry) {
    const Reference ref = MakeReference();
    for (uint8_t stray : {0x00, 0x01, 0x41}) {
        Bytes bytes = ref.bytes;
        bytes.push_back(stray);
        EXPECT_EQ(ReadThroughCodec(bytes, L"Pass").outcome, Outcome::HeaderError) << int(stray);
    }
}

TEST(DamagedContainer, PasswordsAndCheckBlocks) {
    const Reference ref = MakeReference();
    auto withCheckLength = [&](uint32_t n) {
        Bytes bytes(ref.bytes.begin(), ref.bytes.begin() + 4);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<uint8_t>(n >> shift));
        bytes.insert(bytes.end(), 2000, 0x41);
        return bytes;
    };
    Bytes littleEndianType = ref.bytes;
    littleEndianType[0] = 1;
    littleEndianType[3] = 0;
    struct Case {
        const char* name;
        Bytes bytes;
        std::wstring password;
        Outcome expected;
    } cases[] = {
        {"wrong password", ref.bytes, L"Wrong", Outcome::WrongPassword},
        {"letter case", ref.bytes, L"pass", Outcome::WrongPassword},
        {"password prefix", ref.bytes, L"Pas", Outcome::WrongPassword},
        {"longer password", ref.bytes, L"Passs", Outcome::WrongPassword},
        {"type id little-endian", littleEndianType, L"Pass", Outcome::NotRecognised},
        {"check length 0", withCheckLength(0), L"Pass", Outcome::CheckDamaged},
        {"check length 1025", withCheckLength(1025), L"Pass", Outcome::CheckDamaged},
        {"negative check length", withCheckLength(0xFFFFFFFF), L"Pass", Outcome::CheckDamaged},
        {"check length 1024", withCheckLength(1024), L"Pass", Outcome::WrongPassword},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Name(ReadThroughCodec(c.bytes, c.password).outcome),
                  std::string(Name(c.expected)))
            << c.name;
}

TEST(DamagedContainer, WrongPasswordLeavesTheReadErrorFlagAlone) {
    const Reference ref = MakeReference();
    for (bool before : {false, true}) {
        MemorySource source(ref.bytes);
        std::unique_ptr<EncFile> codec = OpenEncFile(L"Wrong", source);
        ASSERT_TRUE(codec);
        bool readError = before;
        EXPECT_FALSE(codec->CheckPassword(readError, source));
        EXPECT_EQ(readError, before);
    }
}

// Entry headers fed to a reader right after a valid header.
Bytes AfterHeader(const Bytes& entries) {
    return Cat({BuildContainer(L"Pass", {}), entries});
}

Bytes BigEndian64(uint64_t v) {
    Bytes b;
    for (int shift = 56; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
    return b;
}

TEST(DamagedContainer, CraftedEntryHeaders) {
    const Bytes zeroTime = BigEndian64(0);
    struct Case {
        const char* name;
        Bytes entries;
        Outcome expected;
    } cases[] = {
        {"kind 7 is a file", Cat({{7, '/', 0, 'f', 0}, zeroTime, BigEndian64(0)}),
         Outcome::Complete},
        {"name is only its terminator", {0, '/', 0, 0}, Outcome::HeaderError},
        {"folder path is only its terminator", {0, 0, 'n', 0}, Outcome::HeaderError},
        {"negative size", Cat({{1, '/', 0, 'f', 0}, zeroTime, BigEndian64(~0ull)}),
         Outcome::HeaderError},
        {"size beyond the end", Cat({{1, '/', 0, 'f', 0}, zeroTime, BigEndian64(4), {1, 2}}),
         Outcome::BodyShort},
    };
    for (const Case& c : cases) {
        ReadResult r = ReadThroughCodec(AfterHeader(c.entries), L"Pass");
        EXPECT_EQ(Name(r.outcome), std::string(Name(c.expected))) << c.name;
    }
    ReadResult kind7 = ReadThroughCodec(AfterHeader(cases[0].entries), L"Pass");
    ASSERT_EQ(kind7.entries.size(), 1u);
    EXPECT_TRUE(kind7.entries[0].isFile);
}

TEST(DamagedContainer, HeaderStringsAreCapped) {
    struct Case {
        size_t length;
        bool accepted;
    } cases[] = {{kMaxHeaderStringBytes, true}, {kMaxHeaderStringBytes + 1, false}};
    for (const Case& c : cases) {
        Bytes entry = {0, '/', 0};
        entry.insert(entry.end(), c.length, 'n');
        entry.push_back(0);
        ReadResult r = ReadThroughCodec(AfterHeader(entry), L"Pass");
        EXPECT_EQ(r.outcome == Outcome::Complete, c.accepted) << c.length;
        if (c.accepted) {
            EXPECT_EQ(r.entries.at(0).name.size(), c.length);
        }
    }
}

TEST(DamagedContainer, StringWithoutTerminatorIsNotReadWhole) {
    // Many times the cap without a 0 byte: the reader must give up near the
    // cap instead of collecting it all.
    Bytes entry = {0, '/'};
    entry.insert(entry.end(), 8 * kMaxHeaderStringBytes, 'p');
    MemorySource source(entry);
    RC4EncStdFile codec(L"Pass");
    EntryInfo info;
    EXPECT_FALSE(codec.ReadEntryHeader(info, source));
    EXPECT_LE(source.Consumed(), kMaxHeaderStringBytes + 8);
}

} // namespace
