// Reads a compiled DIALOGEX template back from the executable's resources,
// so tests can check ids, classes, texts, styles and rectangles exactly as
// the dialog manager will see them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

struct DialogItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;
    std::wstring className; // predefined classes by name ("Button", "Static", ...)
    std::wstring text;      // an ordinal text reads as "#<number>"
};

struct DialogTemplate {
    bool valid = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu;
    std::wstring className;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

namespace template_detail {

inline const BYTE* AlignTo(const BYTE* p, const BYTE* base, size_t alignment) {
    size_t offset = static_cast<size_t>(p - base);
    return base + (offset + alignment - 1) / alignment * alignment;
}

// A "sz_Or_Ord" field: empty, an ordinal (0xFFFF, n) or a NUL-ended string.
inline std::wstring ReadNameOrOrdinal(const BYTE*& p) {
    WORD first;
    memcpy(&first, p, 2);
    if (first == 0) {
        p += 2;
        return std::wstring();
    }
    if (first == 0xFFFF) {
        WORD ordinal;
        memcpy(&ordinal, p + 2, 2);
        p += 4;
        return L"#" + std::to_wstring(ordinal);
    }
    std::wstring text;
    for (;;) {
        wchar_t c;
        memcpy(&c, p, 2);
        p += 2;
        if (c == 0)
            break;
        text += c;
    }
    return text;
}

inline std::wstring PredefinedClassName(const std::wstring& name) {
    static const wchar_t* const kNames[] = {L"Button",  L"Edit",      L"Static",
                                            L"ListBox", L"ScrollBar", L"ComboBox"};
    for (int i = 0; i < 6; ++i) {
        if (name == L"#" + std::to_wstring(0x80 + i))
            return kNames[i];
    }
    return name;
}

} // namespace template_detail

inline DialogTemplate ReadDialogTemplate(int id) {
    using namespace template_detail;
    DialogTemplate result;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /*RT_DIALOG*/);
    if (!found)
        return result;
    const BYTE* base = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
    if (!base)
        return result;
    WORD version, signature;
    memcpy(&version, base, 2);
    memcpy(&signature, base + 2, 2);
    if (version != 1 || signature != 0xFFFF)
        return result;        // only DIALOGEX templates are read
    const BYTE* p = base + 8; // dlgVer, signature, helpID
    memcpy(&result.exStyle, p, 4);
    memcpy(&result.style, p + 4, 4);
    WORD count;
    memcpy(&count, p + 8, 2);
    memcpy(&result.x, p + 10, 2);
    memcpy(&result.y, p + 12, 2);
    memcpy(&result.cx, p + 14, 2);
    memcpy(&result.cy, p + 16, 2);
    p += 18;
    result.menu = ReadNameOrOrdinal(p);
    result.className = ReadNameOrOrdinal(p);
    result.caption = ReadNameOrOrdinal(p);
    if (result.style & (DS_SETFONT | DS_SHELLFONT)) {
        memcpy(&result.pointSize, p, 2);
        p += 6; // point size, weight, italic, charset
        result.typeface = ReadNameOrOrdinal(p);
    }
    for (WORD i = 0; i < count; ++i) {
        p = AlignTo(p, base, 4);
        DialogItem item;
        memcpy(&item.exStyle, p + 4, 4);
        memcpy(&item.style, p + 8, 4);
        memcpy(&item.x, p + 12, 2);
        memcpy(&item.y, p + 14, 2);
        memcpy(&item.cx, p + 16, 2);
        memcpy(&item.cy, p + 18, 2);
        memcpy(&item.id, p + 20, 4);
        p += 24;
        item.className = PredefinedClassName(ReadNameOrOrdinal(p));
        item.text = ReadNameOrOrdinal(p);
        WORD extra;
        memcpy(&extra, p, 2);
        p += 2 + extra;
        result.items.push_back(item);
    }
    result.valid = true;
    return result;
}

} // namespace testing_support
