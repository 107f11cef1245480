// CStdioFile: line ends on disk and back, create/truncate modes, appending, mixed reading and
// writing, and advisory sharing between opens.
#include "platform/Process.h"
#include "platform/StdioFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class StdioFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "kest_stdio_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string PathOf(const char *name) const { return (m_dir / name).string(); }

    std::string Bytes(const char *name) const
    {
        std::ifstream in(PathOf(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    void Put(const char *name, const std::string &bytes) const
    {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
    }

    std::vector<CString> Lines(const char *name) const
    {
        CStdioFile f;
        EXPECT_TRUE(f.Open(PathOf(name).c_str(), CStdioFile::modeRead | CStdioFile::typeText));
        std::vector<CString> lines;
        CString line;
        while (f.ReadString(line)) lines.push_back(line);
        EXPECT_TRUE(line.IsEmpty());
        return lines;
    }

    std::filesystem::path m_dir;
};

constexpr unsigned kCreateWrite = CStdioFile::modeCreate | CStdioFile::modeWrite;

} // namespace

TEST_F(StdioFileTest, TextModeWritesCrLfAndReadsLines)
{
    {
        CStdioFile f;
        ASSERT_TRUE(f.Open(PathOf("t.txt").c_str(), kCreateWrite | CStdioFile::typeText));
        EXPECT_TRUE(f.WriteString("a\nb\r\nc"));
        EXPECT_TRUE(f.WriteString("\r")); // the "\n" that follows must not get a second "\r"
        EXPECT_TRUE(f.WriteString("\n设备\n"));
    }
    EXPECT_EQ(Bytes("t.txt"), "a\r\nb\r\nc\r\n设备\r\n");
    EXPECT_EQ(Lines("t.txt"), (std::vector<CString>{"a", "b", "c", "设备"}));
}

TEST_F(StdioFileTest, LfFilesAndALastLineWithoutNewline)
{
    Put("lf.txt", "one\n\ntwo\r\nthree");
    EXPECT_EQ(Lines("lf.txt"), (std::vector<CString>{"one", "", "two", "three"}));
    Put("empty.txt", "");
    EXPECT_TRUE(Lines("empty.txt").empty());

    CStdioFile f;
    ASSERT_TRUE(f.Open(PathOf("bin.txt").c_str(), kCreateWrite | CStdioFile::typeBinary));
    EXPECT_TRUE(f.WriteString("x\ny\n"));
    f.Close();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(Bytes("bin.txt"), "x\ny\n");
}

TEST_F(StdioFileTest, CreateTruncatesUnlessNoTruncate)
{
    Put("keep.txt", "old\n");
    CStdioFile f;
    ASSERT_TRUE(f.Open(PathOf("keep.txt").c_str(), kCreateWrite | CStdioFile::modeNoTruncate));
    EXPECT_EQ(f.GetLength(), 4u);
    f.Close();
    EXPECT_EQ(Bytes("keep.txt"), "old\n");

    ASSERT_TRUE(f.Open(PathOf("new.txt").c_str(), kCreateWrite | CStdioFile::modeNoTruncate));
    f.Close();
    EXPECT_TRUE(std::filesystem::exists(PathOf("new.txt")));

    ASSERT_TRUE(f.Open(PathOf("keep.txt").c_str(), kCreateWrite));
    f.Close();
    EXPECT_EQ(Bytes("keep.txt"), "");

    EXPECT_FALSE(f.Open(PathOf("missing.txt").c_str(), CStdioFile::modeRead));
    EXPECT_FALSE(f.Open(PathOf("missing.txt").c_str(), CStdioFile::modeWrite));
    EXPECT_FALSE(f.Open(m_dir.c_str(), CStdioFile::modeRead));
}

TEST_F(StdioFileTest, SeekToEndAppends)
{
    Put("log.txt", "first\r\n");
    CStdioFile f;
    ASSERT_TRUE(f.Open(PathOf("log.txt").c_str(), kCreateWrite | CStdioFile::modeNoTruncate));
    EXPECT_EQ(f.SeekToEnd(), 7u);
    EXPECT_TRUE(f.WriteString("second\n"));
    EXPECT_EQ(f.GetLength(), 15u); // counts what is still in the buffer
    EXPECT_EQ(f.GetPosition(), 15u);
    f.Close();
    EXPECT_EQ(Bytes("log.txt"), "first\r\nsecond\r\n");
}

TEST_F(StdioFileTest, ReadAndWriteOnOneOpen)
{
    Put("rw.txt", "0123456789\n");
    CStdioFile f;
    ASSERT_TRUE(
        f.Open(PathOf("rw.txt").c_str(), CStdioFile::modeReadWrite | CStdioFile::typeBinary));
    char head[4] = {};
    EXPECT_EQ(f.Read(head, 3), 3u);
    EXPECT_TRUE(f.Write("abc", 3)); // right after what was read
    EXPECT_EQ(f.Seek(-2, CStdioFile::end), 9u);
    EXPECT_TRUE(f.Write("X", 1));
    f.SeekToBegin();
    CString line;
    EXPECT_TRUE(f.ReadString(line));
    EXPECT_EQ(line, "012abc678X");
    EXPECT_EQ(f.Seek(-1, CStdioFile::begin), UINT64_MAX);
}

TEST_F(StdioFileTest, BackslashesSeparateDirectories)
{
    std::filesystem::create_directory(m_dir / "sub");
    const std::string windowsStyle = m_dir.string() + "\\sub\\f.txt";
    CStdioFile f;
    ASSERT_TRUE(f.Open(windowsStyle.c_str(), kCreateWrite));
    EXPECT_EQ(f.GetFilePath(), CString(std::string_view(PathOf("sub/f.txt"))));
    f.Close();
    EXPECT_TRUE(std::filesystem::exists(m_dir / "sub" / "f.txt"));
    // A GBK character whose second byte is 0x5C stays part of the name.
    ASSERT_TRUE(f.Open((m_dir.string() + "\\禱.txt").c_str(), kCreateWrite));
    f.Close();
    EXPECT_TRUE(std::filesystem::exists(m_dir / "禱.txt"));
}

TEST_F(StdioFileTest, ShareDenyWriteRefusesWriters)
{
    Put("s.txt", "content\n");
    const std::string path = PathOf("s.txt");
    CStdioFile holder;
    ASSERT_TRUE(holder.Open(path.c_str(), CStdioFile::modeRead | CStdioFile::shareDenyWrite));

    CStdioFile other;
    EXPECT_FALSE(other.Open(path.c_str(), kCreateWrite)); // and must not truncate on the way
    EXPECT_EQ(plat::GetLastError(), static_cast<uint32_t>(EWOULDBLOCK));
    EXPECT_EQ(Bytes("s.txt"), "content\n");
    EXPECT_FALSE(other.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::shareDenyWrite));
    EXPECT_TRUE(other.Open(path.c_str(), CStdioFile::modeRead | CStdioFile::shareDenyWrite));
    other.Close();
    EXPECT_TRUE(other.Open(path.c_str(), CStdioFile::modeRead | CStdioFile::shareDenyNone));
    other.Close();

    holder.Close();
    ASSERT_TRUE(holder.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::shareDenyWrite));
    EXPECT_FALSE(other.Open(path.c_str(), CStdioFile::modeReadWrite | CStdioFile::shareDenyNone));
    EXPECT_FALSE(other.Open(path.c_str(), CStdioFile::modeRead | CStdioFile::shareExclusive));
    holder.Close();

    // Writers that deny nothing share the file with each other.
    ASSERT_TRUE(holder.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::shareDenyNone));
    EXPECT_TRUE(other.Open(path.c_str(), CStdioFile::modeWrite | CStdioFile::shareDenyNone));
}

TEST_F(StdioFileTest, ReadsManyLines)
{
    std::string bytes;
    for (int i = 0; i < 60000; ++i) bytes += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    Put("big.txt", bytes);
    const std::vector<CString> lines = Lines("big.txt");
    ASSERT_EQ(lines.size(), 60000u);
    EXPECT_EQ(lines[59999], "line 59999");
}
