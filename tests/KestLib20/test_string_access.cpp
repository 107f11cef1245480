// Typed reads and writes of settings through the resource tree: the texts of a settings file
// read by each getter's rule, the forms each setter writes into the file, and what a failed
// read or an unknown format leaves alone.
#include "tests/KestLib20/ResourceTreeTest.h"

#include "KestLib20/CResAccess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

template <typename Array> auto Items(const Array &list)
{
    using Value = std::decay_t<decltype(list[0])>;
    using Item = std::conditional_t<std::is_same_v<Value, CString>, std::string, Value>;
    return std::vector<Item>(list.begin(), list.end());
}

CResString Setting(const char *key)
{
    return CResAccess("/etc/tvx/Dev")[key];
}

} // namespace

TEST_F(ResourceTreeTest, GettersReadTheFileTextsByTheirRules)
{
    WriteSettings("[Dev]\r\n"
                  "Hex = 0x10\r\n"
                  "On = On\r\n"
                  "Neg = -7 apples\r\n"
                  "Yes = yes\r\n"
                  "Dis = \"Disable\"\r\n"
                  "Float = 2.5e1x\r\n"
                  "Empty = \"\"\r\n"
                  "List = { a , \"b c\" ,, d}\r\n"
                  "Ints = {\"1\", \"-2\", \"x\"}\r\n"
                  "Floats = [1.5, 2]\r\n");

    EXPECT_EQ(Setting("Hex").GetAsInteger(5), 0) << "decimal rule: the 0 before x";
    EXPECT_TRUE(Setting("Hex").GetAsBool(false)) << "a number by %i";
    EXPECT_FALSE(Setting("On").GetAsBool(false)) << "a word outside the list";
    EXPECT_TRUE(Setting("On").GetAsBool(true));
    EXPECT_EQ(Setting("Neg").GetAsInteger(5), -7);
    EXPECT_TRUE(Setting("yes").GetAsBool(false));
    EXPECT_FALSE(Setting("DIS").GetAsBool(true));
    EXPECT_DOUBLE_EQ(Setting("Float").GetAsFloat(0), 25.0);
    EXPECT_DOUBLE_EQ(Setting("On").GetAsFloat(1.5), 1.5);

    EXPECT_EQ(Setting("Empty").GetAsString("default"), "") << "found, and empty";
    EXPECT_EQ(Setting("Empty").GetAsInteger(3), 3);
    EXPECT_EQ(Setting("Empty").GetAsColor(7), 7u);

    CStringArray list;
    EXPECT_EQ(Setting("List").GetAsStringArray(list), 3);
    EXPECT_EQ(Items(list), (Strings{"a", "b c", "d"}));
    CArray<int32_t, int32_t> ints;
    EXPECT_EQ(Setting("Ints").GetAsIntArray(ints), 3);
    EXPECT_EQ(Items(ints), (std::vector<int32_t>{1, -2, 0}));
    CDWordArray dwords;
    EXPECT_EQ(Setting("Ints").GetAsDWordArray(dwords), 3);
    EXPECT_EQ(dwords[1], 0xFFFFFFFEu);
    CArray<double, double> floats;
    EXPECT_EQ(Setting("Floats").GetAsFloatArray(floats), 2);
    EXPECT_EQ(Items(floats), (std::vector<double>{1.5, 2.0}));

    // A key that is not there reads as every default.
    CResString missing = Setting("Missing");
    EXPECT_EQ(missing.GetAsString("none"), "none");
    EXPECT_EQ(missing.GetAsInteger(9), 9);
    EXPECT_TRUE(missing.GetAsBool(true));
    EXPECT_DOUBLE_EQ(missing.GetAsFloat(1.25), 1.25);
    EXPECT_EQ(missing.GetAsColor(0x123), 0x123u);
    EXPECT_EQ(missing.GetAsStringArray(list, "<x, y>"), 2);
    EXPECT_EQ(Items(list), (Strings{"x", "y"}));
    EXPECT_EQ(missing.GetAsIntArray(ints), 0);
}

