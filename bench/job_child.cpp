// Child processes for the measured jobs and key derivations. The parent
// starts this same program with "--child", reads the one result line from a
// pipe and waits for the child to end; the child runs the job headless,
// exactly as the dialogs would run it, or derives one key as a job does, and
// reports its time and memory.
#include "bench/job_child.h"

#include "bench/bench_common.h"
#include "common/unique_handle.h"
#include "engine/container_session.h"
#include "jobs/job_runner.h"

#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace bench {

namespace {

const wchar_t kPassword[] = L"job benchmark password";
const char kResultTag[] = "JOB_RESULT ";
const char kErrorTag[] = "JOB_ERROR ";
const char kKdfTag[] = "KDF_RESULT ";

std::wstring Quoted(const std::wstring& argument) {
    return L"\"" + argument + L"\"";
}

void MemoryCounters(uint64_t& workingSet, uint64_t& peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    workingSet = counters.WorkingSetSize;
    peak = counters.PeakWorkingSetSize;
}

// Everything the child wrote to its standard output, read until it closes.
bool RunChild(const std::wstring& arguments, std::string& output) {
    wchar_t self[MAX_PATH + 1] = {};
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH))
        return false;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
        return false;
    UniqueFileHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::wstring commandLine = Quoted(self) + L" --child " + arguments;
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(self, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    UniqueProcess process(info.hProcess), thread(info.hThread);
    // Our copy of the write end must go, or the pipe never reports its end.
    writer.Reset();
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(reader.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        output.append(chunk, got);
    WaitForSingleObject(process.Get(), INFINITE);
    return true;
}

// What the child said after kErrorTag, up to the result line.
std::string ErrorText(const std::string& output, const char* resultTag) {
    size_t error = output.find(kErrorTag);
    if (error == std::string::npos)
        return std::string();
    size_t begin = error + std::strlen(kErrorTag);
    return output.substr(begin, output.find(resultTag, begin) - begin);
}

bool ParseResult(const std::string& output, JobRun& run) {
    size_t at = output.find(kResultTag);
    if (at == std::string::npos) {
        run.errorText = "the child process gave no result: " + output;
        return false;
    }
    int succeeded = 0;
    unsigned long long idle = 0, peak = 0;
    if (std::sscanf(output.c_str() + at + std::strlen(kResultTag),
                    "ok=%d seconds=%lf cpu=%lf pack=%lf readback=%lf idle=%llu peak=%llu",
                    &succeeded, &run.seconds, &run.cpuSeconds, &run.packSeconds,
                    &run.readBackSeconds, &idle, &peak) != 7) {
        run.errorText = "unreadable child result: " + output;
        return false;
    }
    run.succeeded = succeeded != 0;
    run.idleWorkingSet = idle;
    run.peakWorkingSet = peak;
    run.errorText = ErrorText(output, kResultTag);
    return true;
}

bool RunJobChild(const std::wstring& arguments, JobRun& run) {
    run = JobRun{};
    std::string output;
    if (!RunChild(arguments, output)) {
        run.errorText = "could not start the child process";
        return false;
    }
    return ParseResult(output, run) && run.succeeded;
}

void PrintResult(bool succeeded, const std::wstring& errorText, const JobRun& run) {
    if (!succeeded)
        std::printf("%s%ls\n", kErrorTag, errorText.c_str());
    std::printf("%sok=%d seconds=%.6f cpu=%.6f pack=%.6f readback=%.6f idle=%llu peak=%llu\n",
                kResultTag, succeeded ? 1 : 0, run.seconds, run.cpuSeconds, run.packSeconds,
                run.readBackSeconds, static_cast<unsigned long long>(run.idleWorkingSet),
                static_cast<unsigned long long>(run.peakWorkingSet));
    std::fflush(stdout);
}

// Notes when a file appears, by looking every 2 ms from a thread of its own:
// the encryption job moves the complete container to its name only after it
// is written and on the device. The look costs a few microseconds, far below
// what the job does meanwhile.
class CAppearanceWatch {
public:
    CAppearanceWatch(const std::wstring& path, const CStopwatch& clock)
        : thread_([this, path, &clock] {
              while (!stop_.load()) {
                  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
                      seconds_ = clock.Seconds();
                      return;
                  }
                  Sleep(2);
              }
          }) {}
    // When the file appeared; 0 when it did not.
    double Stop() {
        stop_.store(true);
        thread_.join();
        return seconds_;
    }

private:
    std::atomic<bool> stop_{false};
    double seconds_ = 0;
    std::thread thread_;
};

} // namespace

bool RunEncryptionChild(const std::wstring& item, const std::wstring& container,
                        ContainerFormat format, JobRun& run) {
    return RunJobChild(L"encrypt " + std::to_wstring(static_cast<int>(format)) + L" " +
                           Quoted(container) + L" " + Quoted(item),
                       run);
}

bool RunDecryptionChild(const std::wstring& container, JobRun& run) {
    return RunJobChild(L"decrypt " + Quoted(container), run);
}

