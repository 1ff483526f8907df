// The decryption worker, in two passes over the container. The survey reads
// every record header without deciphering a body and changes nothing: it
// checks each record's place, finds records that would meet each other or
// an existing item, and tells what a stopped run left (known from its
// journal) from the user's own files. Only then does the restore pass write;
// every file it creates is journalled as unfinished until it is whole and
// on the device, a large one under a temporary name until then.
// Restored files are journalled by their record's position, so a failure or
// cancel deletes exactly what this run made and puts back what it moved
// aside; a success sends what it replaced to the Recycle Bin.
#include "jobs/decrypt_job.h"

#include "engine/container_session.h"
#include "engine/paths.h"
#include "engine/stored_name.h"
#include "jobs/job_internal.h"
#include "jobs/job_texts.h"
#include "jobs/restore_changes.h"
#include "jobs/restore_journal.h"
#include "jobs/restore_survey.h"
#include "jobs/restorer.h"

#include <new>

FlushFileFunction g_flushRestoredFile = ::FlushFileBuffers;
CreateFileFunction g_createRestoredFile = ::CreateFileW;

namespace {

// Where the decryption reads and writes, worked out once from the
// container: the container as its readers open it, the folder it is
// restored into, and the journal beside it.
struct RestorePlaces {
    explicit RestorePlaces(const CPathInfo& container)
        : containerPath(container.PathWithSeparator()), outputFolder(OutputFolderOf(container)),
          journalPath(CRestoreJournal::PathFor(GetFullPath(containerPath))) {}
    const std::wstring containerPath;
    const std::wstring outputFolder;
    const std::wstring journalPath;
};

// Handed to the worker; lives with RunDecryptJob until the worker has ended.
struct DecryptJobParams {
    zelprogress::IProgressUpdate& progress;
    const std::wstring& password;
    const CPathInfo& container;
    size_t replaceConsent;
    DecryptionOutcome& outcome;
    const RestorePlaces places;
};

// Succeeded, or NeedsConsent when existing items wait for the user's
// answer; a failure is raised.
JobResult Decrypt(DecryptJobParams& params, Journal& journal) {
    using namespace jobtext;
    auto& progress = params.progress;
    DecryptionOutcome& outcome = params.outcome;
    const RestorePlaces& places = params.places;
    const std::wstring& containerPath = places.containerPath;
    progress.SetTotal(params.container.GetTotalSize());
    CContainerReader reader;
    if (!reader.Open(containerPath))
        Fail(kReadFile + containerPath + kErrorSuffix + SystemErrorText(reader.LastError()));
    switch (reader.CheckHeader(params.password)) {
    case HeaderCheck::Matches:
        break;
    case HeaderCheck::NotAContainer:
        Fail(kNotAContainer);
    case HeaderCheck::WrongPassword:
        Fail(kInvalidPassword);
    case HeaderCheck::Damaged:
    case HeaderCheck::ReadFailed:
        Fail(kCheckPasswordError + SystemErrorText(reader.LastError()));
    case HeaderCheck::BeyondLimits:
        Fail(kKeyBeyondLimits);
    }

    const uint64_t firstRecord = reader.Position();
    CContainerReader bodies;
    bool deleteForGood = false;
    try {
        CSurvey survey(reader, places.outputFolder, places.journalPath, progress);
        survey.Run(outcome);
        if (outcome.existingCount > 0 && outcome.existingCount != params.replaceConsent)
            return JobResult::NeedsConsent;
        outcome.existingCount = 0;
        outcome.existing.clear();
        deleteForGood = outcome.recycleBinMissing;
        outcome.recycleBinMissing = false;
        journal.renamed = survey.Renamed();
        survey.SettleLeftovers(journal, places.journalPath);

        // The restore reads every byte: a reader of its own reads ahead on a
        // thread while this one deciphers. The survey's reader stays open, so
        // nobody can change the container before the job is done with it.
        if (!bodies.Open(containerPath, true) ||
            bodies.CheckHeader(params.password) != HeaderCheck::Matches ||
            bodies.Position() != firstRecord)
            Fail(kReadFile + containerPath + kErrorSuffix + SystemErrorText(bodies.LastError()));
        CRestorer restorer(bodies, places.outputFolder, progress, params.replaceConsent > 0,
                           journal, outcome.resultPath);
        restorer.Run();
        restorer.Finish();
    } catch (const CJobFailure&) {
        // Whatever failed on the way, a segment that did not authenticate
        // is the reason the user needs to hear.
        if (reader.Tampered() || bodies.Tampered())
            Fail(kContainerChanged);
        throw;
    }
    bodies.Close();
    reader.Close();
    RecycleReplaced(journal, deleteForGood, outcome);
    // The journal goes before the container: should the run stop between
    // the two, the next one asks about files it could have known, and
    // leaves no journal without its container behind.
    journal.disk.Remove();

    if (!outcome.resultPath.empty() && CPathInfo(outcome.resultPath).Exists()) {
        SetLastError(ERROR_SUCCESS);
        if (!params.container.DeleteTree()) {
            if (!outcome.warningText.empty())
                outcome.warningText += L"\n\n";
            outcome.warningText += kDeleteSourceError + GetSystemErrorText();
        }
    }
    return JobResult::Succeeded;
}

// Thread entry; raw is a DecryptJobParams. Calls SetFinished exactly once.
DWORD WINAPI DecryptWorker(LPVOID raw) {
    auto* params = static_cast<DecryptJobParams*>(raw);
    DecryptionOutcome& outcome = params->outcome;
    Journal journal;
    // The survey, the restore and a roll-back each open the container: its
    // key is derived once.
    ScopedDerivedKeys keys;
    JobResult reached = JobResult::Failed;
    try {
        reached = Decrypt(*params, journal);
    } catch (const CJobFailure& failure) {
        outcome.errorText = failure.Text();
    } catch (const std::bad_alloc&) {
        outcome.errorText = jobtext::kOutOfMemory;
    } catch (...) {
        outcome.errorText = UnexpectedFailureText();
    }
    if (reached != JobResult::Succeeded) {
        try {
            RollBack(journal, params->places.containerPath, params->password,
                     params->places.outputFolder);
        } catch (...) {
        }
    }
    outcome.result = FinishJob(reached, outcome.errorText, params->progress);
    return 0;
}

} // namespace

