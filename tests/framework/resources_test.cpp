// The compiled resources, read back from the executable: dialog templates
// (ids, classes, texts, styles, rectangles, tab order, fonts), the string
// table, menus, accelerators, icons, the banner bitmap, the manifest and the
// version block. A wrong number here would silently misplace or break a
// dialog, so the templates are compared field by field.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/res_string.h"
#include "framework/template_reader.h"
#include "resources/resource.h"
#include "support/test_files.h"

using testing_support::DialogItem;
using testing_support::DialogTemplate;
using testing_support::Narrow;
using testing_support::ReadDialogTemplate;

namespace {

constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;
constexpr DWORD kShellFont = DS_SETFONT | DS_FIXEDSYS;

struct ExpectedItem {
    int32_t id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style; // beyond WS_CHILD | WS_VISIBLE
    short x, y, cx, cy;
};

struct ExpectedDialog {
    int id;
    const wchar_t* caption;
    DWORD style;
    DWORD exStyle;
    short cx, cy;
    WORD pointSize;
    const wchar_t* typeface;
    std::vector<ExpectedItem> items;
};

const DWORD kPasswordDialogStyle =
    WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | DS_CENTER | kShellFont;
const DWORD kPasswordEdit = WS_BORDER | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL;
// One line with an ellipsis, taking mouse messages for its tooltip.
const DWORD kEncryptLabel = WS_GROUP | SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_ENDELLIPSIS;
const DWORD kDecryptLabel = WS_GROUP | SS_LEFT | SS_NOPREFIX | SS_NOTIFY | SS_PATHELLIPSIS;

const std::vector<ExpectedDialog>& ExpectedDialogs() {
    static const std::vector<ExpectedDialog> dialogs = {
        {IDD_ENCRYPT,
         L"Tessalock-Encrypt",
         kPasswordDialogStyle,
         0,
         237,
         103,
         8,
         L"MS Shell Dlg",
         {
             {-1, L"Static", L"#202", SS_ICON, 13, 8, 20, 20},
             {1000, L"Static", L"", kEncryptLabel, 42, 15, 183, 12},
             // Each label right before its field, which takes its name from it.
             {-1, L"Static", L"Password:", WS_GROUP, 13, 41, 38, 8},
             {1002, L"Edit", L"", kPasswordEdit, 52, 38, 161, 14},
             {-1, L"Static", L"Re-enter:", WS_GROUP, 13, 61, 38, 8},
             {1003, L"Edit", L"", kPasswordEdit, 52, 59, 161, 14},
             {1004, L"Button", L"Encrypt", WS_TABSTOP | BS_PUSHBUTTON, 49, 81, 48, 12},
             {1005, L"Button", L"Exit", WS_TABSTOP | BS_PUSHBUTTON, 140, 81, 48, 12},
         }},
        {IDD_PROGRESS,
         L"Dialog",
         WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | kShellFont,
         0,
         270,
         126,
         8,
         L"MS Shell Dlg",
         {}},
        {IDD_DECRYPT,
         L"Tessalock-Decrypt",
         kPasswordDialogStyle,
         0,
         237,
         92,
         8,
         L"MS Shell Dlg",
         {
             {-1, L"Static", L"#202", SS_ICON, 13, 8, 20, 20},
             {-1, L"Static", L"Password:", WS_GROUP, 13, 41, 38, 8},
             {1002, L"Edit", L"", kPasswordEdit, 52, 38, 161, 14},
             {1006, L"Button", L"Decrypt", WS_TABSTOP | BS_PUSHBUTTON, 49, 66, 48, 12},
             {1005, L"Button", L"Exit", WS_TABSTOP | BS_PUSHBUTTON, 140, 66, 48, 12},
             {1000, L"Static", L"", kDecryptLabel, 42, 15, 183, 12},
         }},
        {IDD_TESSALOCK_VIEW,
         L"",
         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | DS_SETFONT,
         WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES,
         405,
         324,
         8,
         L"MS Sans Serif",
         {
             {1007, L"Static", L"", SS_OWNERDRAW | SS_NOTIFY, 3, 3, 330, 54},
             {1009, L"Static", L"Add or drag and drop the file to encrypt.", SS_LEFT | WS_GROUP, 18,
              58, 289, 8},
             {1008, L"SysListView32", L"",
              LVS_REPORT | LVS_ALIGNLEFT | LVS_SHOWSELALWAYS | WS_TABSTOP, 15, 69, 315, 158},
             {1012, L"Button", L"", BS_GROUPBOX, 6, 249, 383, 64},
             {1013, L"Button", L"About", BS_PUSHBUTTON | WS_TABSTOP, 11, 263, 50, 14},
             {1014, L"Button", L"Help", BS_PUSHBUTTON | WS_TABSTOP, 67, 263, 50, 14},
             {1006, L"Button", L"Add", BS_PUSHBUTTON | WS_TABSTOP, 267, 261, 50, 14},
             {1004, L"Button", L"Encrypt >>", BS_PUSHBUTTON | WS_TABSTOP, 323, 261, 50, 14},
         }},
        {IDD_ABOUTBOX,
         L"About",
         WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_SETFONT,
         0,
         208,
         57,
         8,
         L"MS Sans Serif",
         {
             {-1, L"Static", L"#128", SS_ICON, 15, 15, 21, 23},
             {1014, L"Static", L"Tessalock", SS_LEFT | WS_GROUP, 51, 15, 142, 10},
             {1015, L"SysLink", nullptr, WS_TABSTOP, 51, 26, 122, 11},
         }},
    };
    return dialogs;
}

class DialogTemplates : public testing::TestWithParam<ExpectedDialog> {};

TEST_P(DialogTemplates, MatchTheirLayout) {
    const ExpectedDialog& want = GetParam();
    DialogTemplate got = ReadDialogTemplate(want.id);
    ASSERT_TRUE(got.valid) << "template " << want.id;
    EXPECT_EQ(Narrow(got.caption), Narrow(want.caption));
    EXPECT_EQ(got.style, want.style) << std::hex << got.style;
    EXPECT_EQ(got.exStyle, want.exStyle) << std::hex << got.exStyle;
    EXPECT_EQ(got.x, 0);
    EXPECT_EQ(got.y, 0);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.pointSize, want.pointSize);
    EXPECT_EQ(Narrow(got.typeface), Narrow(want.typeface));
    EXPECT_TRUE(got.menu.empty());
    ASSERT_EQ(got.items.size(), want.items.size());
    for (size_t i = 0; i < want.items.size(); ++i) {
        const ExpectedItem& w = want.items[i];
        const DialogItem& g = got.items[i];
        SCOPED_TRACE("template " + std::to_string(want.id) + " item " + std::to_string(i));
        EXPECT_EQ(g.id, w.id);
        EXPECT_EQ(_wcsicmp(g.className.c_str(), w.className), 0) << Narrow(g.className);
        if (w.text) {
            EXPECT_EQ(Narrow(g.text), Narrow(w.text));
        }
        EXPECT_EQ(g.style, w.style | kChildVisible) << std::hex << g.style;
        EXPECT_EQ(g.exStyle, 0u);
        EXPECT_EQ(g.x, w.x);
        EXPECT_EQ(g.y, w.y);
        EXPECT_EQ(g.cx, w.cx);
        EXPECT_EQ(g.cy, w.cy);
    }
}

