// The text switches' frames as bytes: the BW120's fixed-width digits and ranges, the DLKD
// check over the hexadecimal body for both models, and the Quartz take's fixed fields.
#include "drivers/switchers/text/TextSwitchFrames.h"

#include <gtest/gtest.h>

using swframe::Bytes;

TEST(TextFrames, Bw120DigitsAndRanges)
{
    EXPECT_EQ(swframe::Bw120Command(1, 5),
              (Bytes{0x20, 0x31, 0x31, 0x30, 0x35, 0x31, 0x31, 0x31, 0x0D, 0x00}));
    EXPECT_EQ(swframe::Bw120Command(12, 150),
              (Bytes{0x20, 0x31, 0x31, 0x39, 0x39, 0x31, 0x31, 0x39, 0x0D, 0x00}));
    EXPECT_EQ(swframe::Bw120Command(-3, 0),
              (Bytes{0x20, 0x31, 0x31, 0x30, 0x31, 0x31, 0x31, 0x31, 0x0D, 0x00}));
    EXPECT_EQ(swframe::Bw120Command(2, 47).size(), 10u);
}

TEST(TextFrames, DlkdBodyAndCheck)
{
    // W^R^V^x^'0'^'0'^y^'0'^'2' = 0x50.
    EXPECT_EQ(swframe::DlkdWrite('V', 0, 2),
              (Bytes{0x01, 'W', 'R', 'V', 'x', '0', '0', 'y', '0', '2', '5', '0', 0x04}));
    const Bytes d = swframe::DlkdWrite('D', 1, 15);
    ASSERT_EQ(d.size(), 13u);
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 10),
              (Bytes{0x01, 'W', 'R', 'D', 'x', '0', '1', 'y', '0', 'F'}));
    uint8_t check = 0;
    for (size_t i = 1; i < 10; ++i) check ^= d[i];
    const char hex[] = "0123456789ABCDEF";
    EXPECT_EQ(d[10], hex[check >> 4]);
    EXPECT_EQ(d[11], hex[check & 0x0F]);
    EXPECT_EQ(d[12], 0x04);
}

TEST(TextFrames, QuartzFields)
{
    const Bytes take = swframe::QuartzTake("VABCDEFG", 1, 12);
    const std::string text = ".SVABCDEFG001,012\r";
    EXPECT_EQ(take, Bytes(text.begin(), text.end()));
    EXPECT_EQ(take.size(), 18u);
    const Bytes wide = swframe::QuartzTake("V", 1234, 7);
    EXPECT_EQ(std::string(wide.begin(), wide.end()), ".SV999,007\r") << "fields keep three digits";
}
