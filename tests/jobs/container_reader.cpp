// Container reading and writing for tests, straight on the engine.
#include "container_reader.h"

#include "engine/container.h"

#include <algorithm>

namespace testing_support {

bool ReadContainer(const std::wstring& path, const std::wstring& password,
                   std::vector<StoredEntry>& entries) {
    CBufferedFileInputStream file(8192);
    if (!file.Open(path))
        return false;
    IInputStream& input = static_cast<CBufferedInputStream&>(file);
    std::unique_ptr<EncFile> codec = OpenEncFile(password, input);
    bool readError = false;
    if (!codec || !codec->CheckPassword(readError, input))
        return false;
    while (!file.IsAtEnd() || file.Available() > 0) {
        EntryInfo info;
        if (!codec->ReadEntryHeader(info, input))
            return false;
        StoredEntry entry;
        entry.isFile = info.isFile;
        entry.folderPath = info.folderPath;
        entry.name = info.name;
        entry.size = info.size;
        if (info.isFile && info.size > 0) {
            Bytes cipherText(static_cast<size_t>(info.size));
            if (input.Read(cipherText.data(), 0, static_cast<int>(info.size)) != info.size)
                return false;
            struct Sink : IOutputStream {
                Bytes* out;
                int Write(const uint8_t* d, int o, int c) override {
                    out->insert(out->end(), d + o, d + o + c);
                    return c;
                }
                bool Close() override { return true; }
                bool Flush() override { return true; }
            } sink;
            sink.out = &entry.data;
            codec->DecryptBlock(cipherText.data(), 0, static_cast<int>(info.size), sink);
        }
        entries.push_back(entry);
    }
    return true;
}

bool WriteContainer(const std::wstring& path, const std::wstring& password,
                    const std::vector<StoredEntry>& entries) {
    CBufferedFileOutputStream file(65536);
    if (!file.Open(path, false))
        return false;
    IOutputStream& output = static_cast<CBufferedOutputStream&>(file);
    RC4EncStdFile codec(password);
    if (!codec.WriteHeader(output))
        return false;
    for (const StoredEntry& entry : entries) {
        EntryInfo info;
        info.isFile = entry.isFile;
        info.name = entry.name;
        info.size = entry.size;
        if (!codec.WriteEntryHeader(entry.folderPath, info, output))
            return false;
        if (entry.isFile && !entry.data.empty() &&
            !codec.EncryptBlock(entry.data.data(), 0, static_cast<int>(entry.data.size()), output))
            return false;
    }
    return output.Close();
}

StoredEntry FileRecord(const std::wstring& folderPath, const std::wstring& name,
                       const Bytes& data) {
    StoredEntry e;
    e.isFile = true;
    e.folderPath = folderPath;
    e.name = name;
    e.size = static_cast<int64_t>(data.size());
    e.data = data;
    return e;
}

StoredEntry FolderRecord(const std::wstring& folderPath, const std::wstring& name) {
    StoredEntry e;
    e.folderPath = folderPath;
    e.name = name;
    return e;
}

} // namespace testing_support