INSTANTIATE_TEST_SUITE_P(AllTemplates, DialogTemplates, testing::ValuesIn(ExpectedDialogs()),
                         [](const testing::TestParamInfo<ExpectedDialog>& info) {
                             return "Dialog" + std::to_string(info.param.id);
                         });

TEST(AboutTemplate, LinkTextIsOneLink) {
    DialogTemplate about = ReadDialogTemplate(IDD_ABOUTBOX);
    ASSERT_EQ(about.items.size(), 3u);
    const std::wstring& text = about.items[2].text;
    EXPECT_EQ(text.rfind(L"<a", 0), 0u) << Narrow(text);
    EXPECT_EQ(text.find(L"<a", 1), std::wstring::npos);
    EXPECT_NE(text.find(L"</a>"), std::wstring::npos);
}

TEST(StringTable, HoldsTheProgramsTexts) {
    struct Entry {
        UINT id;
        const wchar_t* text;
    };
    const Entry entries[] = {
        {128, L"Tessalock v1.3"},
        {129, L"Please enter password."},
        {130, L"Confirm password."},
        {131, L"Invalid password."},
        {132, L"Invalid path."},
        {133, L"Encrypted successfully."},
        {134, L"Fail to decrypt."},
        {135, L"Invalid password."},
        {136, L"The file couldn't be decrypted.(Maybe because the file wasn't encrypted or other "
              L"reasons.)"},
        {137, L"Decrypted successfully. Path:%s; Want to open?"},
        {138, L"%s has been existed."},
        {139, L"Confirm to delete?"},
        {140, L"Found no file/folder for encryption."},
        {146, L"The file has been encrypted! "},
    };
    for (const Entry& e : entries)
        EXPECT_EQ(Narrow(LoadResString(e.id)), Narrow(e.text)) << "string " << e.id;
}