DecryptionOutcome RunDecryptJob(const DecryptRequest& request, const std::wstring& password,
                                zelprogress::IProgressUpdate& progress, const JobStarter& start) {
    DecryptionOutcome outcome;
    outcome.resultPath = request.resultPath;
    DecryptJobParams params{progress,          password,
                            request.container, request.replaceConsent,
                            outcome,           RestorePlaces(request.container)};
    outcome.started = start(DecryptWorker, &params);
    return outcome;
}

namespace {

std::wstring ListFirstFew(const std::vector<std::wstring>& shown, size_t count) {
    std::wstring text;
    for (const std::wstring& path : shown)
        text += L"\n" + path;
    if (count > shown.size())
        text += L"\n" + FormatString(jobtext::kLeftMore.Load().c_str(),
                                     static_cast<unsigned>(count - shown.size()));
    return text;
}

} // namespace

std::wstring DescribeExistingItems(const DecryptionOutcome& outcome) {
    std::wstring text = ListFirstFew(outcome.existing, outcome.existingCount);
    if (outcome.recycleBinMissing)
        text += L"\n\n" + std::wstring(jobtext::kNoRecycleBin);
    return text;
}

std::wstring DescribeRenamedItems(const DecryptionOutcome& outcome) {
    if (outcome.renamedCount == 0)
        return std::wstring();
    return jobtext::kRestoredBeside + ListFirstFew(outcome.renamed, outcome.renamedCount);
}

std::wstring OutputFolderOf(const CPathInfo& container) {
    return FolderOf(GetFullPath(container.PathWithSeparator()));
}

std::wstring TargetPathOf(const std::wstring& outputFolder, const EntryInfo& entry) {
    std::wstring relative;
    RelativeFolderOf(entry.folderPath, relative);
    std::wstring path = outputFolder + L'\\';
    if (!relative.empty())
        path += relative + L'\\';
    return path + NameAsWindowsKeepsIt(entry.name);
}

std::wstring ShownPlace(const EntryInfo& entry) {
    std::wstring text = entry.folderPath;
    if (text.empty() || text.back() != L'/')
        text += L'/';
    text += entry.name;
    for (wchar_t& c : text) {
        if (c < 0x20)
            c = L'?';
    }
    return text;
}

std::wstring CheckEntryPlace(const std::wstring& outputFolder, const EntryInfo& entry,
                             std::wstring* verifiedFolder) {
    using namespace jobtext;
    // Built only for a refused record: most records pass.
    auto refused = [&] {
        return kTheEntry + ShownPlace(entry) + kEntryOutside + outputFolder + L".";
    };
    std::wstring relative;
    if (!RelativeFolderOf(entry.folderPath, relative) ||
        !IsStorableName(NameAsWindowsKeepsIt(entry.name)))
        return refused();

    // A link already in the output folder would lead the record elsewhere:
    // a folder record's own place, and every folder on the way.
    if (!ReachedWithoutLinks(outputFolder, TargetPathOf(outputFolder, entry), !entry.isFile,
                             verifiedFolder))
        return refused();
    return std::wstring();
}
