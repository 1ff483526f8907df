// The one rule for stored names, shared by the container writer and reader.
#include "engine/stored_name.h"

namespace {

wchar_t UpperAscii(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool SameAsciiNoCase(const std::wstring& text, size_t at, const wchar_t* word) {
    for (size_t k = 0; word[k]; ++k) {
        if (at + k >= text.size() || UpperAscii(text[at + k]) != word[k])
            return false;
    }
    return true;
}

// Windows reserves these names for devices whatever follows them after a dot
// ("NUL.txt") and with blanks before the dot ("CON .txt"). The superscript
// digits count as port digits too.
bool IsDeviceName(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    static const wchar_t* const kDevices[] = {L"CON", L"PRN",    L"AUX",
                                              L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (base.size() == std::char_traits<wchar_t>::length(device) &&
            SameAsciiNoCase(base, 0, device))
            return true;
    }
    if (base.size() != 4 || !(SameAsciiNoCase(base, 0, L"COM") || SameAsciiNoCase(base, 0, L"LPT")))
        return false;
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' ||
           digit == L'\x00B3';
}

} // namespace

std::wstring NameAsWindowsKeepsIt(const std::wstring& name) {
    size_t end = name.size();
    while (end > 0 && (name[end - 1] == L'.' || name[end - 1] == L' '))
        --end;
    return name.substr(0, end);
}

bool IsStorableName(const std::wstring& name) {
    if (name.empty() || name.size() > kMaxNameLength || name == L"." || name == L"..")
        return false;
    for (wchar_t c : name) {
        if (c < 0x20)
            return false;
        switch (c) {
        case L'\\':
        case L'/':
        case L':':
        case L'*':
        case L'?':
        case L'"':
        case L'<':
        case L'>':
        case L'|':
            return false;
        default:
            break;
        }
    }
    if (name.back() == L'.' || name.back() == L' ')
        return false;
    return !IsDeviceName(name);
}

bool RelativeFolderOf(const std::wstring& folderPath, std::wstring& relative) {
    relative.clear();
    if (folderPath.empty() || folderPath[0] != L'/')
        return false;
    if (folderPath.size() == 1)
        return true;
    size_t start = 1;
    for (;;) {
        size_t end = folderPath.find(L'/', start);
        std::wstring name = NameAsWindowsKeepsIt(
            folderPath.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (!IsStorableName(name))
            return false;
        if (!relative.empty())
            relative += L'\\';
        relative += name;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}
