// Decrypts seeded, mutated containers, one after another in this process,
// each into a fresh folder that sits next to decoy files, and checks after
// every case what a user relies on: the job ends in time, nothing outside
// its folder is created, changed or lost, a run that did not succeed leaves
// the folder and the container as they were, and memory stays bounded.
//
// Every case follows from one 64-bit seed. A failing case is saved (its
// container, and a text with the seed and the command that replays it) into
// the folder fuzz-failures of the working folder.
//
// TL_FUZZ_CASES (default 10000) and TL_FUZZ_SEED (default fixed) choose the
// run; TL_FUZZ_CASE=<seed> replays one case.
#include "jobs/decrypt_job.h"
#include "jobs/job_runner.h"
#include "support/containers.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace testing_support;

namespace {

constexpr DWORD kCaseTimeLimitMs = 30000;
constexpr size_t kMemoryLimitBytes = 256u << 20;

// splitmix64: the same numbers for a seed on every compiler and library.
class CRandom {
public:
    explicit CRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
    bool Chance(int percent) { return Below(100) < static_cast<size_t>(percent); }

private:
    uint64_t state_;
};

struct Case {
    uint64_t seed = 0;
    std::wstring password = L"fuzz password";
    std::wstring triedPassword = L"fuzz password";
    Bytes container;
    // Files in the case folder before the job, by relative path.
    std::map<std::wstring, Bytes> inside;
    int cancelAfter = -1;
    bool consent = false;
    bool sealed = false;  // the authenticated format
    bool changed = false; // bytes changed after the container was made
    std::string what;     // the mutations, for the report
};

const wchar_t* const kPlainNames[] = {L"a.txt", L"B.bin",         L"photo.jpg", L"Docs",
                                      L"x",     L"\u00e9t\u00e9", L"sub",       L"\u65e5\u672c"};

std::wstring HostileName(CRandom& random) {
    static const wchar_t* const kNames[] = {L"..",
                                            L".",
                                            L"...",
                                            L"a/b",
                                            L"a\\b",
                                            L"C:",
                                            L"C:x",
                                            L"CON",
                                            L"nul.txt",
                                            L"COM\u00b9",
                                            L"LPT\u00b2.doc",
                                            L"x.",
                                            L"x ",
                                            L"a. .",
                                            L"A.TXT",
                                            L"a.txt",
                                            L"x\x01y",
                                            L"what?",
                                            L"\\\\?\\",
                                            L"\u202egnp.exe",
                                            L"decoy.txt",
                                            L"..\\decoy.txt"};
    switch (random.Below(4)) {
    case 0:
        return std::wstring(256 + random.Below(300), L'n');
    case 1:
        return std::wstring(1 + random.Below(40), L'\u20ac');
    default:
        return kNames[random.Below(sizeof kNames / sizeof kNames[0])];
    }
}

int64_t HostileSize(CRandom& random) {
    static const int64_t kSizes[] = {
        0,         1,  0x7FFFFFFF, 0x80000000ll, 0xFFFFFFFFll, 0x100000000ll,
        INT64_MAX, -1, INT64_MIN,  1 << 20};
    return kSizes[random.Below(sizeof kSizes / sizeof kSizes[0])];
}

std::wstring ChildPath(const std::wstring& folderPath, const std::wstring& name) {
    return folderPath == L"/" ? L"/" + name : folderPath + L"/" + name;
}

// A plausible tree: folders before what they hold, names from a small pool so
// that clashes happen.
std::vector<StoredEntry> PlainRecords(CRandom& random) {
    std::vector<StoredEntry> records;
    std::vector<std::wstring> folders = {L"/"};
    const size_t count = 1 + random.Below(12);
    for (size_t i = 0; i < count; ++i) {
        const std::wstring folder = folders[random.Below(folders.size())];
        const std::wstring name =
            kPlainNames[random.Below(sizeof kPlainNames / sizeof kPlainNames[0])];
        if (random.Chance(30)) {
            records.push_back(FolderRecord(folder, name));
            folders.push_back(ChildPath(folder, name));
        } else {
            size_t size = random.Chance(5) ? 100000 + random.Below(200000) : random.Below(3000);
            records.push_back(
                FileRecord(folder, name, PatternBytes(size, static_cast<uint32_t>(random.Next()))));
        }
    }
    return records;
}

Case MakeCase(uint64_t seed) {
    CRandom random(seed);
    Case c;
    c.seed = seed;
    // Taken from the seed, not the sequence: the old format's cases stay
    // what they were.
    c.sealed = (seed & 1) != 0;
    if (c.sealed)
        c.what += "sealed; ";
    std::vector<StoredEntry> records = PlainRecords(random);

    // Changes to the records.
    const size_t changes = random.Below(4);
    for (size_t k = 0; k < changes && !records.empty(); ++k) {
        StoredEntry& r = records[random.Below(records.size())];
        switch (random.Below(6)) {
        case 0:
            r.name = HostileName(random);
            c.what += "hostile name; ";
            break;
        case 1: {
            std::wstring deep;
            for (size_t d = 0, n = 20 + random.Below(200); d < n; ++d)
                deep += L"/dd";
            r.folderPath = random.Chance(50) ? deep : L"/" + HostileName(random);
            c.what += "hostile folder path; ";
            break;
        }
        case 2:
            if (r.isFile) {
                r.size = HostileSize(random);
                c.what += "size; ";
            }
            break;
        case 3:
            records.push_back(r);
            c.what += "record twice; ";
            break;
        case 4:
            records.push_back(r.isFile ? FolderRecord(r.folderPath, r.name)
                                       : FileRecord(r.folderPath, r.name, {}));
            c.what += "file and folder clash; ";
            break;
        default:
            r.folderPath = L"/nofolder";
            c.what += "missing folder; ";
            break;
        }
    }
    // A sealed container authenticates hostile records as readily as plain
    // ones: its cases reach the same checks behind the tags.
    c.container = BuildContainer(
        c.password, records, c.sealed ? ContainerFormat::Authenticated : ContainerFormat::Legacy);
    const Bytes made = c.container;

    // Changes to the bytes.
    if (random.Chance(25)) {
        for (size_t k = 0, n = 1 + random.Below(6); k < n; ++k)
            c.container[random.Below(c.container.size())] ^=
                static_cast<uint8_t>(1u << random.Below(8));
        c.what += "bit flips; ";
    }
    if (random.Chance(15)) {
        c.container.resize(random.Below(c.container.size() + 1));
        c.what += "cut short; ";
    }
    if (random.Chance(5)) {
        for (size_t k = 0, n = 1 + random.Below(20); k < n; ++k)
            c.container.push_back(static_cast<uint8_t>(random.Next()));
        c.what += "junk at the end; ";
    }
    c.changed = c.container != made;
    if (random.Chance(8)) {
        c.triedPassword = L"Fuzz password";
        c.what += "wrong password; ";
    }
    if (random.Chance(10)) {
        c.cancelAfter = static_cast<int>(random.Below(4));
        c.what += "cancel; ";
    }
    // Items already in the folder, some with names the records use.
    if (random.Chance(30)) {
        for (size_t k = 0, n = 1 + random.Below(3); k < n; ++k) {
            const StoredEntry& r = records[random.Below(records.size())];
            std::wstring path = r.folderPath == L"/" ? r.name : L"";
            if (path.empty() || path.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos ||
                path.size() > 200)
                path = kPlainNames[random.Below(sizeof kPlainNames / sizeof kPlainNames[0])];
            c.inside[path] = PatternBytes(10 + random.Below(50), static_cast<uint32_t>(seed + k));
        }
        c.consent = random.Chance(50);
        c.what += "existing items; ";
    }
    return c;
}

// Size and last-write time of a file, enough to see a change without
// reading it.
Bytes Fingerprint(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&data);
    return Bytes(raw, raw + sizeof data);
}

