// Text helpers: program-relative paths and files with their directories made, line lists,
// string maps, type pattern lists, durations, times of day, named values and hex bytes.
#include "ServicesTestKit.h"

#include "devext/services/CStrings.h"
#include "devext/services/DurationText.h"
#include "devext/services/ModulePath.h"
#include "devext/services/NamedValues.h"
#include "devext/services/PatternList.h"
#include "devext/services/StringMaps.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace services_test;

namespace {

std::string Program(const std::string &relative)
{
    return plat::GetProgramDirectory() + "/" + relative;
}

std::string Duration(int64_t value, const char *options = "")
{
    char text[kDurationTextSize];
    FormatDuration(value, text, options);
    return text;
}

int64_t Parsed(const char *text, const char *options = "")
{
    int64_t value = -1;
    EXPECT_EQ(ParseDuration(value, text, options), 1) << text;
    return value;
}

std::string Lines(const CStringArray &lines)
{
    std::string text;
    for (const CString &line : lines) text += std::string(line) + "|";
    return text;
}

} // namespace

TEST(ModulePaths, RelativePathsLieBelowTheProgram)
{
    CString path("  log\\a.txt ");
    MakeModulePath(path);
    EXPECT_EQ(std::string(path), Program("log\\a.txt"));
    for (const char *absolute : {"C:\\log\\a.txt", "\\log\\a.txt", "/var/log/a.txt"}) {
        CString same(absolute);
        MakeModulePath(same);
        EXPECT_EQ(std::string(same), absolute);
    }
    CString empty("   ");
    MakeModulePath(empty);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(MakeDirectories("  "), 0);
}

TEST(ModulePaths, DirectoriesAreMadeFromTheTopAndAFileInTheWayFails)
{
    TempDir dir;
    CString full;
    ASSERT_EQ(MakeDirectories((dir / "a\\b/c.txt").c_str(), &full), 1);
    EXPECT_EQ(std::string(full), dir / "a\\b/c.txt");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a/b/c.txt")) << "the file itself is not made";

    WriteFile(dir / "plain", "x");
    EXPECT_EQ(MakeDirectories((dir / "plain/sub/c.txt").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "plain/sub"));
}

TEST(TextLines, SaveAndAppendMakeDirectoriesBelowTheProgram)
{
    const std::string top = "kest_lines_" + std::to_string(getpid());
    const std::string relative = top + "\\2024\\a.txt";
    devext::CStrings lines;
    lines.Add("one");
    lines.Add("二");
    ASSERT_EQ(lines.SaveToFile(relative.c_str()), 1);
    const std::string file = Program(top + "/2024/a.txt");
    EXPECT_EQ(ReadFile(file), "one\r\n二\r\n");

    devext::CStrings more;
    more.Add("three");
    ASSERT_EQ(more.AppendToFile(relative.c_str()), 1);
    EXPECT_EQ(ReadFile(file), "one\r\n二\r\nthree\r\n");
    std::filesystem::remove_all(Program(top));

    TempDir dir;
    ASSERT_EQ(more.AppendToFile((dir / "new/b.txt").c_str()), 1) << "a missing file is made";
    EXPECT_EQ(ReadFile(dir / "new/b.txt"), "three\r\n");
    WriteFile(dir / "blocker", "");
    EXPECT_EQ(more.SaveToFile((dir / "blocker/c.txt").c_str()), 0);
    EXPECT_EQ(more.AppendToFile((dir / "blocker/c.txt").c_str()), 0);
}

