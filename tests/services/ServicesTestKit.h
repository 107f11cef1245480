// Helpers of the administration service tests: a scratch directory, local times as file
// times, whole text files, and a settings file mounted in the resource tree.
#pragma once

#include "KestLib20/CConfigFileAccessX.h"
#include "KestLib20/CFileTime.h"
#include "tests/KestLib20/ScopedTimeZone.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace services_test {

// A fresh directory below the test temporary directory, removed with its contents.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = ::testing::TempDir() + "kest_services_XXXXXX";
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code error;
        std::filesystem::remove_all(m_path, error);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string operator/(const std::string &name) const { return m_path + "/" + name; }
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

// Polls `done` in real time for up to 5 s; whether it came true.
template <class Done> bool RealWait(Done done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// The file time of a local date and time.
inline int64_t LocalFileTime(int year, int month, int day, int hour, int minute, int second,
                             int ms = 0)
{
    plat::SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(year);
    st.wMonth = static_cast<uint16_t>(month);
    st.wDay = static_cast<uint16_t>(day);
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(ms);
    return CFileTime(st).GetTime();
}

inline std::string ReadFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The lines of a CR LF text file.
inline std::vector<std::string> ReadLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadFile(path));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A settings file of the test's own, mounted at `root` of the resource tree while it lives.
class MountedSettings {
public:
    MountedSettings(const char *root, const std::string &text) : m_file(m_dir / "settings.cfg")
    {
        WriteFile(m_file, text);
        m_provider = std::make_unique<CConfigFileAccessX>(m_file.c_str());
        m_provider->Mount(root);
    }

private:
    TempDir m_dir;
    std::string m_file;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

} // namespace services_test
