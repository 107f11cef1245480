// CTime and CTimeSpan with TZ pinned. POSIX zone strings need no zone database:
// "CST-8" is China's time (as Asia/Shanghai today), the CET rule has summer time.
#include "platform/CTime.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace {

class CTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char *tz = std::getenv("TZ")) m_savedTz = tz;
    }
    void TearDown() override
    {
        if (m_savedTz)
            setenv("TZ", m_savedTz->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void Zone(const char *tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::optional<std::string> m_savedTz;
};

constexpr int64_t kLeapDayUtc = 1709210096; // 2024-02-29 12:34:56 UTC, a Thursday

} // namespace

TEST_F(CTimeTest, LocalFieldsFollowTz)
{
    Zone("UTC0");
    const CTime utc(2024, 2, 29, 12, 34, 56);
    EXPECT_EQ(utc.GetTime(), kLeapDayUtc);
    EXPECT_EQ(utc.GetDayOfWeek(), 5);
    EXPECT_EQ(utc.Format("%Y-%m-%d %H:%M:%S"), "2024-02-29 12:34:56");

    Zone("CST-8");
    const CTime china(2024, 2, 29, 12, 34, 56);
    EXPECT_EQ(china.GetTime(), kLeapDayUtc - 8 * 3600);
    EXPECT_EQ(china.FormatGmt("%H:%M"), "04:34");
    // The same instant, seen after TZ changed: the new zone applies at once.
    EXPECT_EQ(utc.GetHour(), 20);
    EXPECT_EQ(CTime(kLeapDayUtc + 4 * 3600).GetDay(), 1);
    EXPECT_EQ(CTime(kLeapDayUtc + 4 * 3600).GetMonth(), 3);
    setenv("TZ", "UTC0", 1); // no tzset: CTime must notice the change itself
    EXPECT_EQ(utc.GetHour(), 12);
    EXPECT_EQ(utc.GetMinute(), 34);
    EXPECT_EQ(utc.GetSecond(), 56);
    EXPECT_EQ(utc.GetYear(), 2024);
}

TEST_F(CTimeTest, SummerTimeAndCarriedFields)
{
    Zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(CTime(2024, 7, 1, 12, 0, 0).FormatGmt("%H"), "10");
    EXPECT_EQ(CTime(2024, 1, 1, 12, 0, 0).FormatGmt("%H"), "11");
    EXPECT_EQ(CTime(2023, 13, 1, 0, 0, 0), CTime(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(CTime(2024, 3, 0, 0, 0, 0).GetDay(), 29);
}

TEST_F(CTimeTest, CurrentTimeComesFromTheTimeSource)
{
    plat::ScopedTestClock clock(1000, plat::kFileTimeUnixEpoch + 946684800LL * 10000000 + 9999999);
    EXPECT_EQ(CTime::GetCurrentTime().GetTime(), 946684800); // 2000-01-01, fraction dropped
}

TEST_F(CTimeTest, SpansAndArithmetic)
{
    const CTimeSpan span(1, 2, 3, 4);
    EXPECT_EQ(span.GetTotalSeconds(), 93784);
    EXPECT_EQ(span.GetDays(), 1);
    EXPECT_EQ(span.GetHours(), 2);
    EXPECT_EQ(span.GetTotalHours(), 26);
    EXPECT_EQ(span.GetMinutes(), 3);
    EXPECT_EQ(span.GetTotalMinutes(), 1563);
    EXPECT_EQ(span.GetSeconds(), 4);
    const CTimeSpan back(-90);
    EXPECT_EQ(back.GetMinutes(), -1);
    EXPECT_EQ(back.GetSeconds(), -30);

    const CTime start(kLeapDayUtc);
    CTime later = start + span;
    EXPECT_EQ(later - start, span);
    EXPECT_EQ(later - span, start);
    later -= CTimeSpan(0, 0, 0, 4);
    EXPECT_EQ((later - start).GetSeconds(), 0);
    EXPECT_LT(start, later);
    EXPECT_GT(span, back);
}