bool RunKdfChild(const std::wstring& scratchPath, KdfRun& run) {
    run = KdfRun{};
    std::string output;
    if (!RunChild(L"kdf " + Quoted(scratchPath), output)) {
        run.errorText = "could not start the child process";
        return false;
    }
    size_t at = output.find(kKdfTag);
    int succeeded = 0;
    unsigned long long idle = 0, peak = 0;
    if (at == std::string::npos ||
        std::sscanf(output.c_str() + at + std::strlen(kKdfTag),
                    "ok=%d write=%lf check=%lf cpu=%lf idle=%llu peak=%llu", &succeeded,
                    &run.writeSeconds, &run.checkSeconds, &run.cpuSeconds, &idle, &peak) != 6) {
        run.errorText = "unreadable child result: " + output;
        return false;
    }
    run.idleWorkingSet = idle;
    run.peakWorkingSet = peak;
    run.errorText = ErrorText(output, kKdfTag);
    return succeeded != 0;
}

namespace {

// "encrypt FORMAT CONTAINER ITEM" or "decrypt CONTAINER".
int JobChild(const std::wstring& mode, const wchar_t* const* args) {
    const std::wstring container = args[mode == L"encrypt" ? 1 : 0];
    JobRun run;
    uint64_t peakBefore = 0, workingSet = 0;
    MemoryCounters(run.idleWorkingSet, peakBefore);
    CAtomicProgress progress;
    bool succeeded = false;
    std::wstring errorText;
    const double cpuBefore = ProcessCpuSeconds();
    CStopwatch time;
    if (mode == L"encrypt") {
        const ContainerFormat format = std::wstring(args[0]) == L"1"
                                           ? ContainerFormat::Legacy
                                           : ContainerFormat::Authenticated;
        CAppearanceWatch containerWatch(container, time);
        EncryptionOutcome outcome =
            RunEncryption({std::wstring(args[2])}, container, kPassword, progress, false, format);
        run.packSeconds = containerWatch.Stop();
        succeeded = outcome.started && outcome.result == JobResult::Succeeded;
        errorText = outcome.errorText;
    } else {
        DecryptionOutcome outcome = RunDecryption(container, kPassword, progress);
        succeeded = outcome.started && outcome.result == JobResult::Succeeded &&
                    outcome.warningText.empty();
        errorText = outcome.errorText + outcome.warningText;
    }
    run.seconds = time.Seconds();
    run.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    MemoryCounters(workingSet, run.peakWorkingSet);
    if (succeeded && mode == L"encrypt") {
        // Only the time counts: the check is given nothing to compare with.
        // The job's own check reuses the key the job derived, so the key is
        // derived here before the clock starts.
        ScopedDerivedKeys keys;
        CContainerReader header;
        if (header.Open(container))
            header.CheckHeader(kPassword);
        header.Close();
        CAtomicProgress unused;
        CStopwatch readBack;
        ReadContainerBack(container, kPassword, 0, 0, 0, unused);
        run.readBackSeconds = readBack.Seconds();
    }
    PrintResult(succeeded, errorText, run);
    return succeeded ? 0 : 1;
}

// Both derivations a job may pay: the writer's for a new container, and
// the reader's for a container it opens.
int KdfChild(const std::wstring& path) {
    KdfRun run;
    uint64_t peakBefore = 0, workingSet = 0;
    MemoryCounters(run.idleWorkingSet, peakBefore);
    std::string problem;
    const double cpuBefore = ProcessCpuSeconds();
    {
        CContainerWriter writer(kPassword, ContainerFormat::Authenticated);
        if (!writer.Create(path)) {
            problem = "could not create the scratch container";
        } else {
            CStopwatch write;
            const bool written = writer.WriteHeader();
            run.writeSeconds = write.Seconds();
            if (!writer.Close() || !written)
                problem = "could not write the header";
        }
    }
    if (problem.empty()) {
        CContainerReader reader;
        CStopwatch check;
        const bool matches =
            reader.Open(path) && reader.CheckHeader(kPassword) == HeaderCheck::Matches;
        run.checkSeconds = check.Seconds();
        if (!matches)
            problem = "the header did not take the password back";
    }
    run.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    MemoryCounters(workingSet, run.peakWorkingSet);
    DeleteFileW(path.c_str());
    if (!problem.empty())
        std::printf("%s%s\n", kErrorTag, problem.c_str());
    std::printf("%sok=%d write=%.6f check=%.6f cpu=%.6f idle=%llu peak=%llu\n", kKdfTag,
                problem.empty() ? 1 : 0, run.writeSeconds, run.checkSeconds, run.cpuSeconds,
                static_cast<unsigned long long>(run.idleWorkingSet),
                static_cast<unsigned long long>(run.peakWorkingSet));
    std::fflush(stdout);
    return problem.empty() ? 0 : 1;
}

} // namespace

int ChildMain(int argc, wchar_t** argv, int first) {
    const int count = argc - first;
    const std::wstring mode = count > 0 ? argv[first] : L"";
    if (mode == L"encrypt" && count == 4)
        return JobChild(mode, argv + first + 1);
    if (mode == L"decrypt" && count == 2)
        return JobChild(mode, argv + first + 1);
    if (mode == L"kdf" && count == 2)
        return KdfChild(argv[first + 1]);
    std::printf("bad child arguments\n");
    return 2;
}

} // namespace bench
