// Tessalock.exe as a person uses it: started with a command line, its dialogs
// filled in and its boxes answered from this separate process, its exit code
// and the files on disk checked afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include "driver/program_run.h"
#include "resources/resource.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

constexpr wchar_t kPassword[] = L"lantern \u00e9t\u00e9 42";

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

TEST(EndToEnd, EncryptsAFolderAndDecryptsTheContainerAfterAWrongPassword) {
    ScratchDir dir;
    const std::wstring photos = dir / L"My Photos";
    ASSERT_TRUE(MakeDir(photos));
    ASSERT_TRUE(MakeDir(photos + L"\\2012"));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\a.jpg", PatternBytes(300000, 1)));
    ASSERT_TRUE(WriteFileBytes(photos + L"\\2012\\b.jpg", PatternBytes(77, 2)));
    const std::wstring container = photos + L".lock";

    {
        ProgramRun run(L"-enc " + Quoted(photos));
        ASSERT_TRUE(run.Started());
        HWND dialog = run.WaitForWindow(L"Tessalock-Encrypt");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(Narrow(WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL))), Narrow(photos + L"\\"));
        TypeText(dialog, IDC_PASSWORD, kPassword);
        TypeText(dialog, IDC_REENTER, kPassword);
        PostClick(dialog, IDC_ENCRYPT);
        EXPECT_EQ(Narrow(run.AnswerBox(kAppCaption, IDOK)), "Encrypted successfully.");
        EXPECT_EQ(run.WaitForExit(), 1);
    }
    EXPECT_FALSE(PathExists(photos));
    ASSERT_TRUE(PathExists(container));
    // Written as every new container is: authenticated, with the full cost
    // of the key (type 2, Argon2id, 256 MiB), and neither the password nor a
    // name readable in it.
    const Bytes locked = ReadFileBytes(container);
    ASSERT_GT(locked.size(), 9u);
    EXPECT_EQ(Bytes(locked.begin(), locked.begin() + 9), (Bytes{0, 0, 0, 2, 1, 0, 4, 0, 0}));
    for (const wchar_t* secret : {kPassword, L"My Photos", L"a.jpg", L"2012", L"b.jpg"})
        EXPECT_FALSE(HoldsText(locked, secret)) << Narrow(secret);

    {
        ProgramRun run(Quoted(container));
        ASSERT_TRUE(run.Started());
        HWND dialog = run.WaitForWindow(L"Tessalock-Decrypt");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(Narrow(WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL))), Narrow(container));

        TypeText(dialog, IDC_PASSWORD, L"lantern ete 42");
        PostClick(dialog, IDC_DECRYPT);
        EXPECT_EQ(Narrow(run.AnswerBox(kAppCaption, IDOK)), "Fail to decrypt.Invalid password.");
        EXPECT_TRUE(::IsWindowVisible(dialog));
        EXPECT_FALSE(PathExists(photos));

        TypeText(dialog, IDC_PASSWORD, kPassword);
        PostClick(dialog, IDC_DECRYPT);
        EXPECT_EQ(Narrow(run.AnswerBox(kAppCaption, IDNO)),
                  Narrow(L"Decrypted successfully. Path:" + photos + L"; Want to open?"));
        EXPECT_EQ(run.WaitForExit(), 1);
    }
    EXPECT_FALSE(PathExists(container));
    EXPECT_EQ(ReadFileBytes(photos + L"\\a.jpg"), PatternBytes(300000, 1));
    EXPECT_EQ(ReadFileBytes(photos + L"\\2012\\b.jpg"), PatternBytes(77, 2));
}

TEST(EndToEnd, RefusesToEncryptAContainerAgain) {
    ScratchDir dir;
    const std::wstring container = dir / L"old.lock";
    ASSERT_TRUE(WriteFileBytes(container, PatternBytes(50, 3)));
    ProgramRun run(L"-enc " + Quoted(container) + L" " + Quoted(dir / L"other.txt"));
    ASSERT_TRUE(run.Started());
    // The note has no caption.
    EXPECT_EQ(Narrow(run.AnswerBox(L"", IDOK)), "The file has been encrypted! ");
    EXPECT_EQ(run.WaitForExit(), 1);
    EXPECT_EQ(ReadFileBytes(container), PatternBytes(50, 3));
}

} // namespace
