// Tessalock.exe alone in a folder of any name, as the portable zip gives it:
// it starts, and Help shows the pages it carries in its resources. The test
// prefix's web browser is a stand-in (scripts/test.sh sets it up) that
// writes each address it is asked to show into the file TL_BROWSER_LOG.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "driver/program_run.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

std::string BrowserRequests(const std::wstring& log) {
    Bytes bytes = ReadFileBytes(log);
    return std::string(bytes.begin(), bytes.end());
}

TEST(PortableProgram, RunsAloneFromAnyFolderAndShowsItsHelp) {
    char logPath[MAX_PATH] = {};
    if (!::GetEnvironmentVariableA("TL_BROWSER_LOG", logPath, MAX_PATH))
        GTEST_SKIP() << "no stand-in browser in this prefix (scripts/test.sh sets one up)";
    const std::wstring log = DosPath(logPath);

    ScratchDir scratch;
    const std::wstring folder = scratch / L"Portable Tessal\u00f6ck (copy)";
    const std::wstring temp = scratch / L"Temp";
    ASSERT_TRUE(MakeDir(folder) && MakeDir(temp));
    const std::wstring exe = folder + L"\\Tessalock.exe";
    ASSERT_TRUE(::CopyFileW(ProgramPath().c_str(), exe.c_str(), TRUE));

    // The program's temporary folder is the scratch folder's.
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    for (const wchar_t* name : {L"TEMP", L"TMP"}) {
        wchar_t previous[MAX_PATH] = {};
        ::GetEnvironmentVariableW(name, previous, MAX_PATH);
        saved.emplace_back(name, previous);
        ::SetEnvironmentVariableW(name, temp.c_str());
    }
    ProgramRun run(ProgramRun::CommandLine{L"\"" + exe + L"\""});
    for (const auto& variable : saved)
        ::SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
    ASSERT_TRUE(run.Started());

    HWND frame = run.WaitForTopLevel(IsMainFrame);
    ASSERT_NE(frame, nullptr);
    const std::wstring page = temp + L"\\Tessalock\\help.html";
    // The stand-in gets a file: address of the page's Linux path, which
    // ends in the same folders.
    std::string scratchLeaf = Narrow(scratch.Path().substr(scratch.Path().rfind(L'\\') + 1));
    auto requested = [&] {
        std::string requests = BrowserRequests(log);
        size_t at = requests.find(scratchLeaf + "/Temp/Tessalock/help.html");
        return at != std::string::npos;
    };
    ASSERT_FALSE(requested());
    PostClick(::GetWindow(frame, GW_CHILD), IDC_HELP_BUTTON);
    EXPECT_TRUE(WaitUntil(requested, 20000)) << BrowserRequests(log);

    // The page and what it links to came out of the program itself.
    for (const wchar_t* name : {L"help.html", L"protect.html", L"about.html", L"tessalock.css"}) {
        Bytes written = ReadFileBytes(temp + L"\\Tessalock\\" + name);
        EXPECT_GT(written.size(), 100u) << Narrow(name);
    }
    // No box reported a failure.
    EXPECT_EQ(run.WaitForTopLevel(IsMessageBox, 0), nullptr);
    PostClose(frame);
    EXPECT_EQ(run.WaitForExit(), 1);
}

} // namespace
