// Real files in real folders for tests: a scratch folder that removes itself,
// small helpers to write and read whole files by wide path, and the byte and
// text helpers every test shares.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A fresh folder below %TEMP% (or below base), deleted with everything in it
// on destruction.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& base = std::wstring());
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // Full path without a trailing backslash.
    const std::wstring& Path() const { return path_; }
    // Path() + L"\\" + relative.
    std::wstring operator/(const std::wstring& relative) const;

private:
    std::wstring path_;
};

// The bytes of a text as they stand, for comparing with what a file holds.
Bytes TextBytes(const std::string& text);
bool WriteFileBytes(const std::wstring& path, const Bytes& bytes);
bool WriteFileText(const std::wstring& path, const std::string& text);
Bytes ReadFileBytes(const std::wstring& path);
bool MakeDir(const std::wstring& path);
bool PathExists(const std::wstring& path);
bool IsDir(const std::wstring& path);
// Names in a folder (no "." and ".."), sorted; empty when it cannot be listed.
std::vector<std::wstring> ListNames(const std::wstring& folder);
// Copies a folder with everything in it (files keep their last-write time).
bool CopyTree(const std::wstring& from, const std::wstring& to);
// Removes a tree, clearing read-only attributes on the way; used by tests to clean up.
void RemoveTree(const std::wstring& path);
// Deterministic pseudo-random bytes.
Bytes PatternBytes(size_t count, uint32_t seed);
// The parts one after another, for byte images written out by hand.
Bytes Cat(std::initializer_list<Bytes> parts);
// UTF-16 to UTF-8, for test messages.
std::string Narrow(const std::wstring& text);
// True when the bytes hold the text in UTF-8 or in UTF-16: readable to
// whoever looks at a file.
bool HoldsText(const Bytes& bytes, const std::wstring& text);

// The Recycle Bin of the test programs. Under Wine the bin is the desktop's
// trash, $XDG_DATA_HOME/Trash, which a process reads once and the programs a
// test starts inherit: every test program points it at a scratch folder of
// its own before its first test and removes that folder at the end, so
// nothing a test recycles lands in the real profile.
void UseScratchRecycleBin();
void RemoveScratchRecycleBin();
// Empties it (keeping its folders, which the system made once).
void EmptyScratchRecycleBin();
// The path of a recycled file that holds exactly these bytes (the bin names
// its items as it likes); empty when there is none.
std::wstring FindRecycled(const Bytes& bytes);

} // namespace testing_support
