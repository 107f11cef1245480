// File times in local time (TZ pinned): dates and times from text with their clamps and the
// two-digit year pivot, text forms, broken-down forms, time of day, spans.
#include "ScopedTimeZone.h"

#include "KestLib20/CFileTime.h"
#include "KestLib20/StringConvert.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Eight hours ahead of UTC, no summer time.
class FileTimeTest : public ::testing::Test {
protected:
    ScopedTimeZone tz{"CST-8"};
};

std::string Text(const CFileTime &t, int dateFormat = 0, int timeFormat = 'M')
{
    char buf[CFileTime::kDateTimeTextSize];
    return t.GetAsString(buf, dateFormat, timeFormat);
}

int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    plat::SYSTEMTIME st{
        static_cast<uint16_t>(y), static_cast<uint16_t>(mo), 0,
        static_cast<uint16_t>(d), static_cast<uint16_t>(h),  static_cast<uint16_t>(mi),
        static_cast<uint16_t>(s), static_cast<uint16_t>(ms)};
    int64_t ft = 0;
    EXPECT_TRUE(plat::SystemTimeToFileTime(st, &ft));
    return ft;
}

} // namespace

TEST_F(FileTimeTest, DatesFromTextAreClampedAndPivoted)
{
    struct Case {
        const char *date, *time, *text;
    } cases[] = {
        {"05-06-07", "12:30", "2005-06-07 12:30:00:000"},
        {"99/1/1", "", "1999-01-01 00:00:00:000"},
        {"50.1.1", nullptr, "2050-01-01 00:00:00:000"},
        {"51,1,1", nullptr, "1951-01-01 00:00:00:000"},
        {"1500-1-1", nullptr, "1600-01-01 00:00:00:000"}, // before the file-time epoch
        {"70000-1-1", nullptr, "30827-01-01 00:00:00:000"},
        {"2024-13-40", nullptr, "2024-12-31 00:00:00:000"},
        {"2024-0-0", nullptr, "2024-01-01 00:00:00:000"},
        {"2024-02-31", nullptr, "2024-02-29 00:00:00:000"}, // the month's last day
        {"2023\\2\\30", nullptr, "2023-02-28 00:00:00:000"},
        {"", "", "2002-01-01 00:00:00:000"},
        {nullptr, "1:2:3:24", "2002-01-01 01:02:03:960"},
        {"2024-1-1", "25:00", "2024-01-02 01:00:00:000"}, // hours carry into the next day
        {"2024-1-1", "-0:0:1", "2023-12-31 23:59:59:000"},
    };
    for (const Case &c : cases) EXPECT_EQ(Text(CFileTime(c.date, c.time)), c.text) << c.date;
    // Operator text past the end of the range stops at the end, in any zone.
    for (const char *zone : {"CST-8", "EST5", "UTC0"}) {
        ScopedTimeZone in(zone);
        const int64_t lastDay = CFileTime("30827-12-31", "").GetTime();
        for (const char *time : {"9999999", "99999:59:59:24", "2147483647"}) {
            const int64_t t = CFileTime("99999-12-31", time).GetTime();
            EXPECT_GT(t, lastDay) << zone << " " << time;
            EXPECT_GE(t, INT64_MAX - 24 * 3600 * 10000000LL) << zone << " " << time;
        }
    }
    // Local 12:30 in a zone eight hours ahead is 04:30 UTC.
    EXPECT_EQ(CFileTime("2005-06-07", "12:30").GetTime(), Utc(2005, 6, 7, 4, 30));
}

TEST_F(FileTimeTest, TextForms)
{
    const CFileTime t(Utc(2024, 3, 5, 15, 4, 5, 999)); // local 2024-03-05 23:04:05.999
    char buf[CFileTime::kTextSize];
    EXPECT_STREQ(t.GetDateAsString(buf), "2024-03-05");
    EXPECT_STREQ(t.GetDateAsString(buf, 'm'), "03-05-2024");
    EXPECT_STREQ(t.GetDateAsString(buf, 'x'), "");
    EXPECT_STREQ(t.GetTimeAsString(buf), "23:04:05");
    EXPECT_STREQ(t.GetTimeAsString(buf, 'f'), "23:04:05:24");
    EXPECT_STREQ(t.GetTimeAsString(buf, 'M'), "23:04:05:999");
    EXPECT_STREQ(t.GetTimeAsString(buf, '?'), "");
    EXPECT_EQ(Text(t, 'y', 's'), "2024-03-05 23:04:05");
    EXPECT_STREQ(CFileTime(31).GetDateAsString(buf, 'i'), "v");
    EXPECT_STREQ(CFileTime(32 * 32 + 5).GetDateAsString(buf, 'i'), "105");
    EXPECT_EQ(ToString(t), "2024-03-05 23:04:05");

    char16_t wide[CFileTime::kDateTimeTextSize];
    EXPECT_EQ(std::u16string(t.GetAsStringW(wide, 0, 'F')), u"2024-03-05 23:04:05:24");
    EXPECT_EQ(std::u16string(t.GetDateAsStringW(wide)), u"2024-03-05");
    EXPECT_EQ(std::u16string(ToStringW(t, wide)), u"2024-03-05 23:04:05");
    const char *scratch = t.GetAsString(nullptr);
    ASSERT_NE(scratch, nullptr);
    EXPECT_STREQ(scratch, "2024-03-05 23:04:05");
}

