// The authenticated container's header, key derivation and segment seal,
// on libgcrypt (Argon2id, AES-256-GCM) and the system's random generator.
#include "engine/sealed_format.h"

#include <windows.h>

#include <bcrypt.h>
#include <gcrypt.h>

#include <cstring>
#include <thread>

KdfParameters g_newContainerKdf = kDefaultKdf;

namespace {

constexpr uint8_t kKdfArgon2id = 1;
constexpr uint8_t kCipherAes256Gcm = 1;
// The last byte of every nonce: what the tag seals.
constexpr uint8_t kNonceSegment = 0;
constexpr uint8_t kNonceLastSegment = 1;
constexpr uint8_t kNonceHeader = 2;
// Where the header tag starts: everything before it is its associated data.
constexpr size_t kHeaderTagAt = kSealedHeaderBytes - kTagBytes;

thread_local ScopedDerivedKeys* t_keyScope = nullptr;

void PutUInt32(uint8_t* to, uint32_t value) {
    to[0] = static_cast<uint8_t>(value >> 24);
    to[1] = static_cast<uint8_t>(value >> 16);
    to[2] = static_cast<uint8_t>(value >> 8);
    to[3] = static_cast<uint8_t>(value);
}

uint32_t GetUInt32(const uint8_t* from) {
    return (uint32_t(from[0]) << 24) | (uint32_t(from[1]) << 16) | (uint32_t(from[2]) << 8) |
           uint32_t(from[3]);
}

// 64-bit segment number, three zero bytes, then what the tag seals.
void MakeNonce(uint64_t index, uint8_t kind, uint8_t nonce[12]) {
    for (int k = 0; k < 8; ++k)
        nonce[k] = static_cast<uint8_t>(index >> (56 - 8 * k));
    nonce[8] = nonce[9] = nonce[10] = 0;
    nonce[11] = kind;
}

bool WithinLimits(const KdfParameters& kdf) {
    return kdf.lanes >= 1 && kdf.lanes <= kMaxKdfLanes && kdf.passes >= 1 &&
           kdf.passes <= kMaxKdfPasses && kdf.memoryKiB >= 8 * kdf.lanes &&
           kdf.memoryKiB <= kMaxKdfMemoryKiB &&
           uint64_t(kdf.memoryKiB) * kdf.passes <= kMaxKdfWorkKiB;
}

// Argon2id runs its lanes of each slice side by side on threads of ours;
// the library asks for them one job at a time and waits for them all.
class CKdfThreads {
public:
    ~CKdfThreads() { WaitAll(this); }
    gcry_kdf_thread_ops_t Ops() { return {this, &Dispatch, &WaitAll}; }

private:
    static int Dispatch(void* context, gcry_kdf_job_fn_t job, void* priv) {
        auto* self = static_cast<CKdfThreads*>(context);
        try {
            self->threads_.emplace_back(job, priv);
        } catch (...) {
            job(priv); // no thread to be had: the job runs here, slower
        }
        return 0;
    }
    static int WaitAll(void* context) {
        auto* self = static_cast<CKdfThreads*>(context);
        for (std::thread& thread : self->threads_)
            thread.join();
        self->threads_.clear();
        return 0;
    }

    std::vector<std::thread> threads_;
};

bool DeriveArgon2id(const std::string& password, const KdfParameters& kdf, const uint8_t* salt,
                    uint8_t key[kKeyBytes]) {
    const unsigned long params[4] = {kKeyBytes, kdf.passes, kdf.memoryKiB, kdf.lanes};
    gcry_kdf_hd_t kdfHandle = nullptr;
    if (gcry_kdf_open(&kdfHandle, GCRY_KDF_ARGON2, GCRY_KDF_ARGON2ID, params, 4, password.data(),
                      password.size(), salt, kSaltBytes, nullptr, 0, nullptr, 0))
        return false;
    CKdfThreads threads;
    const gcry_kdf_thread_ops_t ops = threads.Ops();
    const bool ok = !gcry_kdf_compute(kdfHandle, kdf.lanes > 1 ? &ops : nullptr) &&
                    !gcry_kdf_final(kdfHandle, kKeyBytes, key);
    gcry_kdf_close(kdfHandle);
    return ok;
}

} // namespace

// ---------------------------------------------------------------------------

