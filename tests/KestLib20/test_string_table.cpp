// String maps in their property and parameter forms, text tables and their file format, and
// text lines with their file operations and searches.
#include "TextFileTest.h"

#include "KestLib20/CSimplexStringMap.h"
#include "KestLib20/CStringTable.h"
#include "KestLib20/CStrings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Cells(const CStringArray *row)
{
    return std::vector<std::string>(row->begin(), row->end());
}

} // namespace

TEST(StringMap, KeysIgnoreCaseAndKeepTheirOrder)
{
    CSimplexStringMap map;
    map.SetAt("Port", "COM1");
    map["Speed"].SetAsInteger(9600);
    map["Open"].SetAsBool(true);
    EXPECT_EQ(map["PORT"].GetAsString(), "COM1");
    EXPECT_EQ(map["speed"].GetAsInteger(0), 9600);
    EXPECT_TRUE(map["OPEN"].GetAsBool(false));
    EXPECT_EQ(map.GetCount(), 3);
    map["port"] = "COM2"; // the existing key, not a new one
    EXPECT_EQ(map.GetCount(), 3);

    const CSimplexStringMap &view = map;
    EXPECT_EQ(view["Port"], "COM2");
    EXPECT_EQ(view["Missing"], ""); // a const read adds nothing
    EXPECT_EQ(map.GetCount(), 3);
    CString value;
    EXPECT_EQ(map.Lookup("missing", value), 0);
    map.ElementAt("Missing");
    EXPECT_EQ(map.GetCount(), 4); // a non-const access adds it

    map.RemoveAt("SPEED");
    EXPECT_EQ(map.GetAsUrlParam(), "Port=COM2&Open=TRUE&Missing=");
    CSimplexStringMap copy;
    copy.Copy(map);
    map.RemoveAll();
    EXPECT_EQ(map.GetAsUrlParam(), "");
    EXPECT_EQ(copy.GetCount(), 3);
}

TEST(StringMap, PropertyAndParameterForms)
{
    CSimplexStringMap map;
    EXPECT_EQ(map.SetAsXmlProp("<Com=\"1\" Decoder=\"2\">"), 1);
    EXPECT_EQ(map.GetAsXmlProp('<'), "<Com=\"1\" Decoder=\"2\">");
    EXPECT_EQ(map["com"].GetAsInteger(0), 1);
    map.SetAt("Title", "say \"hi\"");
    EXPECT_EQ(map.GetAsXmlProp('{'), "{Com=\"1\" Decoder=\"2\" Title=\"say 'hi'\"}");
    EXPECT_EQ(map.GetAsXmlProp(), "Com=\"1\" Decoder=\"2\" Title=\"say 'hi'\"");
    EXPECT_EQ(map.SetAsXmlProp("<Virtual = \"TRUE\">"), 1);
    EXPECT_EQ(map.GetCount(), 1);
    EXPECT_TRUE(map["Virtual"].GetAsBool(false));
    EXPECT_EQ(map.SetAsXmlProp("<broken=\">"), 0);
    EXPECT_EQ(map.GetCount(), 0);

    EXPECT_EQ(map.SetAsUrlParam("a=1&b=2"), 2);
    EXPECT_EQ(map.GetAsUrlParam(), "a=1&b=2");
    EXPECT_EQ(map.SetAsUrlParam("?id=3&flag"), 2);
    EXPECT_EQ(map.GetAsUrlParam(), "?id=3&flag=");
}

