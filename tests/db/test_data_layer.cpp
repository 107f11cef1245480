// The data layer without a database: connection strings, result codes, value conversions.
#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Utf.h"
#include "platform/db/Value.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace plat::db;

namespace {

struct ParseCase {
    const char *text;
    std::vector<ConnectionPair> pairs;
};

TEST(ConnectionStringTest, ReadsPairsQuotedAndBracedValues)
{
    const ParseCase cases[] = {
        {"", {}},
        {" ; ;", {}},
        {"Provider=SQLite;Data Source=/tmp/a.db",
         {{"Provider", "SQLite"}, {"Data Source", "/tmp/a.db"}}},
        {"  Data Source = a b  ;", {{"Data Source", "a b"}}},
        {"Password=\"x;y\";User ID=u", {{"Password", "x;y"}, {"User ID", "u"}}},
        {"Password='it''s';", {{"Password", "it's"}}},
        {"Password=\"say \"\"hi\"\"\"", {{"Password", "say \"hi\""}}},
        {"Driver={PostgreSQL Unicode};Server=h",
         {{"Driver", "{PostgreSQL Unicode}"}, {"Server", "h"}}},
        {"Driver={a;}}b}", {{"Driver", "{a;}}b}"}}},
        {"Options=a=b", {{"Options", "a=b"}}},
        {"Empty=;Next=1", {{"Empty", ""}, {"Next", "1"}}},
    };
    for (const ParseCase &c : cases) {
        std::string error;
        const auto parsed = ConnectionString::Parse(c.text, &error);
        ASSERT_TRUE(parsed) << c.text << ": " << error;
        EXPECT_EQ(parsed->Pairs(), c.pairs) << c.text;
    }
}

TEST(ConnectionStringTest, RefusesWhatItCannotRead)
{
    for (const char *text :
         {"file.db;x=1", "=value", "Password=\"open", "Password='a'b", "Driver={open", "a=1;b"}) {
        std::string error;
        EXPECT_FALSE(ConnectionString::Parse(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(ConnectionStringTest, FindIsCaseBlindAndTheLastPairWins)
{
    const auto parsed = ConnectionString::Parse("user id=a;USER ID=b", nullptr);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->Find("User ID"));
    EXPECT_EQ(*parsed->Find("User ID"), "b");
    EXPECT_EQ(parsed->Find("Password"), nullptr);
}

TEST(ConnectionStringTest, QuotedValuesReadBackUnchanged)
{
    for (const char *value : {"plain", "", "a;b", "\"q\"", "'lead", "{brace", " blank ", "x\"y;"}) {
        const std::string text = "Password=" + QuoteConnectionValue(value) + ";Next=1";
        const auto parsed = ConnectionString::Parse(text, nullptr);
        ASSERT_TRUE(parsed) << text;
        ASSERT_TRUE(parsed->Find("Password"));
        EXPECT_EQ(*parsed->Find("Password"), value) << text;
        EXPECT_EQ(*parsed->Find("Next"), "1") << text;
    }
    EXPECT_EQ(QuoteConnectionValue("plain"), "plain");
}

TEST(ConnectionStringTest, UnusableStringsThrowBeforeAnyOpen)
{
    for (const char *text :
         {"", "   ", "Provider=SQLite", "Provider=SQLite;Data Source=", "Data Source=\"open"}) {
        try {
            CreateConnection(text);
            ADD_FAILURE() << text;
        } catch (const Error &error) {
            EXPECT_EQ(error.Code(), kBadConnectionString) << text;
        }
    }
}

TEST(ResultCodeTest, SqlStatesMapToTheCodesCallersReactTo)
{
    const std::pair<const char *, int32_t> cases[] = {
        {"08001", kConnectionFailure},   {"08S01", kConnectionFailure},
        {"57P01", kConnectionFailure},   {"HYT00", kConnectionFailure},
        {"42601", kSyntaxError},         {"42000", kSyntaxError},
        {"42P01", kNoSuchTable},         {"42S02", kNoSuchTable},
        {"23505", kConstraintViolation}, {"23000", kConstraintViolation},
        {"22012", kStatementFailed},     {"", kStatementFailed},
    };
    for (const auto &[state, code] : cases) EXPECT_EQ(CodeForSqlState(state), code) << state;
    EXPECT_EQ(kConnectionFailure, static_cast<int32_t>(0x80004005u));
}

TEST(ValueTest, ConvertsAsAnAutomationVariant)
{
    EXPECT_EQ(Value::Integer(42).ToInt32(), 42);
    EXPECT_EQ(Value::Integer(int64_t{1} << 40).ToInt32(), std::nullopt);
    EXPECT_EQ(Value::Real(2.5).ToInt32(), 2);
    EXPECT_EQ(Value::Real(3.5).ToInt32(), 4);
    EXPECT_EQ(Value::Real(-2.6).ToInt32(), -3);
    EXPECT_EQ(Value::Text(" 17 ").ToInt32(), 17);
    EXPECT_EQ(Value::Text("12abc").ToInt32(), std::nullopt);
    EXPECT_EQ(Value::Text("").ToInt32(), std::nullopt);
    EXPECT_EQ(Value().ToInt32(), std::nullopt);
    EXPECT_EQ(Value::Text("1.25").ToDouble(), 1.25);
    EXPECT_EQ(Value::Text("nan").ToDouble(), std::nullopt);
    EXPECT_EQ(Value::Integer(-7).ToText(), "-7");
    EXPECT_EQ(Value::Real(0.1).ToText(), "0.1");
    EXPECT_EQ(Value().ToText(), std::nullopt);
}

TEST(ValueTest, AutomationDatesBreakDownBothWays)
{
    const std::pair<double, DateParts> cases[] = {
        {0.0, {1899, 12, 30, 0, 0, 0}},
        {2.5, {1900, 1, 1, 12, 0, 0}},
        {-1.25, {1899, 12, 29, 6, 0, 0}},
        {45356.25, {2024, 3, 5, 6, 0, 0}},
        {36526.0 + 86399.0 / 86400.0, {2000, 1, 1, 23, 59, 59}},
    };
    for (const auto &[date, parts] : cases) {
        EXPECT_EQ(FromAutomationDate(date), parts) << date;
        EXPECT_NEAR(ToAutomationDate(parts).value_or(-1e9), date, 1e-9) << date;
    }
    // Texts as databases write dates.
    EXPECT_EQ(FromAutomationDate(*Value::Text("2024-03-05 06:07:08").ToDate()),
              (DateParts{2024, 3, 5, 6, 7, 8}));
    EXPECT_EQ(FromAutomationDate(*Value::Text("2024/03/05T06:07").ToDate()),
              (DateParts{2024, 3, 5, 6, 7, 0}));
    EXPECT_EQ(FromAutomationDate(*Value::Text("2024-03-05 06:07:08.250").ToDate()),
              (DateParts{2024, 3, 5, 6, 7, 8}));
    EXPECT_EQ(ToAutomationDate({2024, 2, 30, 0, 0, 0}), std::nullopt);
    for (const char *bad :
         {"2024-13-01", "2024-02-30", "yesterday", "2024-03-05 25:00", "2024-03-05x"})
        EXPECT_EQ(Value::Text(bad).ToDate(), std::nullopt) << bad;
}

TEST(UtfTest, RoundTripsAndReplacesMalformedBytes)
{
    const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf8ToUtf16(text), u"aé中😀");
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
    EXPECT_EQ(Utf8ToUtf16("\xD6'x"), u"\xFFFD'x");
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\xFFFD\xFFFD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xDC81')), "\xEF\xBF\xBD");
}

} // namespace
