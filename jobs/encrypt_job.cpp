// The encryption worker. The container is written under a temporary name
// beside its final path, committed to the device, moved into place and read
// back whole; only then are the sources deleted, and only those that are
// still exactly what was stored. Any doubt before that leaves every source
// and any earlier file at the container path as they were.
#include "jobs/encrypt_job.h"

#include "engine/container_session.h"
#include "engine/stored_name.h"
#include "jobs/job_internal.h"
#include "jobs/job_texts.h"
#include "jobs/packer.h"
#include "jobs/partial_container.h"
#include "jobs/stored_sources.h"

#include <winternl.h>

#include <algorithm>
#include <new>

IdentifyFileFunction g_identifyOpenedFile = IdentifyOpenedFile;

namespace {

void RefuseContainerInsideItems(const std::vector<CPathInfo>& items,
                                const std::wstring& containerPath) {
    if (const CPathInfo* holder = FindItemHoldingPath(items, containerPath))
        Fail(jobtext::kWrite + containerPath + L"." + jobtext::kContainerInsideItem +
             holder->PathWithSeparator() + jobtext::kContainerInsideItemEnd);
}

// Several items share one folder in the container, so their names must
// stay apart there. The same item given twice (also in another letter case
// or with a trailing separator) is told as such: renaming would not help.
// items are full paths; shown are the snapshots that name them in messages.
void RefuseItemsWithOneName(const std::vector<CPathInfo>& items,
                            const std::vector<CPathInfo>& shown) {
    std::vector<std::pair<std::wstring, size_t>> places;
    for (size_t i = 0; i < items.size(); ++i) {
        std::wstring path = items[i].GetPath();
        if (path.size() > 3 && path.back() == L'\\')
            path.pop_back();
        places.emplace_back(FoldCase(path), i);
    }
    std::sort(places.begin(), places.end());
    for (size_t i = 1; i < places.size(); ++i) {
        if (places[i].first == places[i - 1].first)
            Fail(jobtext::kEncryptError + shown[places[i - 1].second].PathWithSeparator() +
                 jobtext::kGivenTwice);
    }
    std::vector<std::wstring> names, paths;
    for (const CPathInfo& item : shown) {
        names.push_back(NameAsWindowsKeepsIt(item.GetName()));
        paths.push_back(item.PathWithSeparator());
    }
    const std::wstring collision = NamesThatCollide(names, paths);
    if (!collision.empty())
        Fail(jobtext::kEncryptError + collision);
}

// Handed to the worker; lives with RunEncryptJob until the worker has ended.
struct EncryptJobParams {
    const std::wstring& password;
    zelprogress::IProgressUpdate& progress;
    const std::vector<CPathInfo>& items;
    const std::wstring& containerPath;
    uint64_t totalSize;
    bool replaceExisting;
    bool replaceForGood;
    ContainerFormat format;
    EncryptionOutcome& outcome;
    std::wstring shownItem = {}; // the item being stored, for a failure nobody foresaw
};

void Encrypt(EncryptJobParams& params) {
    using namespace jobtext;
    const std::wstring containerPath = params.containerPath;
    EncryptionOutcome& outcome = params.outcome;
    auto& progress = params.progress;
    // Each item as the file system names it (a trailing dot or blank is
    // dropped, as Windows does); the snapshots the caller took name the
    // items in messages.
    std::vector<CPathInfo> items;
    for (const CPathInfo& item : params.items)
        items.emplace_back(GetFullPath(item.GetPath()));

    // Declared first so that it goes last, after the writer has let go of
    // the file.
    ScopedPartialContainer partial;
    // The read-back opens the container with the key the writer derived.
    ScopedDerivedKeys keys;
    CContainerWriter writer(params.password, params.format);
    RefuseContainerInsideItems(items, containerPath);
    if (NothingToStore(items))
        Fail(kNothingToEncrypt);
    if (items.size() > 1)
        RefuseItemsWithOneName(items, params.items);

    // A run that was stopped before may have left its temporary container;
    // nothing depends on it, since no source goes before the container is
    // complete.
    const NewFilePlace place = LookOverPlace(containerPath, kPartialMark);
    // Without the user's consent an existing file keeps the name; finding
    // out now spares writing a container that could not take its place.
    if (!params.replaceExisting && place.taken)
        Fail(kWrite + containerPath + L"." + SystemErrorText(ERROR_ALREADY_EXISTS));
    const std::wstring& partialPath = place.temporary;
    if (partialPath.empty() || !writer.Create(partialPath)) {
        const DWORD error = writer.Failed() ? writer.LastError() : place.error;
        Fail(kWrite + containerPath + L"." + SystemErrorText(error));
    }
    partial.path_ = partialPath;
    progress.SetTotal(params.totalSize);

    if (!writer.WriteHeader())
        Fail(kWriteHeaderError + (writer.LastError() == ERROR_INVALID_PASSWORD
                                      ? std::wstring(kPasswordTooLong)
                                      : SystemErrorText(writer.LastError())));
    std::wstring folderPath = L"/";
    if (items.size() > 1) {
        const std::wstring top = NameAsWindowsKeepsIt(GetStem(containerPath));
        if (!writer.AddFolder(folderPath, top))
            Fail(kEncryptError + SystemErrorText(writer.LastError()));
        folderPath += top;
    }
    CStoredSources stored;
    CPacker packer(writer, progress, containerPath, stored);
    for (size_t i = 0; i < items.size(); ++i) {
        params.shownItem = params.items[i].PathWithSeparator();
        packer.EncryptItem(folderPath, items[i], params.shownItem);
    }
    params.shownItem.clear();

    // Every byte must be on the device before the container takes its name.
    if (!writer.Commit() || !writer.Close())
        packer.WriterFailed();
    CPathInfo written(partialPath);
    if (!written.IsFile() || written.GetTotalSize() != writer.BytesWritten())
        Fail(kWrite + containerPath + L"." + kContainerIncomplete);
    // An earlier file the user agreed to replace goes to the Recycle Bin,
    // never straight to deletion: an earlier container may hold files that
    // exist nowhere else (a run stopped while it deleted its sources leaves
    // one). Where the bin cannot take it, nothing is replaced.
    const Replacing replacing = !params.replaceExisting ? Replacing::Nothing
                                : params.replaceForGood ? Replacing::EvenForGood
                                                        : Replacing::ToRecycleBin;
    switch (MoveIntoPlace(partialPath, containerPath, replacing)) {
    case MoveOutcome::Moved:
        break;
    case MoveOutcome::NotRecycled:
        Fail(kWrite + containerPath + L"." + kNotRecycled);
    case MoveOutcome::Failed:
        Fail(kWrite + containerPath + L"." + GetSystemErrorText());
    }
    partial.path_ = containerPath; // until it has been read back

    const ReadBack check = ReadContainerBack(containerPath, params.password, writer.RecordCount(),
                                             writer.BytesWritten(), writer.Checksum(), progress);
    if (check == ReadBack::Cancelled)
        Fail(std::wstring());
    if (check == ReadBack::Differs) {
        // The container stays for whoever wants to look at it; nothing is
        // deleted.
        partial.path_.clear();
        Fail(kWrite + containerPath + L"." + kReadBackDiffers);
    }
    partial.path_.clear();
    stored.DeleteUnchanged(progress, outcome.leftBehind);
}

// Thread entry; raw is an EncryptJobParams. Calls SetFinished exactly once.
DWORD WINAPI EncryptWorker(LPVOID raw) {
    auto* params = static_cast<EncryptJobParams*>(raw);
    EncryptionOutcome& outcome = params->outcome;
    JobResult reached = JobResult::Failed;
    try {
        Encrypt(*params);
        reached = JobResult::Succeeded;
    } catch (const CJobFailure& failure) {
        outcome.errorText = failure.Text();
    } catch (const std::bad_alloc&) {
        outcome.errorText = std::wstring(jobtext::kEncryptError) + jobtext::kOutOfMemory;
    } catch (...) {
        const std::wstring& item = params->shownItem;
        outcome.errorText =
            jobtext::kEncryptError + item + (item.empty() ? L"" : L"\n") + UnexpectedFailureText();
    }
    outcome.result = FinishJob(reached, outcome.errorText, params->progress);
    return 0;
}

} // namespace

