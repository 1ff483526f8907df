// Time conversions with the runtime's 64-bit time functions.
#include "jobs/timestamp.h"

CTimeStamp CTimeStamp::FromSeconds(int64_t seconds) {
    CTimeStamp stamp;
    // The runtime's standard-time bias, from the TZ variable or the system;
    // read once, as every file of a job is stamped with it.
    static const long bias = [] {
        _tzset();
        return _timezone;
    }();
    __time64_t local = seconds - bias;
    std::tm fields = {};
    if (_gmtime64_s(&fields, &local) != 0)
        return CTimeStamp();
    stamp.seconds_ = seconds;
    stamp.bias_ = bias;
    stamp.fields_ = fields;
    return stamp;
}

CTimeStamp CTimeStamp::Now() {
    return FromSeconds(_time64(nullptr));
}

CTimeStamp CTimeStamp::FromCalendar(int year, int month, int day, int hour, int minute,
                                    int second) {
    std::tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = 0;
    __time64_t seconds = _mktime64(&fields);
    if (seconds == -1)
        return CTimeStamp();
    return FromSeconds(seconds);
}

CTimeStamp CTimeStamp::FromFileTime(const FILETIME& fileTime) {
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&fileTime, &local) || !FileTimeToSystemTime(&local, &fields))
        return CTimeStamp();
    return FromCalendar(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                        fields.wSecond);
}
