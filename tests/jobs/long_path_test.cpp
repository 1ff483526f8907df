// Both jobs on real trees whose paths pass 260 characters, under the rule of
// a Windows without the long-path opt-in: everything comes back byte for
// byte, a restore may replace an existing file there, and the texts the user
// reads name the paths in their ordinary form.
#include "support/containers.h"
#include "job_test_support.h"
#include "jobs/job_runner.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

const std::wstring kPassword = L"long way down";

// Windows without the long-path opt-in refuses an ordinary path whose full
// form does not fit in MAX_PATH characters (248 for a new folder); this Wine
// takes it. While an object of this class lives, the file-system functions
// this program imports refuse such paths as Windows does, on the real files,
// so a call that is handed the ordinary form of a long path fails here too.
class WindowsPathLimit {
public:
    WindowsPathLimit() {
        Patch("CreateFileW", &g_createFile, LimitedCreateFile);
        Patch("GetFileAttributesW", &g_getAttributes, LimitedGetAttributes);
        Patch("GetFileAttributesExW", &g_getAttributesEx, LimitedGetAttributesEx);
        Patch("FindFirstFileExW", &g_findFirst, LimitedFindFirst);
        Patch("CreateDirectoryW", &g_createDirectory, LimitedCreateDirectory);
        Patch("RemoveDirectoryW", &g_removeDirectory, LimitedRemoveDirectory);
        Patch("DeleteFileW", &g_deleteFile, LimitedDeleteFile);
        Patch("MoveFileExW", &g_moveFile, LimitedMoveFile);
    }
    ~WindowsPathLimit() {
        for (const Slot& slot : slots_)
            Write(slot.address, slot.original);
    }
    WindowsPathLimit(const WindowsPathLimit&) = delete;
    WindowsPathLimit& operator=(const WindowsPathLimit&) = delete;

    // Every function was found among the program's imports.
    bool Complete() const { return slots_.size() == 8; }

private:
    struct Slot {
        void** address;
        void* original;
    };

    static bool Refused(const wchar_t* path, DWORD limit = MAX_PATH) {
        if (!path || std::wcsncmp(path, L"\\\\?\\", 4) == 0)
            return false;
        // The length with the terminating NUL.
        if (::GetFullPathNameW(path, 0, nullptr, nullptr) <= limit)
            return false;
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return true;
    }
    static HANDLE WINAPI LimitedCreateFile(LPCWSTR path, DWORD access, DWORD share,
                                           LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                           DWORD flags, HANDLE model) {
        return Refused(path)
                   ? INVALID_HANDLE_VALUE
                   : g_createFile(path, access, share, security, disposition, flags, model);
    }
    static DWORD WINAPI LimitedGetAttributes(LPCWSTR path) {
        return Refused(path) ? INVALID_FILE_ATTRIBUTES : g_getAttributes(path);
    }
    static BOOL WINAPI LimitedGetAttributesEx(LPCWSTR path, GET_FILEEX_INFO_LEVELS level,
                                              LPVOID data) {
        return Refused(path) ? FALSE : g_getAttributesEx(path, level, data);
    }
    static HANDLE WINAPI LimitedFindFirst(LPCWSTR path, FINDEX_INFO_LEVELS level, LPVOID data,
                                          FINDEX_SEARCH_OPS search, LPVOID filter, DWORD flags) {
        return Refused(path) ? INVALID_HANDLE_VALUE
                             : g_findFirst(path, level, data, search, filter, flags);
    }
    static BOOL WINAPI LimitedCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
        return Refused(path, MAX_PATH - 12) ? FALSE : g_createDirectory(path, security);
    }
    static BOOL WINAPI LimitedRemoveDirectory(LPCWSTR path) {
        return Refused(path) ? FALSE : g_removeDirectory(path);
    }
    static BOOL WINAPI LimitedDeleteFile(LPCWSTR path) {
        return Refused(path) ? FALSE : g_deleteFile(path);
    }
    static BOOL WINAPI LimitedMoveFile(LPCWSTR from, LPCWSTR to, DWORD flags) {
        return Refused(from) || Refused(to) ? FALSE : g_moveFile(from, to, flags);
    }

    template <typename Function>
    void Patch(const char* name, Function* original, Function limited) {
        void** address = ImportSlot(name);
        if (!address)
            return;
        *original = reinterpret_cast<Function>(*address);
        slots_.push_back(Slot{address, *address});
        Write(address, reinterpret_cast<void*>(limited));
    }
    static void Write(void** address, void* value) {
        DWORD protection = 0;
        ::VirtualProtect(address, sizeof(void*), PAGE_READWRITE, &protection);
        *address = value;
        ::VirtualProtect(address, sizeof(void*), protection, &protection);
    }
    // The program's import slot of a KERNEL32 function.
    static void** ImportSlot(const char* name) {
        auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             dll->Name; ++dll) {
            if (_stricmp(reinterpret_cast<char*>(base + dll->Name), "kernel32.dll") != 0 ||
                !dll->OriginalFirstThunk)
                continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                auto* byName =
                    reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<char*>(byName->Name), name) == 0)
                    return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    static inline decltype(&::CreateFileW) g_createFile;
    static inline decltype(&::GetFileAttributesW) g_getAttributes;
    static inline decltype(&::GetFileAttributesExW) g_getAttributesEx;
    static inline decltype(&::FindFirstFileExW) g_findFirst;
    static inline decltype(&::CreateDirectoryW) g_createDirectory;
    static inline decltype(&::RemoveDirectoryW) g_removeDirectory;
    static inline decltype(&::DeleteFileW) g_deleteFile;
    static inline decltype(&::MoveFileExW) g_moveFile;
    std::vector<Slot> slots_;
};

