// Driving the real program's dialogs from the benchmark's process, with the
// same verbs as the GUI tests (driver/): the program is started with a
// command line, typed into and clicked; every wait has a deadline, and a run
// that has not ended by then is ended.
#include "bench/window_job.h"

#include "bench/bench_common.h"
#include "driver/program_run.h"
#include "resources/resource.h"

namespace bench {

using driver::ProgramRun;

namespace {

// The dialogs of a fresh process in a booted prefix come within seconds; a
// job may take many minutes on a slow disk.
constexpr DWORD kDialogMs = 60000;
constexpr DWORD kJobMs = 60 * 60 * 1000;
constexpr DWORD kExitMs = 60000;

// Presses button in dialog, times until the box comes, answers it and
// checks its text starts with expected and the program ends.
bool TimeJob(ProgramRun& program, HWND dialog, int button, const std::wstring& expected, int answer,
             WindowRun& run) {
    CStopwatch time;
    driver::PostClick(dialog, button);
    // The box that ends the job: the program's caption (the progress window
    // has another).
    HWND box = program.WaitForWindow(driver::kAppCaption, kJobMs);
    run.seconds = time.Seconds();
    if (!box) {
        run.problem = "no message box after the job";
        return false;
    }
    const std::wstring text = driver::AnswerBox(box, answer);
    if (text.compare(0, expected.size(), expected) != 0) {
        run.problem = "the program said: " + Narrow(text);
        return false;
    }
    if (program.WaitForExit(kExitMs) != 1) {
        run.problem = "the program did not end with exit code 1";
        return false;
    }
    return true;
}

} // namespace

bool RunEncryptionWindows(const std::wstring& item, const std::wstring& password,
                          ContainerFormat format, WindowRun& run) {
    run = WindowRun{};
    // The program's switch for the old format; it must come first.
    const std::wstring legacy = format == ContainerFormat::Legacy ? L"-legacy " : L"";
    ProgramRun program(legacy + L"-enc \"" + item + L"\"");
    HWND dialog =
        program.Started() ? program.WaitForWindow(driver::kEncryptCaption, kDialogMs) : nullptr;
    if (!dialog) {
        run.problem = "the encryption dialog did not come";
        return false;
    }
    driver::TypeText(dialog, IDC_PASSWORD, password);
    driver::TypeText(dialog, IDC_REENTER, password);
    return TimeJob(program, dialog, IDC_ENCRYPT, L"Encrypted successfully.", IDOK, run);
}

bool RunDecryptionWindows(const std::wstring& container, const std::wstring& password,
                          WindowRun& run) {
    run = WindowRun{};
    ProgramRun program(L"\"" + container + L"\"");
    HWND dialog =
        program.Started() ? program.WaitForWindow(driver::kDecryptCaption, kDialogMs) : nullptr;
    if (!dialog) {
        run.problem = "the decryption dialog did not come";
        return false;
    }
    driver::TypeText(dialog, IDC_PASSWORD, password);
    // "No": the benchmark does not want the restored item opened.
    return TimeJob(program, dialog, IDC_DECRYPT, L"Decrypted successfully.", IDNO, run);
}

} // namespace bench
