// The encryption and decryption dialogs, run modally on the test's thread
// with real files, real jobs and the real progress window; the robot types,
// clicks, reads and answers the boxes as a user would. The fixture opens a
// dialog and hands it to the robot's steps once it shows, so a scenario
// keeps only its steps. The file is longer than 300 lines because it holds
// the wiring of both dialogs: their shared start-up and ending cases are
// rows run against each.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "common/unique_handle.h"
#include "dialogs/password_dialogs.h"
#include "jobs/job_runner.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

constexpr wchar_t kPassword[] = L"Kor\u00e9-7 \u20ac";

struct ShellOpenCall {
    int count = 0;
    HWND owner = nullptr;
    std::wstring verb;
    std::wstring file;
    bool parametersNull = false;
    bool directoryNull = false;
    int show = -1;
};
ShellOpenCall g_opened;

HINSTANCE WINAPI RecordShellOpen(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                 LPCWSTR directory, INT show) {
    ++g_opened.count;
    g_opened.owner = owner;
    g_opened.verb = verb ? verb : L"(null)";
    g_opened.file = file ? file : L"(null)";
    g_opened.parametersNull = parameters == nullptr;
    g_opened.directoryNull = directory == nullptr;
    g_opened.show = show;
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}

enum class Kind { Encrypt, Decrypt };

INT_PTR RunEncrypt(const std::vector<std::wstring>& paths) {
    std::vector<const wchar_t*> raw;
    for (const std::wstring& path : paths)
        raw.push_back(path.c_str());
    CDialogEncrypt dialog(raw.data(), static_cast<int>(raw.size()));
    return dialog.DoModal(nullptr);
}

INT_PTR RunDialog(Kind kind, const std::wstring& path) {
    if (kind == Kind::Encrypt)
        return RunEncrypt({path});
    CDialogDecrypt dialog(path);
    return dialog.DoModal(nullptr);
}

void TypePasswords(HWND dialog, const std::wstring& password, const std::wstring& reenter) {
    TypeText(::GetDlgItem(dialog, IDC_PASSWORD), password);
    if (HWND second = ::GetDlgItem(dialog, IDC_REENTER))
        TypeText(second, reenter);
}

// Types the password (twice in the encryption dialog) and presses Encrypt
// or Decrypt.
void Start(HWND dialog, const std::wstring& password) {
    TypePasswords(dialog, password, password);
    PostClick(dialog, ::GetDlgItem(dialog, IDC_ENCRYPT) ? IDC_ENCRYPT : IDC_DECRYPT);
}

// Starts, answers the box that follows and returns its text.
std::wstring Submit(HWND dialog, const std::wstring& password, int answer = IDOK) {
    Start(dialog, password);
    return AnswerBox(answer);
}

// Whether the dialog is still shown once what it was handling has ended.
bool StaysOpen(HWND dialog) {
    SyncWith(dialog);
    return ::IsWindowVisible(dialog) != FALSE;
}

// Runs a password dialog modally on the test's thread while the robot takes
// the steps on it once it shows.
class PasswordDialogs : public testing::Test {
protected:
    using Steps = std::function<void(HWND dialog)>;

    void SetUp() override {
        g_opened = ShellOpenCall();
        g_shellOpen = RecordShellOpen;
    }
    void TearDown() override { g_shellOpen = ::ShellExecuteW; }

    // With saveAs, the robot first chooses it in the Save dialog that
    // several items bring (what the Save dialog offered is kept in offered).
    INT_PTR Encrypt(const std::vector<std::wstring>& items, const Steps& steps,
                    const std::wstring& saveAs = std::wstring()) {
        return Drive(kEncryptCaption, steps, saveAs, [&] { return RunEncrypt(items); });
    }
    INT_PTR Decrypt(const std::wstring& container, const Steps& steps) {
        return Drive(kDecryptCaption, steps, L"",
                     [&] { return RunDialog(Kind::Decrypt, container); });
    }
    INT_PTR Open(Kind kind, const std::wstring& path, const Steps& steps) {
        return kind == Kind::Encrypt ? Encrypt({path}, steps) : Decrypt(path, steps);
    }

