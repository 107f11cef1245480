// Text log files: two-hour file names, the header and process blocks of a new file, batched
// writes, waiting lines written within the flush interval, the line forms of plain and pattern
// titles, the purge of old files, the registry, and the component fed by the log core.
#include "ServicesTestKit.h"

#include "Kest20/KestLog.h"
#include "devext/services/CLog.h"
#include "devext/services/CLogFileRegistry.h"
#include "devext/services/CLogFileWriter.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

using namespace services_test;

namespace {

// The files of a directory, whole.
std::vector<std::string> FilesIn(const std::string &dir)
{
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The message lines ("msg ...") of a log file.
std::vector<std::string> Messages(const std::string &file)
{
    std::vector<std::string> messages;
    for (const std::string &line : ReadLines(file))
        if (line.rfind("msg", 0) == 0) messages.push_back(line);
    return messages;
}

// The real time now, as file time: the purge compares file times on disk with the clock, so
// the manual clock starts where the file system's clock stands.
int64_t RealFileTimeNow()
{
    const auto since = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return plat::kFileTimeUnixEpoch + since.count() * 10;
}

class LogFiles : public ::testing::Test {
protected:
    ScopedTimeZone zone{"UTC"};
    plat::ScopedTestClock clock{4 * 3600 * 1000, RealFileTimeNow()};
    TempDir dir;
};

} // namespace

TEST_F(LogFiles, FilesChangeEveryTwoHoursBelowTheProgram)
{
    CLogFileWriter writer;
    writer.Open("Log\\Air", "LOG_AIR");
    EXPECT_TRUE(writer.IsPlainTitle());
    const std::string base = plat::GetProgramDirectory() + "/Log\\Air";
    EXPECT_EQ(std::string(writer.FileNameAt(LocalFileTime(2026, 12, 8, 13, 59, 59))),
              base + ".26_12_08.12.txt");
    EXPECT_EQ(std::string(writer.FileNameAt(LocalFileTime(2026, 12, 8, 14, 0, 0))),
              base + ".26_12_08.14.txt");
    CLogFileWriter pattern;
    pattern.Open("x", "LOG_*");
    EXPECT_FALSE(pattern.IsPlainTitle());
}

TEST_F(LogFiles, ANewFileStartsWithItsBlocksAndLinesGoInBatches)
{
    auto writer = std::make_unique<CLogFileWriter>();
    writer->Open((dir / "Air").c_str(), "LOG_AIR");
    writer->AddLine("msg 0");
    const auto files = FilesIn(dir.Path());
    ASSERT_EQ(files.size(), 1u) << "the first line is written at once";
    const auto lines = ReadLines(files[0]);
    ASSERT_GE(lines.size(), 13u);
    EXPECT_EQ(lines[0], "--------This is Kest Log File-----------");
    EXPECT_EQ(lines[1], "FileName     : " + plat::GetProgramFileName());
    EXPECT_EQ(lines[5], "Type         : LOG_AIR");
    EXPECT_EQ(lines[6].rfind("Created Time : ", 0), 0u);
    EXPECT_EQ(lines[7], "----------------------------------------");
    EXPECT_EQ(lines[8], "");
    EXPECT_EQ(lines[9], "..");
    EXPECT_EQ(lines[10].rfind("......Process:ID(", 0), 0u) << lines[10];
    EXPECT_EQ(lines[11], "..");
    EXPECT_EQ(lines[12], "msg 0");

    for (int i = 1; i <= 40; ++i) writer->AddLine(("msg " + std::to_string(i)).c_str());
    EXPECT_EQ(Messages(files[0]).size(), 34u) << "33 written when the 33rd was pending";
    plat::TestClock::Advance(5001);
    writer->AddLine("msg 41");
    EXPECT_EQ(Messages(files[0]).size(), 42u);
    const auto after = ReadLines(files[0]);
    EXPECT_EQ(std::count(after.begin(), after.end(), ".."), 4)
        << "the process block repeats after more than 32 lines";
    writer->AddLine("msg 42");
    writer.reset();
    EXPECT_EQ(Messages(files[0]).back(), "msg 42") << "destruction flushes";

    CLogFileWriter none;
    none.AddLine("dropped");
    none.Flush(1);
    EXPECT_EQ(FilesIn(dir.Path()).size(), 1u);
}

// Lines that wait for their batch reach the file within the flush interval with no later line
// to carry them: the registry's thread writes them once they fall due, never sooner, and a
// line after a quiet spell still goes out at once.
TEST_F(LogFiles, WaitingLinesAreWrittenWithinTheFlushIntervalWithoutAnotherLine)
{
    CLogFileRegistry registry;
    registry.Register("LOG_AIR", (dir / "Air").c_str());
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1)) << "the flush thread waits";
    int sent = 0;
    const auto send = [&](int count) {
        for (int i = 0; i < count; ++i)
            registry.Dispatch("LOG_AIR", ("msg " + std::to_string(sent++)).c_str(), "");
    };
    const auto written = [&] {
        const auto files = FilesIn(dir.Path());
        size_t count = 0;
        for (const std::string &line :
             files.empty() ? std::vector<std::string>{} : ReadLines(files[0]))
            count += line.find(": msg ") != std::string::npos ? 1 : 0;
        return count;
    };
    const auto step = [](uint32_t ms) {
        ASSERT_TRUE(plat::TestClock::WaitForSettled(1));
        plat::TestClock::Advance(ms);
        ASSERT_TRUE(plat::TestClock::WaitForSettled(1));
    };

    send(1);
    EXPECT_EQ(written(), 1u) << "the first line goes out at once";
    step(1000);
    send(1);
    step(3999);
    EXPECT_EQ(written(), 1u) << "a batch is written no sooner than 5000 ms after the last";
    step(2);
    EXPECT_TRUE(RealWait([&] { return written() == 2; })) << "and no later";

    // 40 lines in a burst: the first is due at once, 33 go out as the 33rd is pending, the
    // other 6 within the interval.
    step(6000);
    send(40);
    // With the clock standing: nothing but the burst itself can write them. (The thread, woken
    // by the step, may be the one that writes a due line; the sender then returns before it is
    // in the file.)
    EXPECT_TRUE(RealWait([&] { return written() == 2u + 1u + 33u; }));
    step(5001);
    EXPECT_TRUE(RealWait([&] { return written() == 42; }));

    // The thread writes nothing when nothing waits: a line after a quiet spell is not held.
    for (int i = 0; i < 4; ++i) step(5000);
    send(1);
    EXPECT_TRUE(RealWait([&] { return written() == 43u; })) << "with the clock standing";
}

