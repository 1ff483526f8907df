// The entry of every test program. The result is complete once the tests
// have run and their report is flushed; the process then ends at once, so
// that threads the system's own DLLs leave behind (the shell's file dialog
// starts several) cannot hold a finished run at its exit.
//
// New containers get the cheapest key derivation: the tests check what is
// done with a key, not its cost, and would otherwise spend most of a second
// on every container they write. Tests of the real cost set it back.
#include "engine/sealed_format.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/test_files.h"

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    g_newContainerKdf = KdfParameters{64, 1, 1};
    testing_support::UseScratchRecycleBin();
    int result = RUN_ALL_TESTS();
    testing_support::RemoveScratchRecycleBin();
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
