// GBK helpers and CString. "设备" and the other Chinese literals are GBK bytes at run time.
// 碼 is B4 61 and 禱 is B5 5C: their trail bytes are 'a' and '\' and must never be treated
// as characters of their own.
#include "platform/Gbk.h"
#include "platform/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <unordered_map>

using namespace plat;

namespace {

std::string FromUtf8(const char8_t *text)
{
    return reinterpret_cast<const char *>(text);
}

} // namespace

TEST(Gbk, CaseFoldingLeavesTrailBytesAlone)
{
    std::string s = "碼x设备Ab\xB4"; // ends with a lone lead byte
    GbkToUpper(s);
    EXPECT_EQ(s, "\xB4\x61X设备AB\xB4");
    std::string t = "\xB5\x41Q"; // trail byte 'A'
    GbkToLower(t);
    EXPECT_EQ(t, "\xB5\x41q");
}

TEST(Gbk, CompareNoCaseFoldsOnlyWholeCharacters)
{
    EXPECT_EQ(GbkCompareNoCase("碼Key", "碼kEY"), 0);
    // Same lead byte, trail bytes 'a' and 'A': two different characters.
    EXPECT_NE(GbkCompareNoCase("\xB4\x61", "\xB4\x41"), 0);
    EXPECT_LT(GbkCompareNoCase("abc", "ABD"), 0);
    EXPECT_LT(GbkCompareNoCase("AB", "abc"), 0);
    EXPECT_GT(GbkCompareNoCase("设备", "zz"), 0); // bytes compare unsigned
}

TEST(Gbk, CutNeverSplitsACharacter)
{
    EXPECT_EQ(GbkCutLength("a设备", 2), 1u);
    EXPECT_EQ(GbkCutLength("a设备", 3), 3u);
    EXPECT_EQ(GbkCutLength("a设备", 4), 3u);
    EXPECT_EQ(GbkCutLength("设备", 100), 4u);
    EXPECT_EQ(GbkCutLength("a\xB4", 2), 2u); // a lead byte with nothing after it is one byte
    EXPECT_EQ(GbkCutLength("abc", 0), 0u);
}

TEST(Gbk, ConversionsRoundTrip)
{
    const std::string gbk = "设备 OK 碼禱";
    EXPECT_EQ(GbkToUtf16(gbk), u"设备 OK 碼禱");
    EXPECT_EQ(Utf16ToGbk(GbkToUtf16(gbk)), gbk);
    EXPECT_EQ(GbkToUtf8(gbk), FromUtf8(u8"设备 OK 碼禱"));
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(gbk)), gbk);
    EXPECT_EQ(GbkToUtf16(""), u"");
    // Longer than one conversion chunk.
    std::string longText;
    for (int i = 0; i < 2000; ++i) longText += "频道";
    EXPECT_EQ(Utf16ToGbk(GbkToUtf16(longText)), longText);
}

TEST(Gbk, BytesThatAreNotGbkSurviveTheWideRoundTrip)
{
    const std::string utf8Value = "/srv/\xE8\xA7\x86\xE9\xA2\x91/a\xB4"; // UTF-8, then a cut-off
    const std::u16string wide = GbkToUtf16(utf8Value);
    EXPECT_EQ(Utf16ToGbk(wide), utf8Value);
    EXPECT_EQ(GbkToUtf16("a\xB4"), std::u16string(u"a") + char16_t(0xDCB4));
}

TEST(Gbk, BadInputBecomesQuestionMarks)
{
    EXPECT_EQ(GbkToUtf8("\xFF!"), "?!");       // not a GBK byte
    EXPECT_EQ(Utf8ToGbk("x\xC3(y"), "x?(y");   // broken UTF-8 sequence
    EXPECT_EQ(Utf16ToGbk(u"x\xD800y"), "x?y"); // lone surrogate
    EXPECT_EQ(Utf16ToGbk(u"\u0E01设"), "?设"); // no GBK code for it
}