TEST(StringTable, MissingEntriesAreEmpty) {
    for (UINT id : {0u, 127u, 141u, 145u, 147u, 60000u})
        EXPECT_EQ(LoadResString(id), L"") << "string " << id;
}

TEST(Menus, ListMenuOffersAddThenDelete) {
    HMENU menu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_LIST_MENU));
    ASSERT_NE(menu, nullptr);
    HMENU popup = ::GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(::GetMenuItemCount(popup), 2);
    wchar_t text[64] = {};
    EXPECT_EQ(::GetMenuItemID(popup, 0), 32777u);
    ::GetMenuStringW(popup, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Add");
    EXPECT_EQ(::GetMenuItemID(popup, 1), 32776u);
    ::GetMenuStringW(popup, 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Delete");
    ::DestroyMenu(menu);

    HMENU frameMenu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    EXPECT_NE(frameMenu, nullptr);
    ::DestroyMenu(frameMenu);
}

TEST(Accelerators, FrameTableHasTheSixKeys) {
    HACCEL table = ::LoadAcceleratorsW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
    ASSERT_NE(table, nullptr);
    ACCEL keys[16];
    int count = ::CopyAcceleratorTableW(table, keys, 16);
    struct Key {
        BYTE flags;
        WORD key;
        WORD command;
    };
    const Key expected[] = {
        {FVIRTKEY | FCONTROL, 'N', 57600}, {FVIRTKEY | FCONTROL, 'O', 57601},
        {FVIRTKEY | FCONTROL, 'S', 57603}, {FVIRTKEY | FCONTROL, 'P', 57607},
        {FVIRTKEY, VK_F6, 57680},          {FVIRTKEY | FSHIFT, VK_F6, 57681},
    };
    ASSERT_EQ(count, 6);
    for (int i = 0; i < count; ++i) {
        // The compiler may add FNOINVERT; only the key bits matter.
        EXPECT_EQ(keys[i].fVirt & (FVIRTKEY | FCONTROL | FSHIFT | FALT), expected[i].flags) << i;
        EXPECT_EQ(keys[i].key, expected[i].key) << i;
        EXPECT_EQ(keys[i].cmd, expected[i].command) << i;
    }
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

std::vector<GroupIconEntry> ReadIconGroup(int id) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    if (!found)
        return {};
    const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
    WORD count;
    memcpy(&count, data + 4, 2);
    std::vector<GroupIconEntry> entries(count);
    memcpy(entries.data(), data + 6, count * sizeof(GroupIconEntry));
    return entries;
}

std::string IconImageBytes(WORD id) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
    if (!found)
        return {};
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    return std::string(data, ::SizeofResource(module, found));
}

