// Configuration text files: the line grammar, the normalised save (golden file), lookups and
// edits, the fast reader, the cached access with its reload rule and its writers, file search.
#include "TextFileTest.h"

#include "KestLib20/CConfigFile.h"
#include "KestLib20/CConfigFileAccess.h"
#include "KestLib20/CConfigLine.h"
#include "KestLib20/CConfigReader.h"
#include "KestLib20/CStrings.h"
#include "KestLib20/FilePath.h"
#include "platform/StdioFile.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string DataFile(const char *name)
{
    return (fs::path(KEST_TEST_DATA_DIR) / name).string();
}

CString ReadValue(const CConfigFile &file, const char *section, const char *key)
{
    CString value = "<none>";
    file.Read(section, key, value);
    return value;
}

} // namespace

TEST(ConfigLine, Grammar)
{
    const std::string longValue(3000, 'v');
    const std::string longLine = "Long = " + longValue;
    struct Case {
        const char *line;
        int32_t kind;
        const char *name; // section or key
        const char *value;
        const char *comment;
    } cases[] = {
        {"Key = \"a b\"  // note", CConfigLine::kKey, "Key", "a b", "// note"},
        {"Key = a://b", CConfigLine::kKey, "Key", "a:", "//b"},
        {"Url = \"ftp://h/x\" // c", CConfigLine::kKey, "Url", "ftp://h/x", "// c"},
        {"L = {\"ftp://a\",\"b\"}", CConfigLine::kKey, "L", "{\"ftp://a\",\"b\"}", ""},
        {"Odd = \"x // c", CConfigLine::kKey, "Odd", "\"x", "// c"}, // a lone quote
        {"\tName\t=\t1\t2 ", CConfigLine::kKey, "Name", "1 2", ""},
        {"K = a = b", CConfigLine::kKey, "K", "a = b", ""},
        {"Key =", CConfigLine::kKey, "Key", "", ""},
        {"K = \"\"", CConfigLine::kKey, "K", "", ""},
        {"K = \"x", CConfigLine::kKey, "K", "\"x", ""},
        {"[ab]", CConfigLine::kSection, "ab", "", ""},
        {"[ Sys tem ]  // c", CConfigLine::kSection, "Sys tem", "", "// c"},
        // A nameless header goes back to the unnamed part.
        {"[  ]", CConfigLine::kSection, "", "", ""},
        // Short lines and lines without a key are text, kept as written.
        {"a=1", CConfigLine::kText, "", "", "a=1"},
        {"[a]", CConfigLine::kText, "", "", "[a]"},
        {"K = // c", CConfigLine::kText, "", "", "K = // c"},
        {"=xy", CConfigLine::kText, "", "", "=xy"},
        {"  abcd\t// x ", CConfigLine::kText, "", "", "abcd // x"},
        {"// only", CConfigLine::kText, "", "", "// only"},
        {"   ", CConfigLine::kText, "", "", ""},
        {longLine.c_str(), CConfigLine::kKey, "Long", longValue.c_str(), ""},
    };
    for (const Case &c : cases) {
        CConfigLine line;
        line.LoadFromString(c.line);
        EXPECT_EQ(line.nKind, c.kind) << c.line;
        EXPECT_EQ(line.nKind == CConfigLine::kSection ? line.strSection : line.strKey, c.name)
            << c.line;
        EXPECT_EQ(line.strValue, c.value) << c.line;
        EXPECT_EQ(line.strComment, c.comment) << c.line;
    }
}

TEST(ConfigLine, ValuesThatWouldReadAsCommentsAreQuoted)
{
    CConfigLine line;
    line.nKind = CConfigLine::kKey;
    line.strKey = "K";
    line.strValue = "{ftp://a,b}";
    const CString saved = line.SaveToString(8);
    EXPECT_EQ(saved, "K        = \"{ftp://a,b}\"");
    CConfigLine back;
    back.LoadFromString(saved);
    EXPECT_EQ(back.strValue, "{ftp://a,b}");
}

