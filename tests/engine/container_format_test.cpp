// The container's bytes, as every other copy of the program writes and
// expects them: header, password check block, entry records, body keystream.
#include "engine/container.h"
#include "memory_streams.h"

#include <gtest/gtest.h>

using engine_testing::MemorySink;
using engine_testing::MemorySource;
using testing_support::Bytes;
using testing_support::Cat;

namespace {

EntryInfo Folder(const std::wstring& name) {
    EntryInfo info;
    info.name = name;
    return info;
}

EntryInfo File(const std::wstring& name, int64_t size, int64_t modifiedTime = 0) {
    EntryInfo info;
    info.isFile = true;
    info.name = name;
    info.size = size;
    info.modifiedTime = modifiedTime;
    return info;
}

TEST(ContainerHeader, GoldenBytes) {
    struct Case {
        const wchar_t* password;
        Bytes expected;
    } cases[] = {
        // Type id 1 big-endian, check length, password XOR fixed-key keystream.
        {L"Key", {0, 0, 0, 1, 0, 0, 0, 3, 0xc8, 0x61, 0x7f}},
        // One non-ASCII character, two bytes in UTF-8.
        {L"\u00e9", {0, 0, 0, 1, 0, 0, 0, 2, 0x40, 0xad}},
    };
    for (const Case& c : cases) {
        RC4EncStdFile codec(c.password);
        MemorySink sink;
        EXPECT_TRUE(codec.WriteHeader(sink));
        EXPECT_EQ(sink.bytes, c.expected);
    }
}

TEST(ContainerHeader, SamePasswordGivesTheSameCheckBlockWhateverCameBefore) {
    RC4EncStdFile first(L"pass word");
    RC4EncStdFile second(L"pass word");
    MemorySink a, b, bodies;
    const Bytes body(1000, 0x55);
    ASSERT_TRUE(second.EncryptBlock(body.data(), 0, 1000, bodies));
    ASSERT_TRUE(first.WriteHeader(a));
    ASSERT_TRUE(second.WriteHeader(b));
    ASSERT_TRUE(second.WritePasswordCheck(bodies));
    EXPECT_EQ(a.bytes, b.bytes);
    // The check block did not consume body keystream either.
    RC4EncStdFile fresh(L"pass word");
    MemorySink x, y;
    ASSERT_TRUE(fresh.EncryptBlock(body.data(), 0, 10, x));
    RC4EncStdFile checked(L"pass word");
    ASSERT_TRUE(checked.WriteHeader(y));
    y.bytes.clear();
    ASSERT_TRUE(checked.EncryptBlock(body.data(), 0, 10, y));
    EXPECT_EQ(x.bytes, y.bytes);
}

TEST(ContainerHeader, PasswordLengthLimit) {
    struct Case {
        const char* name;
        std::wstring password;
        bool accepted;
    } cases[] = {
        {"1024 bytes of two-byte letters", std::wstring(512, L'\u00e9'), true},
        {"1023 bytes of three-byte letters", std::wstring(341, L'\u20ac'), true},
        {"1026 bytes of three-byte letters", std::wstring(342, L'\u20ac'), false},
        {"1025 ASCII letters", std::wstring(1025, L'a'), false},
        {"empty", L"", false},
    };
    for (const Case& c : cases) {
        RC4EncStdFile codec(c.password);
        EXPECT_EQ(codec.PasswordFitsCheckBlock(), c.accepted) << c.name;
        MemorySink sink;
        EXPECT_EQ(codec.WriteHeader(sink), c.accepted) << c.name;
        if (!c.accepted) {
            EXPECT_TRUE(sink.writeSizes.empty()) << c.name << ": refused, yet written";
            EXPECT_FALSE(codec.WritePasswordCheck(sink)) << c.name;
            EXPECT_TRUE(sink.writeSizes.empty()) << c.name;
            continue;
        }
        // Every accepted password is also read back as the right one.
        MemorySource source(sink.bytes);
        std::unique_ptr<EncFile> reader = OpenEncFile(c.password, source);
        ASSERT_TRUE(reader) << c.name;
        bool readError = false;
        EXPECT_TRUE(reader->CheckPassword(readError, source)) << c.name;
        EXPECT_FALSE(readError) << c.name;
    }
}

TEST(ContainerHeader, OutputThatRefusesBytes) {
    for (int limit : {0, 3, 4, 7, 10}) {
        RC4EncStdFile codec(L"Key");
        MemorySink sink;
        sink.acceptLimit = limit;
        EXPECT_FALSE(codec.WriteHeader(sink)) << "limit " << limit;
    }
}

TEST(ContainerEntries, FolderExample) {
    RC4EncStdFile codec(L"secret");
    MemorySink sink;
    ASSERT_TRUE(codec.WriteEntryHeader(L"/", Folder(L"Docs"), sink));
    EXPECT_EQ(sink.bytes, Bytes({0x00, 0x2F, 0x00, 0x44, 0x6F, 0x63, 0x73, 0x00}));
}

TEST(ContainerEntries, FileExampleWithBigEndianNumbersAndEncipheredBody) {
    RC4EncStdFile codec(L"secret");
    MemorySink sink;
    ASSERT_TRUE(codec.WriteEntryHeader(L"/", File(L"a.txt", 3, 0x0102030405060708), sink));
    const Bytes plain = {'a', 'b', 'c'};
    ASSERT_TRUE(codec.EncryptBlock(plain.data(), 0, 3, sink));
    EXPECT_EQ(sink.bytes, Cat({{0x01, 0x2F, 0x00, 0x61, 0x2E, 0x74, 0x78, 0x74, 0x00},
                               {1, 2, 3, 4, 5, 6, 7, 8},
                               {0, 0, 0, 0, 0, 0, 0, 3},
                               {0x8c, 0x54, 0xb1}}));
}

TEST(ContainerEntries, NegativeTimeIsStoredAsItsTwosComplement) {
    RC4EncStdFile codec(L"secret");
    MemorySink sink;
    ASSERT_TRUE(codec.WriteEntryHeader(L"/", File(L"x", 0, -2), sink));
    EXPECT_EQ(sink.bytes, Cat({{1, '/', 0, 'x', 0},
                               {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE},
                               {0, 0, 0, 0, 0, 0, 0, 0}}));
}

TEST(ContainerEntries, FolderEntryLengthCountsUtf8Bytes) {
    RC4EncStdFile codec(L"secret");
    MemorySink sink;
    // "/Fotos" is 6 bytes; "Größe" is 7 bytes in UTF-8.
    ASSERT_TRUE(codec.WriteEntryHeader(L"/Fotos", Folder(L"Gr\u00f6\u00dfe"), sink));
    EXPECT_EQ(sink.bytes.size(), 1u + 7u + 8u);
}

TEST(ContainerEntries, EmptyStringsCannotBeWritten) {
    struct Case {
        std::wstring folderPath;
        EntryInfo info;
    } cases[] = {{L"/", Folder(L"")}, {L"", Folder(L"Docs")}, {L"/", File(L"", 1)}};
    for (const Case& c : cases) {
        RC4EncStdFile codec(L"secret");
        MemorySink sink;
        EXPECT_FALSE(codec.WriteEntryHeader(c.folderPath, c.info, sink));
        EXPECT_TRUE(sink.bytes.empty());
    }
}

TEST(ContainerBodies, KeystreamRunsOnAcrossFilesAndSkipsEmptyOnes) {
    // Files of 3, 0 and 2 bytes: the third body uses keystream bytes 3 and 4.
    RC4EncStdFile codec(L"secret");
    MemorySink sink;
    const Bytes abc = {'a', 'b', 'c'}, de = {'d', 'e'};
    ASSERT_TRUE(codec.WriteEntryHeader(L"/", File(L"one", 3), sink));
    ASSERT_TRUE(codec.EncryptBlock(abc.data(), 0, 3, sink));
    ASSERT_TRUE(codec.WriteEntryHeader(L"/", File(L"empty", 0), sink));
    ASSERT_TRUE(codec.WriteEntryHeader(L"/", File(L"two", 2), sink));
    size_t start = sink.bytes.size();
    ASSERT_TRUE(codec.EncryptBlock(de.data(), 0, 2, sink));
    EXPECT_EQ(Bytes(sink.bytes.begin() + static_cast<long>(start), sink.bytes.end()),
              Bytes({0x78, 0xe7}));
}

TEST(ContainerBodies, BlocksHonourTheOffsetAndKeepTheirOrder) {
    const Bytes plain = {'x', 'x', 'a', 'b', 'c', 'd', 'e'};
    RC4EncStdFile pieces(L"secret");
    MemorySink sink;
    ASSERT_TRUE(pieces.EncryptBlock(plain.data(), 2, 1, sink));
    ASSERT_TRUE(pieces.EncryptBlock(plain.data(), 3, 4, sink));
    // Same bytes as one block; a reader deciphers them in any other split.
    EXPECT_EQ(Bytes(sink.bytes.begin(), sink.bytes.begin() + 3), Bytes({0x8c, 0x54, 0xb1}));
    RC4EncStdFile reader(L"secret");
    MemorySink plainOut;
    ASSERT_TRUE(reader.DecryptBlock(sink.bytes.data(), 0, 4, plainOut));
    ASSERT_TRUE(reader.DecryptBlock(sink.bytes.data(), 4, 1, plainOut));
    EXPECT_EQ(plainOut.bytes, Bytes(plain.begin() + 2, plain.end()));
}

TEST(ContainerBodies, OutputThatTakesLessThanTheBlockFails) {
    struct Case {
        int acceptLimit;
        int count;
    } cases[] = {{0, 5}, {4, 5}, {-1, 0}};
    const Bytes plain(5, 1);
    for (const Case& c : cases) {
        RC4EncStdFile codec(L"secret");
        MemorySink sink;
        sink.acceptLimit = c.acceptLimit;
        EXPECT_FALSE(codec.EncryptBlock(plain.data(), 0, c.count, sink)) << c.acceptLimit;
    }
}

TEST(ContainerOpen, RecognisesOnlyTheBigEndianTypeId) {
    struct Case {
        Bytes bytes;
        uint32_t typeId; // 0: not recognised
    } cases[] = {
        {{0, 0, 0, 1, 0xAB}, 1},
        {{1, 0, 0, 0, 0xAB}, 0},
        {{0, 0, 0, 2, 0xAB}, 2},
        {{2, 0, 0, 0, 0xAB}, 0},
        {{0, 0, 0, 3, 0xAB}, 0},
        {{0, 0, 0}, 0},
        {{}, 0},
    };
    for (const Case& c : cases) {
        MemorySource source(c.bytes);
        std::unique_ptr<EncFile> codec = OpenEncFile(L"pw", source);
        EXPECT_EQ(codec != nullptr, c.typeId != 0);
        if (codec) {
            EXPECT_EQ(codec->GetTypeId(), c.typeId);
            EXPECT_EQ(source.ReadByte(), 0xAB) << "left just past the type id";
        }
    }
}

TEST(ContainerText, ConversionsRoundTripAndStopAtTheFirstZero) {
    const std::wstring text = L"Gr\u00f6\u00dfe \u20ac \U0001F600";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(L"\u00e9"), std::string("\xC3\xA9"));
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(WideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(ContainerText, WipeSecretEmptiesTheString) {
    std::wstring password = L"a secret that is long enough to live on the heap";
    WipeSecret(password);
    EXPECT_TRUE(password.empty());
    EXPECT_EQ(password.data()[0], L'\0');
    std::string bytes = "another secret, long enough for the heap as well";
    size_t capacity = bytes.capacity();
    WipeSecret(bytes);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(std::string(bytes.data(), capacity), std::string(capacity, '\0'));
}

} // namespace
