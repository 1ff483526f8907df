// Row texts: the asctime layout written out by hand (the runtime's asctime
// follows the locale on some runtimes and needs a struct tm that CTimeStamp
// does not hand out), and the rounded-up kilobyte count.
#include "mainwindow/row_text.h"

#include <cmath>
#include <cstdint>
#include <cwchar>

#include "jobs/path_info.h"

namespace {

const wchar_t* const kWeekdays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
const wchar_t* const kMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                  L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};

// Day of the week (0 = Sunday) of a Gregorian date, by Sakamoto's method.
int Weekday(int year, int month, int day) {
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

} // namespace

std::wstring FormatDateCell(const CTimeStamp& stamp) {
    // A failed conversion leaves the day of the month 0, which no real date
    // has; the asctime text of such fields would be garbage.
    int month = stamp.Month();
    if (stamp.Day() < 1 || month < 1 || month > 12 || stamp.Year() < 1970)
        return std::wstring();
    return FormatString(L"%s %s %02d %02d:%02d:%02d %d",
                        kWeekdays[Weekday(stamp.Year(), month, stamp.Day())], kMonths[month - 1],
                        stamp.Day(), stamp.Hour(), stamp.Minute(), stamp.Second(), stamp.Year());
}

std::wstring FormatSizeCell(uint64_t bytes) {
    double kilobytes = std::ceil(static_cast<double>(bytes) / 1024.0);
    // Beyond 2 TB the count does not fit; the processor's conversion gives
    // the "integer indefinite" value then, and so does this (a plain cast
    // would be undefined).
    int32_t shown = kilobytes <= 2147483647.0 ? static_cast<int32_t>(kilobytes) : INT32_MIN;
    return FormatString(L"%d KB", shown);
}
