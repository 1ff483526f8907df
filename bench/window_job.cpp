// Driving the real program's dialogs with the tests' program driver.
#include "bench/window_job.h"

#include "bench/bench_common.h"

#if TL_BENCH_WINDOWS
#include "resources/resource.h"
#include "support/program_run.h"
#endif

namespace bench {

#if TL_BENCH_WINDOWS

namespace {

using testing_support::ProgramRun;

// The dialogs of a fresh process in a booted prefix come within seconds; a
// job may take many minutes on a slow disk.
constexpr DWORD kDialogMs = 60000;
constexpr DWORD kJobMs = 60 * 60 * 1000;
constexpr DWORD kExitMs = 60000;

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += (c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

// The program's message box: a dialog with the program's caption and the
// box's text control (the progress window has neither).
HWND WaitForBox(const ProgramRun& program) {
    return program.WaitForTopLevel(
        [](HWND hwnd) {
            return testing_support::ClassNameOf(hwnd) == L"#32770" &&
                   testing_support::WindowText(hwnd) == testing_support::kAppCaption &&
                   testing_support::IsMessageBox(hwnd);
        },
        kJobMs);
}

// Presses button in dialog, times until the box comes, answers it and
// checks its text starts with expected and the program ends.
bool TimeJob(ProgramRun& program, HWND dialog, int button, const std::wstring& expected, int answer,
             WindowRun& run) {
    Stopwatch time;
    testing_support::PostClick(dialog, button);
    HWND box = WaitForBox(program);
    run.seconds = time.Seconds();
    if (!box) {
        run.problem = "no message box after the job";
        return false;
    }
    const std::wstring text = testing_support::AnswerBox(box, answer);
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

bool WindowRunsAvailable() {
    return true;
}

bool RunEncryptionWindows(const std::wstring& item, const std::wstring& password,
                          ContainerFormat format, WindowRun& run) {
    run = WindowRun{};
    // The program's switch for the old format; it must come first.
    const std::wstring legacy = format == ContainerFormat::Legacy ? L"-legacy " : L"";
    ProgramRun program(legacy + L"-enc \"" + item + L"\"");
    HWND dialog =
        program.Started() ? program.WaitForWindow(L"Tessalock-Encrypt", kDialogMs) : nullptr;
    if (!dialog) {
        run.problem = "the encryption dialog did not come";
        return false;
    }
    testing_support::TypeText(dialog, IDC_PASSWORD, password);
    testing_support::TypeText(dialog, IDC_REENTER, password);
    return TimeJob(program, dialog, IDC_ENCRYPT, L"Encrypted successfully.", IDOK, run);
}

bool RunDecryptionWindows(const std::wstring& container, const std::wstring& password,
                          WindowRun& run) {
    run = WindowRun{};
    ProgramRun program(L"\"" + container + L"\"");
    HWND dialog =
        program.Started() ? program.WaitForWindow(L"Tessalock-Decrypt", kDialogMs) : nullptr;
    if (!dialog) {
        run.problem = "the decryption dialog did not come";
        return false;
    }
    testing_support::TypeText(dialog, IDC_PASSWORD, password);
    // "No": the benchmark does not want the restored item opened.
    return TimeJob(program, dialog, IDC_DECRYPT, L"Decrypted successfully.", IDNO, run);
}

#else

bool WindowRunsAvailable() {
    return false;
}

bool RunEncryptionWindows(const std::wstring&, const std::wstring&, ContainerFormat,
                          WindowRun& run) {
    run.problem = "built without the tests' program driver";
    return false;
}

bool RunDecryptionWindows(const std::wstring&, const std::wstring&, WindowRun& run) {
    run.problem = "built without the tests' program driver";
    return false;
}

#endif

} // namespace bench
