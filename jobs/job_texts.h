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
inline constexpr ResText kWrite{IDS_JOB_WRITE};
inline constexpr ResText kWriteHeaderError{IDS_JOB_WRITE_HEADER_ERROR};
inline constexpr ResText kPasswordTooLong{IDS_JOB_PASSWORD_TOO_LONG};
inline constexpr ResText kEncryptError{IDS_JOB_ENCRYPT_ERROR};
inline constexpr ResText kContainerInsideItem{IDS_JOB_CONTAINER_INSIDE_ITEM};
inline constexpr ResText kContainerInsideItemEnd{IDS_JOB_CONTAINER_INSIDE_ITEM_END};
inline constexpr ResText kContainerIncomplete{IDS_JOB_CONTAINER_INCOMPLETE};
inline constexpr ResText kTheFile{IDS_JOB_THE_FILE};
inline constexpr ResText kCouldNotBeRead{IDS_JOB_COULD_NOT_BE_READ};
inline constexpr ResText kFileEndedEarly{IDS_JOB_FILE_ENDED_EARLY};
inline constexpr ResText kFileGrew{IDS_JOB_FILE_GREW};
inline constexpr ResText kTheFolder{IDS_JOB_THE_FOLDER};
inline constexpr ResText kCouldNotBeListed{IDS_JOB_COULD_NOT_BE_LISTED};
inline constexpr ResText kTheName{IDS_JOB_THE_NAME};
inline constexpr ResText kNameCannotBeStored{IDS_JOB_NAME_CANNOT_BE_STORED};
inline constexpr ResText kAnd{IDS_JOB_AND};
inline constexpr ResText kSameName{IDS_JOB_SAME_NAME};
inline constexpr ResText kGivenTwice{IDS_JOB_GIVEN_TWICE};
inline constexpr ResText kNothingToEncrypt{IDS_NOTHING_TO_ENCRYPT};
inline constexpr ResText kReadBackDiffers{IDS_JOB_READ_BACK_DIFFERS};
// Why a source stayed beside a complete container.
inline constexpr ResText kLeftChanged{IDS_JOB_LEFT_CHANGED};
inline constexpr ResText kLeftNotStored{IDS_JOB_LEFT_NOT_STORED};
inline constexpr ResText kLeftSameFile{IDS_JOB_LEFT_SAME_FILE};
inline constexpr ResText kLeftAdded{IDS_JOB_LEFT_ADDED};
inline constexpr ResText kLeftCouldNotDelete{IDS_JOB_LEFT_COULD_NOT_DELETE};
inline constexpr ResText kLeftMore{IDS_JOB_LEFT_MORE};
inline constexpr ResText kNotRecycled{IDS_JOB_NOT_RECYCLED};

// Decryption.
inline constexpr ResText kReadFile{IDS_JOB_READ_FILE};
inline constexpr ResText kErrorSuffix{IDS_JOB_ERROR_SUFFIX};
inline constexpr ResText kNotAContainer{IDS_NOT_DECRYPTABLE};
inline constexpr ResText kCheckPasswordError{IDS_JOB_CHECK_PASSWORD_ERROR};
inline constexpr ResText kInvalidPassword{IDS_WRONG_PASSWORD};
inline constexpr ResText kReadHeaderError{IDS_JOB_READ_HEADER_ERROR};
inline constexpr ResText kDecryptErrorTarget{IDS_JOB_DECRYPT_ERROR_TARGET};
inline constexpr ResText kDeleteSourceError{IDS_JOB_DELETE_SOURCE_ERROR};
inline constexpr ResText kTheEntry{IDS_JOB_THE_ENTRY};
inline constexpr ResText kEntryOutside{IDS_JOB_ENTRY_OUTSIDE};
inline constexpr ResText kNegativeSize{IDS_JOB_NEGATIVE_SIZE};
inline constexpr ResText kSizeBeyondEnd{IDS_JOB_SIZE_BEYOND_END};
inline constexpr ResText kStoredTwice{IDS_JOB_STORED_TWICE};
inline constexpr ResText kFileInTheWay{IDS_JOB_FILE_IN_THE_WAY};
inline constexpr ResText kFolderInTheWay{IDS_JOB_FOLDER_IN_THE_WAY};
inline constexpr ResText kReplacedKept{IDS_JOB_REPLACED_KEPT};
inline constexpr ResText kNoRecycleBin{IDS_JOB_NO_RECYCLE_BIN};
inline constexpr ResText kRestoredBeside{IDS_JOB_RESTORED_BESIDE};
inline constexpr ResText kContainerChanged{IDS_JOB_CONTAINER_CHANGED};
inline constexpr ResText kKeyBeyondLimits{IDS_JOB_KEY_BEYOND_LIMITS};

// Both.
inline constexpr ResText kOutOfMemory{IDS_JOB_OUT_OF_MEMORY};
inline constexpr ResText kUnexpected{IDS_JOB_UNEXPECTED};
inline constexpr ResText kUnexpectedDetail{IDS_JOB_UNEXPECTED_DETAIL};

} // namespace jobtext

// Called inside a catch-all: that the job stopped at an error nobody
// foresaw, with what a standard exception says about itself.
std::wstring UnexpectedFailureText();

// A job failure carrying the finished text the user will read; raised inside
// a worker and caught once at its top.
class JobFailure {
public:
    explicit JobFailure(std::wstring text) : text_(std::move(text)) {}
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};
