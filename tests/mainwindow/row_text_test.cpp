// The Date and Size cell texts: the asctime layout with English names and a
// two-digit day, without a control character; an empty text for a time stamp
// whose conversion failed; sizes rounded up to whole kilobytes.
#include <gtest/gtest.h>

#include "mainwindow/row_text.h"
#include "support/test_files.h"

using testing_support::Narrow;

namespace {

struct DateCase {
    int year, month, day, hour, minute, second;
    const wchar_t* text;
};

TEST(DateCell, AsctimeLayoutWithoutTheLineFeed) {
    const DateCase cases[] = {
        {2013, 1, 2, 9, 5, 7, L"Wed Jan 02 09:05:07 2013"},
        {1970, 1, 2, 3, 4, 5, L"Fri Jan 02 03:04:05 1970"},
        {2000, 2, 29, 23, 59, 59, L"Tue Feb 29 23:59:59 2000"},
        {1999, 12, 31, 7, 8, 9, L"Fri Dec 31 07:08:09 1999"},
        {2024, 12, 31, 12, 0, 0, L"Tue Dec 31 12:00:00 2024"},
        {2100, 3, 1, 1, 2, 3, L"Mon Mar 01 01:02:03 2100"},
        {2999, 6, 15, 10, 20, 30, L"Sat Jun 15 10:20:30 2999"},
    };
    for (const DateCase& c : cases) {
        CTimeStamp stamp =
            CTimeStamp::FromCalendar(c.year, c.month, c.day, c.hour, c.minute, c.second);
        std::wstring text = FormatDateCell(stamp);
        EXPECT_EQ(text, c.text) << Narrow(c.text);
        EXPECT_EQ(text.size(), 24u) << Narrow(c.text);
    }
}

TEST(DateCell, FailedConversionGivesAnEmptyCell) {
    EXPECT_EQ(FormatDateCell(CTimeStamp()), L"");
    // Before 1970 and after 3000 the runtime's conversions fail.
    EXPECT_EQ(FormatDateCell(CTimeStamp::FromCalendar(1601, 1, 1, 0, 0, 0)), L"");
    EXPECT_EQ(FormatDateCell(CTimeStamp::FromCalendar(3001, 6, 1, 0, 0, 0)), L"");
    FILETIME earliest = {0, 0};
    EXPECT_EQ(FormatDateCell(CTimeStamp::FromFileTime(earliest)), L"");
}

TEST(SizeCell, KilobytesRoundedUp) {
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 KB"},
        {1, L"1 KB"},
        {1024, L"1 KB"},
        {1025, L"2 KB"},
        {1048576, L"1024 KB"},
        {1048577, L"1025 KB"},
        {5000000000ull, L"4882813 KB"},
        {2199023255552ull, L"-2147483648 KB"}, // 2 TB: the count no longer fits
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSizeCell(c.bytes), c.text) << c.bytes;
}

} // namespace