TEST_F(LogFiles, TheRegistryFormatsLinesPerTitle)
{
    CLogFileRegistry registry;
    registry.Register("LOG_AIR", (dir / "plain").c_str());
    const int32_t listId = registry.Register("#OVRA_DEV;LOG_*", (dir / "list").c_str());
    EXPECT_EQ(registry.Match("LOG_AIR").size(), 2u);
    EXPECT_EQ(registry.Match("#OVRA_DEV").size(), 1u);
    registry.Dispatch("LOG_AIR", "on air", "info");
    registry.Dispatch("", "never", "info");
    registry.Dispatch("#OVRA_DEV", "dev", "");
    CStringArray block;
    block.Add("one");
    block.Add("two");
    registry.DispatchLines("LOG_X", block, "I");
    registry.Unregister(listId);
    registry.Dispatch("LOG_Y", "after", "I");
    registry.RemoveAll();

    const auto files = FilesIn(dir.Path());
    ASSERT_EQ(files.size(), 2u);
    const auto list = ReadLines(files[0]);
    const auto plain = ReadLines(files[1]);
    EXPECT_EQ(plain.back(), "info : on air");
    ASSERT_GE(list.size(), 6u);
    const std::vector<std::string> tail(list.end() - 6, list.end());
    EXPECT_EQ(tail[0], "info ( LOG_AIR): on air");
    EXPECT_EQ(tail[1].substr(tail[1].find(" (")), " (#OVRA_DEV): dev");
    EXPECT_EQ(tail[1].rfind("P", 0), 0u) << "no info: thread and time";
    EXPECT_EQ(tail[2], "I : \\/");
    EXPECT_EQ(tail[3], "one");
    EXPECT_EQ(tail[4], "two");
    EXPECT_EQ(tail[5], "");
}

