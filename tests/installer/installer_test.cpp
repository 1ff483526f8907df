// The installer as a Windows user meets it, run silently (/S) under Wine:
// what it puts where, a .lock file double-clicked through the association,
// "Lock with Tessalock" on a file, on a folder and on two items at once, and
// the uninstaller leaving the profile as it was before.
//
// The test's user profile is redirected into a scratch folder: the user's
// Local AppData (where the program goes), Start-menu Programs folder and
// temporary folder. The registry keys the installer writes are the user's
// own and are removed again; every value the test changes is put back.
//
// Wine 8 does not read per-user classes (HKCU\Software\Classes) when it
// resolves an association, so the tests look the command up as Explorer
// does (extension -> class -> verb -> command, "%1" replaced by the item)
// and start it.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/item_collector.h"
#include "common/unique_handle.h"
#include "resources/resource.h"
#include "driver/program_run.h"
#include "support/test_files.h"

using namespace driver;
using namespace testing_support;

namespace {

const std::wstring kClasses = L"Software\\Classes";
const std::wstring kUninstallParent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kUninstallKey = kUninstallParent + L"\\Tessalock";
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const std::wstring kSessionManager = L"System\\CurrentControlSet\\Control\\Session Manager";

// ------------------------------------------------------------ registry

struct RegistryValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

RegistryValue ReadValue(HKEY root, const std::wstring& key, const std::wstring& name) {
    RegistryValue value;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return value;
    UniqueRegKey owner(opened);
    DWORD size = 0;
    if (::RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return value;
    value.data.resize(size);
    value.present = ::RegQueryValueExW(opened, name.c_str(), nullptr, &value.type,
                                       value.data.data(), &size) == ERROR_SUCCESS;
    value.data.resize(size);
    return value;
}

void WriteValue(HKEY root, const std::wstring& key, const std::wstring& name,
                const RegistryValue& value) {
    HKEY opened = nullptr;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return;
    UniqueRegKey owner(opened);
    if (!value.present)
        ::RegDeleteValueW(opened, name.c_str());
    else
        ::RegSetValueExW(opened, name.c_str(), 0, value.type, value.data.data(),
                         static_cast<DWORD>(value.data.size()));
}

RegistryValue StringValue(DWORD type, const std::wstring& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {true, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

// A REG_SZ value's text; "(absent)" when there is no such value.
std::wstring ReadText(const std::wstring& key, const std::wstring& name = L"") {
    RegistryValue value = ReadValue(HKEY_CURRENT_USER, key, name);
    if (!value.present)
        return L"(absent)";
    if (value.type == REG_DWORD && value.data.size() == 4)
        return L"dword " + std::to_wstring(*reinterpret_cast<const DWORD*>(value.data.data()));
    std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()),
                      value.data.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool KeyExists(const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(opened);
    return true;
}

// Every key and value below key, one line each, in a fixed order: what the
// profile looked like, for a before/after comparison.
void DumpTree(HKEY root, const std::wstring& key, std::vector<std::wstring>& lines) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    UniqueRegKey owner(opened);
    lines.push_back(L"[" + key + L"]");
    std::vector<wchar_t> name(32768);
    std::vector<BYTE> data;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0, size = 0;
        if (::RegEnumValueW(opened, i, name.data(), &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        RegistryValue value = ReadValue(root, key, std::wstring(name.data(), nameLength));
        std::wstring line =
            std::wstring(name.data(), nameLength) + L" " + std::to_wstring(type) + L" ";
        for (BYTE b : value.data)
            line += L"0123456789abcdef"[b >> 4], line += L"0123456789abcdef"[b & 15];
        lines.push_back(line);
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (::RegEnumKeyExW(opened, i, name.data(), &nameLength, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name.data(), nameLength);
    }
    std::sort(children.begin(), children.end());
    for (const std::wstring& child : children)
        DumpTree(root, key + L"\\" + child, lines);
}

// ------------------------------------------------------------ files

void ListFiles(const std::wstring& folder, const std::wstring& prefix,
               std::vector<std::wstring>& lines) {
    for (const std::wstring& name : ListNames(folder)) {
        lines.push_back(prefix + name + (IsDir(folder + L"\\" + name) ? L"\\" : L""));
        if (IsDir(folder + L"\\" + name))
            ListFiles(folder + L"\\" + name, prefix + name + L"\\", lines);
    }
}

// What a shortcut points at.
std::wstring ShortcutTarget(const std::wstring& link) {
    std::wstring target;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&shellLink))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

// ------------------------------------------------------------ commands

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The command of a verb of a class, with "%1" replaced by the item.
std::wstring VerbCommand(const std::wstring& className, const std::wstring& verb,
                         const std::wstring& item) {
    return Replace(ReadText(kClasses + L"\\" + className + L"\\shell\\" + verb + L"\\command"),
                   L"%1", item);
}

// What a double-click on file runs: the class of its extension (in any
// letter case) and that class's default verb.
std::wstring DoubleClickCommand(const std::wstring& file) {
    std::wstring className = ReadText(kClasses + L"\\" + file.substr(file.find_last_of(L'.')));
    std::wstring verb = ReadText(kClasses + L"\\" + className + L"\\shell");
    return VerbCommand(className, verb == L"(absent)" || verb.empty() ? L"open" : verb, file);
}

// ------------------------------------------------------------ fixture

class Installer : public testing::Test {
protected:
    void SetUp() override {
        setup_ = DosPath(TL_SETUP_FILE);
        if (std::string(TL_SETUP_FILE).empty() || !PathExists(setup_))
            GTEST_SKIP() << "no installer was built (makensis is missing; scripts/setup.sh "
                            "installs nsis)";
        if (KeyExists(kUninstallKey))
            GTEST_SKIP() << "Tessalock is installed in this profile already; not touching it";
        ::CoInitialize(nullptr);
        active_ = true;
        localAppData_ = scratch_ / L"Local AppData";
        programs_ = scratch_ / L"Start Menu Programs";
        temp_ = scratch_ / L"Temp";
        ASSERT_TRUE(MakeDir(localAppData_) && MakeDir(programs_) && MakeDir(temp_));

        // Values the installer's run changes in the profile, kept to be put back.
        for (const wchar_t* folder : {L"Local AppData", L"Programs"}) {
            saved_.push_back({HKEY_CURRENT_USER, kExplorer + L"\\User Shell Folders", folder, {}});
            saved_.push_back({HKEY_CURRENT_USER, kExplorer + L"\\Shell Folders", folder, {}});
        }
        // An uninstaller removes its own copy in the temporary folder at the
        // next start of the system.
        saved_.push_back({HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", {}});
        for (Saved& s : saved_)
            s.value = ReadValue(s.root, s.key, s.name);
        WriteValue(HKEY_CURRENT_USER, kExplorer + L"\\User Shell Folders", L"Local AppData",
                   StringValue(REG_EXPAND_SZ, localAppData_));
        WriteValue(HKEY_CURRENT_USER, kExplorer + L"\\User Shell Folders", L"Programs",
                   StringValue(REG_EXPAND_SZ, programs_));
        for (const wchar_t* name : {L"TEMP", L"TMP"}) {
            wchar_t previous[MAX_PATH] = {};
            ::GetEnvironmentVariableW(name, previous, MAX_PATH);
            savedEnvironment_.emplace_back(name, previous);
            ::SetEnvironmentVariableW(name, temp_.c_str());
        }
    }

    void TearDown() override {
        if (!active_)
            return;
        if (KeyExists(kUninstallKey))
            Uninstall();
        // Whatever a failed uninstall left of what the installer writes.
        for (const std::wstring& key :
             {kClasses + L"\\Tessalock.Container", kClasses + L"\\*\\shell\\Tessalock.Lock",
              kClasses + L"\\Directory\\shell\\Tessalock.Lock", kUninstallKey})
            ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        for (const auto& variable : savedEnvironment_)
            ::SetEnvironmentVariableW(variable.first.c_str(), variable.second.c_str());
        for (const Saved& s : saved_)
            WriteValue(s.root, s.key, s.name, s.value);
        ::CoUninitialize();
    }

    // Runs the installer silently and waits for it.
    void Install() {
        ProgramRun setup(ProgramRun::CommandLine{L"\"" + setup_ + L"\" /S"});
        ASSERT_TRUE(setup.Started());
        ASSERT_EQ(setup.WaitForExit(60000), 0);
    }

    // Runs the uninstaller silently, as "Apps & features" does. It goes on in
    // a copy of itself in the temporary folder, so the end is when its key
    // and its folder are gone.
    void Uninstall() {
        std::wstring command = ReadText(kUninstallKey, L"QuietUninstallString");
        ProgramRun uninstall(ProgramRun::CommandLine{command});
        ASSERT_TRUE(uninstall.Started()) << Narrow(command);
        EXPECT_TRUE(WaitUntil(
            [&] { return !KeyExists(kUninstallKey) && !PathExists(InstallFolder()); }, 60000));
        // The copy ends right after; then the temporary folder can go.
        WaitUntil(
            [&] {
                RemoveTree(temp_);
                return !PathExists(temp_);
            },
            20000);
        MakeDir(temp_);
    }

    std::wstring InstallFolder() const { return localAppData_ + L"\\Programs\\Tessalock"; }
    std::wstring InstalledProgram() const { return InstallFolder() + L"\\Tessalock.exe"; }

    // The profile as far as the installer may touch it.
    std::vector<std::wstring> ProfileState() const {
        std::vector<std::wstring> lines;
        DumpTree(HKEY_CURRENT_USER, kClasses, lines);
        DumpTree(HKEY_CURRENT_USER, kUninstallParent, lines);
        ListFiles(localAppData_, L"Local AppData\\", lines);
        ListFiles(programs_, L"Programs\\", lines);
        return lines;
    }

    ScratchDir scratch_;
    std::wstring setup_, localAppData_, programs_, temp_;

private:
    struct Saved {
        HKEY root;
        std::wstring key, name;
        RegistryValue value;
    };
    bool active_ = false;
    std::vector<Saved> saved_;
    std::vector<std::pair<std::wstring, std::wstring>> savedEnvironment_;
};

struct ExpectedValue {
    std::wstring key; // below HKCU
    std::wstring name;
    std::wstring text;
};

TEST_F(Installer, PutsTheProgramTheShortcutAndTheKeysInTheUsersProfile) {
    Install();
    const std::wstring exe = InstalledProgram();
    const std::wstring quoted = L"\"" + exe + L"\"";
    EXPECT_EQ(ReadFileBytes(exe), ReadFileBytes(ProgramPath()));
    EXPECT_TRUE(PathExists(InstallFolder() + L"\\Uninstall.exe"));
    EXPECT_EQ(Narrow(ShortcutTarget(programs_ + L"\\Tessalock.lnk")), Narrow(exe));

    const std::wstring container = kClasses + L"\\Tessalock.Container";
    const std::wstring fileVerb = kClasses + L"\\*\\shell\\Tessalock.Lock";
    const std::wstring folderVerb = kClasses + L"\\Directory\\shell\\Tessalock.Lock";
    const ExpectedValue expected[] = {
        {kClasses + L"\\.lock", L"", L"Tessalock.Container"},
        {kClasses + L"\\.lock\\OpenWithProgids", L"Tessalock.Container", L""},
        {container, L"", L"Tessalock container"},
        {container + L"\\DefaultIcon", L"", quoted + L",-" + std::to_wstring(IDI_CONTAINER)},
        {container + L"\\shell", L"", L"open"},
        {container + L"\\shell\\open\\command", L"", quoted + L" -dec \"%1\""},
        {fileVerb, L"", L"Lock with Tessalock"},
        {fileVerb, L"MultiSelectModel", L"Player"},
        {fileVerb + L"\\command", L"", quoted + L" -gather \"%1\""},
        {folderVerb, L"", L"Lock with Tessalock"},
        {folderVerb, L"MultiSelectModel", L"Player"},
        {folderVerb + L"\\command", L"", quoted + L" -gather \"%1\""},
        {kUninstallKey, L"DisplayName", L"Tessalock"},
        {kUninstallKey, L"DisplayVersion", L"1.3.0"},
        {kUninstallKey, L"DisplayIcon", quoted + L",0"},
        {kUninstallKey, L"InstallLocation", InstallFolder()},
        {kUninstallKey, L"UninstallString", L"\"" + InstallFolder() + L"\\Uninstall.exe\""},
        {kUninstallKey, L"QuietUninstallString", L"\"" + InstallFolder() + L"\\Uninstall.exe\" /S"},
        {kUninstallKey, L"NoModify", L"dword 1"},
        {kUninstallKey, L"NoRepair", L"dword 1"},
    };
    for (const ExpectedValue& e : expected)
        EXPECT_EQ(Narrow(ReadText(e.key, e.name)), Narrow(e.text))
            << Narrow(e.key) << " " << Narrow(e.name);

    // The icon named for .lock files is there in the installed program.
    HICON icon = nullptr;
    EXPECT_EQ(::ExtractIconExW(exe.c_str(), -IDI_CONTAINER, &icon, nullptr, 1), 1u);
    if (icon)
        ::DestroyIcon(icon);
}

TEST_F(Installer, DoubleClickOnAContainerOpensTheDecryptionDialog) {
    Install();
    // Windows compares extensions without regard to case, and so does the
    // program's own test of the name.
    for (const wchar_t* name : {L"Tax Papers.lock", L"OLD SCANS.LOCK"}) {
        const std::wstring container = scratch_ / name;
        ASSERT_TRUE(WriteFileBytes(container, PatternBytes(64, 5)));
        ProgramRun run(ProgramRun::CommandLine{DoubleClickCommand(container)});
        ASSERT_TRUE(run.Started()) << Narrow(name);
        HWND dialog = run.WaitForWindow(L"Tessalock-Decrypt");
        ASSERT_NE(dialog, nullptr) << Narrow(name);
        EXPECT_EQ(Narrow(WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL))), Narrow(container));
        PostClose(dialog);
        EXPECT_EQ(run.WaitForExit(), 1);
        EXPECT_EQ(ReadFileBytes(container), PatternBytes(64, 5));
    }
}

struct VerbCase {
    const char* name;
    const wchar_t* className;
    bool folder;
};

TEST_F(Installer, LockWithTessalockOpensTheEncryptionDialogForAFileOrAFolder) {
    Install();
    const VerbCase cases[] = {{"file", L"*", false}, {"folder", L"Directory", true}};
    for (const VerbCase& c : cases) {
        const std::wstring item = scratch_ / (c.folder ? L"Holiday Photos" : L"notes 2012.txt");
        ASSERT_TRUE(c.folder ? MakeDir(item) : WriteFileText(item, "notes"));
        ProgramRun run(ProgramRun::CommandLine{VerbCommand(c.className, L"Tessalock.Lock", item)});
        ASSERT_TRUE(run.Started()) << c.name;
        HWND dialog = run.WaitForWindow(L"Tessalock-Encrypt");
        ASSERT_NE(dialog, nullptr) << c.name;
        EXPECT_EQ(Narrow(WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL))),
                  Narrow(item + (c.folder ? L"\\" : L"")))
            << c.name;
        PostClose(dialog);
        EXPECT_EQ(run.WaitForExit(), 1) << c.name;
        EXPECT_TRUE(PathExists(item)) << c.name;
    }
}

// Explorer starts one process per selected item; they give one dialog for
// one container.
TEST_F(Installer, TwoItemsLockedTogetherGiveOneDialog) {
    Install();
    const std::wstring file = scratch_ / L"a letter.txt";
    const std::wstring folder = scratch_ / L"Scans";
    ASSERT_TRUE(WriteFileText(file, "Dear"));
    ASSERT_TRUE(MakeDir(folder));

    // The second item's process is counted as on its way from the start, as
    // if Explorer had started it already: the first cannot end its collection
    // before the second has handed its item over, however slowly it starts.
    ScopedArrivalCount secondOnItsWay;
    ProgramRun first(ProgramRun::CommandLine{VerbCommand(L"*", L"Tessalock.Lock", file)});
    ASSERT_TRUE(first.Started());
    // The first has become the collector before the second starts.
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND w = nullptr;
                 (w = ::FindWindowExW(HWND_MESSAGE, w, item_collection::kWindowClass, nullptr));) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                if (pid == first.ProcessId())
                    return true;
            }
            return false;
        },
        20000));
    ProgramRun second(
        ProgramRun::CommandLine{VerbCommand(L"Directory", L"Tessalock.Lock", folder)});
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(), 1);
    secondOnItsWay.Withdraw();

    // Several items: the Save dialog asks where the container goes, over the
    // encryption dialog that lists both.
    HWND save = first.WaitForTopLevel(IsFileDialog);
    ASSERT_NE(save, nullptr);
    HWND dialog = first.WaitForTopLevel(
        [](HWND hwnd) { return WindowText(hwnd) == kEncryptCaption; }, 5000, false);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Narrow(WindowText(::GetDlgItem(dialog, IDC_PATH_LABEL))),
              Narrow(file + L"," + folder + L"\\"));
    CancelFileDialog(save);
    EXPECT_EQ(first.WaitForExit(), 1);
}

