// The container codec: header with the password check block, entry records,
// the RC4 body keystream, and the text conversions every stored string goes
// through.
#include "engine/container.h"

#include "engine/sealed_format.h"

#include <cstring>
#include <limits>

const wchar_t* const kFixedKey = L"qotrimbuxa";

namespace {

constexpr int kFixedKeyLength = 10;

// Collects what a writer produces so a header can be checked whole before
// any of it reaches the real output.
class CMemoryOutputStream : public IOutputStream {
public:
    ~CMemoryOutputStream() override { WipeSecret(bytes_.data(), bytes_.size()); }
    int Write(const uint8_t* data, int offset, int count) override {
        if (count <= 0)
            return 0;
        bytes_.insert(bytes_.end(), data + offset, data + offset + count);
        return count;
    }
    bool Close() override { return true; }
    bool Flush() override { return true; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// The check-block cipher: RC4 keyed with the fixed key's ANSI bytes.
void InitCheckCipher(RC4Cipher& cipher) {
    std::string key = WideToMultiByte(kFixedKey, CP_ACP);
    // The key is plain ASCII, the same bytes in every ANSI code page; should
    // the system conversion fail, use those bytes directly.
    if (key.size() != kFixedKeyLength) {
        key.clear();
        for (const wchar_t* p = kFixedKey; *p; ++p)
            key.push_back(static_cast<char>(*p));
    }
    cipher.Init(reinterpret_cast<const uint8_t*>(key.data()), kFixedKeyLength);
}

bool ReadHeaderString(IInputStream& input, std::wstring& text) {
    bool empty = false;
    bool tooLong = false;
    bool cutOff = false;
    std::string bytes = input.ReadString(kMaxHeaderStringBytes, &empty, &tooLong, &cutOff);
    // A string the end of the file cut off belongs to a truncated container;
    // taken as it stands, a folder's shortened name would pass for a complete
    // last entry.
    if (empty || tooLong || cutOff)
        return false;
    text = Utf8ToWide(bytes);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// RC4

void RC4Cipher::Init(const uint8_t* key, int length) {
    // A zero-length key would divide by zero; callers never pass one, but the
    // state must still be a valid permutation.
    static const uint8_t kZero = 0;
    if (length < 1) {
        key = &kZero;
        length = 1;
    }
    for (uint32_t k = 0; k < 256; ++k)
        state_[k] = k;
    uint32_t j = 0;
    int keyIndex = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t si = state_[i];
        j = (j + key[keyIndex] + si) & 0xFF;
        state_[i] = state_[j];
        state_[j] = si;
        if (++keyIndex == length)
            keyIndex = 0;
    }
    i_ = 0;
    j_ = 0;
}

void RC4Cipher::Crypt(const uint8_t* input, size_t count, uint8_t* output) {
    // i and j stay in registers, the state is 32-bit (no partial-register
    // stalls on x86), and eight steps per iteration let the processor overlap
    // the loads of one step with the stores of the previous one. Storing each
    // output byte directly measured faster than gathering a 64-bit word.
    uint32_t* const s = state_;
    uint32_t i = i_;
    uint32_t j = j_;
    size_t k = 0;

#define TL_RC4_STEP(n)                                                                             \
    do {                                                                                           \
        i = (i + 1) & 0xFF;                                                                        \
        uint32_t si = s[i];                                                                        \
        j = (j + si) & 0xFF;                                                                       \
        uint32_t sj = s[j];                                                                        \
        s[i] = sj;                                                                                 \
        s[j] = si;                                                                                 \
        output[k + (n)] = static_cast<uint8_t>(input[k + (n)] ^ s[(si + sj) & 0xFF]);              \
    } while (0)

    for (; k + 8 <= count; k += 8) {
        TL_RC4_STEP(0);
        TL_RC4_STEP(1);
        TL_RC4_STEP(2);
        TL_RC4_STEP(3);
        TL_RC4_STEP(4);
        TL_RC4_STEP(5);
        TL_RC4_STEP(6);
        TL_RC4_STEP(7);
    }
    for (; k < count; ++k)
        TL_RC4_STEP(0);
#undef TL_RC4_STEP

    i_ = i;
    j_ = j;
}

// ---------------------------------------------------------------------------
// EncFile

bool EncFile::WriteHeader(IOutputStream& output) {
    // The check block is built first: a password no reader would accept must
    // leave the output untouched.
    CMemoryOutputStream check;
    if (!WritePasswordCheck(check))
        return false;
    if (!output.WriteInt32(static_cast<int32_t>(SwapBytes32(GetTypeId()))))
        return false;
    int count = static_cast<int>(check.Bytes().size());
    return output.Write(check.Bytes().data(), 0, count) == count;
}

// ---------------------------------------------------------------------------
// RC4EncStdFile

RC4EncStdFile::RC4EncStdFile(const std::wstring& password) : password_(password) {
    std::string key = WideToUtf8(password_);
    int length = key.size() > static_cast<size_t>(std::numeric_limits<int>::max())
                     ? std::numeric_limits<int>::max()
                     : static_cast<int>(key.size());
    bodyCipher_.Init(reinterpret_cast<const uint8_t*>(key.data()), length);
    WipeSecret(key);
}

RC4EncStdFile::~RC4EncStdFile() {
    WipeSecret(password_);
    WipeSecret(&bodyCipher_, sizeof(bodyCipher_));
    WipeSecret(blockBuffer_.data(), blockBuffer_.size());
}

namespace {

// The one rule for a password's UTF-8 form: a check block readers accept.
bool FitsCheckBlock(const std::string& utf8) {
    return !utf8.empty() && utf8.size() <= static_cast<size_t>(kMaxPasswordCheckLength);
}

} // namespace

bool PasswordFitsCheckBlock(const std::wstring& password) {
    std::string bytes = WideToUtf8(password);
    bool fits = FitsCheckBlock(bytes);
    WipeSecret(bytes);
    return fits;
}

bool RC4EncStdFile::PasswordFitsCheckBlock() const {
    return ::PasswordFitsCheckBlock(password_);
}

bool RC4EncStdFile::WritePasswordCheck(IOutputStream& output) {
    std::string plain = WideToUtf8(password_);
    if (!FitsCheckBlock(plain)) {
        WipeSecret(plain);
        return false;
    }
    int count = static_cast<int>(plain.size());
    std::vector<uint8_t> block(plain.size());
    RC4Cipher cipher;
    InitCheckCipher(cipher);
    cipher.Crypt(reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), block.data());
    WipeSecret(plain);

    bool ok = output.WriteInt32(static_cast<int32_t>(SwapBytes32(static_cast<uint32_t>(count)))) &&
              output.Write(block.data(), 0, count) == count;
    WipeSecret(block.data(), block.size());
    WipeSecret(&cipher, sizeof(cipher));
    return ok;
}

bool RC4EncStdFile::CheckPassword(bool& readError, IInputStream& input) {
    bool shortRead = false;
    uint32_t raw = SwapBytes32(static_cast<uint32_t>(input.ReadInt32(&shortRead)));
    int32_t count = shortRead ? 0 : static_cast<int32_t>(raw);
    if (count < 1 || count > kMaxPasswordCheckLength) {
        readError = true;
        return false;
    }
    std::vector<uint8_t> block(static_cast<size_t>(count));
    if (input.Read(block.data(), 0, count) != count) {
        WipeSecret(block.data(), block.size());
        readError = true;
        return false;
    }
    std::vector<uint8_t> plain(static_cast<size_t>(count) + 1, 0);
    RC4Cipher cipher;
    InitCheckCipher(cipher);
    cipher.Crypt(block.data(), block.size(), plain.data());
    // The text ends at its first 0 byte, as a stored C string would.
    std::string bytes(reinterpret_cast<const char*>(plain.data()));
    std::wstring stored = Utf8ToWide(bytes);
    bool match = stored == password_;

    WipeSecret(stored);
    WipeSecret(bytes);
    WipeSecret(plain.data(), plain.size());
    WipeSecret(block.data(), block.size());
    WipeSecret(&cipher, sizeof(cipher));
    return match;
}

bool WriteRecordHeader(const std::wstring& folderPath, const EntryInfo& info,
                       IOutputStream& output) {
    std::string path = WideToUtf8(folderPath);
    std::string name = WideToUtf8(info.name);
    // Checked before the first byte: a reader would refuse these strings, and
    // a half-written header would break the container.
    if (path.empty() || name.empty() || path.size() > kMaxHeaderStringBytes ||
        name.size() > kMaxHeaderStringBytes)
        return false;
    if (!output.WriteByte(info.isFile ? 1 : 0) || !output.WriteString(path) ||
        !output.WriteString(name))
        return false;
    if (!info.isFile)
        return true;
    return output.WriteUInt64(SwapBytes64(static_cast<uint64_t>(info.modifiedTime))) &&
           output.WriteUInt64(SwapBytes64(static_cast<uint64_t>(info.size)));
}

bool ReadRecordHeader(EntryInfo& info, IInputStream& input) {
    int kind = input.ReadByte();
    if (kind < 0)
        return false;
    info.isFile = kind != 0;
    if (!ReadHeaderString(input, info.folderPath) || !ReadHeaderString(input, info.name))
        return false;
    if (!info.isFile)
        return true;
    bool shortRead = false;
    info.modifiedTime = static_cast<int64_t>(SwapBytes64(input.ReadUInt64(&shortRead)));
    if (shortRead)
        return false;
    info.size = static_cast<int64_t>(SwapBytes64(input.ReadUInt64(&shortRead)));
    // A negative size can only come from a damaged container; a reader that
    // trusted it would lose its place in the entry sequence.
    return !shortRead && info.size >= 0;
}

bool RC4EncStdFile::WriteEntryHeader(const std::wstring& folderPath, const EntryInfo& info,
                                     IOutputStream& output) {
    return WriteRecordHeader(folderPath, info, output);
}

bool RC4EncStdFile::ReadEntryHeader(EntryInfo& info, IInputStream& input) {
    return ReadRecordHeader(info, input);
}

bool RC4EncStdFile::EncryptBlock(const uint8_t* data, int offset, int count,
                                 IOutputStream& output) {
    return CryptBlock(data, offset, count, output);
}

bool RC4EncStdFile::DecryptBlock(const uint8_t* data, int offset, int count,
                                 IOutputStream& output) {
    return CryptBlock(data, offset, count, output);
}

void RC4EncStdFile::CryptBody(const uint8_t* input, uint8_t* output, size_t count) {
    bodyCipher_.Crypt(input, count, output);
}

bool RC4EncStdFile::CryptBlock(const uint8_t* data, int offset, int count, IOutputStream& output) {
    if (count < 1)
        return false;
    if (blockBuffer_.size() < static_cast<size_t>(count))
        blockBuffer_.resize(static_cast<size_t>(count));
    bodyCipher_.Crypt(data + offset, static_cast<size_t>(count), blockBuffer_.data());
    // Every byte must be taken: a body shorter than its size breaks every
    // later entry of the container.
    return output.Write(blockBuffer_.data(), 0, count) == count;
}

std::unique_ptr<EncFile> OpenEncFile(const std::wstring& password, IInputStream& input) {
    bool shortRead = false;
    uint32_t typeId = SwapBytes32(static_cast<uint32_t>(input.ReadInt32(&shortRead)));
    if (shortRead)
        return nullptr;
    if (typeId == 1)
        return std::make_unique<RC4EncStdFile>(password);
    if (typeId == 2 && StartCryptoLibrary())
        return std::make_unique<AesGcmEncFile>(password);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Text conversions

std::wstring MultiByteToWide(const std::string& text, UINT codePage) {
    if (text.empty())
        return std::wstring();
    int length = MultiByteToWideChar(codePage, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring result(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(codePage, 0, text.c_str(), -1, &result[0], length) <= 0)
        return std::wstring();
    result.resize(std::wcslen(result.c_str()));
    return result;
}

std::string WideToMultiByte(const std::wstring& text, UINT codePage) {
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string result(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(codePage, 0, text.c_str(), -1, &result[0], length, nullptr, nullptr) <=
        0)
        return std::string();
    result.resize(std::strlen(result.c_str()));
    return result;
}

// ---------------------------------------------------------------------------
// Secrets

void WipeSecret(void* data, size_t size) {
    if (data && size)
        SecureZeroMemory(data, size);
}

void WipeSecret(std::wstring& text) {
    // Wipe the whole allocation, not only the current length: earlier, longer
    // contents may still sit behind the end.
    text.resize(text.capacity());
    WipeSecret(&text[0], text.size() * sizeof(wchar_t));
    text.clear();
}

void WipeSecret(std::string& text) {
    text.resize(text.capacity());
    WipeSecret(&text[0], text.size());
    text.clear();
}
