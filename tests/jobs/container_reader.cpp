// Container reading and writing for tests, straight on the engine.
#include "container_reader.h"

#include "engine/container.h"
#include "engine/container_session.h"

#include <algorithm>

namespace testing_support {

bool ReadContainer(const std::wstring& path, const std::wstring& password,
                   std::vector<StoredEntry>& entries) {
    ContainerReader reader;
    if (!reader.Open(path) || reader.CheckHeader(password) != HeaderCheck::Matches)
        return false;
    while (!reader.AtEnd()) {
        EntryInfo info;
        if (reader.NextRecord(info) != RecordRead::Ok)
            return false;
        StoredEntry entry;
        entry.isFile = info.isFile;
        entry.folderPath = info.folderPath;
        entry.name = info.name;
        entry.size = info.size;
        entry.data.resize(static_cast<size_t>(info.size));
        for (size_t done = 0; done < entry.data.size();) {
            const size_t got = reader.ReadBody(entry.data.data() + done, entry.data.size() - done);
            if (got == 0)
                return false;
            done += got;
        }
        entries.push_back(entry);
    }
    return true;
}

bool WriteContainer(const std::wstring& path, const std::wstring& password,
                    const std::vector<StoredEntry>& entries, ContainerFormat format) {
    if (format == ContainerFormat::Authenticated) {
        DeleteFileW(path.c_str());
        ContainerWriter writer(password, format);
        bool ok = writer.Create(path) && writer.WriteHeader();
        for (const StoredEntry& entry : entries) {
            if (!ok)
                break;
            ok = entry.isFile
                     ? writer.AddFile(entry.folderPath, entry.name, 0, entry.data.size()) &&
                           writer.WriteBody(entry.data.data(), entry.data.size())
                     : writer.AddFolder(entry.folderPath, entry.name);
        }
        return writer.Commit() && writer.Close() && ok;
    }
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