// Seven folders of 40 letters below top: beyond 260 characters wherever the
// scratch folder is.
std::wstring DeepFolder(const std::wstring& top) {
    std::wstring path = top;
    for (wchar_t c = L'a'; c < L'h'; ++c)
        path += L"\\" + std::wstring(40, c);
    return path;
}

// The folder chain down to DeepFolder(top), with files at the bottom (one
// large enough to be read and written in several blocks) and one near the top.
std::vector<TreeEntry> DeepTree(const std::wstring& top) {
    std::vector<TreeEntry> tree;
    std::wstring path = top;
    tree.push_back({path, -1});
    for (wchar_t c = L'a'; c < L'h'; ++c) {
        path += L"\\" + std::wstring(40, c);
        tree.push_back({path, -1});
    }
    tree.push_back({path + L"\\far down.bin", 2500000});
    tree.push_back({path + L"\\zero.txt", 0});
    tree.push_back({path + L"\\small.txt", 77});
    tree.push_back({path + L"\\empty", -1});
    tree.push_back({top + L"\\near.txt", 10});
    return tree;
}

// The emulation holds: the ordinary form of a long path fails, its
// extended form and the path utilities reach the item.
TEST(LongPaths, WindowsRulesRefuseOrdinaryLongPaths) {
    ScratchDir dir;
    ASSERT_TRUE(MakeTree(dir.Path(), DeepTree(L"top")));
    const std::wstring file = dir / (DeepFolder(L"top") + L"\\small.txt");
    WindowsPathLimit limit;
    ASSERT_TRUE(limit.Complete());
    EXPECT_EQ(::GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_NE(::GetFileAttributesW(ExtendedPath(file).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(CPathInfo(file).IsFile());
    EXPECT_NE(::GetFileAttributesW((dir / L"top").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Every entry of the tree at or below the selected item (a relative path)
// is in restoredFolder, as it was below the selected item's folder.
void ExpectRestored(const std::wstring& restoredFolder, const std::vector<TreeEntry>& tree,
                    const std::wstring& selected) {
    const size_t cut = ParentOf(selected, L'\\').size();
    for (size_t i = 0; i < tree.size(); ++i) {
        const std::wstring& path = tree[i].path;
        if (path != selected && path.rfind(selected + L"\\", 0) != 0)
            continue;
        const std::wstring restored = restoredFolder + L"\\" + path.substr(cut);
        if (tree[i].size < 0)
            EXPECT_TRUE(IsDir(restored)) << Narrow(restored);
        else
            EXPECT_EQ(ReadFileBytes(restored), TreeFileBytes(tree, i)) << Narrow(restored);
    }
}

TEST(LongPaths, TreesComeBackWhole) {
    struct Case {
        const char* what;
        std::vector<std::wstring> selected; // relative to the scratch folder
        std::wstring container;             // relative; empty: beside the item
        std::wstring resultPath;            // relative
    };
    const std::wstring deep = DeepFolder(L"top");
    const std::wstring above = ParentOf(deep, L'\\');
    const std::vector<Case> cases = {
        {"a tree deeper than 260 characters", {L"top"}, L"", L"top"},
        {"a folder and its container beyond 260 characters", {deep}, L"", deep},
        {"a file beyond 260 characters", {deep + L"\\far down.bin"}, L"", deep + L"\\far down.bin"},
        {"several items into a container beyond 260 characters",
         {deep, L"top\\near.txt"},
         above + L"both.lock",
         above + L"both"},
    };
    const std::vector<TreeEntry> tree = DeepTree(L"top");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        ASSERT_TRUE(MakeTree(dir.Path(), tree));
        std::vector<std::wstring> paths;
        for (const std::wstring& p : c.selected)
            paths.push_back(dir / p);
        const std::wstring container =
            c.container.empty() ? paths[0] + L".lock" : dir / c.container;
        CAtomicProgress encrypting, decrypting;
        EncryptionOutcome enc;
        {
            WindowsPathLimit limit;
            ASSERT_TRUE(limit.Complete());
            enc =
                RunEncryption(paths, c.container.empty() ? L"" : container, kPassword, encrypting);
        }
        ASSERT_EQ(enc.result, JobResult::Succeeded) << Narrow(enc.errorText);
        EXPECT_TRUE(enc.leftBehind.empty());
        for (const std::wstring& p : paths)
            EXPECT_FALSE(PathExists(p)) << Narrow(p);
        DecryptionOutcome dec;
        {
            WindowsPathLimit limit;
            dec = RunDecryption(container, kPassword, decrypting);
        }
        ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
        EXPECT_EQ(Narrow(dec.resultPath), Narrow(dir / c.resultPath));
        for (const std::wstring& p : c.selected) {
            std::wstring restoredFolder = ParentOf(dir / p, L'\\');
            restoredFolder.pop_back();
            if (c.selected.size() > 1)
                restoredFolder = dir / c.resultPath;
            ExpectRestored(restoredFolder, tree, p);
        }
        EXPECT_FALSE(PathExists(container));
        EXPECT_EQ(LeftoverNames(ParentOf(container, L'\\')), std::vector<std::wstring>{});
    }
}

// The user agreed to replace a file deep down: it is moved aside, replaced
// and its earlier copy deleted (told to the user: the Recycle Bin cannot take
// it), all beyond 260 characters. Before the
// consent the job names it in the ordinary form.
TEST(LongPaths, RestoreReplacesAnExistingFileWithConsent) {
    ScratchDir dir;
    ASSERT_TRUE(MakeTree(dir.Path(), DeepTree(L"top")));
    const std::wstring folder = dir / DeepFolder(L"top");
    const std::wstring container = folder + L"\\c.lock";
    const Bytes fresh = PatternBytes(3000, 5);
    ASSERT_TRUE(WriteContainer(container, kPassword, {FileRecord(L"/", L"small.txt", fresh)}));

    CAtomicProgress asking, replacing;
    DecryptionOutcome ask, dec;
    {
        WindowsPathLimit limit;
        ASSERT_TRUE(limit.Complete());
        ask = RunDecryption(container, kPassword, asking);
        dec = RunDecryption(container, kPassword, replacing, 1);
    }
    EXPECT_EQ(ask.result, JobResult::NeedsConsent);
    ASSERT_EQ(ask.existingCount, 1u);
    EXPECT_EQ(Narrow(ask.existing.at(0)), Narrow(folder + L"\\small.txt"));
    // The Recycle Bin takes no path this long: the question says so.
    EXPECT_TRUE(ask.recycleBinMissing);
    ASSERT_EQ(dec.result, JobResult::Succeeded) << Narrow(dec.errorText);
    EXPECT_EQ(ReadFileBytes(folder + L"\\small.txt"), fresh);
    EXPECT_FALSE(PathExists(container));
    EXPECT_EQ(LeftoverNames(folder), std::vector<std::wstring>{});
}

// Failures name the item as the user selected it, never in the extended
// form the file system is given.
TEST(LongPaths, FailureTextsNameTheOrdinaryPath) {
    ScratchDir dir;
    ASSERT_TRUE(MakeTree(dir.Path(), DeepTree(L"top")));
    const std::wstring file = dir / (DeepFolder(L"top") + L"\\small.txt");
    std::vector<CPathInfo> items = {CPathInfo(file)};
    ASSERT_TRUE(items[0].IsFile());
    ASSERT_TRUE(DeleteFileW(ExtendedPath(file).c_str()));
    CAtomicProgress progress;
    EncryptionOutcome enc;
    {
        WindowsPathLimit limit;
        ASSERT_TRUE(limit.Complete());
        enc = EncryptSnapshots(items, file + L".lock", kPassword, progress);
    }
    EXPECT_EQ(enc.result, JobResult::Failed);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Narrow(enc.errorText),
              Narrow(L"Encrypt error." + file + L"\n" + GetSystemErrorText()));
    EXPECT_FALSE(PathExists(file + L".lock"));
}

} // namespace
