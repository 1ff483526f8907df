// The RC4 cipher against published keystreams, and the same keystream
// whatever the sizes of the pieces it is asked for.
#include "engine/container.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::Bytes;

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t k = 0; k + 1 < hex.size(); k += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(k, 2), nullptr, 16)));
    return out;
}

Bytes Keystream(const Bytes& key, size_t count) {
    RC4Cipher cipher;
    cipher.Init(key.data(), static_cast<int>(key.size()));
    Bytes zeros(count, 0), out(count, 0xEE);
    cipher.Crypt(zeros.data(), count, out.data());
    return out;
}

struct KeystreamSample {
    size_t offset;
    const char* hex;
};

// Keystream samples for two keys of RFC 6229.
const KeystreamSample k40BitKey[] = {
    {0x0000, "b2396305f03dc027ccc3524a0a1118a8"}, {0x0010, "6982944f18fc82d589c403a47a0d0919"},
    {0x00f0, "28cb1132c96ce286421dcaadb8b69eae"}, {0x0100, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {0x01f0, "42b7d0cdd918a8a33dd51781c81f4041"}, {0x0200, "6459844432a7da923cfb3eb4980661f6"},
    {0x02f0, "ec10327bde2beefd18f9277680457e22"}, {0x0300, "eb62638d4f0ba1fe9fca20e05bf8ff2b"},
    {0x03f0, "45129048e6a0ed0b56b490338f078da5"}, {0x0400, "30abbcc7c20b01609f23ee2d5f6bb7df"},
    {0x05f0, "3294f744d8f9790507e70f62e5bbceea"}, {0x0600, "d8729db41882259bee4f825325f5a130"},
    {0x07f0, "1eb14a0c13b3bf47fa2a0ba93ad45b8b"}, {0x0800, "cc582f8ba9f265e2b1be9112e975d2d7"},
    {0x0bf0, "f2e30f9bd102ecbf75aaade9bc35c43c"}, {0x0c00, "ec0e11c479dc329dc8da7968fe965681"},
    {0x0ff0, "068326a2118416d21f9d04b2cd1ca050"}, {0x1000, "ff25b58995996707e51fbdf08b34d875"},
};
const KeystreamSample k128BitKey[] = {
    {0x0000, "9ac7cc9a609d1ef7b2932899cde41b97"}, {0x0010, "5248c4959014126a6e8a84f11d1a9e1c"},
    {0x00f0, "065902e4b620f6cc36c8589f66432f2b"}, {0x0100, "d39d566bc6bce3010768151549f3873f"},
    {0x01f0, "b6d1e6c4a5e4771cad79538df295fb11"}, {0x0200, "c68c1d5c559a974123df1dbc52a43b89"},
    {0x0400, "bdf0324e6083dcc6d3cedd3ca8c53c16"}, {0x0800, "8a44126411eaa78bd51e8d87a8879bf5"},
    {0x0c00, "c05d88abd50357f935a63c59ee537623"}, {0x1000, "a36a4c301ae8ac13610ccbc12256cacc"},
};

void ExpectSamples(const Bytes& key, const KeystreamSample* begin, const KeystreamSample* end) {
    const Bytes stream = Keystream(key, 0x1010);
    for (const KeystreamSample* s = begin; s != end; ++s) {
        Bytes expected = FromHex(s->hex);
        Bytes got(stream.begin() + static_cast<long>(s->offset),
                  stream.begin() + static_cast<long>(s->offset + 16));
        EXPECT_EQ(got, expected) << "offset " << s->offset;
    }
}

TEST(RC4, Rfc6229FortyBitKey) {
    ExpectSamples(FromHex("0102030405"), std::begin(k40BitKey), std::end(k40BitKey));
}

TEST(RC4, Rfc6229OneHundredTwentyEightBitKey) {
    ExpectSamples(FromHex("0102030405060708090a0b0c0d0e0f10"), std::begin(k128BitKey),
                  std::end(k128BitKey));
}

TEST(RC4, ClassicTextVectors) {
    struct Case {
        std::string key, plain, cipherHex;
    } cases[] = {
        {"Key", "Plaintext", "bbf316e8d940af0ad3"},
        {"Wiki", "pedia", "1021bf0420"},
        {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
    };
    for (const Case& c : cases) {
        RC4Cipher cipher;
        cipher.Init(reinterpret_cast<const uint8_t*>(c.key.data()), static_cast<int>(c.key.size()));
        Bytes out(c.plain.size());
        cipher.Crypt(reinterpret_cast<const uint8_t*>(c.plain.data()), c.plain.size(), out.data());
        EXPECT_EQ(out, FromHex(c.cipherHex)) << c.key;
    }
}

TEST(RC4, PiecewiseCryptContinuesTheKeystream) {
    const Bytes key = FromHex("0102030405");
    const Bytes plain = testing_support::PatternBytes(20000, 4);
    RC4Cipher whole;
    whole.Init(key.data(), 5);
    Bytes expected(plain.size());
    whole.Crypt(plain.data(), plain.size(), expected.data());

    for (size_t piece : {1, 3, 7, 8, 9, 15, 16, 17, 1000, 4096}) {
        RC4Cipher cipher;
        cipher.Init(key.data(), 5);
        Bytes got(plain.size());
        for (size_t done = 0; done < plain.size(); done += piece) {
            size_t n = std::min(piece, plain.size() - done);
            cipher.Crypt(plain.data() + done, n, got.data() + done);
        }
        EXPECT_EQ(got, expected) << "pieces of " << piece;
    }
}

TEST(RC4, ReKeyingStartsOver) {
    const Bytes key = FromHex("0102030405");
    RC4Cipher cipher;
    cipher.Init(key.data(), 5);
    Bytes first(37, 0), zeros(37, 0);
    cipher.Crypt(zeros.data(), 37, first.data());
    cipher.Init(key.data(), 5);
    Bytes again(37, 0);
    cipher.Crypt(zeros.data(), 37, again.data());
    EXPECT_EQ(first, again);
}

} // namespace