TEST(TextLines, CompareJoinAndSort)
{
    devext::CStrings lines;
    for (const char *line : {"b", "A", "c", "a"}) lines.Add(line);
    EXPECT_EQ(std::string(lines.Join(',')), ",b,A,c,a");

    CStringArray copy;
    copy.Copy(lines);
    EXPECT_EQ(lines.Compare(copy), 1);
    copy[1] = "a";
    EXPECT_EQ(lines.Compare(copy), 0) << "byte comparison";
    copy.RemoveAt(1);
    EXPECT_EQ(lines.Compare(copy), 0);

    EXPECT_EQ(lines.Sort(1, 1), 4);
    EXPECT_EQ(Lines(lines), "A|a|b|c|");
    lines.Sort(0, 1);
    EXPECT_EQ(Lines(lines), "c|b|a|A|");
    lines.Sort(1, 0);
    EXPECT_EQ(Lines(lines).substr(4), "b|c|") << "a and A are equal without case";
}

TEST(StringMaps, TextFormsAndArrays)
{
    CMapStringToString map;
    ASSERT_EQ(TextToStringMap(map, "  a \"1\" b \"2 3\"  "), 1);
    EXPECT_EQ(std::string(StringMapToText(map)), "a=1;b=2 3");
    EXPECT_EQ(std::string(StringMapToXmlProp(map)), "<a=\"1\" b=\"2 3\">");
    EXPECT_EQ(TextToStringMap(map, "a \"1\" b"), 0) << "a name without a value";
    EXPECT_EQ(TextToStringMap(map, "a \"1"), 0) << "an unmatched quote";
    EXPECT_EQ(map.GetCount(), 0);

    CStringArray keys, values;
    keys.Add("x");
    keys.Add("y");
    values.Add("1");
    ArraysToStringMap(map, keys, values);
    CString value("unset");
    ASSERT_TRUE(map.Lookup("y", value));
    EXPECT_TRUE(value.IsEmpty()) << "values ran out";

    CMapStringToString copy;
    copy.SetAt("old", "gone");
    CopyStringMap(copy, map);
    StringMapToArrays(copy, keys, values);
    EXPECT_EQ(Lines(keys) + Lines(values), "x|y|1||");
}

TEST(StringMaps, DifferencesAndSmallEdits)
{
    CMapStringToString a, b;
    a.SetAt("gone", "1");
    a.SetAt("kept", "2");
    a.SetAt("moved", "3");
    b.SetAt("kept", "2");
    b.SetAt("moved", "4");
    b.SetAt("new", "5");
    CStringArray onlyA, onlyB, changed, same;
    same.Add("stale");
    DiffStringMaps(a, b, &onlyA, &onlyB, &changed, &same);
    EXPECT_EQ(Lines(onlyA) + "/" + Lines(onlyB) + "/" + Lines(changed) + "/" + Lines(same),
              "gone|/new|/moved|/kept|");
    EXPECT_EQ(DiffStringMaps(a, b, nullptr, nullptr, nullptr, nullptr), 1);

    CStringArray left, right;
    left.Add("p");
    left.Add("q");
    right.Add("q");
    right.Add("r");
    DiffStringArrays(left, right, &onlyA, &onlyB, &same);
    EXPECT_EQ(Lines(onlyA) + "/" + Lines(onlyB) + "/" + Lines(same), "p|/r|/q|");

    CString text("<abc>");
    StripBrackets(text, "[<", "]>");
    EXPECT_EQ(std::string(text), "abc");
    StripBrackets(text, "[<", "]>");
    EXPECT_EQ(std::string(text), "abc") << "not enclosed";
    CString one("<");
    StripBrackets(one, "<", "<");
    EXPECT_EQ(std::string(one), "<") << "a single character is never stripped";
    CString path("a/b/c");
    ReplaceChar(path, '/', '\\');
    EXPECT_EQ(std::string(path), "a\\b\\c");
}

