// A moment as 64-bit seconds since 1970 together with its calendar fields in
// local standard time. Used for the default container name, the modified
// time stored with each file, and the Date column of the file list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ctime>

class CTimeStamp {
public:
    // All fields zero: the value every failed conversion gives.
    CTimeStamp() = default;

    static CTimeStamp Now();
    // Fields as people write them (month 1-12), read as local standard time.
    static CTimeStamp FromCalendar(int year, int month, int day, int hour, int minute, int second);
    // A file time, converted to local time and then built from its fields.
    static CTimeStamp FromFileTime(const FILETIME& fileTime);

    int64_t Seconds() const { return seconds_; }
    // Standard-time bias in seconds, west of UTC positive.
    long Bias() const { return bias_; }
    int Year() const { return fields_.tm_year + 1900; }
    int Month() const { return fields_.tm_mon + 1; }
    int Day() const { return fields_.tm_mday; }
    int Hour() const { return fields_.tm_hour; }
    int Minute() const { return fields_.tm_min; }
    int Second() const { return fields_.tm_sec; }

private:
    // Fills the fields from seconds minus the bias, so they show standard
    // time with no daylight-saving correction; all zero when that fails.
    static CTimeStamp FromSeconds(int64_t seconds);

    int64_t seconds_ = 0;
    long bias_ = 0;
    std::tm fields_ = {};
};