TEST(CString, MidLeftRightClamp)
{
    const CString s("hello");
    EXPECT_EQ(s.Mid(-2, 3), "hel");
    EXPECT_EQ(s.Mid(3, 100), "lo");
    EXPECT_EQ(s.Mid(5), "");
    EXPECT_EQ(s.Mid(9), "");
    EXPECT_EQ(s.Mid(2, -1), "");
    EXPECT_EQ(s.Mid(1, 0x7FFFFFFF), "ello");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "hello");
    EXPECT_EQ(s.Right(2), "lo");
    EXPECT_EQ(s.Right(99), "hello");
    EXPECT_EQ(s.Right(-3), "");
}

TEST(CString, FindBounds)
{
    const CString s("hello");
    EXPECT_EQ(s.Find('l'), 2);
    EXPECT_EQ(s.Find('l', 3), 3);
    EXPECT_EQ(s.Find('l', 5), -1);
    EXPECT_EQ(s.Find('h', -1), -1);
    EXPECT_EQ(s.Find("lo"), 3);
    EXPECT_EQ(s.Find("lo", 4), -1);
    EXPECT_EQ(s.Find("", 5), 5);
    EXPECT_EQ(s.Find("", 6), -1);
    EXPECT_EQ(s.Find("hello!"), -1);
    EXPECT_EQ(s.ReverseFind('l'), 3);
    EXPECT_EQ(s.ReverseFind('z'), -1);
    EXPECT_EQ(s.FindOneOf("zox"), 4);
}

TEST(CString, CharacterOperationsSkipTrailBytes)
{
    CString path("dir\\禱");
    EXPECT_EQ(path.ReverseFind('\\'), 3);
    EXPECT_EQ(path.Find('\\', 4), -1);
    EXPECT_EQ(CString("禱x").Find("\\x"), -1);
    EXPECT_EQ(CString("禱x").FindOneOf("\\"), -1);
    EXPECT_EQ(CString("x禱").FindOneOf("禱"), 1);

    EXPECT_EQ(path.Replace('\\', '/'), 1);
    EXPECT_EQ(path, "dir/禱");
    CString trailing("禱\\\\");
    EXPECT_EQ(trailing.TrimRight('\\'), "禱");
    CString ac("碼a");
    EXPECT_EQ(ac.Remove('a'), 1);
    EXPECT_EQ(ac, "碼");
    EXPECT_EQ(CString("碼x").MakeUpper(), "碼X");
    EXPECT_EQ(CString("Ab设").MakeLower(), "ab设");
    EXPECT_EQ(CString("a设b").MakeReverse(), "b设a");
    EXPECT_EQ(CString("碼aB").CompareNoCase("碼Ab"), 0);
    EXPECT_NE(CString("\xB4\x61").CompareNoCase("\xB4\x41"), 0);
    EXPECT_EQ(CString("x碼ab").SpanExcluding("a"), "x碼");
    EXPECT_EQ(CString("碼a").SpanIncluding("碼"), "碼");
}

TEST(CString, ReplaceGrowsAndShrinks)
{
    CString s("a,b,,c");
    EXPECT_EQ(s.Replace(",", ";;"), 3);
    EXPECT_EQ(s, "a;;b;;;;c");
    EXPECT_EQ(s.Replace(";;", ""), 3);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(s.Replace("", "x"), 0);
    EXPECT_EQ(s.Replace("zz", "x"), 0);
    EXPECT_EQ(s.Replace("b", s), 1); // replacement text is the string itself
    EXPECT_EQ(s, "aabcc");
    EXPECT_EQ(s.Remove('c'), 2);
    EXPECT_EQ(s, "aab");
}