bool StartCryptoLibrary() {
    static const bool started = [] {
        if (!gcry_check_version(GCRYPT_VERSION))
            return false;
        // Locked memory pages are a POSIX notion here; secrets are wiped instead.
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    return started;
}

struct ScopedDerivedKeys::Entry {
    std::string password; // UTF-8
    KdfParameters kdf;
    uint8_t salt[kSaltBytes];
    uint8_t key[kKeyBytes];
};

ScopedDerivedKeys::ScopedDerivedKeys() : outer_(t_keyScope) {
    t_keyScope = this;
}

ScopedDerivedKeys::~ScopedDerivedKeys() {
    for (Entry& entry : entries_) {
        WipeSecret(entry.password);
        WipeSecret(entry.key, kKeyBytes);
    }
    t_keyScope = outer_;
}

// ---------------------------------------------------------------------------

class AesGcmEncFile::CCipher {
public:
    explicit CCipher(const uint8_t* key) {
        if (gcry_cipher_open(&handle_, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_GCM, 0) ||
            gcry_cipher_setkey(handle_, key, kKeyBytes)) {
            Close();
        }
    }
    ~CCipher() { Close(); }
    CCipher(const CCipher&) = delete;
    CCipher& operator=(const CCipher&) = delete;

    bool Usable() const { return handle_ != nullptr; }
    // Starts a message under the nonce with its associated data.
    bool Start(uint64_t index, uint8_t kind, const uint8_t* associated, size_t length) {
        uint8_t nonce[12];
        MakeNonce(index, kind, nonce);
        return handle_ && !gcry_cipher_reset(handle_) && !gcry_cipher_setiv(handle_, nonce, 12) &&
               !gcry_cipher_authenticate(handle_, associated, length) &&
               !gcry_cipher_final(handle_);
    }
    bool Encrypt(uint8_t* data, size_t count) {
        return count == 0 || !gcry_cipher_encrypt(handle_, data, count, nullptr, 0);
    }
    bool Decrypt(const uint8_t* input, uint8_t* output, size_t count) {
        if (count == 0)
            return true;
        if (input == output)
            return !gcry_cipher_decrypt(handle_, output, count, nullptr, 0);
        return !gcry_cipher_decrypt(handle_, output, count, input, count);
    }
    bool GetTag(uint8_t* tag) { return !gcry_cipher_gettag(handle_, tag, kTagBytes); }
    bool CheckTag(const uint8_t* tag) { return !gcry_cipher_checktag(handle_, tag, kTagBytes); }

private:
    void Close() {
        if (handle_)
            gcry_cipher_close(handle_);
        handle_ = nullptr;
    }
    gcry_cipher_hd_t handle_ = nullptr;
};

AesGcmEncFile::AesGcmEncFile(const std::wstring& password) : password_(password) {}

AesGcmEncFile::~AesGcmEncFile() {
    cipher_.reset();
    WipeSecret(password_);
    WipeSecret(key_, sizeof(key_));
}

bool AesGcmEncFile::DeriveKey(const KdfParameters& kdf, const uint8_t* salt) {
    cipher_.reset();
    if (!StartCryptoLibrary())
        return false;
    std::string password = WideToUtf8(password_);
    bool derived = false;
    for (ScopedDerivedKeys* scope = t_keyScope; scope && !derived; scope = scope->outer_) {
        for (const ScopedDerivedKeys::Entry& entry : scope->entries_) {
            if (entry.password == password && entry.kdf.memoryKiB == kdf.memoryKiB &&
                entry.kdf.passes == kdf.passes && entry.kdf.lanes == kdf.lanes &&
                std::memcmp(entry.salt, salt, kSaltBytes) == 0) {
                std::memcpy(key_, entry.key, kKeyBytes);
                derived = true;
                break;
            }
        }
    }
    if (!derived) {
        derived = DeriveArgon2id(password, kdf, salt, key_);
        if (derived && t_keyScope) {
            ScopedDerivedKeys::Entry entry{password, kdf, {}, {}};
            std::memcpy(entry.salt, salt, kSaltBytes);
            std::memcpy(entry.key, key_, kKeyBytes);
            t_keyScope->entries_.push_back(std::move(entry));
            WipeSecret(entry.password);
            WipeSecret(entry.key, kKeyBytes);
        }
    }
    WipeSecret(password);
    if (!derived)
        return false;
    cipher_ = std::make_unique<CCipher>(key_);
    return cipher_->Usable();
}

bool AesGcmEncFile::HeaderTag(uint8_t* tag) {
    return cipher_->Start(0, kNonceHeader, header_, kHeaderTagAt) && cipher_->GetTag(tag);
}

bool AesGcmEncFile::WritePasswordCheck(IOutputStream& output) {
    if (!PasswordFitsCheckBlock(password_))
        return false;
    const KdfParameters kdf = g_newContainerKdf;
    if (!WithinLimits(kdf))
        return false;
    uint8_t salt[kSaltBytes];
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, salt, kSaltBytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)) ||
        !DeriveKey(kdf, salt))
        return false;
    kdf_ = kdf;
    std::memcpy(salt_, salt, kSaltBytes);
    segmentBytes_ = kSegmentBytes;

    uint8_t* h = header_;
    PutUInt32(h, GetTypeId());
    h[4] = kKdfArgon2id;
    PutUInt32(h + 5, kdf.memoryKiB);
    PutUInt32(h + 9, kdf.passes);
    PutUInt32(h + 13, kdf.lanes);
    std::memcpy(h + 17, salt, kSaltBytes);
    h[49] = kCipherAes256Gcm;
    PutUInt32(h + 50, segmentBytes_);
    if (!HeaderTag(h + kHeaderTagAt))
        return false;
    // The type id is the caller's to write.
    const int count = static_cast<int>(kSealedHeaderBytes - 4);
    return output.Write(h + 4, 0, count) == count;
}

