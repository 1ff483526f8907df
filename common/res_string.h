// Reading entries of the string table as wide strings.
#pragma once

#include <windows.h>

#include <string>

// String-table entry id from the resource module; a missing entry gives "".
std::wstring LoadResString(UINT id);

// A string-table entry named where a text is put together: it is loaded when
// it is joined or converted, so `kTheFile + name + kCouldNotBeRead` reads as
// the sentence it builds and the wording stays in the resource script.
class CResText {
public:
    constexpr explicit CResText(UINT id) : id_(id) {}
    UINT Id() const { return id_; }
    std::wstring Load() const { return LoadResString(id_); }
    operator std::wstring() const { return Load(); }

private:
    UINT id_;
};

inline std::wstring operator+(const CResText& left, const std::wstring& right) {
    return left.Load() + right;
}
inline std::wstring operator+(std::wstring left, const CResText& right) {
    return left += right.Load();
}
inline std::wstring operator+(const CResText& left, const wchar_t* right) {
    return left.Load() + right;
}
inline std::wstring operator+(const wchar_t* left, const CResText& right) {
    return left + right.Load();
}
inline std::wstring operator+(const CResText& left, const CResText& right) {
    return left.Load() + right.Load();
}