TEST_F(TextFileTest, GoldenFileSaveIsNormalisedAndStable)
{
    CConfigFile file;
    EXPECT_EQ(file.LoadFromFile(DataFile("settings_in.ini").c_str()), 27);
    EXPECT_EQ(ReadValue(file, "系统", "名称"), "播出一台");
    EXPECT_EQ(ReadValue(file, "SYSTEM", "added"), "x");
    EXPECT_EQ(ReadValue(file, "", "Top"), "above the first header");
    EXPECT_EQ(ReadValue(file, "Devices", "Url"), "ftp://host/dir");
    EXPECT_EQ(file.Write("New", "K", "v"), 1);

    const std::string saved = Path("saved.ini");
    ASSERT_EQ(file.SaveToFile(saved.c_str()), 1);
    EXPECT_EQ(ReadBytes(saved), ReadBytes(DataFile("settings_out.ini")));

    // A saved file reads back to the same values and saves to the same bytes.
    CConfigFile again;
    again.LoadFromFile(saved.c_str());
    EXPECT_EQ(ReadValue(again, "Devices", "Quote"), "a'b");
    EXPECT_EQ(ReadValue(again, "Devices", "Src"), "{\"VTR1\",\"VTR2\"}");
    EXPECT_EQ(ReadValue(again, "", "VeryLongValueKey"), CString(std::string(54, 'a')))
        << "after a nameless header, with the lines above the first one";
    const std::string resaved = Path("resaved.ini");
    ASSERT_EQ(again.SaveToFile(resaved.c_str()), 1);
    EXPECT_EQ(ReadBytes(resaved), ReadBytes(saved));
    // Nothing is left behind but the two files.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);
}

TEST_F(TextFileTest, AWriteThatIsTakenReadsBackAndOneThatCannotIsRefused)
{
    const std::string path = Path("shapes.ini");
    struct Case {
        const char *section, *key;
        bool taken;
    } cases[] = {
        {"", "Top", true},    {"S", "Key", false},      {"\xB0\xA1", "Key", true},
        {"Ab", "K", true},    {"[x]", "K", true},       {"a]", "K", true},
        {"a=b", "K", true},   {"Sys tem", "K", true},   {" Sp", "K", false},
        {"Sp ", "K", false},  {" ", "K", false},        {"Tab\tbed", "K", false},
        {"Ab", " K", false},  {"Ab", "K ", false},      {"Ab", "K\tL", false},
        {"Ab", "K L", true},  {"Ab", "\xB0\xA1", true}, {"Ab", "a]", true},
        {"x//y", "K", false}, {"Ab", "[k", false},      {"Ab", "", false},
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string value = "v" + std::to_string(++n);
        CConfigFileAccess access(path.c_str());
        EXPECT_EQ(access.Write(c.section, c.key, value.c_str()), c.taken ? 1 : 0)
            << "[" << c.section << "] " << c.key;
        // Read back from the file by both readers, the editable one and the fast one.
        CConfigFile file;
        file.LoadFromFile(path.c_str());
        CString read = "<none>";
        file.Read(c.section, c.key, read);
        EXPECT_EQ(read, c.taken ? CString(value.c_str()) : CString("<none>"))
            << "[" << c.section << "] " << c.key;
        if (!c.taken || !*c.section) continue;
        read = "<none>";
        access.Read(c.section, c.key, read);
        EXPECT_EQ(read, CString(value.c_str())) << "[" << c.section << "] " << c.key;
    }
}

TEST(ConfigFile, ANamelessHeaderGoesOnWithTheUnnamedPartAndIsSavedOnce)
{
    CConfigFile file;
    file.LoadFromStrings(
        Lines({"Top = 1", "[Sec]", "k = 2", "[  ]", "Path = 3", "[Sec]", "m = 4"}));
    EXPECT_EQ(ReadValue(file, "", "Path"), "3");
    EXPECT_EQ(ReadValue(file, "Sec", "Path"), "<none>");
    CStringArray list;
    EXPECT_EQ(file.GetSectionList(list), 1);
    EXPECT_EQ(file.GetSectionLines("", list), 2);
    EXPECT_EQ(list[1], "Path     = \"3\"");
    CStringArray out;
    file.SaveToStrings(out);
    const std::vector<std::string> expected{"Top      = \"1\"", "Path     = \"3\"", "[Sec]",
                                            "k        = \"2\"", "m        = \"4\""};
    std::vector<std::string> saved;
    for (const CString &line : out) saved.emplace_back(static_cast<const char *>(line));
    EXPECT_EQ(saved, expected);
}