EncryptionOutcome RunEncryptJob(const EncryptRequest& request, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, const JobStarter& start) {
    EncryptionOutcome outcome;
    EncryptJobParams params{password,
                            progress,
                            request.items,
                            request.containerPath,
                            request.totalSize,
                            request.replaceExisting,
                            request.replaceForGood,
                            request.format,
                            outcome};
    outcome.started = start(EncryptWorker, &params);
    return outcome;
}

bool IdentifyOpenedFile(HANDLE file, const std::wstring&, OpenedFileIdentity& identity) {
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
        return false;
    identity.attributes = tag.FileAttributes;
    // The index alone, from the file system: the calls that give it with the
    // volume's serial number ask the volume each time, which takes a quarter
    // of a millisecond per file under Wine.
    using QueryFunction = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
    constexpr ULONG kFileInternalInformation = 6;
    static const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    IO_STATUS_BLOCK status = {};
    LARGE_INTEGER index = {};
    if (query && query(file, &status, &index, sizeof index, kFileInternalInformation) >= 0) {
        identity.index = static_cast<uint64_t>(index.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return false;
    identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

ReadBack ReadContainerBack(const std::wstring& path, const std::wstring& password, uint64_t records,
                           uint64_t bytes, uint64_t checksum,
                           zelprogress::IProgressUpdate& progress) {
    CContainerReader reader;
    if (!reader.Open(path, true) || reader.CheckHeader(password) != HeaderCheck::Matches)
        return ReadBack::Differs;
    std::vector<uint8_t> block(kBlockBytes);
    uint64_t seen = 0;
    while (!reader.AtEnd()) {
        if (progress.IsCancelled())
            return ReadBack::Cancelled;
        EntryInfo entry;
        std::wstring folder;
        if (reader.NextRecord(entry) != RecordRead::Ok || !IsStorableName(entry.name) ||
            !RelativeFolderOf(entry.folderPath, folder))
            return ReadBack::Differs;
        while (reader.BodyLeft() > 0) {
            if (reader.ReadRawBody(block.data(), block.size()) == 0)
                return ReadBack::Differs;
        }
        ++seen;
    }
    const bool same = seen == records && reader.ChecksumLength() == bytes &&
                      reader.ChecksumCoversAll() && reader.Checksum() == checksum;
    return same ? ReadBack::Same : ReadBack::Differs;
}

std::wstring DescribeLeftItems(const std::vector<LeftItem>& items) {
    using namespace jobtext;
    constexpr size_t kShown = 5;
    std::wstring text;
    for (size_t i = 0; i < items.size() && i < kShown; ++i) {
        const LeftItem& item = items[i];
        text += L"\n" + item.path + L" (";
        switch (item.reason) {
        case LeftItem::Reason::Changed:
            text += kLeftChanged;
            break;
        case LeftItem::Reason::NotStored:
            text += kLeftNotStored;
            break;
        case LeftItem::Reason::SameFile:
            text += kLeftSameFile;
            break;
        case LeftItem::Reason::Added:
            text += kLeftAdded;
            break;
        case LeftItem::Reason::CouldNotDelete: {
            // It is in the container all the same; the system says why it stayed.
            std::wstring reason = WithoutLineEnd(SystemErrorText(item.error));
            if (!reason.empty() && reason.back() == L'.')
                reason.pop_back();
            text += kLeftCouldNotDelete;
            if (!reason.empty())
                text += L": " + reason;
            break;
        }
        }
        text += L")";
    }
    if (items.size() > kShown)
        text += L"\n" + FormatString(kLeftMore.Load().c_str(),
                                     static_cast<unsigned>(items.size() - kShown));
    return text;
}

std::wstring ContainerPathBesideItem(const CPathInfo& item) {
    const std::wstring& path = item.GetPath();
    if (IsRelativePath(path)) {
        CPathInfo full(GetFullPath(path));
        if (full.Exists())
            return ContainerPathBesideItem(full);
    }
    std::wstring folder = item.IsFile() ? item.GetFolder() : item.GetParent().GetFolder();
    return folder + NameAsWindowsKeepsIt(item.GetName()) + L".lock";
}

std::wstring DefaultContainerName(const CTimeStamp& when) {
    return FormatString(L"%d%d%d%d%d%d%s", when.Year(), when.Month(), when.Day(), when.Hour(),
                        when.Minute(), when.Second(), L".lock");
}

int SummarizeItems(const std::vector<CPathInfo>& items, std::wstring& listText,
                   uint64_t& totalSize) {
    listText.clear();
    totalSize = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].Exists())
            return static_cast<int>(i);
        listText += L',';
        listText += items[i].PathWithSeparator();
        totalSize += items[i].GetTotalSize();
    }
    if (!listText.empty())
        listText.erase(0, 1);
    return -1;
}

const CPathInfo* FindItemHoldingPath(const std::vector<CPathInfo>& items,
                                     const std::wstring& containerPath) {
    for (const CPathInfo& item : items) {
        const PathPlace place = PlaceOf(containerPath, item.GetPath());
        if (place == PathPlace::Same || (item.IsDirectory() && place == PathPlace::Below))
            return &item;
    }
    return nullptr;
}

bool NothingToStore(const std::vector<CPathInfo>& items) {
    return std::all_of(items.begin(), items.end(),
                       [](const CPathInfo& item) { return item.IsLink(); });
}