TEST(PatternLists, PiecesPrefixesSuffixesAndMiddles)
{
    for (const char *any : {"", "*"}) EXPECT_EQ(MatchPatternList(any, "whatever", 0), 1);
    EXPECT_EQ(MatchPatternList("A* ; B*", "bx", ';'), 1);
    EXPECT_EQ(MatchPatternList("AB*BC", "ABC", ';'), 0) << "prefix and suffix may not overlap";
    EXPECT_EQ(MatchPatternList("AB*BC", "ABBC", ';'), 1);
    EXPECT_EQ(MatchPatternList("TITLE*", "title_news", ';'), 1);
    EXPECT_EQ(MatchPatternList("*ERR*", "log_error_x", ';'), 1);
    EXPECT_EQ(MatchPatternList("*ERR*", "log_warn", ';'), 0);
    EXPECT_EQ(MatchPatternList("A?C", "abc", ';'), 1);
    EXPECT_EQ(MatchPatternList("A?C", "abcd", ';'), 0) << "a piece without * covers the text";
    EXPECT_EQ(MatchPatternList("#OVRA_DEV;LOG_*", "#OVRA_DEV", ';'), 1);
    EXPECT_EQ(MatchPatternList("#OVRA_DEV;LOG_*", "LOG_TASK", ';'), 1);
    EXPECT_EQ(MatchPatternList("#OVRA_DEV;LOG_*", "#OVRA_DEVICE", ';'), 0);
    EXPECT_EQ(MatchPatternList("A*?X*Z", "A-?X-Z", ';'), 1) << "? inside the middle is plain";
    EXPECT_EQ(MatchPatternList("A*?X*Z", "A-YX-Z", ';'), 0);
    EXPECT_EQ(MatchPatternList("x|LOG_*", "log_a", '|'), 1);
    EXPECT_EQ(MatchPatternList(" ; ;", "a", ';'), 0) << "empty pieces are skipped";
}

TEST(Durations, ParseUnitsAndFrames)
{
    EXPECT_EQ(Parsed("1500"), 15000000);
    EXPECT_EQ(Parsed("2 s"), 20000000);
    EXPECT_EQ(Parsed("00:00:01:12"), 14800000);
    EXPECT_EQ(Parsed("0 0 1 12"), 14800000);
    EXPECT_EQ(Parsed("0-0-1"), 10000000) << "three numbers without frames";
    EXPECT_EQ(Parsed("5m"), 3000000000);
    EXPECT_EQ(Parsed("5MS"), 50000);
    EXPECT_EQ(Parsed("1d"), 864000000000);
    EXPECT_EQ(Parsed("3 h"), 108000000000);
    EXPECT_EQ(Parsed("7us"), 70);
    EXPECT_EQ(Parsed("7ns"), 7);
    EXPECT_EQ(Parsed("4", "s"), 40000000) << "the unit of the options";
    EXPECT_EQ(Parsed("0:99:99:40"), (59 * 60 + 59) * 10000000LL + 24 * 400000)
        << "fields limited to their range";
    EXPECT_EQ(Parsed("0:0:0:29", "t30"), 29 * 10000000LL / 30);
    EXPECT_EQ(Parsed("99999999999d"), INT64_MAX) << "saturates instead of wrapping";

    int64_t value = 5;
    EXPECT_EQ(ParseDuration(value, "1 2", ""), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ParseDuration(value, "none", ""), 0);
}

TEST(Durations, FormatPicksTheShortestFittingForm)
{
    EXPECT_EQ(Duration(36000000000), "1h");
    EXPECT_EQ(Duration(20000000), "2s");
    EXPECT_EQ(Duration(12000), "1200us");
    EXPECT_EQ(Duration(1234567), "1234567ns");
    EXPECT_EQ(Duration(864000000000 * 2 + 100 * 10000000LL), "2d");
    EXPECT_EQ(Duration(600000000 * 3), "3m");
    EXPECT_EQ(Duration(15000000), "1500ms");
    EXPECT_EQ(Duration(14800000), "00:00:01:12");
    EXPECT_EQ(Duration(1000000 * 10000000LL + 123457), "277:46:40:00")
        << "too long for the small forms: hours, not wrapped at a day";
    for (int64_t value : {int64_t{14800000}, int64_t{36025 * 10000000LL + 800000}}) {
        const std::string text = Duration(value);
        ASSERT_NE(text.find(':'), std::string::npos) << text;
        EXPECT_EQ(Parsed(text.c_str()), value) << text;
    }
}

