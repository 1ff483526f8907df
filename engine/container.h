// The ".lock" container: header (type id, password check block) followed by
// a flat run of entry records, file bodies enciphered with one RC4 keystream
// keyed by the password that runs through all bodies in container order.
// Every number is big-endian, every string UTF-8 with a terminating 0 byte.
// These bytes are shared with every other copy of the program: they must
// never change.
#pragma once

#include "engine/streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Longest header string a reader accepts, in UTF-8 bytes: a Windows path has
// at most 32,767 UTF-16 units and each takes at most 3 UTF-8 bytes.
constexpr size_t kMaxHeaderStringBytes = 32767 * 3;
// Longest password check block readers accept, in bytes.
constexpr int kMaxPasswordCheckLength = 1024;
// The key of the password check block, converted with the ANSI code page.
extern const wchar_t* const kFixedKey;

class RC4Cipher {
public:
    // Standard RC4 key schedule; no keystream bytes are discarded. length >= 1.
    void Init(const uint8_t* key, int length);
    // output[k] = input[k] XOR next keystream byte, k = 0..count-1. Input
    // and output may be the same buffer.
    void Crypt(const uint8_t* input, size_t count, uint8_t* output);

private:
    uint32_t state_[256];
    uint32_t i_ = 0;
    uint32_t j_ = 0;
};

// The formats a writer can write: the authenticated one for every new
// container, the old one only when asked, for older copies of the program.
enum class ContainerFormat {
    Legacy = 1,        // RC4, names in the clear, nothing authenticated
    Authenticated = 2, // Argon2id key, AES-256-GCM segments
};

struct EntryInfo {
    bool isFile = false;
    std::wstring name;
    int64_t modifiedTime = 0;
    int64_t size = 0;
    std::wstring folderPath; // filled by ReadEntryHeader only
};

class EncFile {
public:
    virtual uint32_t GetTypeId() = 0;
    virtual bool WritePasswordCheck(IOutputStream& output) = 0;
    virtual bool WriteEntryHeader(const std::wstring& folderPath, const EntryInfo& info,
                                  IOutputStream& output) = 0;
    virtual bool EncryptBlock(const uint8_t* data, int offset, int count,
                              IOutputStream& output) = 0;
    virtual bool CheckPassword(bool& readError, IInputStream& input) = 0;
    virtual bool ReadEntryHeader(EntryInfo& info, IInputStream& input) = 0;
    virtual bool DecryptBlock(const uint8_t* data, int offset, int count,
                              IOutputStream& output) = 0;
    virtual ~EncFile() = default;
    // The body keystream applied to count bytes, from input to output (the
    // same buffer is allowed): enciphers and deciphers alike, advancing the
    // keystream as EncryptBlock/DecryptBlock would, without a stream or copy.
    virtual void CryptBody(const uint8_t* input, uint8_t* output, size_t count) = 0;

    // Type id, then the password check block. Refuses (false, nothing
    // written) a password whose UTF-8 form no reader would accept.
    bool WriteHeader(IOutputStream& output);
};

class RC4EncStdFile : public EncFile {
public:
    explicit RC4EncStdFile(const std::wstring& password);
    ~RC4EncStdFile() override;

    uint32_t GetTypeId() override { return 1; }
    bool WritePasswordCheck(IOutputStream& output) override;
    bool WriteEntryHeader(const std::wstring& folderPath, const EntryInfo& info,
                          IOutputStream& output) override;
    bool EncryptBlock(const uint8_t* data, int offset, int count, IOutputStream& output) override;
    bool CheckPassword(bool& readError, IInputStream& input) override;
    bool ReadEntryHeader(EntryInfo& info, IInputStream& input) override;
    bool DecryptBlock(const uint8_t* data, int offset, int count, IOutputStream& output) override;
    void CryptBody(const uint8_t* input, uint8_t* output, size_t count) override;

    // True when the password's UTF-8 form fits a check block readers accept.
    bool PasswordFitsCheckBlock() const;

private:
    bool CryptBlock(const uint8_t* data, int offset, int count, IOutputStream& output);

    std::wstring password_;
    RC4Cipher bodyCipher_;
    std::vector<uint8_t> blockBuffer_; // reused between blocks
};

// True when a password is not empty and its UTF-8 form fits a check block
// readers accept; a longer one would make a container nobody could open.
bool PasswordFitsCheckBlock(const std::wstring& password);

// One record header, laid out alike in both formats: kind byte, folder path,
// name, and for a file its time and size. The reader refuses strings that
// are empty, cut off or longer than a path can be, and a negative size.
bool WriteRecordHeader(const std::wstring& folderPath, const EntryInfo& info,
                       IOutputStream& output);
bool ReadRecordHeader(EntryInfo& info, IInputStream& input);

// Reads the type id; a new codec for type 1 (RC4) or 2 (authenticated,
// engine/sealed_format.h), nothing otherwise. The stream is
// left just past the type id.
std::unique_ptr<EncFile> OpenEncFile(const std::wstring& password, IInputStream& input);

std::wstring MultiByteToWide(const std::string& text, UINT codePage);
std::string WideToMultiByte(const std::wstring& text, UINT codePage);
inline std::wstring Utf8ToWide(const std::string& text) {
    return MultiByteToWide(text, CP_UTF8);
}
inline std::string WideToUtf8(const std::wstring& text) {
    return WideToMultiByte(text, CP_UTF8);
}

// Overwrites a buffer that held a secret so the compiler cannot drop it.
void WipeSecret(std::wstring& text);
void WipeSecret(std::string& text);
void WipeSecret(void* data, size_t size);