// While Tessalock runs, the uninstaller removes nothing, not even its entry
// in "Apps & features", and ends with a failure; once the program is closed
// it removes everything.
TEST_F(Installer, UninstallWhileTheProgramRunsRemovesNothing) {
    Install();
    const std::wstring container = scratch_ / L"open.lock";
    ASSERT_TRUE(WriteFileBytes(container, PatternBytes(64, 6)));
    ProgramRun running(ProgramRun::CommandLine{DoubleClickCommand(container)});
    HWND dialog = running.WaitForWindow(L"Tessalock-Decrypt");
    ASSERT_NE(dialog, nullptr);
    // Run in its own folder (_?=) rather than as a copy, so its end is its exit.
    ProgramRun uninstall(ProgramRun::CommandLine{L"\"" + InstallFolder() +
                                                 L"\\Uninstall.exe\" /S _?=" + InstallFolder()});
    EXPECT_EQ(uninstall.WaitForExit(60000), 2);
    EXPECT_TRUE(PathExists(InstalledProgram()));
    EXPECT_TRUE(PathExists(programs_ + L"\\Tessalock.lnk"));
    EXPECT_TRUE(KeyExists(kUninstallKey));
    EXPECT_EQ(Narrow(ReadText(kClasses + L"\\.lock")), "Tessalock.Container");

    PostClose(dialog);
    EXPECT_EQ(running.WaitForExit(), 1);
    Uninstall();
    EXPECT_FALSE(PathExists(InstallFolder()));
    EXPECT_FALSE(KeyExists(kUninstallKey));
}