TEST_F(ResourceTreeTest, ColoursInBothFormsAndTheirRoundTrips)
{
    WriteSettings("[Dev]\r\n"
                  "Hash = #FF8000\r\n"
                  "Angle = <255, 128, 0>\r\n"
                  "Masked = {256, 257, -1}\r\n"
                  "Two = {1,2}\r\n"
                  "Short = #FF80\r\n"
                  "Bad = #GG8000\r\n"
                  "Word = red\r\n");
    EXPECT_EQ(Setting("Hash").GetAsColor(0), 0x0080FFu) << "red 255, green 128, blue 0";
    EXPECT_EQ(Setting("Angle").GetAsColor(0), 0x0080FFu);
    EXPECT_EQ(Setting("Masked").GetAsColor(0), 0xFF0100u) << "each item kept to 8 bits";
    for (const char *key : {"Two", "Short", "Bad", "Word"})
        EXPECT_EQ(Setting(key).GetAsColor(42), 42u) << key;

    CResString colour = Setting("Colour");
    EXPECT_EQ(colour.SetAsColor(0x0080FF, 'h'), 1);
    EXPECT_EQ(Read("/etc/tvx/Dev/Colour"), "#FF8000");
    EXPECT_EQ(colour.GetAsColor(0), 0x0080FFu);
    EXPECT_EQ(colour.SetAsColor(0x0080FF, 0), 1);
    EXPECT_EQ(Read("/etc/tvx/Dev/Colour"), "{\"255\",\"128\",\"0\"}");
    EXPECT_NE(SettingsText().find("= {\"255\",\"128\",\"0\"}\r\n"), std::string::npos)
        << "the brace form is the file's own: written without outer quotes";
    EXPECT_EQ(colour.GetAsColor(0), 0x0080FFu);
    EXPECT_EQ(colour.SetAsColor(0x010203, 'Z'), 1);
    EXPECT_EQ(colour.GetAsColor(0), 0x010203u);
    EXPECT_EQ(colour.SetAsColor(0xA0B0C0, 'H'), 1);
    EXPECT_EQ(Read("/etc/tvx/Dev/Colour"), "#C0B0A0");
}

TEST_F(ResourceTreeTest, ListsWriteTheFileFormAndReadBack)
{
    WriteSettings("[Dev]\r\n");
    CResString value = Setting("Value");
    CStringArray items;
    items.Add("x,y");
    items.Add("z");
    EXPECT_EQ(value.SetAsStringArray(items), 1);
    EXPECT_EQ(Read("/etc/tvx/Dev/Value"), "{\"x,y\",\"z\"}");
    CStringArray back;
    EXPECT_EQ(value.GetAsStringArray(back), 2);
    EXPECT_EQ(Items(back), (Strings{"x,y", "z"}));

    CDWordArray dwords;
    dwords.Add(0xFFFFFFFFu);
    dwords.Add(3);
    value.SetAsDWordArray(dwords);
    EXPECT_EQ(Read("/etc/tvx/Dev/Value"), "{\"-1\",\"3\"}") << "each item by %d";
    CDWordArray readBack;
    EXPECT_EQ(value.GetAsDWordArray(readBack), 2);
    EXPECT_EQ(Items(readBack), Items(dwords));

    value = "xxMixed Casexx";
    EXPECT_EQ(value.Trim('x'), 1);
    EXPECT_EQ(value.MakeUpper(), 1);
    EXPECT_EQ(Read("/etc/tvx/Dev/Value"), "MIXED CASE");

    CResString missing = Setting("Missing");
    EXPECT_EQ(missing.MakeUpper(), 0);
    EXPECT_EQ(Read("/etc/tvx/Dev/Missing"), "<none>") << "a failed read writes nothing back";
    EXPECT_EQ(CResString("/etc/none/Dev/Value").SetAsInteger(1), 0) << "no provider serves it";
}

TEST_F(ResourceTreeTest, UnknownFormatsWriteNothing)
{
    WriteSettings("[Dev]\r\nKeep = 12\r\n");
    const std::string before = SettingsText();
    EXPECT_EQ(Setting("Keep").SetAsInteger(5, 'q'), 0);
    EXPECT_EQ(Setting("Keep").SetAsColor(0x0080FF, 'q'), 0);
    EXPECT_EQ(Setting("Keep").SetAsInteger(5, 'd'), 0);
    EXPECT_EQ(Read("/etc/tvx/Dev/Keep"), "12");
    EXPECT_EQ(SettingsText(), before);
}