// Every file below a folder with its bytes (or only its fingerprint), by
// path relative to it; folders as entries without bytes.
void Snapshot(const std::wstring& folder, const std::wstring& prefix,
              std::map<std::wstring, Bytes>& files, bool contents = true,
              const std::wstring& skip = L"") {
    for (const std::wstring& name : ListNames(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (!skip.empty() && SamePathText(path, skip))
            continue;
        if (IsDir(path)) {
            files[prefix + name + L"\\"] = Bytes();
            Snapshot(path, prefix + name + L"\\", files, contents, skip);
        } else {
            files[prefix + name] = contents ? ReadFileBytes(path) : Fingerprint(path);
        }
    }
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    return counters.PrivateUsage;
}

class Fuzzer {
public:
    Fuzzer() {
        EXPECT_TRUE(MakeDir(outer_));
        EXPECT_TRUE(WriteFileText(root_ / L"decoy.txt", "outside, two levels up"));
        EXPECT_TRUE(MakeDir(root_ / L"Docs"));
        EXPECT_TRUE(WriteFileText(root_ / L"Docs\\a.txt", "outside, in a folder"));
        EXPECT_TRUE(WriteFileText(outer_ + L"\\decoy.txt", "outside, one level up"));
        EXPECT_TRUE(WriteFileText(outer_ + L"\\a.txt", "outside, beside the folder"));
        Snapshot(root_.Path(), L"", decoys_, false);
        watchdog_ = std::thread([this] { Watch(); });
    }
    ~Fuzzer() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        watchdog_.join();
    }

    // Runs one case; empty when every check held, else what failed.
    std::string Run(const Case& c) {
        // A folder of its own for every case, so that a case whose leftovers
        // cannot be removed does not spoil the next one.
        const std::wstring folder = outer_ + L"\\case" + std::to_wstring(++cases_);
        if (!MakeDir(folder))
            return "could not make the case folder";
        const std::wstring container = folder + L"\\c.lock";
        WriteFileBytes(container, c.container);
        for (const auto& [path, bytes] : c.inside)
            WriteFileBytes(folder + L"\\" + path, bytes);
        std::map<std::wstring, Bytes> before;
        Snapshot(folder, L"", before);

        std::string problem;
        DecryptionOutcome outcome = Decrypt(c, container, 0, problem);
        if (problem.empty() && c.consent && outcome.result == JobResult::NeedsConsent)
            outcome = Decrypt(c, container, outcome.existingCount, problem);

        if (problem.empty())
            problem = Check(c, folder, before, outcome);
        RemoveTree(folder);
        // What the cases replace would pile up in the Recycle Bin.
        if (cases_ % 100 == 0)
            EmptyScratchRecycleBin();
        if (problem.empty() && PathExists(folder))
            problem = "the run left something that cannot be removed (a device name?)";
        return problem;
    }

private:
    DecryptionOutcome Decrypt(const Case& c, const std::wstring& container, size_t consent,
                              std::string& problem) {
        const CPathInfo info(container);
        CAtomicProgress plain;
        struct Cancelling : CAtomicProgress {
            int left = -1;
            void SetCurrent(uint64_t current, uint64_t reserved) override {
                CAtomicProgress::SetCurrent(current, reserved);
                if (left >= 0 && left-- == 0)
                    Cancel();
            }
        } cancelling;
        cancelling.left = c.cancelAfter;
        if (c.cancelAfter == 0)
            cancelling.Cancel();
        CAtomicProgress& progress = c.cancelAfter >= 0 ? cancelling : plain;
        DecryptRequest request;
        request.container = info;
        request.replaceConsent = consent;
        // The worker runs right here: starting a thread for each case would
        // cost more than most cases. The watchdog ends a case that hangs.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            current_ = &c;
            started_ = GetTickCount64();
        }
        const DecryptionOutcome outcome = RunDecryptJob(
            request, c.triedPassword, progress, [](LPTHREAD_START_ROUTINE worker, void* params) {
                worker(params);
                return true;
            });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            current_ = nullptr;
        }
        if (progress.FinishedCalls() != 1)
            problem = "SetFinished was not called exactly once";
        return outcome;
    }

    std::string Check(const Case& c, const std::wstring& folder,
                      const std::map<std::wstring, Bytes>& before,
                      const DecryptionOutcome& outcome) {
        std::map<std::wstring, Bytes> outside;
        Snapshot(root_.Path(), L"", outside, false, folder);
        if (outside != decoys_)
            return "something outside the case folder was created, changed or lost";
        std::map<std::wstring, Bytes> after;
        Snapshot(folder, L"", after);
        for (const auto& [path, bytes] : after) {
            if (path.find(kPartialMark) != std::wstring::npos ||
                path.find(kBackupMark) != std::wstring::npos ||
                path.find(L".tl-journal") != std::wstring::npos)
                return "a temporary file was left: " + Narrow(path);
        }
        if (outcome.result == JobResult::Succeeded && c.sealed && c.changed)
            return "a sealed container that was changed after it was made was restored";
        if (outcome.result != JobResult::Succeeded) {
            // Folders too: a failed run takes away every folder it made.
            if (after != before)
                return "a run that did not succeed changed its folder";
        } else {
            if (after.count(L"c.lock") && outcome.warningText.empty() &&
                !outcome.resultPath.empty())
                return "a successful run kept its container";
            for (const auto& [path, bytes] : c.inside) {
                auto now = after.find(path);
                if (!c.consent && (now == after.end() || now->second != bytes))
                    return "an existing file was replaced without consent: " + Narrow(path);
            }
        }
        if (PrivateBytes() > kMemoryLimitBytes)
            return "memory grew beyond the limit";
        return std::string();
    }

    // A job cannot be stopped safely from outside: a case that runs past
    // the limit is saved and the run ends there.
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            wake_.wait_for(lock, std::chrono::milliseconds(200));
            if (current_ && GetTickCount64() - started_ > kCaseTimeLimitMs) {
                Save(*current_, "the job did not end within the time limit");
                std::printf("case %016llx did not end within the time limit\n",
                            static_cast<unsigned long long>(current_->seed));
                std::fflush(stdout);
                ExitProcess(3);
            }
        }
    }

    void Save(const Case& c, const std::string& problem) {
        CreateDirectoryW(L"fuzz-failures", nullptr);
        wchar_t name[64];
        _snwprintf(name, 64, L"fuzz-failures\\%016llx", static_cast<unsigned long long>(c.seed));
        WriteFileBytes(std::wstring(name) + L".lock", c.container);
        char text[512];
        std::snprintf(text, sizeof text,
                      "seed %016llx\nproblem: %s\nchanges: %s\nreplay: TL_FUZZ_CASE=%016llx "
                      "decrypt_fuzz_tests.exe\n",
                      static_cast<unsigned long long>(c.seed), problem.c_str(), c.what.c_str(),
                      static_cast<unsigned long long>(c.seed));
        WriteFileText(std::wstring(name) + L".txt", text);
    }

