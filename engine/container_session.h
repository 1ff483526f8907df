// One container file from start to end, for everyone who writes or reads
// one: the two jobs, the encryption's read-back check, the benchmark and
// the tests. The byte format is the codec's; a session adds what every user
// of it needs: the file itself, a `CBufferedFileOutputStream` or
// `CBufferedFileInputStream` that writes behind or reads ahead on a thread
// of its own in 1 MiB blocks while the caller's thread enciphers straight
// into and out of those blocks, the protocol order (a body of exactly the
// size its record gives), the shared rule for stored names, a running
// checksum of the bytes and the system's reason for the first failure.
//
// Both formats go through the same sessions. In the authenticated one the
// session seals and opens the segments: offsets (Position, SeekToRecord,
// Size) then count the plain stream of records and bodies, and a segment
// whose tag fails hands out nothing and makes Tampered() true.
#pragma once

#include "engine/checksum.h"
#include "engine/container.h"
#include "engine/sealed_format.h"
#include "engine/streams.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Writes a new container. Every operation returns false once anything has
// failed; LastError then tells the system's reason of the first failure
// (ERROR_INVALID_NAME for a name a reader would refuse, ERROR_INVALID_DATA
// for a body longer or shorter than its record says).
class CContainerWriter {
public:
    CContainerWriter(const std::wstring& password, ContainerFormat format);
    ~CContainerWriter();
    CContainerWriter(const CContainerWriter&) = delete;
    CContainerWriter& operator=(const CContainerWriter&) = delete;

    // Creates the file; fails when anything already has the name.
    bool Create(const std::wstring& path);
    // The header. Refuses a password no reader accepts. For the
    // authenticated format this derives the key (most of a second).
    bool WriteHeader();
    // A folder record; the folder path starts with "/" and uses '/'.
    bool AddFolder(const std::wstring& folderPath, const std::wstring& name);
    // A file record; exactly size body bytes must follow through WriteBody.
    bool AddFile(const std::wstring& folderPath, const std::wstring& name, int64_t modifiedTime,
                 uint64_t size);
    // Enciphers count bytes of data into the container (data stays as it
    // is) and appends them to the body.
    bool WriteBody(const uint8_t* data, size_t count);
    // Everything written so far reaches the device; the file stays open.
    // An authenticated container is complete afterwards: its last segment
    // is sealed, and nothing more can be added.
    bool Commit();
    // Writes what is pending and closes the file; true when every byte got
    // through. Closing a second time does nothing.
    bool Close();

    bool Failed() const { return error_ != ERROR_SUCCESS; }
    DWORD LastError() const { return error_; }
    // Bytes handed to the file: its size once closed.
    uint64_t BytesWritten() const { return written_; }
    uint64_t RecordCount() const { return records_; }
    // Of every byte handed to the file, in order; complete after Commit or
    // Close.
    uint64_t Checksum() const { return checksum_.Value(); }

private:
    class CHeaderSink;
    bool Fail(DWORD error);
    // Into the current block, enciphered as body bytes or as they are.
    bool Append(const uint8_t* data, size_t count, bool encipher);
    // Hands the current block to the write-behind and takes a new one.
    bool Submit();
    bool BodyComplete();
    // Seals the segment being filled and hands it on.
    bool SealSegment(bool last);
    // Seals the last segment of an authenticated container, once.
    bool Finish();

    std::unique_ptr<EncFile> codec_;
    AesGcmEncFile* sealed_ = nullptr; // codec_, when authenticated
    bool passwordFits_;
    bool inSegments_ = false; // the header is out; segments follow
    bool finished_ = false;   // the last segment is sealed
    uint64_t segment_ = 0;    // number of the segment being filled
    // Before the file: its write-behind sums into it until it stops.
    CByteChecksum checksum_;
    // Written in blocks only; its byte buffer is the smallest there is.
    CBufferedFileOutputStream file_{1};
    uint64_t written_ = 0;
    uint64_t records_ = 0;
    uint64_t bodyLeft_ = 0;
    DWORD error_ = ERROR_SUCCESS;
};

// What the header of a container says about a password.
enum class HeaderCheck {
    Matches,
    WrongPassword,
    Damaged,       // check block length outside 1..1024, or the file ends in it
    NotAContainer, // type id missing or not one this program knows
    ReadFailed,    // the system could not read the file (LastError)
    BeyondLimits,  // the key derivation asks for more than a reader allows
};

