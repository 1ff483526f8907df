// The entry of every test program. The result is complete once the tests
// have run and their report is flushed; the process then ends at once, so
// that threads the system's own DLLs leave behind (the shell's file dialog
// starts several) cannot hold a finished run at its exit.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/test_files.h"

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testing_support::UseScratchRecycleBin();
    int result = RUN_ALL_TESTS();
    testing_support::RemoveScratchRecycleBin();
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