TEST(TimesOfDay, ParseAndFormatWithAndWithoutAmPm)
{
    int seconds = -1;
    ASSERT_EQ(ParseTimeOfDay(seconds, "13:30"), 1);
    EXPECT_EQ(seconds, 13 * 3600 + 30 * 60);
    ParseTimeOfDay(seconds, " PM 03:15:20");
    EXPECT_EQ(seconds, 15 * 3600 + 15 * 60 + 20);
    ParseTimeOfDay(seconds, "am 15:99");
    EXPECT_EQ(seconds, 12 * 3600 + 59 * 60) << "hour limited to 12, minutes to 59";
    EXPECT_EQ(ParseTimeOfDay(seconds, "pm"), 0);

    char text[kDurationTextSize];
    FormatTimeOfDay(13 * 3600 + 30 * 60, text, "");
    EXPECT_STREQ(text, "13:30");
    FormatTimeOfDay(13 * 3600, text, "");
    EXPECT_STREQ(text, "13:00:00");
    FormatTimeOfDay(25 * 3600 + 5, text, "");
    EXPECT_STREQ(text, "01:00:05");
    FormatTimeOfDay(13 * 3600 + 30 * 60 + 1, text, "pm");
    EXPECT_STREQ(text, "PM 01:30:01");
    FormatTimeOfDay(12 * 3600 + 60, text, "am");
    EXPECT_STREQ(text, "AM 12:01");
    for (int value : {9 * 3600 + 61, 12 * 3600 + 1800, 23 * 3600 + 59 * 60 + 59}) {
        FormatTimeOfDay(value, text, "am");
        ASSERT_EQ(ParseTimeOfDay(seconds, text), 1);
        EXPECT_EQ(seconds, value) << text;
    }
}

TEST(NamedValues, BoolWordsTablesAndNumbers)
{
    unsigned value = 7;
    for (const char *yes : {"Yes", "是", "1", " TRUE!", "enable"}) {
        ASSERT_EQ(ParseBool(value, yes), 1) << yes;
        EXPECT_EQ(value, 1u) << yes;
    }
    for (const char *no : {"非", "0", "Cancel"}) {
        ASSERT_EQ(ParseBool(value, no), 1) << no;
        EXPECT_EQ(value, 0u) << no;
    }
    EXPECT_EQ(ParseBool(value, ""), 0) << "an empty word names nothing";
    EXPECT_EQ(ParseBool(value, "es"), 0) << "only whole names count";
    EXPECT_EQ(ParseBool(value, "maybe"), 0);
    EXPECT_EQ(ParseNamedValue(value, "low", "high:10;low:"), 0) << "no number follows";

    char text[kNamedValueSize];
    FormatBool(5, text, nullptr);
    EXPECT_STREQ(text, "true");
    FormatBool(0, text, "on:1;off:0;");
    EXPECT_STREQ(text, "off");
    FormatNamedValue(1, text, "ten:10;one:1;");
    EXPECT_STREQ(text, "one") << "the value is a whole number of the table";
    FormatNamedValue(3, text, "ten:10;one:1;");
    EXPECT_STREQ(text, "3");
    const std::string longName(100, 'n');
    FormatNamedValue(2, text, (longName + ":2;").c_str());
    EXPECT_EQ(std::string(text), longName.substr(0, kNamedValueSize - 1));
}

TEST(NamedValues, HexTextToBytes)
{
    unsigned char bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    int count = 4;
    ASSERT_EQ(HexToBytes(bytes, count, "0aFf10"), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x10);
    EXPECT_EQ(bytes[3], 0xEE);
    count = 1;
    HexToBytes(bytes, count, "1234");
    EXPECT_EQ(count, 1) << "never more than the room given";
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(HexToBytes(bytes, count, "123"), 0);
}