bool AesGcmEncFile::CheckPassword(bool& readError, IInputStream& input) {
    problem_ = SealedHeaderProblem::None;
    uint8_t* h = header_;
    PutUInt32(h, GetTypeId());
    const int count = static_cast<int>(kSealedHeaderBytes - 4);
    if (input.Read(h + 4, 0, count) != count || h[4] != kKdfArgon2id || h[49] != kCipherAes256Gcm) {
        problem_ = SealedHeaderProblem::Damaged;
        readError = true;
        return false;
    }
    KdfParameters kdf{GetUInt32(h + 5), GetUInt32(h + 9), GetUInt32(h + 13)};
    const uint32_t segmentBytes = GetUInt32(h + 50);
    if (!WithinLimits(kdf) || segmentBytes < kMinSegmentBytes || segmentBytes > kMaxSegmentBytes) {
        problem_ = SealedHeaderProblem::TooCostly;
        readError = true;
        return false;
    }
    if (!DeriveKey(kdf, h + 17)) {
        // Out of memory for the derivation, or no crypto library: the
        // password cannot be checked at all.
        problem_ = SealedHeaderProblem::TooCostly;
        readError = true;
        return false;
    }
    kdf_ = kdf;
    std::memcpy(salt_, h + 17, kSaltBytes);
    segmentBytes_ = segmentBytes;
    uint8_t tag[kTagBytes];
    const bool matches = HeaderTag(tag) && std::memcmp(tag, h + kHeaderTagAt, kTagBytes) == 0;
    if (!matches)
        cipher_.reset();
    return matches;
}

bool AesGcmEncFile::WriteEntryHeader(const std::wstring& folderPath, const EntryInfo& info,
                                     IOutputStream& output) {
    return WriteRecordHeader(folderPath, info, output);
}

bool AesGcmEncFile::ReadEntryHeader(EntryInfo& info, IInputStream& input) {
    return ReadRecordHeader(info, input);
}

bool AesGcmEncFile::EncryptBlock(const uint8_t* data, int offset, int count,
                                 IOutputStream& output) {
    return count >= 1 && output.Write(data, offset, count) == count;
}

bool AesGcmEncFile::DecryptBlock(const uint8_t* data, int offset, int count,
                                 IOutputStream& output) {
    return EncryptBlock(data, offset, count, output);
}

void AesGcmEncFile::CryptBody(const uint8_t* input, uint8_t* output, size_t count) {
    if (input != output)
        std::memmove(output, input, count);
}

bool AesGcmEncFile::SealSegment(uint64_t index, bool last, uint8_t* data, size_t count) {
    return cipher_ &&
           cipher_->Start(index, last ? kNonceLastSegment : kNonceSegment, header_,
                          kSealedHeaderBytes) &&
           cipher_->Encrypt(data, count) && cipher_->GetTag(data + count);
}

bool AesGcmEncFile::OpenSegment(uint64_t index, bool last, const uint8_t* input, size_t count,
                                uint8_t* output) {
    if (!cipher_ || count < kTagBytes)
        return false;
    const size_t plain = count - kTagBytes;
    uint8_t tag[kTagBytes];
    std::memcpy(tag, input + plain, kTagBytes);
    if (cipher_->Start(index, last ? kNonceLastSegment : kNonceSegment, header_,
                       kSealedHeaderBytes) &&
        cipher_->Decrypt(input, output, plain) && cipher_->CheckTag(tag))
        return true;
    // Nothing of a segment that failed its tag may be used.
    WipeSecret(output, plain);
    return false;
}