TEST_F(FileTimeTest, BrokenDownFormsAreLocal)
{
    const CFileTime t(Utc(2024, 2, 29, 20, 15, 30, 480)); // local 2024-03-01 04:15:30.480
    plat::SYSTEMTIME st{};
    EXPECT_EQ(t.Get(st), 1);
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 5); // a Friday
    EXPECT_EQ(st.wHour, 4);
    EXPECT_EQ(st.wMilliseconds, 480);
    EXPECT_EQ(CFileTime(st).GetTime(), t.GetTime());

    timecode_t tod;
    t.Get(tod);
    EXPECT_EQ(tod.nFrames, (((4 * 60 + 15) * 60 + 30) * 25) + 12);

    tm local{};
    t.Get(local);
    EXPECT_EQ(local.tm_year, 124);
    EXPECT_EQ(local.tm_mon, 2);
    EXPECT_EQ(local.tm_mday, 1);
    EXPECT_EQ(local.tm_yday, 60);
    EXPECT_EQ(local.tm_isdst, -1);
    // From a tm, milliseconds are 0; a year given in full is taken as it is.
    EXPECT_EQ(CFileTime(local).GetTime(), t.GetTime() - 480 * 10000);
    local.tm_year = 2024;
    EXPECT_EQ(CFileTime(local).GetTime(), t.GetTime() - 480 * 10000);

    CTime seconds;
    t.Get(seconds);
    EXPECT_EQ(seconds.GetTime(), (t.GetTime() - plat::kFileTimeUnixEpoch) / 10000000);
    EXPECT_EQ(CFileTime(seconds).GetTime(), t.GetTime() - 480 * 10000);
}

TEST_F(FileTimeTest, DateAndTimeOfDay)
{
    CFileTime t(Utc(2024, 3, 5, 20, 0, 0)); // local 2024-03-06 04:00
    EXPECT_EQ(Text(t.GetAsDate()), "2024-03-06 00:00:00:000");
    timecode_t tod;
    tod.SetAsFrames("12:34:56:12");
    t.SetTime(tod);
    EXPECT_EQ(Text(t), "2024-03-06 12:34:56:480");
    tod.SetAsDetail(0, 70, 80, 0); // minutes and seconds reduced by SetAsDetail
    t.SetTime(tod);
    EXPECT_EQ(Text(t), "2024-03-06 00:10:20:000");
    // Before the epoch the day still starts at local midnight.
    const CFileTime old("1600-06-15", "13:00");
    EXPECT_EQ(Text(old.GetAsDate()), "1600-06-15 00:00:00:000");
}

TEST(FileTimeZones, SummerTimeFollowsTheZoneRules)
{
    ScopedTimeZone tz("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(CFileTime("2024-07-01", "12:00").GetTime(), Utc(2024, 7, 1, 16));
    EXPECT_EQ(CFileTime("2024-01-01", "12:00").GetTime(), Utc(2024, 1, 1, 17));
    EXPECT_EQ(Text(CFileTime(Utc(2024, 7, 1, 16))), "2024-07-01 12:00:00:000");
}

TEST_F(FileTimeTest, CurrentTimeComesFromTheTimeSource)
{
    const int64_t now = Utc(2024, 3, 5, 6, 7, 8);
    plat::ScopedTestClock clock(1000, now);
    EXPECT_EQ(CFileTime::GetCurrentTime().GetTime(), now);
    CFileTime system;
    CFileTime::GetSystemTime(system);
    EXPECT_EQ(Text(system, 0, 0), "2024-03-05 06:07:08"); // the UTC reading, shown as is
    plat::TestClock::Advance(1500);
    EXPECT_EQ(CFileTime::GetCurrentTime() - CFileTime(now), 15000000);
}

TEST(FileTimeSpan, FieldsClampsAndText)
{
    CFileTimeSpan span;
    span.Set64(2, 25, -1, 75, 20000000);
    int32_t d, h, m, s, f;
    span.Get64(d, h, m, s, f);
    EXPECT_EQ(d, 2);
    EXPECT_EQ(h, 23);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(s, 59);
    EXPECT_EQ(f, 9999999);

    span.Set(-1, 1, 0, 0, 500); // days are not limited; the fields read the magnitude
    EXPECT_EQ(span.GetSpan(), -CFileTimeSpan::kUnitsPerDay + 36005000000LL);
    span.Get(d, h, m, s, f);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(h, 22);
    EXPECT_EQ(m, 59);
    EXPECT_EQ(s, 59);
    EXPECT_EQ(f, 500);

    EXPECT_EQ(span.Set("  49:70:80.1234"), 1);
    span.Get(d, h, m, s, f);
    EXPECT_EQ(d, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(m, 59);
    EXPECT_EQ(s, 59);
    EXPECT_EQ(f, 999);
    EXPECT_EQ(span.Set(nullptr), 0);

    char buf[8] = "xxx";
    EXPECT_STREQ(span.ToString(buf, sizeof buf), "");
    EXPECT_EQ(span.ToString(buf, 0), nullptr);
}