TEST(Icons, EveryGroupHoldsFourTrueColourSizes) {
    for (int group : {IDI_APPLICATION_ICON, IDI_PASSWORD, IDI_CONTAINER}) {
        std::vector<GroupIconEntry> entries = ReadIconGroup(group);
        std::vector<int> sizes;
        for (const GroupIconEntry& e : entries) {
            EXPECT_EQ(e.width, e.height);
            EXPECT_EQ(e.bitCount, 32) << "group " << group;
            sizes.push_back(e.width);
        }
        EXPECT_EQ(sizes, (std::vector<int>{64, 48, 32, 16})) << "group " << group;
    }
}

TEST(Icons, TheDesignsDiffer) {
    const int groups[] = {IDI_APPLICATION_ICON, IDI_PASSWORD, IDI_CONTAINER};
    std::vector<std::string> images;
    for (int group : groups) {
        std::vector<GroupIconEntry> entries = ReadIconGroup(group);
        ASSERT_FALSE(entries.empty()) << "group " << group;
        images.push_back(IconImageBytes(entries[0].id));
        ASSERT_FALSE(images.back().empty()) << "group " << group;
    }
    EXPECT_NE(images[0], images[1]);
    EXPECT_NE(images[0], images[2]);
    EXPECT_NE(images[1], images[2]);
}

TEST(Banner, Is640By80At24Bits) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDB_BANNER), RT_BITMAP);
    ASSERT_NE(found, nullptr);
    BITMAPINFOHEADER header;
    memcpy(&header, ::LockResource(::LoadResource(module, found)), sizeof(header));
    EXPECT_EQ(header.biWidth, 640);
    EXPECT_EQ(header.biHeight < 0 ? -header.biHeight : header.biHeight, 80);
    EXPECT_EQ(header.biBitCount, 24);
}

std::string ResourceText(int id, const wchar_t* type) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found)
        return {};
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    return std::string(data, ::SizeofResource(module, found));
}

TEST(Manifest, AsksForCommonControlsSixAsInvoker) {
    std::string manifest = ResourceText(1, RT_MANIFEST);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

// Without a DPI declaration Windows 8.1 and later stretch the program's
// bitmap on any screen above 100 %, which blurs every window.
TEST(Manifest, DeclaresPerMonitorDpiAwarenessWithTheSystemAwareFallback) {
    std::string manifest = ResourceText(1, RT_MANIFEST);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
}

// Without its supportedOS entry a system runs the program in the
// compatibility mode of an older one; without longPathAware, Windows 10 and
// later cut every path at 260 characters whatever the program does.
TEST(Manifest, DeclaresWindows7To11AndLongPaths) {
    std::string manifest = ResourceText(1, RT_MANIFEST);
    const struct {
        const char* system;
        const char* id;
    } systems[] = {
        {"Windows 7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"},
        {"Windows 8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"},
        {"Windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"},
        {"Windows 10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"},
    };
    for (const auto& s : systems)
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + s.id + "\"/>"),
                  std::string::npos)
            << s.system;
    EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                            "WindowsSettings\">true</longPathAware>"),
              std::string::npos);
}

TEST(VersionInfo, NamesTessalock130) {
    std::string block = ResourceText(1, RT_VERSION);
    ASSERT_FALSE(block.empty());
    const DWORD signature = 0xFEEF04BD;
    size_t at = block.find(std::string(reinterpret_cast<const char*>(&signature), 4));
    ASSERT_NE(at, std::string::npos);
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, block.data() + at, sizeof(fixed));
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010003u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00010003u);
    std::wstring wide(reinterpret_cast<const wchar_t*>(block.data()), block.size() / 2);
    size_t name = wide.find(L"ProductName");
    ASSERT_NE(name, std::wstring::npos);
    EXPECT_NE(wide.find(L"Tessalock", name), std::wstring::npos);
    // Explorer's Details tab and "Apps & features" show it.
    size_t copyright = wide.find(L"LegalCopyright");
    ASSERT_NE(copyright, std::wstring::npos);
    EXPECT_NE(wide.find(L"Copyright (C) 2026 the Tessalock authors", copyright),
              std::wstring::npos);
}

} // namespace
