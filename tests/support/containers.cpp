// The container builder and reader of the tests. The builder drives the
// codec itself rather than the writer: the writer refuses what a reader
// would refuse, and the reader's refusals are what many tests need to see.
#include "support/containers.h"

#include "engine/memory_streams.h"
#include "engine/sealed_format.h"

#include <algorithm>
#include <memory>

namespace testing_support {

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

namespace {

// The record stream cut into segments and sealed, as the writer does it: a
// full segment is the last one only when nothing follows it, and a stream
// without records still gets one empty segment.
Bytes Sealed(AesGcmEncFile& codec, const Bytes& stream, size_t headerEnd) {
    Bytes container(stream.begin(), stream.begin() + headerEnd);
    const size_t plain = stream.size() - headerEnd;
    for (size_t k = 0, at = 0; k == 0 || at < plain; ++k) {
        const size_t count = std::min<size_t>(kSegmentBytes, plain - at);
        Bytes segment(stream.begin() + headerEnd + at, stream.begin() + headerEnd + at + count);
        segment.resize(count + kTagBytes);
        at += count;
        codec.SealSegment(k, at == plain, segment.data(), count);
        container.insert(container.end(), segment.begin(), segment.end());
    }
    return container;
}

} // namespace

Bytes BuildContainer(const std::wstring& password, const std::vector<StoredEntry>& entries,
                     ContainerFormat format, ContainerLayout* layout) {
    ContainerLayout unused;
    ContainerLayout& parts = layout ? *layout : unused;
    parts = ContainerLayout();
    engine_testing::MemorySink sink;
    std::unique_ptr<EncFile> codec;
    if (format == ContainerFormat::Authenticated)
        codec = std::make_unique<AesGcmEncFile>(password);
    else
        codec = std::make_unique<RC4EncStdFile>(password);
    codec->WriteHeader(sink);
    parts.headerEnd = sink.bytes.size();
    for (const StoredEntry& entry : entries) {
        EntryInfo info;
        info.isFile = entry.isFile;
        info.name = entry.name;
        info.size = entry.size;
        info.modifiedTime = entry.modifiedTime;
        ContainerLayout::Record record;
        record.start = sink.bytes.size();
        // The codec refuses empty strings: an empty folder path is written
        // as the root, and a header it refuses as the single terminator a
        // damaged container would hold.
        if (entry.folderPath.empty())
            parts.everyRecordWritten = false;
        if (!codec->WriteEntryHeader(entry.folderPath.empty() ? L"/" : entry.folderPath, info,
                                     sink)) {
            sink.bytes.push_back(0);
            parts.everyRecordWritten = false;
        }
        record.headerEnd = sink.bytes.size();
        if (entry.isFile && !entry.data.empty())
            codec->EncryptBlock(entry.data.data(), 0, static_cast<int>(entry.data.size()), sink);
        record.bodyEnd = sink.bytes.size();
        parts.records.push_back(record);
    }
    if (format != ContainerFormat::Authenticated)
        return sink.bytes;
    return Sealed(static_cast<AesGcmEncFile&>(*codec), sink.bytes, parts.headerEnd);
}

bool WriteContainer(const std::wstring& path, const std::wstring& password,
                    const std::vector<StoredEntry>& entries, ContainerFormat format) {
    ContainerLayout layout;
    const Bytes bytes = BuildContainer(password, entries, format, &layout);
    return layout.everyRecordWritten && WriteFileBytes(path, bytes);
}

bool ReadRecords(CContainerReader& reader, const std::wstring& password,
                 std::vector<StoredEntry>& entries, size_t piece) {
    if (reader.CheckHeader(password) != HeaderCheck::Matches)
        return false;
    Bytes block(piece);
    while (!reader.AtEnd()) {
        EntryInfo info;
        if (reader.NextRecord(info) != RecordRead::Ok)
            return false;
        StoredEntry entry{info.isFile, info.folderPath,  info.name, info.size,
                          {},          info.modifiedTime};
        while (reader.BodyLeft() > 0) {
            const size_t got = reader.ReadBody(block.data(), piece);
            if (got == 0)
                return false;
            entry.data.insert(entry.data.end(), block.begin(), block.begin() + got);
        }
        entries.push_back(entry);
    }
    return true;
}

bool ReadContainer(const std::wstring& path, const std::wstring& password,
                   std::vector<StoredEntry>& entries) {
    CContainerReader reader;
    return reader.Open(path) && ReadRecords(reader, password, entries);
}

} // namespace testing_support
