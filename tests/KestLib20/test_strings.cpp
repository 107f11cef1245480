// Character classes, in-place edits, name tables, the list / key-value / property / URL
// analyses, conversions, words, URLs, string lists and message templates.
#include "ScopedTimeZone.h"

#include "KestLib20/FormatString.h"
#include "KestLib20/IStringAccess.h"
#include "KestLib20/StringAnalysis.h"
#include "KestLib20/StringConvert.h"
#include "KestLib20/StringWords.h"
#include "KestLib20/string_list.h"
#include "KestLib20/string_traits.h"
#include "KestLib20/tagURL.h"
#include "platform/TimeConvert.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Traits = string_traits<char>;
using WTraits = string_traits<char16_t>;

std::vector<std::string> Items(const CStringArray &list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

using Strings = std::vector<std::string>;

// "啊" in GBK is B0 A1; "楆" is 97 5C, whose trail byte is a backslash.
const char kGbkWithBackslashTrail[] = "\x97\x5C";

} // namespace

TEST(CharClasses, ClassesNegationAndGbkCharacters)
{
    struct Case {
        uint32_t code;
        int32_t cls;
        bool in;
    } cases[] = {
        {'a', CHAR_CLASS_ALPHA, true},
        {'5', CHAR_CLASS_ALPHA, false},
        {'Q', CHAR_CLASS_UPPER, true},
        {'q', CHAR_CLASS_UPPER, false},
        {'q', CHAR_CLASS_LOWER, true},
        {'7', CHAR_CLASS_DIGIT, true},
        {'f', CHAR_CLASS_XDIGIT, true},
        {'g', CHAR_CLASS_XDIGIT, false},
        {'_', CHAR_CLASS_IDENT, true},
        {'-', CHAR_CLASS_IDENT, false},
        {',', ',', true},
        {',', ';', false},
        {',', CharClassNot(','), false},
        {'x', CharClassNot(CHAR_CLASS_DIGIT), true},
        {'x', 0x100009, false},
        {'x', CharClassNot(0x100009), true},
        {0xB0A1, 0xB0A1, true},
        {0xB0A1, CHAR_CLASS_ALPHA, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CharInClass(c.code, c.cls), c.in) << std::hex << c.code << " " << c.cls;
    EXPECT_EQ(Traits::CompareCharEx('z', CHAR_CLASS_LOWER), 1);
    EXPECT_EQ(WTraits::CompareCharEx(u'Z', CHAR_CLASS_LOWER), 0);
}

TEST(InPlaceEdits, ReplaceTrimPackAndBrackets)
{
    char s[32] = "a,b;c,d";
    EXPECT_EQ(Traits::Replace(s, ',', ' '), 7);
    EXPECT_STREQ(s, "a b;c d");
    EXPECT_EQ(Traits::ReplaceChr(s, " ;", '_'), 7);
    EXPECT_STREQ(s, "a_b_c_d");
    EXPECT_EQ(Traits::Replace(nullptr, 'a', 'b'), 0);

    std::strcpy(s, "xxabxx");
    Traits::TrimLeft(s, 'x');
    EXPECT_STREQ(s, "abxx");
    Traits::TrimRight(s, 'x');
    EXPECT_STREQ(s, "ab");

    std::strcpy(s, "  a   b  c");
    EXPECT_EQ(Traits::Pack(s, ' '), 5);
    EXPECT_STREQ(s, "a b c");

    std::strcpy(s, "12abc34");
    Traits::TrimLeftEx(s, CHAR_CLASS_DIGIT);
    Traits::TrimRightEx(s, CHAR_CLASS_DIGIT);
    EXPECT_STREQ(s, "abc");

    std::strcpy(s, "{x}");
    Traits::TrimBracket(s, "<{", ">}");
    EXPECT_STREQ(s, "x");
    Traits::TrimBracket(s, "<{", ">}"); // one character: nothing
    EXPECT_STREQ(s, "x");
    std::strcpy(s, "<x}");
    Traits::TrimBracket(s, "<{", ">}"); // pairs must match index for index
    EXPECT_STREQ(s, "<x}");
    Traits::TrimBracket(nullptr, "<", ">");

    char16_t w[16] = u"--ab--";
    WTraits::TrimLeft(w, u'-');
    WTraits::TrimRight(w, u'-');
    EXPECT_EQ(std::u16string(w), u"ab");
}

TEST(InPlaceEdits, GbkTrailBytesAreNeverSingleCharacters)
{
    // The second byte of the character is 0x5C: trimming or replacing backslashes must not
    // cut the character in half.
    char s[16];
    std::snprintf(s, sizeof s, "\\%s\\\\", kGbkWithBackslashTrail);
    Traits::TrimRight(s, '\\');
    EXPECT_EQ(std::string(s), std::string("\\") + kGbkWithBackslashTrail);
    Traits::Replace(s, '\\', '/');
    EXPECT_EQ(std::string(s), std::string("/") + kGbkWithBackslashTrail);
    char t[16];
    std::snprintf(t, sizeof t, "a%s", kGbkWithBackslashTrail);
    Traits::TrimBracket(t, "a", "\\"); // the last byte is a trail byte, not a "\"
    EXPECT_EQ(std::string(t), std::string("a") + kGbkWithBackslashTrail);
}

TEST(InPlaceEdits, InsertionsRespectTheCapacity)
{
    char s[12] = "a-b-c";
    EXPECT_EQ(Traits::ReplaceStr(s, sizeof s, "-", "--"), 2);
    EXPECT_STREQ(s, "a--b--c");
    // The search goes on behind the inserted text: "a" -> "aa" does not loop.
    EXPECT_EQ(Traits::ReplaceStr(s, sizeof s, "a", "aa"), 1);
    EXPECT_STREQ(s, "aa--b--c");
    // Would need 13 characters: refused, unchanged.
    EXPECT_EQ(Traits::ReplaceStr(s, sizeof s, "-", "=="), 0);
    EXPECT_STREQ(s, "aa--b--c");
    EXPECT_EQ(Traits::ReplaceStr(s, sizeof s, "", "x"), 0);

    EXPECT_TRUE(Traits::Insert(s, sizeof s, "xyz"));
    EXPECT_STREQ(s, "xyzaa--b--c");
    EXPECT_FALSE(Traits::Insert(s, sizeof s, "1"));
    EXPECT_STREQ(s, "xyzaa--b--c");
    Traits::Delete(s, 3);
    EXPECT_STREQ(s, "aa--b--c");
    Traits::Delete(s, 100);
    EXPECT_STREQ(s, "");
}

TEST(InPlaceEdits, ConversionBetweenGbkAndUtf16)
{
    const char gbk[] = "A\xB0\xA1"; // "A啊"
    char16_t wide[8];
    ASSERT_TRUE(Traits::ConvertTo(gbk, wide, 8));
    EXPECT_EQ(std::u16string(wide), u"A\u554A");
    EXPECT_FALSE(Traits::ConvertTo(gbk, wide, 2)); // needs 3 with the terminator
    char back[8];
    ASSERT_TRUE(WTraits::ConvertTo(wide, back, 8));
    EXPECT_STREQ(back, gbk);

    char16_t *dup = Traits::StrDupEx(gbk);
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(std::u16string(dup), u"A\u554A");
    std::free(dup);
    EXPECT_EQ(Traits::StrDupEx(nullptr), nullptr);
}

TEST(NameTables, FindByKeyAndByName)
{
    static const Traits::tagKeyName table[] = {
        {1, "foo", "first"}, {2, "FooBar", "second"}, {3, "baz", "third"}, {0, nullptr, nullptr}};
    const Traits::tagKeyName *row = nullptr;
    EXPECT_TRUE(table->FindByKey(3, &row));
    EXPECT_STREQ(row->info, "third");
    EXPECT_FALSE(table->FindByKey(9, &row));
    EXPECT_EQ(row, nullptr);

    EXPECT_TRUE(table->FindByName("FOO", &row, false)); // ignoring case
    EXPECT_EQ(row->key, 1);
    EXPECT_FALSE(table->FindByName("FOO", &row, true));
    EXPECT_TRUE(table->FindByName("FooBar", &row, false)); // exact beats containment
    EXPECT_EQ(row->key, 2);
    EXPECT_TRUE(table->FindByName("oob", &row, false)); // contained in a name
    EXPECT_EQ(row->key, 2);
    EXPECT_TRUE(table->FindByName("bazooka", &row, false)); // contains a name
    EXPECT_EQ(row->key, 3);
    EXPECT_FALSE(table->FindByName("", &row, false));
    EXPECT_FALSE(table->FindByName(nullptr, &row, false));

    static const WTraits::tagKeyName wide[] = {{7, u"Play", u""}, {0, nullptr, nullptr}};
    const WTraits::tagKeyName *wrow = nullptr;
    EXPECT_TRUE(wide->FindByName(u"PLAY", &wrow, false));
    EXPECT_EQ(wrow->key, 7);
}

TEST(Analysis, CommaLists)
{
    CStringArray list;
    struct Case {
        const char *text;
        char sep;
        Strings items;
    } cases[] = {
        {"a, ,\"\", b", ',', {"a", "", "b"}},
        {" x ,\" y \" , ,z", ',', {"x", " y ", "z"}},
        {"\"unterminated, still", ',', {"unterminated, still"}},
        {"one two  three", ' ', {"one", "two", "three"}},
        {"", ',', {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(StringAnalysis_Array(c.text, c.sep, list), static_cast<int>(c.items.size()));
        EXPECT_EQ(Items(list), c.items) << c.text;
    }
    EXPECT_EQ(StringAnalysis_Array(nullptr, ',', list), 0);
    EXPECT_TRUE(list.IsEmpty());

    // What ToString writes, the list analysis reads back (double quotes come back as
    // apostrophes: a quoted item cannot hold one).
    CStringArray original;
    original.Add("a\"b");
    original.Add("c");
    original.Add(" spaced ");
    original.Add("");
    EXPECT_EQ(ToString(original), "\"a'b\",\"c\",\" spaced \",\"\"");
    EXPECT_EQ(ToString(original, '{'), "{\"a'b\",\"c\",\" spaced \",\"\"}");
    StringAnalysis_Array(ToString(original), ',', list);
    EXPECT_EQ(Items(list), (Strings{"a'b", "c", " spaced ", ""}));
}

TEST(Analysis, KeyValueFailsWithoutSeparator)
{
    CString key = "old", value = "old";
    EXPECT_EQ(StringAnalysis_KeyValue(" Port : \"COM 1\" ", ':', key, value), 4);
    EXPECT_EQ(key, "Port");
    EXPECT_EQ(value, "COM 1");
    EXPECT_EQ(StringAnalysis_KeyValue("a=b=c", '=', key, value), 1);
    EXPECT_EQ(value, "b=c");
    EXPECT_EQ(StringAnalysis_KeyValue("=x", '=', key, value), 0); // empty key
    EXPECT_EQ(value, "x");
    key = "kept", value = "kept";
    EXPECT_EQ(StringAnalysis_KeyValue("no separator", '=', key, value), 0);
    EXPECT_EQ(StringAnalysis_KeyValue("", '=', key, value), 0);
    EXPECT_EQ(StringAnalysis_KeyValue(nullptr, '=', key, value), 0);
    EXPECT_EQ(key, "kept");
    EXPECT_EQ(value, "kept");
}

TEST(Analysis, DosAndUrlParametersTakeBareItemsAsKeys)
{
    CStringArray keys, values;
    EXPECT_EQ(StringAnalysis_DosParam("/port:3 \"/name:a b\" /quiet", keys, values), 3);
    EXPECT_EQ(Items(keys), (Strings{"/port", "/name", "/quiet"}));
    EXPECT_EQ(Items(values), (Strings{"3", "a b", ""}));

    EXPECT_EQ(StringAnalysis_UrlParam("?id=3&flag&&{x=1}&[y = \"2\"]& z = a=b ", keys, values), 5);
    EXPECT_EQ(Items(keys), (Strings{"?id", "flag", "x", "y", "z"}));
    EXPECT_EQ(Items(values), (Strings{"3", "", "1", "2", "a=b"}));
    EXPECT_EQ(StringAnalysis_UrlParam(nullptr, keys, values), 0);
    EXPECT_TRUE(keys.IsEmpty());
}

TEST(Analysis, XmlProperties)
{
    CStringArray keys, values;
    EXPECT_EQ(StringAnalysis_XmlProp("<Com=\"1\" Decoder=\"2\">", keys, values), 1);
    EXPECT_EQ(Items(keys), (Strings{"Com", "Decoder"}));
    EXPECT_EQ(Items(values), (Strings{"1", "2"}));
    EXPECT_EQ(StringAnalysis_XmlProp("{a = \"x y\"; b=\"\", c=\"=,;\"}", keys, values), 1);
    EXPECT_EQ(Items(keys), (Strings{"a", "b", "c"}));
    EXPECT_EQ(Items(values), (Strings{"x y", "", "=,;"}));
    // A missing quote, or names and values that do not pair up, give nothing.
    EXPECT_EQ(StringAnalysis_XmlProp("<Com=\"1\" Decoder=\"2>", keys, values), 0);
    EXPECT_TRUE(keys.IsEmpty());
    EXPECT_TRUE(values.IsEmpty());
    EXPECT_EQ(StringAnalysis_XmlProp("a b=\"1\"", keys, values), 0);
    EXPECT_TRUE(values.IsEmpty());
}

TEST(Analysis, BracketsAndPatterns)
{
    EXPECT_TRUE(StringAnalysis_Bracket("  {1,2}  ", "<{", ">}"));
    EXPECT_FALSE(StringAnalysis_Bracket("{1,2>", "<{", ">}"));
    EXPECT_FALSE(StringAnalysis_Bracket("{", "{", "{"));

    struct Case {
        const char *text, *pattern;
        int match;
    } cases[] = {
        {"Port1", "*", 1},      {"Port1", nullptr, 1},  {"", "abc", 1},      {"Port1", "port?", 1},
        {"Port12", "port?", 0}, {"Port12", "P*2", 1},   {"Port12", "*1", 0}, {"a.txt", "*.TXT", 1},
        {"ab", "a*b*", 1},      {"\xB0\xA1x", "?x", 1}, // a GBK character is one "?"
    };
    for (const Case &c : cases)
        EXPECT_EQ(StringExprDosTest(c.text, c.pattern), c.match) << c.text << " " << c.pattern;
}

TEST(Conversions, NumbersAndBools)
{
    EXPECT_EQ(StrToInt("42", 7), 42);
    EXPECT_EQ(StrToInt(" -12abc", 7), -12);
    EXPECT_EQ(StrToInt("0x1F", 7), 31);
    EXPECT_EQ(StrToInt("010", 7), 8);
    EXPECT_EQ(StrToInt("0xFFFFFFFF", 7), -1); // the low 32 bits, as a mask is written
    EXPECT_EQ(StrToInt("abc", 7), 7);
    EXPECT_EQ(StrToInt(nullptr, 7), 7);
    EXPECT_DOUBLE_EQ(StrToFloat("2.5e1x", 0), 25.0);
    EXPECT_DOUBLE_EQ(StrToFloat("x", 1.5), 1.5);

    struct Case {
        const char *text;
        bool def, result;
    } bools[] = {
        {"yes", false, true},     {"2", false, true},      {"on", true, true},
        {"on", false, false},     {"0", true, false},      {"0x10", false, true},
        {"Disable", true, false}, {" TRUE ", false, true}, {"FALSE", true, false},
        {nullptr, true, true},
    };
    for (const Case &c : bools) EXPECT_EQ(StrToBool(c.text, c.def), c.result) << c.text;

    EXPECT_EQ(ToString(-1, 0), "-1");
    EXPECT_EQ(ToString(255, 'X'), "FF");
    EXPECT_EQ(ToString(255, 'x'), "ff");
    EXPECT_EQ(ToString(-1, 'u'), "4294967295");
    EXPECT_EQ(ToString(5, 'q'), "");
    EXPECT_EQ(ToString(1.5), "1.500000");
    EXPECT_EQ(BoolToString(true), "TRUE");
    char small[5];
    EXPECT_EQ(BoolToString(false, small, sizeof small), nullptr); // "FALSE" needs 6
    EXPECT_STREQ(BoolToString(true, small, sizeof small), "TRUE");
}

TEST(Conversions, BytesAsHexadecimal)
{
    const uint8_t bytes[] = {0x01, 0xAB};
    EXPECT_EQ(Bin2String(bytes, 2), "AB01");
    uint8_t out[2] = {0xFF, 0xFF};
    EXPECT_EQ(String2Bin(" ab01 ", out, 2), 1);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0xAB);
    EXPECT_EQ(String2Bin("1", out, 2), 1);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(String2Bin("123456", out, 2), 1); // leading digits beyond 2n dropped
    EXPECT_EQ(Bin2String(out, 2), "3456");
    EXPECT_EQ(String2Bin("12G4", out, 2), 0);
    EXPECT_EQ(out[0] | out[1], 0);
}

TEST(Conversions, ScanNumbersLikeScanf)
{
    int32_t n[4] = {9, 9, 9, 9};
    EXPECT_EQ(ScanNumbers(" 1 -2  3x 4", n, 4), 3);
    EXPECT_EQ(n[0], 1);
    EXPECT_EQ(n[1], -2);
    EXPECT_EQ(n[2], 3);
    EXPECT_EQ(n[3], 9);
    EXPECT_EQ(ScanNumbers("99999999999", n, 1), 1);
    EXPECT_EQ(n[0], INT32_MAX);
}

TEST(Words, FirstLastAndNumbers)
{
    char word[8];
    EXPECT_EQ(GetFirstWord("hello world", word, sizeof word, ' '), 5);
    EXPECT_STREQ(word, "hello");
    EXPECT_EQ(GetFirstWord("abcdefghijk", word, sizeof word, ' '), 11); // counted whole
    EXPECT_STREQ(word, "abcdefg");                                      // copied to the room
    EXPECT_EQ(GetFirstWord("count only", nullptr, 0, ' '), 5);
    EXPECT_EQ(GetLastWord("a/b/last", word, sizeof word, '/'), 1);
    EXPECT_STREQ(word, "last");

    CString s = "  alpha beta";
    CString w;
    EXPECT_EQ(GetFirstWord(s, w, ' ', true), 5);
    EXPECT_EQ(w, "alpha");
    EXPECT_EQ(s, " beta");
    EXPECT_EQ(GetFirstWord(s, w, ' ', false), 4);
    EXPECT_EQ(s, " beta");

    int32_t number = -1;
    s = "0123rest";
    EXPECT_EQ(GetFirstNum(s, number, true), 4);
    EXPECT_EQ(number, 123);
    EXPECT_EQ(s, "rest");
    EXPECT_EQ(GetFirstNum(s, number, true), 0);
    EXPECT_EQ(number, 123);

    CString first = "f", last = "l";
    EXPECT_EQ(GetFirstLast(s, first, last, ' '), 1);
    EXPECT_EQ(s + first + last, "restfl");
}

TEST(Words, FormattingSplittingAndSizing)
{
    char buf[32];
    EXPECT_EQ(FormatSentence("hello   WORLD tag#", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "Hello World TAG#");
    EXPECT_EQ(FormatSentence("hello world", buf, 5), 0);
    char word[8] = "";
    EXPECT_EQ(FormatWord(word), 0);
    CString sentence = " vtr   PLAYER ";
    FormatSentence(sentence);
    EXPECT_EQ(sentence, "Vtr Player");

    CStringArray parts;
    EXPECT_EQ(StringDispart("12ab345c6", parts, CHAR_CLASS_ALPHA), 3);
    EXPECT_EQ(Items(parts), (Strings{"12", "345", "6"}));
    EXPECT_EQ(StringExtract("a \"b c\" d", parts), 3);

    CString packed = "--a---b  ";
    PackString(packed, '-');
    EXPECT_EQ(packed, "a-b");

    CString sized = "ab";
    SetStringSize(sized, 5, '.');
    EXPECT_EQ(sized, "ab...");
    SetStringSize(sized, 1, '.');
    EXPECT_EQ(sized, "a");
    CString gbk = "a\xB0\xA1";
    SetStringSize(gbk, 2, '_'); // never half a character
    EXPECT_EQ(gbk, "a_");
    SetStringSize(gbk, -1, '_');
    EXPECT_EQ(gbk, "a_");
}

TEST(Url, ParsesEveryPart)
{
    tagURL url;
    ASSERT_EQ(url.LoadFromString("ftp://u:p@h:2121/dir/a.mxf"), 1);
    EXPECT_EQ(url.scheme, "ftp");
    EXPECT_EQ(url.user, "u");
    EXPECT_EQ(url.password, "p");
    EXPECT_EQ(url.host, "h");
    EXPECT_EQ(url.port, 2121);
    EXPECT_EQ(url.path, "dir/a.mxf");
    EXPECT_EQ(url.query, "");

    tagURL other;
    other.port = 21;
    ASSERT_EQ(other.LoadFromString("\\\\server : x / path ?q=1"), 1); // backslashes, spaces
    EXPECT_EQ(other.host, "server");
    EXPECT_EQ(other.port, 21); // not a number: kept
    EXPECT_EQ(other.path, "path");
    EXPECT_EQ(other.query, "q=1");

    for (const char *bad : {"ftp://u@h/x", "://h", "ftp://@h", "ftp:///x", "ftp://h/?q",
                            "ftp://:21/x", "ftp:h//x", "ftp://u:p@/x"})
        EXPECT_EQ(tagURL().LoadFromString(bad), 0) << bad;
    EXPECT_EQ(tagURL().LoadFromString(nullptr), 0);
}

TEST(StringList, SplitsPacksAndFrees)
{
    string_list<char> list;
    EXPECT_EQ(list.LoadFrom("a;;b;"), 4);
    EXPECT_STREQ(list[0], "a");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[3], "");
    EXPECT_EQ(list.GetItems()[4], nullptr);
    EXPECT_EQ(list.Pack(), 2);
    EXPECT_STREQ(list[1], "b");
    EXPECT_EQ(list.GetItems()[2], nullptr);
    // A GBK trail byte equal to the separator does not split.
    const std::string text = std::string("x") + kGbkWithBackslashTrail + "\\y";
    EXPECT_EQ(list.LoadFrom(text.c_str(), '\\'), 2);
    EXPECT_EQ(std::string(list[0]), std::string("x") + kGbkWithBackslashTrail);
    list.FreeString();
    EXPECT_EQ(list.GetCount(), 0);
    char out[4] = "zzz";
    EXPECT_EQ(list.SaveTo(out, sizeof out), 1);
    EXPECT_STREQ(out, "");
}

namespace {

// Argument source over fixed values, as argument lists will give them.
class FakeArgs : public IFormatArgs {
public:
    std::deque<char> chars;
    std::deque<int32_t> integers;
    std::deque<CString> texts;

    bool NextChar(char &c) override { return Take(chars, c); }
    bool NextInteger(int32_t &value) override { return Take(integers, value); }
    bool NextText(CString &text) override { return Take(texts, text); }

private:
    template <typename T, typename V> static bool Take(std::deque<T> &from, V &out)
    {
        if (from.empty()) return false;
        out = from.front();
        from.pop_front();
        return true;
    }
};

} // namespace

TEST(FormatTemplates, EscapesAndArguments)
{
    FakeArgs args;
    args.chars = {'Z'};
    args.integers = {-5, 255};
    args.texts = {"VTR1"};
    CString out;
    EXPECT_EQ(FormatString("$$ $% %C %I %S %X%%I$N$R$q %Q", &args, out), 1);
    // The second "%I" finds no integer left: it gives nothing.
    EXPECT_EQ(out, "$ % Z -5 VTR1 FF%\r\n\r$q %Q");

    char small[6];
    FakeArgs none;
    EXPECT_EQ(FormatString("abc$Ndef", &none, small, sizeof small), 0);
    EXPECT_STREQ(small, "abc\r\n");
    EXPECT_EQ(FormatString("abc", nullptr, small, sizeof small), 1);
    EXPECT_STREQ(small, "abc");
}

TEST(FormatTemplates, DateAndTimeAreUtc)
{
    // 2024-03-05 06:07:08 UTC; in a zone 8 hours ahead the texts still show UTC.
    plat::SYSTEMTIME st{2024, 3, 0, 5, 6, 7, 8, 0};
    int64_t ft = 0;
    ASSERT_TRUE(plat::SystemTimeToFileTime(st, &ft));
    plat::ScopedTestClock clock(1000, ft);
    ScopedTimeZone tz("CST-8");
    CString out;
    FormatString("$D|$T", nullptr, out);
    EXPECT_EQ(out, "2024-03-05|2024-03-05 06:07:08");
}

TEST(StringAccess, TypedValuesOverOneString)
{
    CString held = "0x10";
    CStringAccess access(&held);
    EXPECT_EQ(access.GetAsInteger(5), 0); // decimal rule
    EXPECT_TRUE(access.GetAsBool(false));
    held = "On";
    EXPECT_FALSE(access.GetAsBool(false));
    held = " -7 apples";
    EXPECT_EQ(access.GetAsInteger(5), -7);

    held = "#FF8000";
    EXPECT_EQ(access.GetAsColor(0), 0x0080FFu);
    held = "#ff80zz";
    EXPECT_EQ(access.GetAsColor(123), 123u);
    access.SetAsColor(0x0080FF, 'h');
    EXPECT_EQ(held, "#FF8000");
    access.SetAsColor(0x0080FF);
    EXPECT_EQ(held, "{\"255\",\"128\",\"0\"}");
    EXPECT_EQ(access.GetAsColor(0), 0x0080FFu);
    held = "[1,2]";
    EXPECT_EQ(access.GetAsColor(9), 9u);

    held = "{ a , \"b c\" ,, d}";
    CStringArray list;
    EXPECT_EQ(access.GetAsStringArray(list), 3);
    EXPECT_EQ(Items(list), (Strings{"a", "b c", "d"}));
    CArray<int32_t, int32_t> ints;
    ints.Add(3);
    ints.Add(-4);
    access.SetAsIntArray(ints);
    EXPECT_EQ(held, "{\"3\",\"-4\"}");
    CDWordArray dwords;
    EXPECT_EQ(access.GetAsDWordArray(dwords), 2);
    EXPECT_EQ(dwords[1], static_cast<uint32_t>(-4));

    access = "  Mixed ";
    access.Trim();
    access.MakeUpper();
    EXPECT_EQ(access.GetAsString("none"), "MIXED");
    access.SetAsInteger(255, 'X');
    EXPECT_EQ(held, "FF");
    EXPECT_EQ(access.SetAsInteger(255, 'q'), 0);
    EXPECT_EQ(held, "FF") << "an unknown format writes nothing";

    CStringAccess unbound(nullptr);
    EXPECT_EQ(unbound.GetAsString("none"), "none");
    EXPECT_EQ(unbound.GetAsInteger(5), 5);
    EXPECT_EQ(unbound.SetAsBool(true), 0);
    EXPECT_EQ(unbound.MakeUpper(), 0);
}
