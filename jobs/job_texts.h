// The texts the job workers report, named by their string-table entries: the
// wording lives in the resource script only. Failure texts are built by
// joining these pieces without separators, usually followed by the system's
// error text. LoadStringW only reads the mapped executable, so the workers
// load them on their own threads.
#pragma once

#include <string>
#include <utility>

#include "common/res_string.h"
#include "resources/resource.h"

namespace jobtext {

// Encryption.
inline constexpr CResText kWrite{IDS_JOB_WRITE};
inline constexpr CResText kWriteHeaderError{IDS_JOB_WRITE_HEADER_ERROR};
inline constexpr CResText kPasswordTooLong{IDS_JOB_PASSWORD_TOO_LONG};
inline constexpr CResText kEncryptError{IDS_JOB_ENCRYPT_ERROR};
inline constexpr CResText kContainerInsideItem{IDS_JOB_CONTAINER_INSIDE_ITEM};
inline constexpr CResText kContainerInsideItemEnd{IDS_JOB_CONTAINER_INSIDE_ITEM_END};
inline constexpr CResText kContainerIncomplete{IDS_JOB_CONTAINER_INCOMPLETE};
inline constexpr CResText kTheFile{IDS_JOB_THE_FILE};
inline constexpr CResText kCouldNotBeRead{IDS_JOB_COULD_NOT_BE_READ};
inline constexpr CResText kFileEndedEarly{IDS_JOB_FILE_ENDED_EARLY};
inline constexpr CResText kFileGrew{IDS_JOB_FILE_GREW};
inline constexpr CResText kTheFolder{IDS_JOB_THE_FOLDER};
inline constexpr CResText kCouldNotBeListed{IDS_JOB_COULD_NOT_BE_LISTED};
inline constexpr CResText kTheName{IDS_JOB_THE_NAME};
inline constexpr CResText kNameCannotBeStored{IDS_JOB_NAME_CANNOT_BE_STORED};
inline constexpr CResText kAnd{IDS_JOB_AND};
inline constexpr CResText kSameName{IDS_JOB_SAME_NAME};
inline constexpr CResText kGivenTwice{IDS_JOB_GIVEN_TWICE};
inline constexpr CResText kNothingToEncrypt{IDS_NOTHING_TO_ENCRYPT};
inline constexpr CResText kReadBackDiffers{IDS_JOB_READ_BACK_DIFFERS};
// Why a source stayed beside a complete container.
inline constexpr CResText kLeftChanged{IDS_JOB_LEFT_CHANGED};
inline constexpr CResText kLeftNotStored{IDS_JOB_LEFT_NOT_STORED};
inline constexpr CResText kLeftSameFile{IDS_JOB_LEFT_SAME_FILE};
inline constexpr CResText kLeftAdded{IDS_JOB_LEFT_ADDED};
inline constexpr CResText kLeftCouldNotDelete{IDS_JOB_LEFT_COULD_NOT_DELETE};
inline constexpr CResText kLeftMore{IDS_JOB_LEFT_MORE};
inline constexpr CResText kNotRecycled{IDS_JOB_NOT_RECYCLED};

// Decryption.
inline constexpr CResText kReadFile{IDS_JOB_READ_FILE};
inline constexpr CResText kErrorSuffix{IDS_JOB_ERROR_SUFFIX};
inline constexpr CResText kNotAContainer{IDS_NOT_DECRYPTABLE};
inline constexpr CResText kCheckPasswordError{IDS_JOB_CHECK_PASSWORD_ERROR};
inline constexpr CResText kInvalidPassword{IDS_WRONG_PASSWORD};
inline constexpr CResText kReadHeaderError{IDS_JOB_READ_HEADER_ERROR};
inline constexpr CResText kDecryptErrorTarget{IDS_JOB_DECRYPT_ERROR_TARGET};
inline constexpr CResText kDeleteSourceError{IDS_JOB_DELETE_SOURCE_ERROR};
inline constexpr CResText kTheEntry{IDS_JOB_THE_ENTRY};
inline constexpr CResText kEntryOutside{IDS_JOB_ENTRY_OUTSIDE};
inline constexpr CResText kNegativeSize{IDS_JOB_NEGATIVE_SIZE};
inline constexpr CResText kSizeBeyondEnd{IDS_JOB_SIZE_BEYOND_END};
inline constexpr CResText kStoredTwice{IDS_JOB_STORED_TWICE};
inline constexpr CResText kFileInTheWay{IDS_JOB_FILE_IN_THE_WAY};
inline constexpr CResText kFolderInTheWay{IDS_JOB_FOLDER_IN_THE_WAY};
inline constexpr CResText kReplacedKept{IDS_JOB_REPLACED_KEPT};
inline constexpr CResText kNoRecycleBin{IDS_JOB_NO_RECYCLE_BIN};
inline constexpr CResText kRestoredBeside{IDS_JOB_RESTORED_BESIDE};
inline constexpr CResText kContainerChanged{IDS_JOB_CONTAINER_CHANGED};
inline constexpr CResText kKeyBeyondLimits{IDS_JOB_KEY_BEYOND_LIMITS};

// Both.
inline constexpr CResText kOutOfMemory{IDS_JOB_OUT_OF_MEMORY};
inline constexpr CResText kUnexpected{IDS_JOB_UNEXPECTED};
inline constexpr CResText kUnexpectedDetail{IDS_JOB_UNEXPECTED_DETAIL};

} // namespace jobtext

// Called inside a catch-all: that the job stopped at an error nobody
// foresaw, with what a standard exception says about itself.
std::wstring UnexpectedFailureText();

// A job failure carrying the finished text the user will read; raised inside
// a worker and caught once at its top.
class CJobFailure {
public:
    explicit CJobFailure(std::wstring text) : text_(std::move(text)) {}
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};
