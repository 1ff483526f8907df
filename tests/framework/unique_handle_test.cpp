// The handle owners: which values each kind takes for "no handle", that a
// real handle is closed exactly once (when the last owner lets go, never by
// an owner it was moved away from), that closing keeps the last error, and
// that COM is put back only by the scope that took it.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "common/unique_handle.h"
#include "support/test_files.h"

using namespace testing_support;

namespace {

// A file opened without sharing: while any handle to it is open, a second
// open fails, so the file tells whether the owner has closed it.
HANDLE OpenExclusively(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsClosed(const std::wstring& path) {
    UniqueFileHandle probe(OpenExclusively(path));
    return probe.IsValid();
}

struct NoneCase {
    const char* name;
    bool (*holds)(HANDLE value);
    HANDLE value;
    bool expected;
};

const NoneCase kNoneCases[] = {
    {"FileNull", [](HANDLE h) { return UniqueFileHandle(h).IsValid(); }, nullptr, false},
    {"FileInvalid", [](HANDLE h) { return UniqueFileHandle(h).IsValid(); }, INVALID_HANDLE_VALUE,
     false},
    {"FindInvalid", [](HANDLE h) { return UniqueFindHandle(h).IsValid(); }, INVALID_HANDLE_VALUE,
     false},
    {"KernelNull", [](HANDLE h) { return UniqueKernelHandle(h).IsValid(); }, nullptr, false},
    {"FileDefault", [](HANDLE) { return UniqueFileHandle().IsValid(); }, nullptr, false},
};

class HandleNone : public testing::TestWithParam<NoneCase> {};

TEST_P(HandleNone, HoldsNothing) {
    const NoneCase& c = GetParam();
    EXPECT_EQ(c.holds(c.value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, HandleNone, testing::ValuesIn(kNoneCases),
                         [](const testing::TestParamInfo<NoneCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(UniqueHandle, ClosesWhenTheLastOwnerLetsGo) {
    ScratchDir dir;
    const std::wstring path = dir / L"held.bin";
    UniqueFileHandle outer;
    {
        UniqueFileHandle first(OpenExclusively(path));
        ASSERT_TRUE(first);
        UniqueFileHandle second(std::move(first));
        EXPECT_FALSE(first);
        outer = std::move(second);
    }
    // The owners it was moved away from closed nothing.
    EXPECT_FALSE(IsClosed(path));
    outer.Reset();
    EXPECT_TRUE(IsClosed(path));
}

TEST(UniqueHandle, TakingANewHandleClosesTheOldOne) {
    ScratchDir dir;
    const std::wstring a = dir / L"a.bin";
    const std::wstring b = dir / L"b.bin";
    UniqueFileHandle owner(OpenExclusively(a));
    ASSERT_TRUE(owner);
    owner = UniqueFileHandle(OpenExclusively(b));
    EXPECT_TRUE(IsClosed(a));
    EXPECT_FALSE(IsClosed(b));
    HANDLE kept = owner.Release();
    EXPECT_FALSE(owner);
    EXPECT_FALSE(IsClosed(b)); // released: nobody closes it but the caller
    ::CloseHandle(kept);
    EXPECT_TRUE(IsClosed(b));
}

TEST(UniqueHandle, ClosingKeepsTheLastError) {
    UniqueEvent event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    ::SetLastError(ERROR_DISK_FULL);
    event.Reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
}

// Runs on a thread of its own, so the test's main thread keeps its COM state.
template <typename F> void OnFreshThread(F f) {
    std::thread thread(f);
    thread.join();
}

TEST(ScopedComInit, UninitialisesOnlyWhatItInitialised) {
    OnFreshThread([] {
        {
            ScopedComInit com;
            EXPECT_EQ(com.Result(), S_OK);
            // Inside the scope the thread is in the apartment.
            HRESULT again = ::CoInitialize(nullptr);
            EXPECT_EQ(again, S_FALSE);
            ::CoUninitialize();
        }
        // After it, nothing is left: a new call is the first again.
        EXPECT_EQ(::CoInitialize(nullptr), S_OK);
        ::CoUninitialize();
    });
}

TEST(ScopedComInit, LeavesAnotherApartmentAlone) {
    OnFreshThread([] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            ScopedComInit com;
            EXPECT_EQ(com.Result(), RPC_E_CHANGED_MODE);
        }
        // Still in the multithreaded apartment the thread chose: a further
        // call finds it initialised.
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        ::CoUninitialize();
        ::CoUninitialize();
    });
}

} // namespace