TEST(StringTable, RowsFieldsAndCells)
{
    CStringTable table;
    EXPECT_EQ(table.GetWidth(), 1);
    EXPECT_EQ(table.AddField("Clip"), 1);
    EXPECT_EQ(table.AddField("CLIP"), 0);
    EXPECT_EQ(table.AddField("Dur"), 1);
    CStringArray *row = table.AddRow();
    EXPECT_EQ(row->GetSize(), 2);
    EXPECT_EQ(table.SetAt(0, "dur", "00:00:10:00"), 1);
    table.GetAt(0, 0) = "A1";
    table.InsertRow(0)->SetAt(0, "first");
    table.InsertRow(99)->SetAt(0, "last");
    EXPECT_EQ(table.GetRowCount(), 3);
    EXPECT_EQ(Cells(table.GetRow(1)), (std::vector<std::string>{"A1", "00:00:10:00"}));
    EXPECT_EQ(table.GetAt(2, "Clip").GetAsString(), "last");

    // Cells that do not exist are refused instead of reached.
    EXPECT_EQ(table.SetAt(5, 0, "x"), 0);
    EXPECT_EQ(table.SetAt(0, "Missing", "x"), 0);
    EXPECT_EQ(table.GetAt(-1, 0).GetAsString("none"), "none");
    EXPECT_EQ(table.GetAt(0, 7).SetAsInteger(1), 0);
    EXPECT_EQ(table.GetRow(3), nullptr);

    table.AddField("Note"); // every row widens
    EXPECT_EQ(table.GetRow(2)->GetSize(), 3);
    table.RemoveRow(0);
    table.RemoveRow(10);
    EXPECT_EQ(table.GetRowCount(), 2);
    EXPECT_EQ(table.ClearField(), 1);
    EXPECT_EQ(table.GetWidth(), 0);
    EXPECT_EQ(table.GetRow(0)->GetSize(), 0);
    table.RemoveRowAll();
    EXPECT_EQ(table.GetRowCount(), 0);
}

TEST_F(TextFileTest, SavedTableHasTheFileFormatAndLoadsBack)
{
    CStringTable table;
    table.AddField("Clip");
    table.AddField("Title");
    CStringArray *row = table.AddRow();
    row->SetAt(0, "A1");
    row->SetAt(1, "say \"hi\" // not a comment");
    row = table.AddRow();
    row->SetAt(0, "B2");
    const std::string path = Path("t.tbl");
    ASSERT_EQ(table.SaveToFile(path.c_str()), 1);
    EXPECT_EQ(ReadBytes(path), "[File]\r\n"
                               "    Format = \"Text Table\"\r\n"
                               "    Fields = {\"Clip\",\"Title\"}\r\n"
                               "[Table]\r\n"
                               "    Rec0\t = {\"A1\",\"say 'hi' // not a comment\"}\r\n"
                               "    Rec1\t = {\"B2\",\"\"}\r\n");

    CStringTable loaded;
    ASSERT_EQ(loaded.LoadFromFile(path.c_str()), 1);
    EXPECT_EQ(loaded.FieldIndex("title"), 1);
    ASSERT_EQ(loaded.GetRowCount(), 2);
    EXPECT_EQ(Cells(loaded.GetRow(0)),
              (std::vector<std::string>{"A1", "say 'hi' // not a comment"}));
    EXPECT_EQ(Cells(loaded.GetRow(1)), (std::vector<std::string>{"B2", ""}));

    CStringTable empty;
    EXPECT_EQ(empty.SaveToFile(Path("none.tbl").c_str()), 0); // no fields
    EXPECT_FALSE(fs::exists(Path("none.tbl")));
}

TEST_F(TextFileTest, LoadingAcceptsCaseAndSkipsBadRows)
{
    const std::string path = Path("t.tbl");
    WriteBytes(path, "[file]\n"
                     "format = \"text table\"\n"
                     "FIELDS = [\"a\", \"b\"]\n"
                     "[TABLE]\n"
                     "Rec0 = {\"1\",\"2\"}\n"
                     "Rec1 = {\"1\",\"2\",\"3\"}\n"
                     "Rec2 = {\"only\"}\n"
                     "Other = <\"x\",\"y\">\n");
    CStringTable table;
    table.AddField("old");
    ASSERT_EQ(table.LoadFromFile(path.c_str()), 1);
    EXPECT_EQ(table.GetFields().GetSize(), 2);
    ASSERT_EQ(table.GetRowCount(), 2);
    EXPECT_EQ(Cells(table.GetRow(1)), (std::vector<std::string>{"x", "y"}));

    // Without a Table section: fields and no rows.
    WriteBytes(path, "[File]\nFormat = \"Text Table\"\nFields = {\"c\"}\n");
    ASSERT_EQ(table.LoadFromFile(path.c_str()), 1);
    EXPECT_EQ(table.GetRowCount(), 0);
    EXPECT_EQ(table.FieldIndex("c"), 0);

    // Malformed files leave the table as it was.
    for (const char *bad :
         {"[File]\nFormat = \"CSV\"\nFields = {\"z\"}\n", "[File]\nFormat = \"Text Table\"\n",
          "[File]\nFormat = \"Text Table\"\nFields = {}\n"}) {
        WriteBytes(path, bad);
        EXPECT_EQ(table.LoadFromFile(path.c_str()), 0) << bad;
        EXPECT_EQ(table.FieldIndex("c"), 0);
    }
    EXPECT_EQ(table.LoadFromFile(Path("missing.tbl").c_str()), 0);
}

