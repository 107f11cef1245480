// The driver library's file time: the text forms of CFileTime and a lenient reader of the
// date and time texts that operators and device settings write.
#pragma once

#include "KestLib20/CFileTime.h"
#include "drivers/KsOvra20Api.h"

#include <cstdint>

class KSOVRA20_API CDrvFileTime : public CFileTime {
public:
    using CFileTime::CFileTime;
    CDrvFileTime() = default;

    // Reads `text` (blanks around it dropped, at most 63 characters used) and keeps the
    // result, which it also returns. Digits only: the 64-bit value itself; an empty text: 0.
    // Otherwise up to six numbers separated by anything but digits: more than three are year,
    // month, day, hour, minute, second; fewer are hour, minute, second of 2000-01-01 when
    // the first separator is ":", else year, month, day. A two-digit year is 1950-2049; the
    // fields are held to their ranges and read as local time.
    int64_t SetAsString(const char *text);
};
