// The texts the job workers report, as the user reads them. Failure texts are
// built by joining these pieces without separators, usually followed by the
// system's error text. The resource string table holds the same wording for
// the texts the dialogs show themselves.
#pragma once

#include <string>
#include <utility>

namespace jobtext {

// Encryption.
constexpr wchar_t kWrite[] = L"Write ";
constexpr wchar_t kWriteHeaderError[] = L"Write encryption header error.";
constexpr wchar_t kPasswordTooLong[] =
    L"The password is too long: at most 1024 bytes (in UTF-8) are allowed.";
constexpr wchar_t kEncryptError[] = L"Encrypt error.";
constexpr wchar_t kContainerInsideItem[] =
    L"The container cannot be written inside the selected item ";
constexpr wchar_t kContainerInsideItemEnd[] =
    L", which is deleted once it is encrypted. Choose a place outside it.";
constexpr wchar_t kContainerIncomplete[] =
    L"The container on the disk does not hold every byte that was written.";
constexpr wchar_t kTheFile[] = L"The file ";
constexpr wchar_t kCouldNotBeRead[] = L" could not be read. ";
constexpr wchar_t kFileEndedEarly[] =
    L" ended before all of its bytes were read (it shrank while it was being encrypted).";
constexpr wchar_t kFileGrew[] = L" grew while it was being encrypted.";
constexpr wchar_t kTheFolder[] = L"The folder ";
constexpr wchar_t kCouldNotBeListed[] = L" could not be listed. ";
constexpr wchar_t kTheName[] = L"The name of ";
constexpr wchar_t kNameCannotBeStored[] =
    L" cannot be restored on Windows (it ends in a dot or a blank, is reserved for a device or "
    L"is too long). Rename it and try again.";
constexpr wchar_t kAnd[] = L" and ";
constexpr wchar_t kSameName[] =
    L" have the same name apart from letter case, and a folder on Windows holds only one of "
    L"them. Rename one and try again.";
constexpr wchar_t kNothingToEncrypt[] = L"Found no file/folder for encryption.";
constexpr wchar_t kReadBackDiffers[] =
    L"Reading the container back did not give what was written. Nothing was deleted.";
// Why a source stayed beside a complete container.
constexpr wchar_t kLeftChanged[] = L"changed after it was encrypted";
constexpr wchar_t kLeftNotStored[] = L"a link, not encrypted";
constexpr wchar_t kLeftAdded[] = L"holds items added while it was encrypted";
constexpr wchar_t kLeftCouldNotDelete[] = L"could not be deleted";
constexpr wchar_t kLeftMore[] = L"and %u more";

// Decryption.
constexpr wchar_t kReadFile[] = L"Read file ";
constexpr wchar_t kErrorSuffix[] = L" error.";
constexpr wchar_t kNotAContainer[] =
    L"The file couldn't be decrypted.(Maybe because the file wasn't encrypted or other reasons.)";
constexpr wchar_t kCheckPasswordError[] = L"Check pwd error.";
constexpr wchar_t kInvalidPassword[] = L"Invalid password.";
constexpr wchar_t kReadHeaderError[] = L"Read file header error.";
constexpr wchar_t kDecryptErrorTarget[] = L"Decrypt error, target:";
constexpr wchar_t kDeleteSourceError[] = L"Delete source file error.";
constexpr wchar_t kTheEntry[] = L"The entry ";
constexpr wchar_t kEntryOutside[] = L" would be restored outside the folder ";
constexpr wchar_t kNegativeSize[] = L"The entry records a negative size.";
constexpr wchar_t kSizeBeyondEnd[] = L"The container ends before the data of this file does.";
constexpr wchar_t kStoredTwice[] = L" is stored more than once.";
constexpr wchar_t kFileInTheWay[] = L"A file has the name this folder needs.";
constexpr wchar_t kFolderInTheWay[] = L"A folder has the name this file needs.";

// Both.
constexpr wchar_t kOutOfMemory[] = L"Not enough memory.";

} // namespace jobtext

// A job failure carrying the finished text the user will read; raised inside
// a worker and caught once at its top.
class JobFailure {
public:
    explicit JobFailure(std::wstring text) : text_(std::move(text)) {}
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};