TEST(ConfigFile, LookupsEditsAndLists)
{
    CConfigFile file;
    // Section names of one letter would make three-character lines: text, not headers.
    file.LoadFromStrings(Lines({"[AA]", "k = 1", "K = 2", "// note", "[BB]", "x = 3", "[aa]",
                                "y = 4", "[\xB0\xA1]", "z = 5"}));
    EXPECT_EQ(ReadValue(file, "aa", "K"), "1"); // the first of duplicates, ignoring case
    EXPECT_EQ(ReadValue(file, "AA", "y"), "4"); // split sections are one
    EXPECT_EQ(ReadValue(file, "AA", "missing"), "<none>");
    EXPECT_EQ(ReadValue(file, "\xB0\xA1", "Z"), "5");

    CStringArray list, keys, values;
    EXPECT_EQ(file.GetSectionList(list), 3);
    EXPECT_EQ(list[0], "AA");
    EXPECT_EQ(list[2], "\xB0\xA1");
    EXPECT_EQ(file.GetKeyValueList("AA", keys, values), 3);
    EXPECT_EQ(keys[2], "y");
    EXPECT_EQ(values[1], "2");
    CStringArray lines;
    EXPECT_EQ(file.GetSectionLines("aa", lines), 4) << "both parts, text lines too";
    EXPECT_EQ(lines[2], "// note");
    EXPECT_EQ(lines[3], "y        = \"4\"");

    EXPECT_EQ(file.Write("AA", "K", "9"), 1); // the first matching line takes it
    EXPECT_EQ(ReadValue(file, "AA", "k"), "9");
    EXPECT_EQ(file.DeleteItem("aa", "k"), 1); // every matching line goes
    EXPECT_EQ(ReadValue(file, "AA", "k"), "<none>");
    EXPECT_EQ(file.DeleteSection("BB"), 1);
    EXPECT_EQ(file.GetSectionList(list), 2);

    // What a file line cannot hold is refused and changes nothing.
    for (const char *key : {"", "a=b", "a\"b", "a//b", "[k", "k\n"})
        EXPECT_EQ(file.Write("AA", key, "v"), 0) << key;
    EXPECT_EQ(file.Write("AA//B", "k", "v"), 0);
    EXPECT_EQ(file.Write("AA", "k", "line\r\nbreak"), 0);

    // Keys above the first header need no header; a new section gets one.
    file.Write("", "top", "t");
    file.Write("CC", "c", "cv");
    CStringArray out;
    file.SaveToStrings(out);
    EXPECT_EQ(out[0], "top      = \"t\"");
    EXPECT_EQ(out[out.GetUpperBound() - 1], "[CC]");

    CConfigFile::CAccess access(&file, "CC", "c");
    EXPECT_EQ(access.GetAsString(), "cv");
    access.SetAsInteger(12);
    EXPECT_EQ(ReadValue(file, "CC", "c"), "12");
    CConfigFile::CAccess unbound(nullptr, "CC", "c");
    EXPECT_EQ(unbound.GetAsInteger(-1), -1);
    EXPECT_EQ(unbound.SetAsInteger(1), 0);
}

