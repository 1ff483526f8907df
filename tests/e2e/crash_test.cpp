// Tessalock.exe killed at moments spread over an encryption and over a
// decryption, as a crash would end it. After each kill every byte of the
// user's files is still somewhere the user can get it back: in its file, or
// in a complete container under its final name; a decryption's container is
// untouched until it is no longer needed. What a killed run leaves is
// recognisable by name and by the decryption's journal, a file the user
// changes after the kill stays the user's (asked about, then in the Recycle
// Bin), and the next run on the same item or container clears it up and
// ends with everything in place.
//
// TL_CRASH_TRIALS (default 3) sets the number of kills for each job.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/containers.h"
#include "job_test_support.h"
#include "resources/resource.h"
#include "driver/program_run.h"

#include <cstdio>
#include <cstdlib>

using namespace driver;
using namespace testing_support;

namespace {

constexpr wchar_t kPassword[] = L"crash test";

int Trials() {
    const char* text = std::getenv("TL_CRASH_TRIALS");
    const int trials = text ? std::atoi(text) : 0;
    return trials > 0 ? trials : 3;
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// Many small files (their deletion takes a while) and two large ones (so
// does their writing).
std::vector<TreeEntry> Tree() {
    std::vector<TreeEntry> tree = {{L"data", -1}, {L"data\\sub", -1}};
    for (int k = 0; k < 150; ++k)
        tree.push_back({(k % 2 ? L"data\\sub\\f" : L"data\\f") + std::to_wstring(k), 100 * k});
    tree.push_back({L"data\\big1.bin", 4 << 20});
    tree.push_back({L"data\\sub\\big2.bin", 3 << 20});
    return tree;
}

// Names of a job's temporary files below folder.
std::vector<std::wstring> LeftoversBelow(const std::wstring& folder) {
    std::vector<std::wstring> found = LeftoverNames(folder);
    for (const std::wstring& name : ListNames(folder)) {
        if (IsDir(folder + L"\\" + name)) {
            for (const std::wstring& inner : LeftoversBelow(folder + L"\\" + name))
                found.push_back(name + L"\\" + inner);
        }
    }
    return found;
}

// Starts the program on the item, types the password, presses Encrypt.
// With killAfterMs the run is killed that long after the press; without,
// it is watched to its end and the time it took comes back.
DWORD EncryptInProgram(const std::wstring& item, DWORD killAfterMs) {
    ProgramRun run(L"-enc " + Quoted(item));
    HWND dialog = run.WaitForWindow(L"Tessalock-Encrypt");
    EXPECT_NE(dialog, nullptr);
    if (!dialog)
        return 0;
    TypeText(dialog, IDC_PASSWORD, kPassword);
    TypeText(dialog, IDC_REENTER, kPassword);
    const ULONGLONG start = GetTickCount64();
    PostClick(dialog, IDC_ENCRYPT);
    if (killAfterMs == INFINITE) {
        // The job's last step is the removal of the item; the box follows at
        // the progress window's next tick.
        WaitUntil([&] { return !PathExists(item); }, 60000);
        const DWORD took = static_cast<DWORD>(GetTickCount64() - start);
        EXPECT_EQ(Narrow(run.AnswerBox(kAppCaption, IDOK)), "Encrypted successfully.");
        EXPECT_EQ(run.WaitForExit(), 1);
        return took;
    }
    Sleep(killAfterMs);
    TerminateProcess(run.Process(), 9);
    WaitForSingleObject(run.Process(), 10000);
    return killAfterMs;
}

DWORD DecryptInProgram(const std::wstring& container, DWORD killAfterMs) {
    ProgramRun run(Quoted(container));
    HWND dialog = run.WaitForWindow(L"Tessalock-Decrypt");
    EXPECT_NE(dialog, nullptr);
    if (!dialog)
        return 0;
    TypeText(dialog, IDC_PASSWORD, kPassword);
    PostClick(dialog, IDC_DECRYPT);
    // One item exists already: the program asks before it writes anything.
    const std::wstring question = run.AnswerBox(kAppCaption, IDYES);
    EXPECT_EQ(question.rfind(L"These items of the container already exist in ", 0), 0u)
        << Narrow(question);
    const ULONGLONG start = GetTickCount64();
    if (killAfterMs == INFINITE) {
        // The job's last step is the removal of the container.
        WaitUntil([&] { return !PathExists(container); }, 60000);
        const DWORD took = static_cast<DWORD>(GetTickCount64() - start);
        EXPECT_EQ(Narrow(run.AnswerBox(kAppCaption, IDNO)).rfind("Decrypted successfully.", 0), 0u);
        EXPECT_EQ(run.WaitForExit(), 1);
        return took;
    }
    Sleep(killAfterMs);
    TerminateProcess(run.Process(), 9);
    WaitForSingleObject(run.Process(), 10000);
    return killAfterMs;
}

// Kill moments spread over the whole job and a little beyond it.
std::vector<DWORD> KillMoments(DWORD jobMs) {
    const int trials = Trials();
    std::vector<DWORD> moments;
    for (int k = 0; k < trials; ++k)
        moments.push_back(static_cast<DWORD>((jobMs * 11 / 10) * (k + 1) / (trials + 1)));
    return moments;
}

TEST(Crash, KilledEncryptionLosesNothing) {
    const std::vector<TreeEntry> tree = Tree();
    DWORD jobMs = 0;
    {
        ScratchDir dir;
        ASSERT_TRUE(MakeTree(dir.Path(), tree));
        jobMs = EncryptInProgram(dir / L"data", INFINITE);
        ASSERT_FALSE(PathExists(dir / L"data"));
    }
    for (DWORD moment : KillMoments(jobMs)) {
        SCOPED_TRACE(moment);
        ScratchDir dir;
        ASSERT_TRUE(MakeTree(dir.Path(), tree));
        EncryptInProgram(dir / L"data", moment);

        const std::wstring container = dir / L"data.lock";
        std::vector<StoredEntry> stored;
        const bool complete = PathExists(container);
        std::printf("encryption (%lu ms) killed after %lu ms: %s\n", jobMs, moment,
                    complete ? "container in place" : "no container yet");
        if (complete) {
            // A container under its final name is always whole.
            ASSERT_TRUE(ReadContainer(container, kPassword, stored));
        }
        for (size_t i = 0; i < tree.size(); ++i) {
            if (tree[i].size < 0)
                continue;
            const std::wstring path = dir / tree[i].path;
            if (PathExists(path)) {
                EXPECT_EQ(ReadFileBytes(path), TreeFileBytes(tree, i)) << Narrow(path);
                continue;
            }
            // Gone from the disk: then it is in the complete container.
            ASSERT_TRUE(complete) << Narrow(path);
            const std::wstring name = tree[i].path.substr(tree[i].path.rfind(L'\\') + 1);
            auto entry = std::find_if(stored.begin(), stored.end(),
                                      [&](const StoredEntry& e) { return e.name == name; });
            ASSERT_NE(entry, stored.end()) << Narrow(path);
            EXPECT_EQ(entry->data, TreeFileBytes(tree, i)) << Narrow(path);
        }

        // The next run on the same item finds the container in its place
        // (and leaves it) or makes it; either way no temporary file stays.
        CAtomicProgress progress;
        EncryptionOutcome again =
            ::RunEncryption(std::vector<std::wstring>{dir / L"data"}, L"", kPassword, progress);
        EXPECT_EQ(again.result, complete ? JobResult::Failed : JobResult::Succeeded)
            << Narrow(again.errorText);
        EXPECT_EQ(LeftoversBelow(dir.Path()), std::vector<std::wstring>{});
        if (!complete) {
            EXPECT_FALSE(PathExists(dir / L"data"));
            EXPECT_TRUE(ReadContainer(container, kPassword, stored));
        }
    }
}

TEST(Crash, KilledDecryptionLosesNothing) {
    const std::vector<TreeEntry> tree = Tree();
    const Bytes mine = PatternBytes(777, 42);
    // One file of the container is on the disk already, with other bytes:
    // the user agrees to replace it.
    auto prepare = [&](const ScratchDir& dir) {
        EXPECT_TRUE(MakeTree(dir.Path(), tree));
        CAtomicProgress progress;
        EncryptionOutcome made =
            ::RunEncryption(std::vector<std::wstring>{dir / L"data"}, L"", kPassword, progress);
        EXPECT_EQ(made.result, JobResult::Succeeded) << Narrow(made.errorText);
        EXPECT_TRUE(MakeDir(dir / L"data"));
        EXPECT_TRUE(WriteFileBytes(dir / L"data\\f2", mine));
    };
    DWORD jobMs = 0;
    {
        ScratchDir dir;
        prepare(dir);
        jobMs = DecryptInProgram(dir / L"data.lock", INFINITE);
        EXPECT_TRUE(TreeMatches(dir.Path(), tree));
    }
    for (DWORD moment : KillMoments(jobMs)) {
        SCOPED_TRACE(moment);
        ScratchDir dir;
        prepare(dir);
        const std::wstring container = dir / L"data.lock";
        const Bytes containerBytes = ReadFileBytes(container);
        DecryptInProgram(container, moment);
        std::printf("decryption (%lu ms) killed after %lu ms: %s\n", jobMs, moment,
                    PathExists(container) ? "container still there" : "done");

        if (PathExists(container)) {
            // Untouched while it is still needed; and the user's own file
            // is in its place or, moved aside, beside it.
            EXPECT_TRUE(ReadFileBytes(container) == containerBytes);
            const bool inPlace = ReadFileBytes(dir / L"data\\f2") == mine;
            const bool aside = ReadFileBytes(dir / L"data\\f2.tl-backup") == mine;
            // Only once every file is restored and on the device may the
            // file the user agreed to replace be in the Recycle Bin.
            EXPECT_TRUE(inPlace || aside || TreeMatches(dir.Path(), tree));

            // The user edits a file the stopped run had restored: from now
            // on it is the user's, asked about and never lost.
            std::wstring edited;
            const Bytes edit = PatternBytes(321, moment);
            for (size_t i = 0; i < tree.size() && edited.empty(); ++i) {
                const std::wstring path = dir / tree[i].path;
                if (tree[i].size > 0 && tree[i].path != L"data\\f2" &&
                    ReadFileBytes(path) == TreeFileBytes(tree, i)) {
                    ASSERT_TRUE(WriteFileBytes(path, edit));
                    edited = path;
                }
            }
            std::printf("  %s\n", edited.empty() ? "nothing restored yet to edit"
                                                 : "a restored file edited by the user");
            const std::vector<std::wstring> stopped = LeftoversBelow(dir.Path());

            // The next run changes nothing before it has asked; with
            // consent it restores everything, and the files it replaced are
            // in the Recycle Bin. (An edited file is asked about unless the
            // kill came between its last write and the journal's note of
            // it: then nobody can tell whose its bytes are, and it goes to
            // the Recycle Bin unasked.)
            CAtomicProgress asking;
            DecryptionOutcome first = ::RunDecryption(container, kPassword, asking);
            ASSERT_EQ(first.result, JobResult::NeedsConsent) << Narrow(first.errorText);
            EXPECT_GE(first.existingCount, 1u);
            EXPECT_EQ(LeftoversBelow(dir.Path()), stopped);
            if (!edited.empty()) {
                EXPECT_EQ(ReadFileBytes(edited), edit);
            }
            CAtomicProgress progress;
            DecryptionOutcome second =
                ::RunDecryption(container, kPassword, progress, first.existingCount);
            ASSERT_EQ(second.result, JobResult::Succeeded) << Narrow(second.errorText);
            if (!edited.empty()) {
                EXPECT_NE(FindRecycled(edit), L"") << Narrow(edited);
            }
            if (inPlace || aside) {
                EXPECT_NE(FindRecycled(mine), L"");
            }
        }
        EXPECT_FALSE(PathExists(container));
        EXPECT_TRUE(TreeMatches(dir.Path(), tree));
        EXPECT_EQ(LeftoversBelow(dir.Path()), std::vector<std::wstring>{});
    }
}

} // namespace
