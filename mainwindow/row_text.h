// The texts of a file-list row's Date and Size cells.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/timestamp.h"

// The moment in the layout of the C runtime's asctime with English names,
// but without asctime's final line feed, which a list cell would draw as a
// box: "Wed Jan 02 09:05:07 2013" (24 characters).
// A time stamp whose conversion failed (its fields are all zero) has no
// such text: the result is then empty.
std::wstring FormatDateCell(const CTimeStamp& stamp);

// The size in whole kilobytes, rounded up: "%d KB" of ceil(bytes / 1024.0)
// as a 32-bit signed number. 0 bytes give "0 KB", 1025 bytes "2 KB".
std::wstring FormatSizeCell(uint64_t bytes);