TEST_F(TextFileTest, ReaderKeepsKeysBelowHeadersOnly)
{
    const std::string path = Path("reader.ini");
    Lines({"above = 0", "[Ss]", "  k1 = 1  ", "", "k2 = 2 // c", "text line", "[sS]", "k1 = dup",
           "[Tt]", "t = x"})
        .SaveToFile(path.c_str());
    CConfigReader reader;
    EXPECT_EQ(reader.LoadFromFile(path.c_str()), 1);
    CString value;
    EXPECT_EQ(reader.GetAt("", "above", value), 0);
    EXPECT_EQ(reader.GetAt("ss", "K1", value), 1);
    EXPECT_EQ(value, "1");
    CStringArray keys, values, sections;
    EXPECT_EQ(reader.GetSectionList(sections), 2);
    EXPECT_EQ(reader.GetKeyValueList("SS", "*", keys, &values), 3);
    EXPECT_EQ(values[2], "dup");
    EXPECT_EQ(reader.GetKeyValueList("SS", "k?", keys, nullptr), 3);
    EXPECT_EQ(reader.GetKeyValueList("SS", "*2", keys, nullptr), 1);
    EXPECT_EQ(reader.GetKeyValueList("missing", "*", keys, nullptr), 0);

    reader.SetAt("", "k", "v"); // no section: nothing
    reader.SetAt("Uu", "u", "1");
    reader.SetAt("uU", "U", "2");
    EXPECT_EQ(reader.GetAt("UU", "u", value), 1);
    EXPECT_EQ(value, "2");
    EXPECT_EQ(reader.GetSectionList(sections), 3);

    // A file that cannot be read keeps what was held.
    EXPECT_EQ(reader.LoadFromFile(Path("missing.ini").c_str()), 0);
    EXPECT_EQ(reader.GetAt("TT", "t", value), 1);
}

TEST_F(TextFileTest, AccessReloadsOnFirstReadAfterWritesAndAfterTheInterval)
{
    const std::string path = Path("access.ini");
    Lines({"[Sec]", "K = 1"}).SaveToFile(path.c_str());
    plat::ScopedTestClock clock(0); // the first load happens at tick 0
    CConfigFileAccess access(path.c_str());
    CString value;
    ASSERT_EQ(access.Read("Sec", "K", value), 1);
    EXPECT_EQ(value, "1");

    Lines({"[Sec]", "K = 2"}).SaveToFile(path.c_str()); // changed behind its back
    plat::TestClock::Advance(CConfigFileAccess::kReloadInterval);
    access.Read("Sec", "K", value);
    EXPECT_EQ(value, "1"); // not more than the interval yet
    plat::TestClock::Advance(1);
    access.Read("Sec", "K", value);
    EXPECT_EQ(value, "2");

    // Its own write is seen by the next read at once.
    EXPECT_EQ(access.Write("Sec", "K", "3"), 1);
    access.Read("Sec", "K", value);
    EXPECT_EQ(value, "3");
    EXPECT_EQ(access.Write("New", "N", "n"), 1);
    CStringArray list;
    EXPECT_EQ(access.GetSectionList(list), 2);
    EXPECT_EQ(access.GetKeyList("New", "*", list), 1);
    EXPECT_EQ(access.DeleteItem("Sec", "K"), 1);
    EXPECT_EQ(access.Read("Sec", "K", value), 0);
    EXPECT_EQ(access.DeleteSection("New"), 1);
    EXPECT_EQ(access.GetSectionList(list), 1);

    // A file that has gone leaves the last contents in force.
    access.Write("Sec", "K", "4");
    access.Read("Sec", "K", value);
    fs::remove(path);
    EXPECT_FALSE(access.FileExists());
    plat::TestClock::Advance(CConfigFileAccess::kReloadInterval + 1);
    EXPECT_EQ(access.Read("Sec", "K", value), 1);
    EXPECT_EQ(value, "4");
}