TEST(CString, InsertAndDeleteBounds)
{
    CString s("abc");
    EXPECT_EQ(s.Insert(-5, 'x'), 4);
    EXPECT_EQ(s.Insert(99, "yz"), 6);
    EXPECT_EQ(s, "xabcyz");
    EXPECT_EQ(s.Delete(4, 99), 4);
    EXPECT_EQ(s.Delete(99), 4);
    EXPECT_EQ(s.Delete(1, -1), 4);
    EXPECT_EQ(s.Delete(-1, 2), 2);
    EXPECT_EQ(s, "bc");
    EXPECT_EQ(s.Insert(1, '\0'), 3); // an embedded NUL is a byte like any other
    EXPECT_EQ(s, CString("b\0c", 3));
}

TEST(CString, TrimAndSpan)
{
    CString s("  \t x y \r\n");
    EXPECT_EQ(s.Trim(), "x y");
    CString t("xyxzyx");
    EXPECT_EQ(t.TrimLeft("xy"), "zyx");
    EXPECT_EQ(t.TrimRight('x'), "zy");
    EXPECT_EQ(CString("cabbage").SpanIncluding("abc"), "cabba");
    EXPECT_EQ(CString("key;rest").SpanExcluding(";,"), "key");
    EXPECT_EQ(CString("   ").Trim(), "");
}

TEST(CString, FormatAnyLength)
{
    const std::string big(5000, 'x');
    CString s;
    s.Format("%s|%d", big.c_str(), 42);
    EXPECT_EQ(s.GetLength(), 5003);
    EXPECT_EQ(s.Right(3), "|42");
    s.Format("%s-%s", static_cast<const char *>(s), static_cast<const char *>(s));
    EXPECT_EQ(s.GetLength(), 2 * 5003 + 1);
    s = "n=";
    s.AppendFormat("%05d", 7);
    EXPECT_EQ(s, "n=00007");
}

TEST(CString, GetBufferReleaseBuffer)
{
    CString s;
    std::strcpy(s.GetBuffer(10), "abc");
    s.ReleaseBuffer();
    EXPECT_EQ(s, "abc");

    CString h("hello");
    char *p = h.GetBuffer(2); // never shorter than the text
    EXPECT_EQ(std::string(p, 5), "hello");
    p[0] = 'J';
    h.ReleaseBuffer(3);
    EXPECT_EQ(h, "Jel");
    h.ReleaseBuffer(50);
    EXPECT_EQ(h, "Jel");

    std::memcpy(h.GetBufferSetLength(4), "wxyz", 4);
    EXPECT_EQ(h, "wxyz");
}

TEST(CString, BytesComparisonsAndAccess)
{
    const CString nul("a\0b", 3);
    EXPECT_EQ(nul.GetLength(), 3);
    EXPECT_NE(nul, "a");
    EXPECT_EQ(std::strlen(nul), 1u);
    EXPECT_NE(std::hash<CString>{}(nul), std::hash<CString>{}(CString("a")));

    EXPECT_TRUE("abc" < CString("abd"));
    EXPECT_TRUE(CString("b") > "a");
    EXPECT_TRUE("a" == CString("a"));
    EXPECT_TRUE(CString("\xB0") > "z"); // unsigned byte order
    EXPECT_TRUE(CString("ab") <= CString("ab"));
    EXPECT_EQ('x' + CString("y") + "z" + 'w' + CString("!"), "xyzw!");

    CString s("hello");
    EXPECT_EQ(s[1], 'e');
    EXPECT_EQ(s.GetAt(5), '\0');
    EXPECT_THROW(s.GetAt(6), std::out_of_range);
    EXPECT_THROW(s.SetAt(5, 'x'), std::out_of_range);
    EXPECT_NE(static_cast<const char *>(CString()), nullptr);
    EXPECT_EQ(CString(nullptr), "");
    EXPECT_EQ(CString('-', 3), "---");

    std::unordered_map<CString, int> byName{{"设备", 1}, {"Device", 2}};
    EXPECT_EQ(byName.at("设备"), 1);
    EXPECT_EQ(byName.count("device"), 0u);
}