struct ProfileCase {
    const char* name;
    void (*prepare)(const std::wstring& localAppData);
};

// A profile that never had an uninstall entry has no key for them either.
void NothingThere(const std::wstring&) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallParent.c_str(), 0, KEY_READ, &opened) !=
        ERROR_SUCCESS)
        return;
    DWORD keys = 0, values = 0;
    const bool empty =
        ::RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                           nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        keys == 0 && values == 0;
    ::RegCloseKey(opened);
    if (empty)
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallParent.c_str());
}

// Another program's association for .lock, its own verb beside ours and a
// folder of its own among the user's programs.
void OtherProgramsThere(const std::wstring& localAppData) {
    const RegistryValue empty = StringValue(REG_SZ, L"");
    WriteValue(HKEY_CURRENT_USER, kClasses + L"\\.lock", L"",
               StringValue(REG_SZ, L"Other.Container"));
    WriteValue(HKEY_CURRENT_USER, kClasses + L"\\.lock\\OpenWithProgids", L"Other.Container",
               empty);
    WriteValue(HKEY_CURRENT_USER, kClasses + L"\\*\\shell\\OtherVerb\\command", L"",
               StringValue(REG_SZ, L"other.exe \"%1\""));
    WriteValue(HKEY_CURRENT_USER, kClasses + L"\\Directory\\shell", L"", empty);
    MakeDir(localAppData + L"\\Programs");
    MakeDir(localAppData + L"\\Programs\\Other");
}

void RemoveOtherPrograms() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + L"\\.lock").c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + L"\\*").c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, (kClasses + L"\\Directory").c_str());
}

TEST_F(Installer, UninstallLeavesTheProfileAsItWasBefore) {
    for (const wchar_t* key : {L"\\.lock", L"\\*", L"\\Directory"}) {
        if (KeyExists(kClasses + key))
            GTEST_SKIP() << "the profile has its own " << Narrow(kClasses + key)
                         << "; the test would change it";
    }
    const ProfileCase cases[] = {{"fresh profile", NothingThere},
                                 {"other programs there", OtherProgramsThere}};
    for (const ProfileCase& c : cases) {
        c.prepare(localAppData_);
        const std::vector<std::wstring> before = ProfileState();
        Install();
        EXPECT_EQ(Narrow(ReadText(kClasses + L"\\.lock")), "Tessalock.Container") << c.name;
        Uninstall();
        const std::vector<std::wstring> after = ProfileState();
        EXPECT_EQ(after, before) << c.name;
        RemoveOtherPrograms();
        RemoveTree(localAppData_ + L"\\Programs");
    }
}

} // namespace
