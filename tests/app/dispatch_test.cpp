// The command-line dispatcher, run in-process with argument vectors as the
// shell would split them. The robot reports which window came up (the
// encryption dialog, the decryption dialog or a message box) and what it
// shows, then closes it. Arguments are relative to a scratch folder made the
// current folder, as a start from a command prompt would have them.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/dispatch.h"
#include "app/item_collector.h"
#include "resources/resource.h"
#include "support/robot.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

struct ExtensionCase {
    const wchar_t* path;
    const wchar_t* extension;
};

TEST(GetExtension, KeepsTheDotAndSearchesTheWholePath) {
    const ExtensionCase cases[] = {
        {L"report.doc.lock", L".lock"},
        {L"D:\\Photos.lock", L".lock"},
        {L"D:\\old.lock\\notes.txt", L".txt"},
        {L"D:\\old.lock\\notes", L".lock\\notes"},
        {L"D:\\Photos", L""},
        {L"trailing.", L"."},
        {L"", L""},
    };
    for (const ExtensionCase& c : cases)
        EXPECT_EQ(Narrow(GetExtension(c.path)), Narrow(c.extension)) << Narrow(c.path);
}

enum class Seen { Nothing, EncryptDialog, DecryptDialog, AppBox, CaptionlessBox };

const char* Describe(Seen seen) {
    switch (seen) {
    case Seen::EncryptDialog:
        return "encryption dialog";
    case Seen::DecryptDialog:
        return "decryption dialog";
    case Seen::AppBox:
        return "box captioned Tessalock v1.3";
    case Seen::CaptionlessBox:
        return "box without caption";
    default:
        return "nothing";
    }
}

struct Observation {
    Seen seen = Seen::Nothing;
    std::wstring text; // the dialog's path label, or the box's message
};

// Closes the first window the dispatch brings up and says what it was.
Observation ObserveAndClose() {
    Observation seen;
    WaitUntil([&] {
        if (HWND save = WaitForFileDialog(::GetCurrentProcessId(), 0)) {
            // Several items: the dialog is still starting, hidden under the
            // Save dialog, but its label is already filled.
            HWND d = FindProcessWindow(L"#32770", kEncryptCaption, false);
            seen = {Seen::EncryptDialog, WindowText(::GetDlgItem(d, IDC_PATH_LABEL))};
            CancelFileDialog(save);
            return true;
        }
        if (HWND d = FindProcessWindow(L"#32770", kEncryptCaption)) {
            seen = {Seen::EncryptDialog, WindowText(::GetDlgItem(d, IDC_PATH_LABEL))};
            PostClose(d);
            return true;
        }
        if (HWND d = FindProcessWindow(L"#32770", kDecryptCaption)) {
            seen = {Seen::DecryptDialog, WindowText(::GetDlgItem(d, IDC_PATH_LABEL))};
            PostClose(d);
            return true;
        }
        for (const wchar_t* caption : {kAppCaption, L""}) {
            HWND box = FindProcessWindow(L"#32770", caption);
            if (box && IsMessageBox(box)) {
                seen = {caption[0] ? Seen::AppBox : Seen::CaptionlessBox, AnswerBox(box, IDOK)};
                return true;
            }
        }
        return false;
    });
    return seen;
}

struct DispatchCase {
    const char* name;
    std::vector<std::wstring> args;
    Seen seen;
    std::wstring text;
};

const DispatchCase kDispatchCases[] = {
    {"EncOfAContainer",
     {L"-enc", L"a.lock", L"b.txt"},
     Seen::CaptionlessBox,
     L"The file has been encrypted! "},
    {"EncOfAContainerAlone",
     {L"-enc", L"a.lock"},
     Seen::CaptionlessBox,
     L"The file has been encrypted! "},
    {"EncOfAFolder", {L"-enc", L"photos"}, Seen::EncryptDialog, L"photos\\"},
    {"OldFormatSwitchIsNoPath", {L"-legacy", L"photos"}, Seen::EncryptDialog, L"photos\\"},
    {"OldFormatBeforeDec", {L"-legacy", L"-dec", L"x.lock"}, Seen::DecryptDialog, L"x.lock"},
    // Only the first path is tested for the extension.
    {"EncWithAContainerSecond",
     {L"-enc", L"a.txt", L"b.lock"},
     Seen::EncryptDialog,
     L"a.txt,b.lock"},
    {"EncAloneIsAPath", {L"-enc"}, Seen::AppBox, L"-enc.Invalid path."},
    {"Dec", {L"-dec", L"x.lock"}, Seen::DecryptDialog, L"x.lock"},
    {"DecOfAnyFile", {L"-dec", L"b.txt"}, Seen::DecryptDialog, L"b.txt"},
    {"DecWithTwoPathsIsEncryption",
     {L"-dec", L"x.lock", L"b.txt"},
     Seen::AppBox,
     L"-dec.Invalid path."},
    {"ContainerAlone", {L"x.lock"}, Seen::DecryptDialog, L"x.lock"},
    // Windows compares names without regard to case: so does the extension test.
    {"UpperCaseExtensionIsAContainer", {L"DATA.LOCK"}, Seen::DecryptDialog, L"DATA.LOCK"},
    {"MixedCaseExtensionIsAContainer", {L"Data.Lock"}, Seen::DecryptDialog, L"Data.Lock"},
    {"EncOfAnUpperCaseContainer",
     {L"-enc", L"DATA.LOCK"},
     Seen::CaptionlessBox,
     L"The file has been encrypted! "},
    {"GatherOfAContainer",
     {L"-gather", L"a.lock"},
     Seen::CaptionlessBox,
     L"The file has been encrypted! "},
    {"NearlyAContainer", {L"DATA.LOCKS"}, Seen::EncryptDialog, L"DATA.LOCKS"},
    {"DotInAFolderName", {L"old.lock\\notes.txt"}, Seen::EncryptDialog, L"old.lock\\notes.txt"},
    {"UpperCaseOptionIsAPath", {L"-DEC", L"x.lock"}, Seen::AppBox, L"-DEC.Invalid path."},
    {"OneFile", {L"a.txt"}, Seen::EncryptDialog, L"a.txt"},
    {"TwoFiles", {L"a.txt", L"b.txt"}, Seen::EncryptDialog, L"a.txt,b.txt"},
};