public:
    void Report(const Case& c, const std::string& problem) {
        // What a failed case left becomes part of the scenery for the next.
        decoys_.clear();
        Snapshot(root_.Path(), L"", decoys_, false);
        Save(c, problem);
        ADD_FAILURE() << "case " << std::hex << c.seed << ": " << problem << " (" << c.what << ")";
    }

private:
    // A drive the set-up maps for the run (a memory file system, where forcing
    // files to the device costs nothing), else the temporary folder.
    ScratchDir root_{GetDriveTypeW(L"F:\\") == DRIVE_NO_ROOT_DIR ? L"" : L"F:\\"};
    const std::wstring outer_ = root_ / L"outer";
    unsigned cases_ = 0;
    std::map<std::wstring, Bytes> decoys_;
    std::mutex mutex_;
    std::condition_variable wake_;
    const Case* current_ = nullptr;
    ULONGLONG started_ = 0;
    bool stopping_ = false;
    std::thread watchdog_;
};

uint64_t EnvNumber(const char* name, uint64_t fallback, int base = 10) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, base) : fallback;
}

TEST(DecryptFuzz, MutatedContainersChangeNothingOutsideTheirFolder) {
    Fuzzer fuzzer;
    if (const char* one = std::getenv("TL_FUZZ_CASE")) {
        const Case c = MakeCase(std::strtoull(one, nullptr, 16));
        const std::string problem = fuzzer.Run(c);
        if (!problem.empty())
            fuzzer.Report(c, problem);
        return;
    }
    const uint64_t cases = EnvNumber("TL_FUZZ_CASES", 10000);
    CRandom seeds(EnvNumber("TL_FUZZ_SEED", 0x7e55a10c));
    int failures = 0;
    for (uint64_t k = 0; k < cases && failures < 20; ++k) {
        const Case c = MakeCase(seeds.Next());
        const std::string problem = fuzzer.Run(c);
        if (!problem.empty()) {
            fuzzer.Report(c, problem);
            ++failures;
        }
    }
    std::printf("%llu cases\n", static_cast<unsigned long long>(cases));
}

} // namespace