TEST_F(LogFiles, OnlyATitleWithAWildcardOrAListWritesTheType)
{
    struct Case {
        const char *title;
        const char *line;
    };
    const Case cases[] = {
        {"LOG_AIR", "I : on air"},
        {"", "I : on air"}, // no title: every type, and still the plain form
        {"LOG_*", "I ( LOG_AIR): on air"},
        {"LOG_AIR;LOG_X", "I ( LOG_AIR): on air"},
        {" LOG_AIR", "I ( LOG_AIR): on air"}, // a blank: not one plain name
        {"LOG_AI?", "I ( LOG_AIR): on air"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        CLogFileRegistry registry;
        registry.Register(cases[i].title, (dir / ("t" + std::to_string(i))).c_str());
        registry.Dispatch("LOG_AIR", "on air", "I");
        registry.RemoveAll();
        const auto files = FilesIn(dir.Path());
        ASSERT_EQ(files.size(), i + 1) << cases[i].title;
        const auto lines = ReadLines(files[i]);
        ASSERT_FALSE(lines.empty()) << cases[i].title;
        EXPECT_EQ(lines.back(), cases[i].line) << "title \"" << cases[i].title << "\"";
    }
}

TEST_F(LogFiles, OldAndFutureFilesOfTheSeriesArePurged)
{
    const int64_t now = plat::GetSystemTimeAsFileTime();
    auto age = [&](const std::string &name, int64_t days) {
        WriteFile(dir / name, "x");
        const int64_t written = now - days * 864000000000LL;
        const auto unix = std::chrono::seconds((written - plat::kFileTimeUnixEpoch) / 10000000);
        std::filesystem::last_write_time(dir / name,
                                         std::filesystem::file_time_type::clock::from_sys(
                                             std::chrono::system_clock::time_point(unix)));
    };
    age("Air.old.txt", 8);
    age("Air.week.txt", 7);
    age("Air.recent.txt", 6);
    age("Air.future.txt", -2);
    age("Other.old.txt", 30);
    CLogFileWriter writer;
    writer.Open((dir / "Air").c_str(), "LOG_AIR");
    writer.Purge();
    std::vector<std::string> left;
    for (const std::string &file : FilesIn(dir.Path()))
        left.push_back(std::filesystem::path(file).filename().string());
    EXPECT_EQ(left, (std::vector<std::string>{"Air.recent.txt", "Other.old.txt"}));
}

TEST_F(LogFiles, TheComponentWritesTheTypesOfItsSettings)
{
    const std::string file = dir / "news";
    MountedSettings settings("/etc/tvx",
                             "[Log]\r\nLogFile=News,NoFile\r\nNews=<File=\"" + file +
                                 "\" TITLE=\"LOG_NEWS_TEST\">\r\nNoFile=<TITLE=\"LOG_*\">\r\n");
    {
        CLog log;
        ASSERT_EQ(log.InitInstance(nullptr, nullptr), 1);
        ASSERT_EQ(log.GetRegistry().Match("LOG_NEWS_TEST").size(), 1u) << "one entry has a file";
        glReportLog("LOG_NEWS_TEST", "hello", "i");
        // The log thread writes in its own time: up to 10 s on a busy machine.
        const auto written = [&] {
            const auto files = FilesIn(dir.Path());
            if (files.empty()) return false;
            const auto lines = ReadLines(files[0]);
            return !lines.empty() && lines.back() == "i : hello";
        };
        bool seen = written();
        for (int i = 0; i < 2000 && !seen; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            seen = written();
        }
        EXPECT_TRUE(seen);
    }
}
