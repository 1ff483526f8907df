// Reads a container with the engine alone, so encryption tests check what
// was written without going through the decryption job.
#pragma once

#include "engine/container.h"
#include "support/test_files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct StoredEntry {
    bool isFile = false;
    std::wstring folderPath;
    std::wstring name;
    int64_t size = 0;
    Bytes data;
};

// A file record with its body, and a folder record.
StoredEntry FileRecord(const std::wstring& folderPath, const std::wstring& name, const Bytes& data);
StoredEntry FolderRecord(const std::wstring& folderPath, const std::wstring& name);

// False when the container cannot be opened, has another password, or its
// records do not run exactly to the end of the file.
bool ReadContainer(const std::wstring& path, const std::wstring& password,
                   std::vector<StoredEntry>& entries);

// Writes a container from hand-made records (bodies enciphered in order),
// for decryption tests with crafted content. The authenticated format goes
// through the writer, which takes only records a reader would restore.
bool WriteContainer(const std::wstring& path, const std::wstring& password,
                    const std::vector<StoredEntry>& entries,
                    ContainerFormat format = ContainerFormat::Legacy);

} // namespace testing_support
