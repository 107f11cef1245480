// Timecodes: fields, BCD, text forms and parsing, negative values and range limits.
#include "KestLib20/StringConvert.h"
#include "KestLib20/ThreadSafeBuffer.h"
#include "KestLib20/timecode_t.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

timecode_t Hms(int32_t h, int32_t m, int32_t s, int32_t f, int32_t sign = 1)
{
    timecode_t tc;
    tc.SetAsDetail(h, m, s, f, sign);
    return tc;
}

std::string Text(timecode_t tc)
{
    char buf[timecode_t::kTextSize];
    return tc.GetAsString(buf);
}

} // namespace

TEST(Timecode, FieldsOfTheMagnitude)
{
    const timecode_t tc = Hms(49, 59, 58, 24, -1);
    int32_t h, m, s, f, sign;
    tc.GetAsDetail(h, m, s, f, &sign);
    EXPECT_EQ(h, 49);
    EXPECT_EQ(m, 59);
    EXPECT_EQ(s, 58);
    EXPECT_EQ(f, 24);
    EXPECT_EQ(sign, -1);
    EXPECT_EQ(tc.GetDay(), 2);
    EXPECT_EQ(tc.GetSign(), -1);
    EXPECT_EQ(timecode_t(0).GetSign(), 1);
    EXPECT_EQ(timecode_t(30).GetMills(), 200);

    // Minutes and seconds reduce modulo 60, frames modulo 25, each by its magnitude.
    EXPECT_EQ(Hms(1, 70, 0, 30).nFrames, Hms(1, 10, 0, 5).nFrames);
    EXPECT_EQ(Hms(-1, -2, 0, 0, 1).nFrames, Hms(1, 2, 0, 0).nFrames);
    EXPECT_EQ(Hms(0, 0, 1, 0, -2).nFrames, 25); // only exactly -1 negates
    EXPECT_EQ(Hms(0, 0, 1, 0, -1).nFrames, -25);
    // Beyond the 32-bit range the count saturates instead of wrapping.
    EXPECT_EQ(Hms(10000000, 0, 0, 0).nFrames, INT32_MAX);
    EXPECT_EQ(Hms(50000000, 0, 0, 0, -1).nFrames, -INT32_MAX);
    EXPECT_EQ(timecode_t(INT32_MIN).GetHour(), 23860);
}

TEST(Timecode, PackedBcd)
{
    uint8_t h, m, s, f;
    Hms(12, 34, 56, 17).GetAsDetail_BCD(h, m, s, f);
    EXPECT_EQ(h, 0x12);
    EXPECT_EQ(m, 0x34);
    EXPECT_EQ(s, 0x56);
    EXPECT_EQ(f, 0x17);
    timecode_t back;
    back.SetAsDetail_BCD(0x112, 0x34, 0x56, 0x17); // only the low byte of each counts
    EXPECT_EQ(back.nFrames, Hms(12, 34, 56, 17).nFrames);
}

TEST(Timecode, TextForms)
{
    struct Case {
        int32_t frames;
        const char *text;
    } cases[] = {
        {0, "00:00:00:00"},
        {900000, "10:00:00:00"},
        {Hms(1, 2, 3, 4), "01:02:03:04"},
        {-1, "-0:00:00:01"},
        {Hms(1, 0, 0, 0, -1), "-1:00:00:00"},
        {Hms(9, 59, 59, 24, -1), "-9:59:59:24"},
        // From ten hours on the sign goes in front, so the hours stay whole.
        {Hms(12, 0, 0, 0, -1), "-12:00:00:00"},
        {Hms(123, 4, 5, 6), "123:04:05:06"},
        {INT32_MIN, "-23860:55:45:23"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Text(c.frames), c.text);
        timecode_t back;
        back.SetAsFrames(c.text);
        if (c.frames != INT32_MIN) {
            EXPECT_EQ(back.nFrames, c.frames) << c.text;
        }
    }
    char16_t wide[timecode_t::kTextSize];
    EXPECT_EQ(std::u16string(timecode_t(-1).GetAsString(wide)), u"-0:00:00:01");
    EXPECT_EQ(std::u16string(ToStringW(timecode_t(25), wide, timecode_t::kTextSize)),
              u"00:00:01:00");

    char small[8];
    EXPECT_EQ(timecode_t(0).ToString(small, sizeof small), nullptr); // needs 12
    char fits[12];
    EXPECT_STREQ(timecode_t(0).ToString(fits, sizeof fits), "00:00:00:00");
    // No buffer: the thread's scratch ring.
    const char *scratch = timecode_t(25).ToString(nullptr, 0);
    ASSERT_NE(scratch, nullptr);
    EXPECT_STREQ(scratch, "00:00:01:00");
}

TEST(Timecode, ParsingText)
{
    struct Case {
        const char *text;
        int32_t frames;
    } cases[] = {
        {"10:00:00:00", 900000},
        {"1:2", Hms(1, 2, 0, 0)},
        {"-00:00:01:00", -25},
        {"-0:0:1", -25},
        {"   -0:0:1", -25},
        {"0:61:0:30", Hms(1, 1, 1, 5)}, // fields carry over
        {"1\\2/3.4", Hms(1, 2, 3, 4)},
        {"1,2\t3", Hms(1, 2, 3, 0)},
        {"", 0},
        {"abc", 0},
        {"999999:0:0:0", INT32_MAX},
    };
    for (const Case &c : cases) {
        timecode_t tc(77);
        EXPECT_EQ(tc.SetAsFrames(c.text), 1);
        EXPECT_EQ(tc.nFrames, c.frames) << c.text;
    }
    timecode_t tc(77);
    EXPECT_EQ(tc.SetAsFrames(static_cast<const char *>(nullptr)), 0);
    EXPECT_EQ(tc.nFrames, 77);
    tc.SetAsFrames(u"-0:00:00:01");
    EXPECT_EQ(tc.nFrames, -1);
}
