// The authenticated container (type id 2): a header in the clear that says
// how the key is derived (Argon2id, a fresh salt per container) and how the
// rest is sealed, then everything else (records and bodies alike) as one
// plain byte stream cut into segments, each enciphered and authenticated
// with AES-256-GCM under a counter nonce that marks the last segment, the
// header bound to every segment. A change, a cut, a reordering or an added
// byte fails a tag; a wrong password fails the header's own tag. The byte
// layout is written down in docs/container-format.md.
//
// The codec writes and checks the header and the records; the segments are
// the container session's business, through SealSegment/OpenSegment.
#pragma once

#include "engine/container.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Argon2id's cost: memory in KiB, passes over it and lanes (parallelism).
struct KdfParameters {
    uint32_t memoryKiB = 0;
    uint32_t passes = 0;
    uint32_t lanes = 0;
};

// The cost every new container gets: about a second or less on an ordinary
// machine, and a memory block a 32-bit process can always have.
constexpr KdfParameters kDefaultKdf{256 * 1024, 3, 2};
// What a reader accepts at most, checked before anything is allocated, so a
// hostile header cannot make the program take gigabytes or minutes.
constexpr uint32_t kMaxKdfMemoryKiB = 512 * 1024;
constexpr uint32_t kMaxKdfPasses = 16;
constexpr uint32_t kMaxKdfLanes = 16;
constexpr uint64_t kMaxKdfWorkKiB = uint64_t(2) * 1024 * 1024; // memory x passes
// Plain bytes per segment that a reader accepts (it holds one segment).
constexpr uint32_t kMinSegmentBytes = 1024;
constexpr uint32_t kMaxSegmentBytes = 16 << 20;

// What new containers are written with. Tests lower it so that the suite
// does not spend seconds deriving keys; readers take whatever a header says
// within the limits above.
extern KdfParameters g_newContainerKdf;

constexpr size_t kSaltBytes = 32;
constexpr size_t kKeyBytes = 32;
constexpr size_t kTagBytes = 16;
constexpr uint32_t kSegmentBytes = 1 << 20;
// Type id 4, KDF 1 + 12, salt 32, cipher 1, segment size 4, header tag 16.
constexpr size_t kSealedHeaderBytes = 70;

// While one lives on a thread, the keys derived there are kept, so a job
// that opens its container several times derives the key once. The keys are
// wiped when it ends.
class ScopedDerivedKeys {
public:
    ScopedDerivedKeys();
    ~ScopedDerivedKeys();
    ScopedDerivedKeys(const ScopedDerivedKeys&) = delete;
    ScopedDerivedKeys& operator=(const ScopedDerivedKeys&) = delete;

    struct Entry;

private:
    friend class AesGcmEncFile;
    std::vector<Entry> entries_;
    ScopedDerivedKeys* outer_;
};

// Why a sealed header was refused before any key was derived.
enum class SealedHeaderProblem {
    None,
    Damaged,   // cut off, or an algorithm this program does not know
    TooCostly, // key derivation or segments beyond the reader's limits
};

class AesGcmEncFile : public EncFile {
public:
    explicit AesGcmEncFile(const std::wstring& password);
    ~AesGcmEncFile() override;

    uint32_t GetTypeId() override { return 2; }
    // The rest of the header after the type id: key derivation with a new
    // salt, cipher, segment size and the header's tag under the new key.
    bool WritePasswordCheck(IOutputStream& output) override;
    bool WriteEntryHeader(const std::wstring& folderPath, const EntryInfo& info,
                          IOutputStream& output) override;
    // Bodies travel in the sealed stream as they are: these pass bytes on.
    bool EncryptBlock(const uint8_t* data, int offset, int count, IOutputStream& output) override;
    // Reads the header after the type id and derives the key; false with
    // readError set when the header is damaged or too costly (Problem()
    // tells), false alone when its tag refuses the password.
    bool CheckPassword(bool& readError, IInputStream& input) override;
    bool ReadEntryHeader(EntryInfo& info, IInputStream& input) override;
    bool DecryptBlock(const uint8_t* data, int offset, int count, IOutputStream& output) override;
    void CryptBody(const uint8_t* input, uint8_t* output, size_t count) override;

    SealedHeaderProblem Problem() const { return problem_; }
    uint32_t SegmentBytes() const { return segmentBytes_; }
    // Enciphers count bytes in place and puts their tag after them (the
    // buffer holds count + kTagBytes). Segments are numbered from 0.
    bool SealSegment(uint64_t index, bool last, uint8_t* data, size_t count);
    // Deciphers count bytes (ciphertext followed by its tag) from input into
    // output (count - kTagBytes bytes; the same buffer is allowed); false,
    // and output holds nothing usable, when the tag does not check.
    bool OpenSegment(uint64_t index, bool last, const uint8_t* input, size_t count,
                     uint8_t* output);

private:
    class CCipher;
    bool DeriveKey(const KdfParameters& kdf, const uint8_t* salt);
    bool HeaderTag(uint8_t* tag);

    std::wstring password_;
    KdfParameters kdf_;
    uint8_t salt_[kSaltBytes] = {};
    uint8_t key_[kKeyBytes] = {};
    uint32_t segmentBytes_ = kSegmentBytes;
    // The header as it stands in the file, tag included: every segment's
    // associated data.
    uint8_t header_[kSealedHeaderBytes] = {};
    std::unique_ptr<CCipher> cipher_;
    SealedHeaderProblem problem_ = SealedHeaderProblem::None;
};

// True when the crypto library is there and started (it is started once,
// on first use); false leaves only the old format.
bool StartCryptoLibrary();