TEST_F(TextFileTest, LinesThroughFiles)
{
    const std::string path = Path("lines.txt");
    CStrings lines = Lines({"a", "", "b"});
    ASSERT_EQ(lines.SaveToFile(path.c_str()), 1);
    EXPECT_EQ(ReadBytes(path), "a\r\n\r\nb\r\n");
    ASSERT_EQ(Lines({"c"}).AppendToFile(path.c_str()), 1);
    EXPECT_EQ(ReadBytes(path), "a\r\n\r\nb\r\nc\r\n");
    ASSERT_EQ(Lines({"new"}).AppendToFile(Path("created.txt").c_str()), 1);
    EXPECT_EQ(ReadBytes(Path("created.txt")), "new\r\n");

    WriteBytes(path, "x\r\ny\nz");
    CStrings loaded;
    ASSERT_EQ(loaded.LoadFromFile(path.c_str()), 1);
    EXPECT_EQ(loaded.GetSize(), 3);
    EXPECT_EQ(loaded[2], "z");
    EXPECT_EQ(loaded.LoadFromFile(Path("missing.txt").c_str()), 0);
    EXPECT_TRUE(loaded.IsEmpty());
    EXPECT_EQ(Lines({"x"}).SaveToFile(Path("no/dir/x.txt").c_str()), 0);
}

TEST(Lines, TrimmingAndSearching)
{
    CStrings lines = Lines({"  ", " x ", "", "y  "});
    EXPECT_EQ(lines.Pack(), 2);
    EXPECT_EQ(lines[0], "x");
    EXPECT_EQ(lines[1], "y");

    lines = Lines({"", " ", "a", "", "b", "\t"});
    lines.TrimTop();
    lines.TrimBottom();
    EXPECT_EQ(lines.GetSize(), 3);
    EXPECT_EQ(lines.ClearEmpty(), 2);

    lines = Lines({"Alpha", "beta", "ALPHA"});
    EXPECT_EQ(lines.FindLine("ALPHA"), 2);
    EXPECT_EQ(lines.FindLineNoCase("alpha"), 0);
    EXPECT_EQ(lines.FindLine("gamma"), -1);

    CString big;
    EXPECT_EQ(Lines({"a", "b"}).ToBigString(big, '\n'), 2);
    EXPECT_EQ(big, "\na\nb");

    lines = Lines({"aXa", "XX", "aaa"});
    CArray<tagPOINT> points;
    EXPECT_EQ(lines.FindCharAllText('X', points), 3);
    EXPECT_EQ(points[0].x, 1);
    EXPECT_EQ(points[2].y, 1);
    EXPECT_EQ(lines.FindStringAllText("aa", points), 1); // goes on behind each match
    EXPECT_EQ(points[0].y, 2);
    EXPECT_EQ(lines.FindStringAllText("", points), 0);
}

TEST(Lines, TextBetweenTwoPlaces)
{
    const CStrings lines = Lines({"0123456", "middle", "abcdef"});
    CString text;
    EXPECT_EQ(lines.GetString(text, {2, 0}, {5, 0}), 2); // strictly between the columns
    EXPECT_EQ(text, "34");
    lines.GetString(text, {4, 0}, {3, 2});
    EXPECT_EQ(text, "56 middle abc");
    lines.GetString(text, {-5, -1}, {99, 9}); // places limited to the text
    EXPECT_EQ(text, "0123456 middle abcdef");
    EXPECT_EQ(lines.GetString(text, {0, 2}, {0, 1}), 0);
    CStringArray pieces;
    EXPECT_EQ(lines.GetText(pieces, {4, 0}, {3, 2}), 3);
    EXPECT_EQ(pieces[0], "56");
    EXPECT_EQ(pieces[2], "abc");
    EXPECT_EQ(CStrings().GetString(text, {0, 0}, {1, 1}), 0);
}