// What became of reading the next record header.
enum class RecordRead {
    Ok,
    Damaged,     // cut off, empty strings, a negative size, or a read error
    BodyPastEnd, // the record claims more body bytes than the file has left
};

// Reads a container. The file is held open with read sharing only, so
// nobody can change it while a job reads it.
class CContainerReader {
public:
    CContainerReader();
    ~CContainerReader();
    CContainerReader(const CContainerReader&) = delete;
    CContainerReader& operator=(const CContainerReader&) = delete;

    // With readAhead a thread reads the file ahead of the caller (for a
    // walk over every byte); without, every read is the caller's own (for a
    // walk over headers that passes over bodies).
    bool Open(const std::wstring& path, bool readAhead = false);
    void Close();
    // The header; keys the body cipher on a match. Several readers of one
    // container on a thread with a ScopedDerivedKeys derive its key once.
    HeaderCheck CheckHeader(const std::wstring& password);
    // True when every byte of the file has been read or skipped. Never
    // for a container found changed: its end is not where it seems.
    bool AtEnd() const { return position_ == size_ && !tampered_; }
    // The next record header. The previous body must have been read or
    // skipped whole.
    RecordRead NextRecord(EntryInfo& entry);
    // Up to count bytes of the current body, deciphered into data; 0 at the
    // end of the body or on a read error.
    size_t ReadBody(uint8_t* data, size_t count);
    // The same without deciphering; the body keystream stays where it was,
    // so a reader that does this only checks, it cannot decipher later bodies.
    // (Authenticated bodies are plain inside their checked segments: the
    // same as ReadBody.)
    size_t ReadRawBody(uint8_t* data, size_t count);
    // Passes over the rest of the current body without reading it. The
    // checksum and the keystream no longer follow the file afterwards.
    bool SkipBody();
    // Goes back to the record that starts at offset (an earlier Position()
    // taken right before a NextRecord), for a walk over headers only.
    bool SeekToRecord(uint64_t offset);

    uint64_t Size() const { return size_; }
    uint64_t Position() const { return position_; }
    uint64_t BytesLeft() const { return size_ - position_; }
    uint64_t BodyLeft() const { return bodyLeft_; }
    bool Authenticated() const { return sealed_ != nullptr; }
    // A segment failed its tag, or the file's length cannot be the sealed
    // stream's: the container is damaged or was changed after it was written.
    bool Tampered() const { return tampered_; }
    // How many bytes of the file the checksum covers.
    uint64_t ChecksumLength() const { return checksum_.Length(); }
    DWORD LastError() const { return error_; }
    // Of every byte read so far, in order; meaningful only without skips.
    uint64_t Checksum() const { return checksum_.Value(); }
    bool ChecksumCoversAll() const { return !skipped_; }

private:
    class CSourceStream;
    // Up to count bytes into data, deciphered when decipher is set.
    size_t Read(uint8_t* data, size_t count, bool decipher = false);
    bool Refill();
    // Up to count bytes from the file's own position; summed when sum is set.
    size_t ReadFromFile(uint8_t* data, size_t count, bool sum = true);
    // After an authenticated header: the plain stream's size, segment 0 next.
    void StartSegments();
    // Reads, checks and deciphers segment k into plain_.
    bool LoadSegment(uint64_t k);
    bool Tamper();
    // The file's own position to offset, the read-ahead stopped.
    bool MoveFileTo(uint64_t offset);

    // Read in blocks or into buffer_; its own byte buffer is the smallest
    // there is.
    CBufferedFileInputStream file_{1};
    std::unique_ptr<EncFile> codec_;
    AesGcmEncFile* sealed_ = nullptr; // codec_, when authenticated
    std::vector<uint8_t> plain_;      // the segment at hand, deciphered
    uint64_t fileSize_ = 0;
    uint64_t streamStart_ = 0; // file offset of segment 0
    uint64_t segmentCount_ = 0;
    uint64_t loaded_ = UINT64_MAX; // the segment in plain_
    uint64_t nextRaw_ = 0;         // the segment the file delivers next
    bool tampered_ = false;
    bool readAhead_ = false;
    std::vector<uint8_t> buffer_;
    const uint8_t* data_ = nullptr; // the bytes at hand: buffer_ or a read-ahead block
    size_t bufferPos_ = 0;
    size_t bufferEnd_ = 0;
    uint64_t size_ = 0;
    uint64_t position_ = 0; // offset of the next byte handed out
    uint64_t bodyLeft_ = 0;
    CByteChecksum checksum_;
    bool skipped_ = false;
    DWORD error_ = ERROR_SUCCESS;
};