    ScratchDir dir;
    std::wstring offered;

private:
    INT_PTR Drive(const wchar_t* caption, const Steps& steps, const std::wstring& saveAs,
                  const std::function<INT_PTR()>& run) {
        HWND shown = nullptr;
        INT_PTR code = -1;
        RunWithRobot(
            [&] {
                if (!saveAs.empty()) {
                    HWND save = WaitForFileDialog();
                    if (!save)
                        return;
                    offered = FileDialogName(save);
                    ChooseFileName(save, saveAs);
                }
                if ((shown = WaitForDialog(caption)))
                    steps(shown);
            },
            [&] { code = run(); });
        EXPECT_NE(shown, nullptr) << Narrow(caption) << " did not show";
        return code;
    }
};

// ---- Password checks of the encryption dialog --------------------------

struct FieldCase {
    const char* name;
    std::wstring password;
    std::wstring reenter;
    std::wstring message;
};

const FieldCase kFieldCases[] = {
    {"BothEmpty", L"", L"", L"Please enter password."},
    // The password field is looked at first.
    {"OnlyReenterFilled", L"", L"abc", L"Please enter password."},
    {"ReenterEmpty", L"abc", L"", L"Confirm password."},
    {"DifferOnlyInCase", L"Secret", L"secret", L"Invalid password."},
    {"TrailingBlankCounts", L"abc ", L"abc", L"Invalid password."},
    // 400 characters but 1200 bytes in UTF-8: the limit is on bytes.
    {"LongerThan1024Utf8Bytes", std::wstring(400, L'\u20ac'), std::wstring(400, L'\u20ac'),
     L"The password is too long: at most 1024 bytes (in UTF-8) are allowed."},
};

class EncryptFieldChecks : public PasswordDialogs, public testing::WithParamInterface<FieldCase> {};

TEST_P(EncryptFieldChecks, ShowTheirMessageAndKeepTheDialogOpen) {
    const FieldCase& c = GetParam();
    const std::wstring file = dir / L"notes.txt";
    ASSERT_TRUE(WriteFileBytes(file, PatternBytes(3000, 1)));
    std::wstring message;
    bool openAfterBox = false;
    INT_PTR code = Encrypt({file}, [&](HWND d) {
        TypePasswords(d, c.password, c.reenter);
        PostClick(d, IDC_ENCRYPT);
        message = AnswerBox(IDOK);
        openAfterBox = StaysOpen(d);
        PostClick(d, IDC_EXIT);
    });
    EXPECT_EQ(Narrow(message), Narrow(c.message));
    EXPECT_TRUE(openAfterBox);
    EXPECT_EQ(code, kDialogClosed);
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"notes.txt"});
    EXPECT_EQ(ReadFileBytes(file), PatternBytes(3000, 1));
}

INSTANTIATE_TEST_SUITE_P(Cases, EncryptFieldChecks, testing::ValuesIn(kFieldCases),
                         [](const testing::TestParamInfo<FieldCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- Encryption runs ----------------------------------------------------

TEST_F(PasswordDialogs, EncryptsOneFolderBesideItselfAndEndsWithOne) {
    const std::wstring photos = dir / L"photos";
    ASSERT_TRUE(MakeDir(photos));
    ASSERT_TRUE(MakeDir(photos + L"\\2012"));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\a.jpg", PatternBytes(70000, 2)));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\2012\\b.jpg", PatternBytes(1234, 3)));
    std::wstring label;
    std::wstring message;
    bool progressShown = false;
    INT_PTR code = Encrypt({photos}, [&](HWND d) {
        label = WindowText(::GetDlgItem(d, IDC_PATH_LABEL));
        Start(d, kPassword);
        progressShown = WaitForDialog(L"") != nullptr;
        message = AnswerBox(IDOK);
    });
    EXPECT_EQ(Narrow(label), Narrow(photos + L"\\"));
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(Narrow(message), "Encrypted successfully.");
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_FALSE(PathExists(photos));
    ASSERT_TRUE(PathExists(dir / L"photos.lock"));

    // The typed password is the one the container was written with.
    CAtomicProgress progress;
    DecryptionOutcome restored = RunDecryption(dir / L"photos.lock", kPassword, progress);
    ASSERT_EQ(restored.result, JobResult::Succeeded) << Narrow(restored.errorText);
    EXPECT_EQ(ReadFileBytes(photos + L"\\a.jpg"), PatternBytes(70000, 2));
    EXPECT_EQ(ReadFileBytes(photos + L"\\2012\\b.jpg"), PatternBytes(1234, 3));
}

