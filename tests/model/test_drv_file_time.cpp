// The driver library's reader of date and time texts, in a pinned time zone.
#include "drivers/model/CDrvFileTime.h"

#include "tests/KestLib20/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The local text of what `text` reads as.
std::string Read(const char *text)
{
    CDrvFileTime time;
    const int64_t value = time.SetAsString(text);
    EXPECT_EQ(value, time.GetTime()) << "the result is kept";
    return time.GetAsString(nullptr, 0, 'S');
}

} // namespace

TEST(DrvFileTime, ReadsDatesTimesAndBoth)
{
    ScopedTimeZone tz("Asia/Shanghai");
    EXPECT_EQ(Read("2005-3-7 8:5:9"), "2005-03-07 08:05:09");
    EXPECT_EQ(Read("  2005/03/07T08.05.09.750  "), "2005-03-07 08:05:09") << "any separators";
    EXPECT_EQ(Read("12:30:00"), "2000-01-01 12:30:00");
    EXPECT_EQ(Read("12:30"), "2000-01-01 12:30:00");
    EXPECT_EQ(Read("99/12/31"), "1999-12-31 00:00:00");
    EXPECT_EQ(Read("49-1-2"), "2049-01-02 00:00:00");
    EXPECT_EQ(Read("2024.6"), "2024-06-01 00:00:00") << "a missing day is the first";
}

TEST(DrvFileTime, HoldsFieldsToTheirRanges)
{
    ScopedTimeZone tz("UTC");
    EXPECT_EQ(Read("13:61:61"), "2000-01-01 13:59:59");
    EXPECT_EQ(Read("2024-13-0 25:00:00"), "2024-12-01 23:00:00");
    EXPECT_EQ(Read("1200-1-1"), "1601-01-01 00:00:00");
    EXPECT_EQ(Read("2023-2-31"), "2023-03-03 00:00:00") << "the day carries over as a date does";
    EXPECT_EQ(Read("99999999999999-1-1"), "30000-01-01 00:00:00");
}

TEST(DrvFileTime, DigitsOnlyAreTheValueItself)
{
    CDrvFileTime time;
    EXPECT_EQ(time.SetAsString(" 133000000000000000 "), 133000000000000000LL);
    EXPECT_EQ(time.SetAsString(""), 0);
    EXPECT_EQ(time.SetAsString(nullptr), 0);
    // The 64th character and beyond are not read.
    EXPECT_EQ(time.SetAsString((std::string(60, '0') + "12345").c_str()), 123);
}
