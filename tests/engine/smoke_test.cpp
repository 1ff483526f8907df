#include <gtest/gtest.h>
#include "support/test_files.h"
using namespace testing_support;
TEST(Smoke, ScratchDirHoldsFiles) {
    std::wstring p;
    {
        ScratchDir d;
        p = d.Path();
        ASSERT_TRUE(WriteFileText(d / L"a.txt", "abc"));
        EXPECT_EQ(ReadFileBytes(d / L"a.txt").size(), 3u);
    }
    EXPECT_FALSE(PathExists(p));
}