bool IsDefaultContainerName(const std::wstring& name) {
    const std::wstring extension = L".lock";
    if (name.size() <= extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    const std::wstring digits = name.substr(0, name.size() - extension.size());
    // Year, then five numbers of one or two digits each.
    if (digits.size() < 9 || digits.size() > 14)
        return false;
    return digits.find_first_not_of(L"0123456789") == std::wstring::npos;
}

TEST_F(PasswordDialogs, SeveralItemsGoWhereTheSaveDialogSays) {
    ASSERT_TRUE(MakeDir(dir / L"x"));
    ASSERT_TRUE(MakeDir(dir / L"y"));
    ASSERT_TRUE(MakeDir(dir / L"out"));
    const std::wstring first = dir / L"x\\a.txt";
    const std::wstring second = dir / L"y\\docs";
    ASSERT_TRUE(WriteFileBytes(first, PatternBytes(5000, 4)));
    ASSERT_TRUE(MakeDir(second));
    ASSERT_TRUE(WriteFileBytes(second + L"\\c.txt", PatternBytes(9, 5)));
    const std::wstring container = dir / L"out\\backup.lock";
    std::wstring label;
    std::wstring message;
    // Typed without the extension, the name gets it.
    INT_PTR code = Encrypt(
        {first, second},
        [&](HWND d) {
            label = WindowText(::GetDlgItem(d, IDC_PATH_LABEL));
            message = Submit(d, kPassword);
        },
        dir / L"out\\backup");
    EXPECT_TRUE(IsDefaultContainerName(offered)) << Narrow(offered);
    EXPECT_EQ(Narrow(label), Narrow(first + L"," + second + L"\\"));
    EXPECT_EQ(Narrow(message), "Encrypted successfully.");
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_FALSE(PathExists(first));
    EXPECT_FALSE(PathExists(second));

    // Both items sit in one folder named after the container.
    CAtomicProgress progress;
    DecryptionOutcome restored = RunDecryption(container, kPassword, progress);
    ASSERT_EQ(restored.result, JobResult::Succeeded) << Narrow(restored.errorText);
    EXPECT_EQ(Narrow(restored.resultPath), Narrow(dir / L"out\\backup"));
    EXPECT_EQ(ReadFileBytes(dir / L"out\\backup\\a.txt"), PatternBytes(5000, 4));
    EXPECT_EQ(ReadFileBytes(dir / L"out\\backup\\docs\\c.txt"), PatternBytes(9, 5));
}

// Pixels below the first line of text that a label draws: none for a label
// that keeps to one line, some when its text wraps into a second line that
// the label's height cuts through.
int InkBelowFirstLine(HWND label) {
    const Pixels shown = PrintClient(label);
    TEXTMETRICW metrics = {};
    {
        ScopedWindowDC dc(label);
        ScopedSelectObject font(dc.Dc(),
                                reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
        ::GetTextMetricsW(dc.Dc(), &metrics);
    }
    if (shown.colors.empty())
        return -1;
    const COLORREF background = shown.At(shown.width - 1, shown.height - 1);
    int ink = 0;
    for (int y = metrics.tmHeight; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x)
            ink += shown.At(x, y) != background;
    }
    return ink;
}

// The text of the tooltip that the dialog shows for one of its controls;
// "(no tooltip)" when it has none.
std::wstring TooltipTextFor(HWND dialog, HWND control) {
    const std::vector<HWND> tips = TopLevelWindows(
        [&](HWND hwnd) {
            return ClassNameOf(hwnd) == L"tooltips_class32" &&
                   ::GetWindow(hwnd, GW_OWNER) == dialog;
        },
        ::GetCurrentProcessId(), false);
    if (tips.empty())
        return L"(no tooltip)";
    HWND tip = tips.front();
    std::vector<wchar_t> text(8192, L'\0');
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();
    ::SendMessageW(tip, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
    return text.data();
}

// Several long items: the label keeps to one line, cut with an ellipsis,
// and its tooltip lists every item on a line of its own.
TEST_F(PasswordDialogs, ItemLabelKeepsToOneLineAndItsTooltipListsEveryItem) {
    std::vector<std::wstring> items;
    for (const wchar_t* name :
         {L"Holiday photos from the summer of 2013", L"Tax papers and receipts for the year 2012",
          L"Letters to Anna, Paul and the whole family"}) {
        items.push_back(dir / name);
        ASSERT_TRUE(MakeDir(items.back()));
    }
    std::wstring label;
    std::wstring tip;
    int ink = -1;
    Encrypt(
        items,
        [&](HWND d) {
            HWND control = ::GetDlgItem(d, IDC_PATH_LABEL);
            label = WindowText(control);
            ink = InkBelowFirstLine(control);
            tip = TooltipTextFor(d, control);
            PostClick(d, IDC_EXIT);
        },
        dir / L"all.lock");
    // The label's own text is the whole list, as before.
    EXPECT_EQ(Narrow(label), Narrow(items[0] + L"\\," + items[1] + L"\\," + items[2] + L"\\"));
    EXPECT_EQ(ink, 0);
    EXPECT_EQ(Narrow(tip), Narrow(items[0] + L"\\\r\n" + items[1] + L"\\\r\n" + items[2] + L"\\"));
}

TEST_F(PasswordDialogs, SaveDialogNotConfirmedEndsWithEight) {
    ASSERT_TRUE(WriteFileBytes(dir / L"a.txt", PatternBytes(10, 6)));
    ASSERT_TRUE(WriteFileBytes(dir / L"b.txt", PatternBytes(10, 7)));
    bool saveShown = false;
    bool dialogShown = false;
    INT_PTR code = -1;
    RunWithRobot(
        [&] {
            HWND save = WaitForFileDialog();
            saveShown = save != nullptr;
            if (save)
                CancelFileDialog(save);
            dialogShown = FindProcessWindow(L"#32770", kEncryptCaption) != nullptr;
        },
        [&] {
            code = RunEncrypt({dir / L"a.txt", dir / L"b.txt"});
        });
    EXPECT_TRUE(saveShown);
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(code, kDialogClosed);
    EXPECT_EQ(ListNames(dir.Path()).size(), 2u);
}

TEST_F(PasswordDialogs, SaveDialogAsksAgainForAContainerInsideASelectedFolder) {
    const std::wstring folder = dir / L"docs";
    ASSERT_TRUE(MakeDir(folder));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\c.txt", PatternBytes(10, 8)));
    ASSERT_TRUE(WriteFileBytes(dir / L"b.txt", PatternBytes(10, 9)));
    std::wstring message;
    bool askedAgain = false;
    INT_PTR code = -1;
    RunWithRobot(
        [&] {
            HWND save = WaitForFileDialog();
            if (!save)
                return;
            ChooseFileName(save, folder + L"\\inside.lock");
            message = AnswerBox(IDOK);
            WaitForWindowGone(save);
            HWND again = WaitForFileDialog();
            askedAgain = again != nullptr;
            if (again)
                CancelFileDialog(again);
        },
        [&] {
            code = RunEncrypt({folder, dir / L"b.txt"});
        });
    EXPECT_NE(message.find(folder + L"\\"), std::wstring::npos) << Narrow(message);
    EXPECT_TRUE(askedAgain);
    EXPECT_EQ(code, kDialogClosed);
    EXPECT_EQ(ListNames(folder), std::vector<std::wstring>{L"c.txt"});
}

TEST_F(PasswordDialogs, ClosingTheProgressWindowCancelsWithoutAMessage) {
    // A large sparse file costs no disk but keeps the job busy for seconds,
    // far longer than the robot needs to close the progress window.
    const std::wstring big = dir / L"big.bin";
    const LONGLONG bigSize = 4LL << 30;
    {
        HANDLE h = ::CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER end;
        end.QuadPart = bigSize;
        ASSERT_TRUE(::SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(h));
        ::CloseHandle(h);
    }
    bool progressClosed = false;
    bool boxAfterCancel = true;
    bool openAfterCancel = false;
    std::wstring fieldAfterCancel;
    INT_PTR code = Encrypt({big}, [&](HWND d) {
        Start(d, kPassword);
        HWND progress = WaitForDialog(L"");
        if (!progress)
            return;
        PostClose(progress);
        progressClosed = WaitForWindowGone(progress);
        // Returns once the handler is back in the dialog's loop (or in a box).
        SyncWith(d);
        boxAfterCancel = BoxAppears();
        openAfterCancel = ::IsWindowVisible(d) != FALSE;
        fieldAfterCancel = WindowText(::GetDlgItem(d, IDC_PASSWORD));
        PostClick(d, IDC_EXIT);
    });
    EXPECT_TRUE(progressClosed);
    EXPECT_FALSE(boxAfterCancel);
    EXPECT_TRUE(openAfterCancel);
    EXPECT_EQ(Narrow(fieldAfterCancel), Narrow(kPassword));
    EXPECT_EQ(code, kDialogClosed);
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::wstring>{L"big.bin"});
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(big.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ((static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, bigSize);
}

// ---- What stays and what is replaced -------------------------------------

TEST_F(PasswordDialogs, EncryptionAsksBeforeReplacingAnEarlierContainer) {
    const std::wstring file = dir / L"notes.txt";
    ASSERT_TRUE(WriteFileBytes(file, PatternBytes(500, 4)));
    ASSERT_TRUE(WriteFileBytes(file + L".lock", PatternBytes(60, 5)));
    std::wstring question;
    bool untouchedAfterNo = false;
    std::wstring message;
    INT_PTR code = Encrypt({file}, [&](HWND d) {
        question = Submit(d, kPassword, IDNO);
        untouchedAfterNo = StaysOpen(d) && ReadFileBytes(file + L".lock") == PatternBytes(60, 5) &&
                           ReadFileBytes(file) == PatternBytes(500, 4);
        PostClick(d, IDC_ENCRYPT);
        AnswerBox(IDYES);
        message = AnswerBox(IDOK);
    });
    EXPECT_EQ(Narrow(question), Narrow(file + L".lock already exists.\nDo you want to replace it? "
                                              L"It goes to the Recycle Bin."));
    EXPECT_TRUE(untouchedAfterNo);
    EXPECT_EQ(Narrow(message), "Encrypted successfully.");
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_NE(ReadFileBytes(file + L".lock"), PatternBytes(60, 5));
    EXPECT_FALSE(PathExists(file));
}

TEST_F(PasswordDialogs, EncryptionSaysWhatStayedOnTheDisk) {
    const std::wstring file = dir / L"kept.txt";
    ASSERT_TRUE(WriteFileBytes(file, PatternBytes(500, 6)));
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring message;
    INT_PTR code = Encrypt({file}, [&](HWND d) { message = Submit(d, kPassword); });
    // The file is in the container, though it is still on the disk.
    const std::wstring expected = L"Encrypted successfully.\n\nThe container is complete, but "
                                  L"these items are still on the disk:\n" +
                                  file + L" (encrypted, but could not be deleted";
    EXPECT_EQ(Narrow(message.substr(0, expected.size())), Narrow(expected));
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_TRUE(PathExists(file));
    EXPECT_TRUE(PathExists(file + L".lock"));
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ---- Decryption runs ----------------------------------------------------

// A container of the folder dir\photos, made by the headless job.
std::wstring MakeContainer(const ScratchDir& dir) {
    const std::wstring photos = dir / L"photos";
    MakeDir(photos);
    WriteFileBytes(photos + L"\\a.jpg", PatternBytes(40000, 10));
    WriteFileBytes(photos + L"\\b.jpg", PatternBytes(0, 11));
    CAtomicProgress progress;
    EncryptionOutcome made = RunEncryption({photos}, L"", kPassword, progress);
    return made.result == JobResult::Succeeded ? dir / L"photos.lock" : std::wstring();
}

TEST_F(PasswordDialogs, DecryptionTriesAWrongThenTheRightPasswordAndOpensTheResult) {
    const std::wstring container = MakeContainer(dir);
    ASSERT_FALSE(container.empty());
    std::wstring label;
    std::wstring emptyMessage;
    std::wstring wrongMessage;
    bool untouchedAfterWrong = false;
    std::wstring question;
    INT_PTR code = Decrypt(container, [&](HWND d) {
        label = WindowText(::GetDlgItem(d, IDC_PATH_LABEL));
        emptyMessage = Submit(d, L"");
        wrongMessage = Submit(d, L"kore-7");
        untouchedAfterWrong = PathExists(container) && !PathExists(dir / L"photos");
        question = Submit(d, kPassword, IDYES);
    });
    EXPECT_EQ(Narrow(label), Narrow(container));
    EXPECT_EQ(Narrow(emptyMessage), "Please enter password.");
    EXPECT_EQ(Narrow(wrongMessage), "Fail to decrypt.Invalid password.");
    EXPECT_TRUE(untouchedAfterWrong);
    const std::wstring photos = dir / L"photos";
    EXPECT_EQ(Narrow(question),
              Narrow(L"Decrypted successfully. Path:" + photos + L"; Want to open?"));
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_FALSE(PathExists(container));
    EXPECT_EQ(ReadFileBytes(photos + L"\\a.jpg"), PatternBytes(40000, 10));
    EXPECT_TRUE(PathExists(photos + L"\\b.jpg"));

    EXPECT_EQ(g_opened.count, 1);
    EXPECT_EQ(g_opened.owner, nullptr);
    EXPECT_EQ(Narrow(g_opened.verb), "open");
    EXPECT_EQ(Narrow(g_opened.file), Narrow(photos));
    EXPECT_TRUE(g_opened.parametersNull);
    EXPECT_TRUE(g_opened.directoryNull);
    EXPECT_EQ(g_opened.show, SW_SHOW);
}

TEST_F(PasswordDialogs, AnsweringNoOpensNothing) {
    const std::wstring container = MakeContainer(dir);
    ASSERT_FALSE(container.empty());
    std::wstring question;
    INT_PTR code = Decrypt(container, [&](HWND d) { question = Submit(d, kPassword, IDNO); });
    EXPECT_NE(question.find(L"Want to open?"), std::wstring::npos);
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_EQ(g_opened.count, 0);
    EXPECT_TRUE(PathExists(dir / L"photos\\a.jpg"));
}

TEST_F(PasswordDialogs, AContainerThatCannotBeDeletedIsReportedBeforeTheQuestion) {
    const std::wstring container = MakeContainer(dir);
    ASSERT_FALSE(container.empty());
    ASSERT_TRUE(::SetFileAttributesW(container.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring warning;
    std::wstring question;
    INT_PTR code = Decrypt(container, [&](HWND d) {
        warning = Submit(d, kPassword);
        question = AnswerBox(IDNO);
    });
    EXPECT_EQ(warning.rfind(L"Delete source file error.", 0), 0u) << Narrow(warning);
    EXPECT_NE(question.find(L"Want to open?"), std::wstring::npos) << Narrow(question);
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_TRUE(PathExists(container));
    EXPECT_TRUE(PathExists(dir / L"photos\\a.jpg"));
    ::SetFileAttributesW(container.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ---- Start-up and ending without a job ----------------------------------

class StartUp : public PasswordDialogs, public testing::WithParamInterface<Kind> {};

TEST_P(StartUp, AMissingPathIsReportedAndEndsWithEight) {
    const std::wstring missing = dir / L"gone.lock";
    std::wstring message;
    INT_PTR code = -1;
    RunWithRobot([&] { message = AnswerBox(IDOK); },
                 [&] { code = RunDialog(GetParam(), missing); });
    EXPECT_EQ(Narrow(message), Narrow(missing + L".Invalid path."));
    EXPECT_EQ(code, kDialogClosed);
}

TEST_F(PasswordDialogs, EncryptionChecksEveryItemBeforeTheSaveDialog) {
    ASSERT_TRUE(WriteFileBytes(dir / L"here.txt", PatternBytes(1, 12)));
    std::wstring message;
    INT_PTR code = -1;
    RunWithRobot([&] { message = AnswerBox(IDOK); },
                 [&] {
                     code = RunEncrypt({dir / L"here.txt", dir / L"missing"});
                 });
    EXPECT_EQ(Narrow(message), Narrow(dir / L"missing.Invalid path."));
    EXPECT_EQ(code, kDialogClosed);
}

struct EndCase {
    const char* name;
    bool useExitButton;
};

class Ending : public PasswordDialogs,
               public testing::WithParamInterface<std::tuple<Kind, EndCase>> {};

TEST_P(Ending, ExitAndCloseEndWithEight) {
    const Kind kind = std::get<0>(GetParam());
    const EndCase& end = std::get<1>(GetParam());
    const std::wstring path = dir / L"item.lock";
    ASSERT_TRUE(WriteFileBytes(path, PatternBytes(100, 13)));
    INT_PTR code = Open(kind, path, [&](HWND d) {
        if (end.useExitButton)
            PostClick(d, IDC_EXIT);
        else
            PostClose(d);
    });
    EXPECT_EQ(code, kDialogClosed);
    EXPECT_EQ(ReadFileBytes(path), PatternBytes(100, 13));
}

TEST_P(StartUp, EscapeAndEnterInAPasswordFieldDoNothing) {
    const Kind kind = GetParam();
    const std::wstring path = dir / L"item.lock";
    ASSERT_TRUE(WriteFileBytes(path, PatternBytes(100, 14)));
    bool keysHandled = false;
    bool boxShown = true;
    bool openAfterKeys = false;
    INT_PTR code = Open(kind, path, [&](HWND d) {
        HWND field = ::GetDlgItem(d, IDC_PASSWORD);
        // The dialog loop turns these into IDCANCEL and IDOK commands.
        for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
            ::PostMessageW(field, WM_KEYDOWN, key, 1);
            ::PostMessageW(field, WM_KEYUP, key, 0xC0000001);
        }
        // A character posted after them shows when they have been handled.
        ::PostMessageW(field, WM_CHAR, L'q', 1);
        keysHandled = WaitUntil([&] { return WindowText(field) == L"q"; });
        boxShown = BoxAppears();
        openAfterKeys = ::IsWindowVisible(d) != FALSE;
        PostClick(d, IDC_EXIT);
    });
    EXPECT_TRUE(keysHandled);
    EXPECT_FALSE(boxShown);
    EXPECT_TRUE(openAfterKeys);
    EXPECT_EQ(code, kDialogClosed);
}

// The name Active Accessibility gives a control (what a screen reader
// announces), or "(none)".
std::wstring AccessibleName(HWND control) {
    IAccessible* object = nullptr;
    // __uuidof: the import library's IID_IAccessible is no data that links.
    if (FAILED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                            __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&object))))
        return L"(no object)";
    VARIANT self;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    const HRESULT result = object->get_accName(self, &name);
    object->Release();
    std::wstring text = (result == S_OK && name) ? std::wstring(name) : L"(none)";
    ::SysFreeString(name);
    return text;
}

// A field takes its accessible name from the label just before it.
TEST_P(StartUp, PasswordFieldsAreNamedByTheirLabels) {
    const Kind kind = GetParam();
    const std::wstring path = dir / L"item.lock";
    ASSERT_TRUE(WriteFileBytes(path, PatternBytes(100, 15)));
    std::wstring password, reenter;
    Open(kind, path, [&](HWND d) {
        ScopedComInit com;
        password = AccessibleName(::GetDlgItem(d, IDC_PASSWORD));
        if (HWND second = ::GetDlgItem(d, IDC_REENTER))
            reenter = AccessibleName(second);
        PostClick(d, IDC_EXIT);
    });
    EXPECT_EQ(Narrow(password), "Password:");
    EXPECT_EQ(Narrow(reenter), kind == Kind::Encrypt ? "Re-enter:" : "");
}

INSTANTIATE_TEST_SUITE_P(Both, StartUp, testing::Values(Kind::Encrypt, Kind::Decrypt),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param == Kind::Encrypt ? "Encrypt"
                                                                            : "Decrypt");
                         });

const EndCase kEndCases[] = {{"ExitButton", true}, {"CloseButton", false}};

INSTANTIATE_TEST_SUITE_P(
    Both, Ending,
    testing::Combine(testing::Values(Kind::Encrypt, Kind::Decrypt), testing::ValuesIn(kEndCases)),
    [](const testing::TestParamInfo<std::tuple<Kind, EndCase>>& info) {
        return std::string(std::get<0>(info.param) == Kind::Encrypt ? "Encrypt" : "Decrypt") +
               std::get<1>(info.param).name;
    });

// Items of the container that exist already are replaced only after a Yes;
// after a No nothing has changed and the dialog stays.
TEST_F(PasswordDialogs, DecryptionAsksBeforeReplacingWhatExists) {
    const std::wstring container = MakeContainer(dir);
    ASSERT_FALSE(container.empty());
    ASSERT_TRUE(MakeDir(dir / L"photos"));
    ASSERT_TRUE(WriteFileBytes(dir / L"photos\\a.jpg", PatternBytes(10, 12)));
    const Bytes containerBytes = ReadFileBytes(container);
    std::wstring question;
    bool untouchedAfterNo = false;
    std::wstring done;
    INT_PTR code = Decrypt(container, [&](HWND d) {
        question = Submit(d, kPassword, IDNO);
        untouchedAfterNo = StaysOpen(d) && ReadFileBytes(container) == containerBytes &&
                           ListNames(dir / L"photos") == std::vector<std::wstring>{L"a.jpg"};
        PostClick(d, IDC_DECRYPT);
        AnswerBox(IDYES);
        done = AnswerBox(IDNO);
    });
    EXPECT_EQ(Narrow(question), Narrow(L"These items of the container already exist in " +
                                       dir.Path() + L" (1 in all):\n" + (dir / L"photos\\a.jpg") +
                                       L"\n\nDo you want to replace them?"));
    EXPECT_TRUE(untouchedAfterNo);
    EXPECT_EQ(done.rfind(L"Decrypted successfully.", 0), 0u) << Narrow(done);
    EXPECT_EQ(code, kDialogJobDone);
    EXPECT_EQ(ReadFileBytes(dir / L"photos\\a.jpg"), PatternBytes(40000, 10));
    EXPECT_FALSE(PathExists(container));
}

} // namespace