TEST_F(TextFileTest, AccessWriteReportsFailure)
{
    // The name is a directory: nothing can be saved there.
    fs::create_directory(Path("dir.ini"));
    CConfigFileAccess blocked(Path("dir.ini").c_str());
    EXPECT_EQ(blocked.Write("Sec", "K", "v"), 0);
    CConfigFileAccess nowhere(Path("no/such/dir.ini").c_str());
    EXPECT_EQ(nowhere.Write("Sec", "K", "v"), 0);
    CConfigFileAccess unnamed;
    EXPECT_EQ(unnamed.Write("Sec", "K", "v"), 0);

    // A file that exists but cannot be read is not replaced by the change alone.
    const std::string path = Path("held.ini");
    Lines({"[Sec]", "Keep = 1"}).SaveToFile(path.c_str());
    const std::string before = ReadBytes(path);
    {
        CStdioFile holder;
        ASSERT_TRUE(
            holder.Open(path.c_str(), CStdioFile::modeReadWrite | CStdioFile::shareExclusive));
        CConfigFileAccess access(path.c_str());
        EXPECT_EQ(access.Write("Sec", "Other", "2"), 0);
    }
    EXPECT_EQ(ReadBytes(path), before);

    CConfigFileAccess access(path.c_str());
    EXPECT_EQ(access.Write("Sec", "bad=key", "2"), 0);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(TextFileTest, ConcurrentWritersLoseNoChange)
{
    const std::string path = Path("shared.ini");
    constexpr int kWrites = 20;

    // Another process writes its keys while this one writes its own from several threads,
    // each read-change-save of the whole file.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CConfigFileAccess access(path.c_str());
        int failed = 0;
        for (int i = 0; i < kWrites; ++i)
            failed += !access.Write("Child", ("K" + std::to_string(i)).c_str(), "c");
        _exit(failed);
    }
    CConfigFileAccess shared(path.c_str());
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            CConfigFileAccess own(path.c_str());
            CConfigFileAccess &access = t % 2 ? own : shared;
            for (int i = 0; i < kWrites; ++i) {
                const std::string key = "T" + std::to_string(t) + "_" + std::to_string(i);
                failed += !access.Write("Parent", key.c_str(), "p");
            }
        });
    }
    for (auto &th : threads) th.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(failed.load(), 0);

    CConfigFile file;
    file.LoadFromFile(path.c_str());
    CStringArray keys, values;
    EXPECT_EQ(file.GetKeyValueList("Child", keys, values), kWrites);
    EXPECT_EQ(file.GetKeyValueList("Parent", keys, values), 4 * kWrites);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(TextFileTest, SearchAlongDirectories)
{
    fs::create_directories(m_dir / "a");
    fs::create_directories(m_dir / "b" / "sub");
    WriteBytes(Path("b/x.ini"), "[Sec]\n");
    WriteBytes(Path("b/sub/y.ini"), "[Sec]\n");

    CStringArray dirs;
    dirs.Add("   ");
    dirs.Add(CString(Path("a").c_str()));
    dirs.Add(CString((" " + Path("b") + "\\ ").c_str())); // trimmed; "\" is "/"
    CString name = "x.ini";
    EXPECT_EQ(SerachFile(dirs, name), 1);
    EXPECT_EQ(name, CString((Path("b") + "/x.ini").c_str()));
    EXPECT_EQ(SerachFile(dirs, name), 1); // existing: unchanged
    EXPECT_EQ(name, CString((Path("b") + "/x.ini").c_str()));
    name = "sub\\y.ini";
    EXPECT_EQ(SerachFile(dirs, name), 1);
    EXPECT_EQ(name, CString((Path("b") + "/sub/y.ini").c_str()));

    for (const char *missing : {"", "z.ini", "\\x.ini", "sub"}) {
        name = missing;
        EXPECT_EQ(SerachFile(dirs, name), 0) << missing;
        EXPECT_EQ(name, missing);
    }
    EXPECT_TRUE(IsExistingFile((Path("b") + "\\x.ini").c_str()));
    EXPECT_FALSE(IsExistingFile(Path("b").c_str()));
}

TEST(ConfigFile, SavedSectionsReadBack)
{
    // Headers whose names make short lines: a saved one-character name must still be a header.
    const std::vector<CStrings> files = {
        Lines({"[ a]", "k = 1"}),
        Lines({"top = 0", "[ a ]", "k = 1", "[bc]", "k = 2"}),
        Lines({"[ \xB0\xA1 ]", "k = 1"}),
    };
    for (const CStrings &lines : files) {
        CConfigFile file;
        file.LoadFromStrings(lines);
        CStringArray saved;
        file.SaveToStrings(saved);
        CConfigFile again;
        again.LoadFromStrings(saved);
        CStringArray sections, resaved;
        file.GetSectionList(sections);
        for (const CString &section : sections)
            EXPECT_EQ(ReadValue(again, section, "k"), ReadValue(file, section, "k")) << section;
        again.SaveToStrings(resaved);
        EXPECT_EQ(resaved.GetSize(), saved.GetSize());
    }
}
