// Files restored in place (nothing had their name before): a job stopped in
// the middle of such a file must leave neither the cut-off file nor anything
// else behind, in the output folder or in a folder the job made.
#include "support/containers.h"
#include "job_test_support.h"
#include "jobs/job_runner.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::wstring kPassword = L"in place";

// A cut container never gets this far (record sizes are checked against
// what is left of it first), so a cancel between blocks stands for every
// failure inside a body.
TEST(DecryptInPlace, CancelledNewFilesLeaveNothing) {
    // 2.5 MB: the body comes in three blocks.
    const Bytes big = PatternBytes(2500000, 7);
    struct Case {
        const char* what;
        std::vector<StoredEntry> records;
        int cancelAfterBlocks;
        std::wstring folder; // where the file goes, below the output folder
    };
    const Case cases[] = {
        {"after the first block", {FileRecord(L"/", L"big.bin", big)}, 1, L""},
        {"after the last block", {FileRecord(L"/", L"big.bin", big)}, 3, L""},
        {"in a folder the job made",
         {FolderRecord(L"/", L"made"), FileRecord(L"/made", L"big.bin", big)},
         2,
         L"\\made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const std::wstring container = dir / L"c.lock";
        ASSERT_TRUE(WriteContainer(container, kPassword, c.records));
        const Bytes containerBytes = ReadFileBytes(container);

        CancellingProgress progress(c.cancelAfterBlocks);
        DecryptionOutcome dec = RunDecryption(container, kPassword, progress);

        EXPECT_EQ(dec.result, JobResult::Cancelled);
        EXPECT_EQ(dec.errorText, L"");
        EXPECT_FALSE(PathExists(dir.Path() + c.folder + L"\\big.bin"));
        EXPECT_EQ(LeftoverNames(dir.Path() + c.folder), std::vector<std::wstring>{});
        EXPECT_EQ(ReadFileBytes(container), containerBytes);
    }
}

} // namespace
