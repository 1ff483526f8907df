// Scratch folders and whole-file helpers shared by the tests.
#include "support/test_files.h"

#include "common/unique_handle.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace testing_support {

namespace {
std::atomic<unsigned> g_counter{0};
}

ScratchDir::ScratchDir(const std::wstring& under) {
    wchar_t temp[MAX_PATH + 1] = {};
    std::wstring base = under;
    if (base.empty())
        base.assign(temp, GetTempPathW(MAX_PATH, temp));
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();
    for (;;) {
        wchar_t name[64];
        _snwprintf(name, 64, L"\\tltest_%lu_%u_%lu", GetCurrentProcessId(), g_counter++,
                   GetTickCount());
        path_ = base + name;
        if (CreateDirectoryW(path_.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path_.clear();
            break;
        }
    }
}

ScratchDir::~ScratchDir() {
    if (!path_.empty())
        RemoveTree(path_);
}

std::wstring ScratchDir::operator/(const std::wstring& relative) const {
    return path_ + L"\\" + relative;
}

Bytes TextBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

bool WriteFileBytes(const std::wstring& path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            ok = false;
            break;
        }
        done += written;
    }
    CloseHandle(h);
    return ok;
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
    return WriteFileBytes(path, TextBytes(text));
}

Bytes ReadFileBytes(const std::wstring& path) {
    Bytes out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    uint8_t buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.insert(out.end(), buf, buf + got);
    CloseHandle(h);
    return out;
}

bool MakeDir(const std::wstring& path) {
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDir(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> ListNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search.Get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    if (!MakeDir(to))
        return false;
    for (const std::wstring& name : ListNames(from)) {
        const std::wstring source = from + L"\\" + name;
        const std::wstring copy = to + L"\\" + name;
        if (IsDir(source) ? !CopyTree(source, copy)
                          : !CopyFileW(source.c_str(), copy.c_str(), TRUE))
            return false;
    }
    return true;
}

void RemoveTree(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        for (const std::wstring& name : ListNames(path))
            RemoveTree(path + L"\\" + name);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(path.c_str());
    } else if (a & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
    } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
}

Bytes PatternBytes(size_t count, uint32_t seed) {
    Bytes out(count);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < count; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<uint8_t>(x);
    }
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
    if (!out.empty() && out.back() == '\0')
        out.pop_back();
    return out;
}

namespace {

std::wstring g_recycleHome;

std::string UnixPathOf(const std::wstring& path) {
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path.c_str()) : nullptr;
    if (!name)
        return std::string();
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

} // namespace

void UseScratchRecycleBin() {
    wchar_t temp[MAX_PATH + 1] = {};
    std::wstring base(temp, GetTempPathW(MAX_PATH, temp));
    wchar_t name[64];
    _snwprintf(name, 64, L"tlrecycle_%lu_%lu", GetCurrentProcessId(), GetTickCount());
    g_recycleHome = base + name;
    CreateDirectoryW(g_recycleHome.c_str(), nullptr);
    const std::string unixHome = UnixPathOf(g_recycleHome);
    if (!unixHome.empty())
        SetEnvironmentVariableW(L"XDG_DATA_HOME",
                                std::wstring(unixHome.begin(), unixHome.end()).c_str());
}

void RemoveScratchRecycleBin() {
    if (!g_recycleHome.empty())
        RemoveTree(g_recycleHome);
}

void EmptyScratchRecycleBin() {
    for (const wchar_t* folder : {L"\\Trash\\files\\", L"\\Trash\\info\\"}) {
        for (const std::wstring& name : ListNames(g_recycleHome + folder))
            RemoveTree(g_recycleHome + folder + name);
    }
}

std::wstring FindRecycled(const Bytes& bytes) {
    const std::wstring folder = g_recycleHome + L"\\Trash\\files\\";
    for (const std::wstring& name : ListNames(folder)) {
        if (ReadFileBytes(folder + name) == bytes)
            return folder + name;
    }
    return std::wstring();
}

bool HoldsText(const Bytes& bytes, const std::wstring& text) {
    const std::string utf8 = Narrow(text);
    const std::string utf16(reinterpret_cast<const char*>(text.data()),
                            text.size() * sizeof(wchar_t));
    for (const std::string& form : {utf8, utf16}) {
        if (std::search(bytes.begin(), bytes.end(), form.begin(), form.end()) != bytes.end())
            return true;
    }
    return false;
}

} // namespace testing_support
