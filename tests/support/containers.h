// Containers for tests, straight on the engine: one builder that lays
// records out through the codec in either format, as sound or as hostile as
// a test wants them, and one reader that gives every record back through the
// engine's reader, so tests check what was written without the decryption
// job.
#pragma once

#include "engine/container.h"
#include "engine/container_session.h"
#include "support/test_files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct StoredEntry {
    bool isFile = false;
    std::wstring folderPath;
    std::wstring name;
    // What the record says; the builder writes data after it whatever it
    // says, so a record can lie about its body.
    int64_t size = 0;
    Bytes data;
    int64_t modifiedTime = 0;
};

// A file record with its body, and a folder record.
StoredEntry FileRecord(const std::wstring& folderPath, const std::wstring& name, const Bytes& data);
StoredEntry FolderRecord(const std::wstring& folderPath, const std::wstring& name);

// Where the parts of a built container end, as offsets in the stream the
// codec writes (the file itself in the old format, the plain stream before
// it is sealed in the authenticated one).
struct ContainerLayout {
    struct Record {
        size_t start, headerEnd, bodyEnd;
    };
    size_t headerEnd = 0;
    std::vector<Record> records;
    // False when the codec refused a record header; such a record stands as
    // the single terminator a damaged container would hold in its place.
    bool everyRecordWritten = true;
};

// The container's bytes: header, then each record and its data through the
// codec; in the authenticated format the record stream is then sealed in
// segments as the writer seals them. Nothing checks that a reader would
// restore the records: tests of the reader's refusals need exactly that.
Bytes BuildContainer(const std::wstring& password, const std::vector<StoredEntry>& entries,
                     ContainerFormat format = ContainerFormat::Legacy,
                     ContainerLayout* layout = nullptr);
// BuildContainer into a file; false when a record was refused or the file
// could not be written.
bool WriteContainer(const std::wstring& path, const std::wstring& password,
                    const std::vector<StoredEntry>& entries,
                    ContainerFormat format = ContainerFormat::Legacy);

// Every record of an opened container, bodies asked for in pieces of at most
// `piece` bytes. False when the password does not match or a record or body
// cannot be read to its end.
bool ReadRecords(CContainerReader& reader, const std::wstring& password,
                 std::vector<StoredEntry>& entries, size_t piece = 1 << 16);
// The same on a file; false too when it cannot be opened.
bool ReadContainer(const std::wstring& path, const std::wstring& password,
                   std::vector<StoredEntry>& entries);

} // namespace testing_support
