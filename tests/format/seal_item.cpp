// Locks one item with the program's own encryption job, into ITEM.lock
// beside it, for the independent reader's test (python_reader_test.sh).
//
//   seal_item.exe ITEM PASSWORD [--default-kdf]
//
// The key derivation is the cheapest one unless --default-kdf asks for what
// every new container gets.
#include "engine/sealed_format.h"
#include "jobs/job_runner.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: seal_item ITEM PASSWORD [--default-kdf]\n");
        return 2;
    }
    g_newContainerKdf = KdfParameters{64, 1, 1};
    if (argc > 3 && std::wcscmp(argv[3], L"--default-kdf") == 0)
        g_newContainerKdf = kDefaultKdf;
    CAtomicProgress progress;
    const EncryptionOutcome outcome = RunEncryption({argv[1]}, L"", argv[2], progress);
    if (outcome.result != JobResult::Succeeded)
        std::printf("encryption failed: %ls\n", outcome.errorText.c_str());
    return outcome.result == JobResult::Succeeded ? 0 : 1;
}
