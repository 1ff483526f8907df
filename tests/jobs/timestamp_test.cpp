// Calendar conversions of CTimeStamp.
#include "jobs/timestamp.h"

#include <gtest/gtest.h>

namespace {

// Seconds since 1970 of a UTC calendar date, computed independently of the
// runtime (days-from-civil).
int64_t UtcSeconds(int y, int m, int d, int hh, int mm, int ss) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + hh * 3600 + mm * 60 + ss;
}

TEST(TimeStamp, CalendarFieldsRoundTripAsStandardTime) {
    struct Case {
        int y, m, d, hh, mm, ss;
    };
    const Case cases[] = {{2013, 5, 7, 9, 3, 5},
                          {2000, 2, 29, 23, 59, 59},
                          {1999, 12, 31, 0, 0, 0},
                          {2038, 1, 19, 3, 14, 8},
                          {2100, 7, 1, 12, 0, 0}};
    for (const Case& c : cases) {
        CTimeStamp t = CTimeStamp::FromCalendar(c.y, c.m, c.d, c.hh, c.mm, c.ss);
        EXPECT_EQ(t.Year(), c.y);
        EXPECT_EQ(t.Month(), c.m);
        EXPECT_EQ(t.Day(), c.d);
        EXPECT_EQ(t.Hour(), c.hh);
        EXPECT_EQ(t.Minute(), c.mm);
        EXPECT_EQ(t.Second(), c.ss);
        EXPECT_EQ(t.Seconds() - t.Bias(), UtcSeconds(c.y, c.m, c.d, c.hh, c.mm, c.ss));
    }
}

TEST(TimeStamp, FailedConversionGivesAllZero) {
    CTimeStamp t = CTimeStamp::FromCalendar(1960, 1, 1, 0, 0, 0);
    EXPECT_EQ(t.Seconds(), 0);
    EXPECT_EQ(t.Year(), 1900);
    EXPECT_EQ(t.Month(), 1);
    EXPECT_EQ(t.Day(), 0);
    EXPECT_EQ(t.Hour(), 0);
}

TEST(TimeStamp, NowIsTheCurrentTime) {
    __time64_t before = _time64(nullptr);
    CTimeStamp t = CTimeStamp::Now();
    __time64_t after = _time64(nullptr);
    EXPECT_GE(t.Seconds(), before);
    EXPECT_LE(t.Seconds(), after);
    EXPECT_EQ(t.Seconds() - t.Bias(),
              UtcSeconds(t.Year(), t.Month(), t.Day(), t.Hour(), t.Minute(), t.Second()));
}

} // namespace