class Dispatch : public testing::TestWithParam<DispatchCase> {
protected:
    void SetUp() override {
        for (const wchar_t* name :
             {L"a.lock", L"b.txt", L"a.txt", L"b.lock", L"x.lock", L"DATA.LOCK", L"DATA.LOCKS"})
            ASSERT_TRUE(WriteFileBytes(dir / name, PatternBytes(10, 1)));
        ASSERT_TRUE(MakeDir(dir / L"photos"));
        ASSERT_TRUE(MakeDir(dir / L"old.lock"));
        ASSERT_TRUE(WriteFileBytes(dir / L"old.lock\\notes.txt", PatternBytes(10, 2)));
        wchar_t previous[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, previous);
        previous_ = previous;
        ASSERT_TRUE(::SetCurrentDirectoryW(dir.Path().c_str()));
    }
    void TearDown() override { ::SetCurrentDirectoryW(previous_.c_str()); }

    ScratchDir dir;
    std::wstring previous_;
};

TEST_P(Dispatch, OpensTheOneWindowTheArgumentsAskFor) {
    const DispatchCase& c = GetParam();
    std::vector<const wchar_t*> args;
    for (const std::wstring& arg : c.args)
        args.push_back(arg.c_str());
    Observation seen;
    Robot robot([&] { seen = ObserveAndClose(); });
    DispatchCommandLine(args.data(), static_cast<int>(args.size()));
    robot.Join();
    EXPECT_STREQ(Describe(seen.seen), Describe(c.seen));
    EXPECT_EQ(Narrow(seen.text), Narrow(c.text));
    // Nothing was encrypted or decrypted on the way.
    EXPECT_TRUE(PathExists(dir / L"a.lock"));
    EXPECT_TRUE(PathExists(dir / L"photos"));
}

INSTANTIATE_TEST_SUITE_P(Rows, Dispatch, testing::ValuesIn(kDispatchCases),
                         [](const testing::TestParamInfo<DispatchCase>& info) {
                             return std::string(info.param.name);
                         });

// Explorer's verb starts "-gather ITEM" once per selected item: what another
// start hands over while this one collects goes into the same dialog.
TEST(DispatchGather, GathersTheItemsOfOtherStartsIntoOneDialog) {
    ScratchDir dir;
    const std::wstring a = dir / L"a.txt";
    const std::wstring b = dir / L"b.txt";
    ASSERT_TRUE(WriteFileBytes(a, PatternBytes(10, 1)));
    ASSERT_TRUE(WriteFileBytes(b, PatternBytes(10, 2)));
    // The other start is counted before this one begins to collect.
    ScopedArrivalCount other;
    bool handedOver = false;
    Observation seen;
    Robot robot([&] {
        WaitUntil([] {
            return ::FindWindowExW(HWND_MESSAGE, nullptr, item_collection::kWindowClass, nullptr) !=
                   nullptr;
        });
        // Tried again while the collector cannot take it yet, as a start
        // does: a thread that has not read its messages for a while counts
        // as hung until it does, and a hung window is not sent to.
        handedOver = WaitUntil([&] { return HandOverItems({b}); }, 10000);
        other.Withdraw();
        seen = ObserveAndClose();
    });
    const wchar_t* args[] = {L"-gather", a.c_str()};
    DispatchCommandLine(args, 2);
    robot.Join();
    EXPECT_TRUE(handedOver);
    EXPECT_STREQ(Describe(seen.seen), Describe(Seen::EncryptDialog));
    EXPECT_EQ(Narrow(seen.text), Narrow(a + L"," + b));
}

// "-enc" is a start of its own: its dialog opens at once with its own items,
// also while an Explorer selection is being gathered, and nothing of it is
// handed to that collection.
TEST(DispatchEnc, OpensItsOwnDialogWhileASelectionIsGathered) {
    ScratchDir dir;
    const std::wstring a = dir / L"a.txt";
    ASSERT_TRUE(WriteFileBytes(a, PatternBytes(10, 1)));
    std::atomic<bool> collecting{false};
    std::vector<std::wstring> collected;
    Observation seen;
    Robot robot([&] {
        CItemCollector collector;
        collecting = collector.Open();
        // Pumping, so an item handed over would be taken.
        bool shown = collecting && PumpUntil([] {
                         return FindProcessWindow(L"#32770", kEncryptCaption) != nullptr;
                     });
        collected = collector.Items();
        if (shown)
            seen = ObserveAndClose();
    });
    ASSERT_TRUE(WaitUntil([&] { return collecting.load(); }));
    const wchar_t* args[] = {L"-enc", a.c_str()};
    DispatchCommandLine(args, 2);
    robot.Join();
    EXPECT_TRUE(collected.empty());
    EXPECT_STREQ(Describe(seen.seen), Describe(Seen::EncryptDialog));
    EXPECT_EQ(Narrow(seen.text), Narrow(a));
}

} // namespace
