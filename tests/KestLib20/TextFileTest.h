// A fresh temporary directory per test for files written and read as text, and helpers that
// build lines and read or write a file's exact bytes.
#pragma once

#include "KestLib20/CStrings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = ::testing::TempDir() + "kest_text_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Path(const char *name) const { return (m_dir / name).string(); }

    std::filesystem::path m_dir;
};

inline std::string ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline CStrings Lines(std::initializer_list<const char *> texts)
{
    CStrings lines;
    for (const char *t : texts) lines.Add(t);
    return lines;
}
