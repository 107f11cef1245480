// Alert tunes and wave files on a recording speaker: passes and repeats, the one pending
// slot, silence when disabled, rests on the manual clock, the worker ending when idle and
// starting again, stopping, and the WAVE headers and samples.
#include "ServicesTestKit.h"

#include "devext/services/CBeepMusic.h"
#include "devext/services/CWaveFile.h"
#include "devext/services/Speaker.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace services_test;

namespace {

using Tone = std::pair<uint32_t, uint32_t>;

// Records every tone; while closed, the first tone waits at the gate until it is opened.
class CRecordingSpeaker : public ISpeaker {
public:
    void Beep(uint32_t hz, uint32_t ms) override
    {
        {
            std::lock_guard guard(m_lock);
            m_tones.emplace_back(hz, ms);
        }
        entered.Set();
        gate.Wait(5000);
    }
    std::vector<Tone> Tones()
    {
        std::lock_guard guard(m_lock);
        return m_tones;
    }
    // Waits (real time) until `count` tones have sounded.
    bool WaitForTones(size_t count)
    {
        return RealWait([&] { return Tones().size() >= count; });
    }

    plat::Event gate{true, true};
    plat::Event entered{true, false};

private:
    std::mutex m_lock;
    std::vector<Tone> m_tones;
};

class Beeper : public ::testing::Test {
protected:
    void SetUp() override { m_previous = SetSpeaker(speaker); }
    void TearDown() override { SetSpeaker(m_previous); }

    std::shared_ptr<CRecordingSpeaker> speaker = std::make_shared<CRecordingSpeaker>();

private:
    std::shared_ptr<ISpeaker> m_previous;
};

const uint32_t kFreqA[] = {440, 0, 880};
const uint32_t kDurA[] = {10, 1, 20, 0};
const uint32_t kFreqB[] = {300};
const uint32_t kDurB[] = {5, 0};

tagBeepMusic Tune(const uint32_t *freq, const uint32_t *dur, int32_t repeat)
{
    tagBeepMusic tune;
    tune.pFrequency = freq;
    tune.pDuration = dur;
    tune.nRepeat = repeat;
    return tune;
}

// A RIFF/WAVE file: a format chunk of `formatSize` bytes, optionally another chunk, then
// the data chunk (declared size `declared`, the bytes given).
std::string Wave(uint32_t formatSize, const std::string &between, uint32_t declared,
                 const std::string &data)
{
    auto le32 = [](uint32_t v) {
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i) b[i] = static_cast<char>(v >> (8 * i));
        return b;
    };
    std::string format = std::string("\x01\x00\x01\x00", 4) + le32(8000) + le32(8000) +
                         std::string("\x01\x00\x08\x00", 4);
    format.resize(formatSize, '\0');
    std::string body =
        "WAVEfmt " + le32(formatSize) + format + between + "data" + le32(declared) + data;
    return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body;
}

} // namespace

TEST_F(Beeper, EveryPassOfATuneSoundsOnTheWorker)
{
    CBeepMusic player;
    EXPECT_EQ(player.AddMusic(Tune(kFreqA, kDurA, 3)), 0);
    ASSERT_TRUE(speaker->WaitForTones(6));
    const std::vector<Tone> pass = {{440, 10}, {880, 20}};
    std::vector<Tone> expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), pass.begin(), pass.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(speaker->Tones(), expected) << "three passes, rests are silent";
}

TEST_F(Beeper, ANewTuneReplacesThePendingOneAndThePassSoundingFinishes)
{
    CBeepMusic player;
    speaker->gate.Reset();
    player.AddMusic(Tune(kFreqA, kDurA, 5));
    ASSERT_EQ(speaker->entered.Wait(5000), plat::WAIT_OBJECT_0);
    player.AddMusic(Tune(kFreqB, kDurB, 2));
    speaker->gate.Set();
    ASSERT_TRUE(speaker->WaitForTones(4));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(speaker->Tones(), (std::vector<Tone>{{440, 10}, {880, 20}, {300, 5}, {300, 5}}));

    speaker->gate.Reset();
    speaker->entered.Reset();
    player.AddMusic(Tune(kFreqA, kDurA, 5));
    ASSERT_EQ(speaker->entered.Wait(5000), plat::WAIT_OBJECT_0);
    player.StopMusic();
    speaker->gate.Set();
    ASSERT_TRUE(speaker->WaitForTones(6));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(speaker->Tones().size(), 6u) << "StopMusic lets only the sounding pass finish";
}

TEST_F(Beeper, ControlCommandsAndTheCurrentPlayer)
{
    EXPECT_EQ(PlayBeepMusic(Tune(kFreqB, kDurB, 1)), 0) << "no player";
    {
        CBeepMusic player;
        EXPECT_EQ(player.AddMusic(BeepCommand(BEEP_CMD_IS_ENABLED)), 1);
        EXPECT_EQ(player.AddMusic(BeepCommand(BEEP_CMD_DISABLE)), 0);
        EXPECT_EQ(player.AddMusic(BeepCommand(BEEP_CMD_IS_ENABLED)), 0);
        EXPECT_EQ(PlayBeepMusic(BeepCommand(BEEP_CMD_ENABLE)), 0);
        EXPECT_EQ(PlayBeepMusic(BeepCommand(BEEP_CMD_IS_ENABLED)), 1) << "reaches the player";
        EXPECT_EQ(player.AddMusic(BeepCommand(9)), 0);
    }
    EXPECT_EQ(PlayBeepMusic(BeepCommand(BEEP_CMD_IS_ENABLED)), 0) << "the player has gone";
}

TEST_F(Beeper, RestsAndDisabledTonesWaitTheirTimeSilently)
{
    plat::ScopedTestClock clock(100000);
    CBeepMusic player;
    const uint32_t empty[] = {0};
    player.Play(Tune(kFreqB, empty, 1));
    EXPECT_TRUE(speaker->Tones().empty()) << "a tune whose first duration is 0";

    player.AddMusic(BeepCommand(BEEP_CMD_DISABLE));
    const uint32_t freq[] = {0, 1000};
    const uint32_t dur[] = {200, 100, 0};
    const int idle = plat::TestClock::TimedWaiters();
    std::atomic<int> notesDone{0};
    const uint32_t one[] = {200, 0};
    std::thread playing([&] {
        player.Play(Tune(freq, one, 1));
        notesDone = 1;
        player.Play(Tune(freq + 1, dur + 1, 1));
        notesDone = 2;
    });
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1));
    plat::TestClock::Advance(199);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(notesDone, 0) << "a rest of 200 ms";
    plat::TestClock::Advance(1);
    ASSERT_TRUE(RealWait([&] { return notesDone == 1; }));
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1)) << "the disabled tone waits";
    plat::TestClock::Advance(99);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(notesDone, 1);
    plat::TestClock::Advance(1);
    EXPECT_TRUE(RealWait([&] { return notesDone == 2; }));
    playing.join();
    EXPECT_TRUE(speaker->Tones().empty());
}

TEST_F(Beeper, TheWorkerEndsWhenIdleAndStartsAgainForTheNextTune)
{
    plat::ScopedTestClock clock(100000);
    const int idle = plat::TestClock::TimedWaiters();
    CBeepMusic player;
    player.AddMusic(Tune(kFreqB, kDurB, 1));
    ASSERT_TRUE(speaker->WaitForTones(1));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1)) << i;
        plat::TestClock::Advance(5000);
    }
    EXPECT_TRUE(RealWait([&] { return plat::TestClock::TimedWaiters() == idle; }))
        << "no tune for more than 10 s";
    player.AddMusic(Tune(kFreqB, kDurB, 1));
    EXPECT_TRUE(speaker->WaitForTones(2));
}

TEST_F(Beeper, AStoppedPlayerPlaysNothingAndAStopEndsARest)
{
    CBeepMusic player;
    const uint32_t freq[] = {0};
    const uint32_t dur[] = {60000, 0};
    player.AddMusic(Tune(freq, dur, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    player.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    player.AddMusic(Tune(kFreqB, kDurB, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(speaker->Tones().empty());
}

TEST_F(Beeper, WaveFilesOpenOnlyWithTheDataBehindTheFormat)
{
    TempDir dir;
    CWaveFile wave;
    WriteFile(dir / "plain.wav", Wave(16, "", 2, "ab"));
    ASSERT_EQ(wave.Open((dir / "plain.wav").c_str()), 1);
    EXPECT_EQ(wave.GetSampleRate(), 8000u);
    EXPECT_EQ(wave.GetChannels(), 1u);
    EXPECT_EQ(wave.GetDataSize(), 2u);
    wave.Close();

    WriteFile(dir / "ext.wav", Wave(18, "", 2, "ab"));
    EXPECT_EQ(wave.Open((dir / "ext.wav").c_str()), 1) << "two extra format bytes set aside";
    wave.Close();

    for (const char *chunk : {"fact", "LIST"}) {
        WriteFile(dir / "other.wav",
                  Wave(16, std::string(chunk) + std::string("\x04\0\0\0xxxx", 8), 2, "ab"));
        EXPECT_EQ(wave.Open((dir / "other.wav").c_str()), 0) << chunk;
        EXPECT_FALSE(wave.IsOpen());
    }
    std::string notWave = Wave(16, "", 2, "ab");
    std::memcpy(&notWave[8], "AVI ", 4);
    WriteFile(dir / "avi.wav", notWave);
    EXPECT_EQ(wave.Open((dir / "avi.wav").c_str()), 0);
    WriteFile(dir / "short.wav", Wave(16, "", 2, "ab").substr(0, 30));
    EXPECT_EQ(wave.Open((dir / "short.wav").c_str()), 0);
    WriteFile(dir / "tiny.wav", Wave(4, "", 2, "ab"));
    EXPECT_EQ(wave.Open((dir / "tiny.wav").c_str()), 0) << "format chunk too small";
    EXPECT_EQ(wave.Open((dir / "missing.wav").c_str()), 0);
}

TEST_F(Beeper, WaveSamplesBecomeMillisecondTones)
{
    TempDir dir;
    CWaveFile wave;
    WriteFile(dir / "odd.wav", Wave(16, "", 5, std::string("\x0A\x14\xFF\xFF\x07", 5)));
    ASSERT_EQ(wave.Open((dir / "odd.wav").c_str()), 1);
    EXPECT_EQ(wave.PlayWithSpeeker(), 1);
    EXPECT_EQ(speaker->Tones(), (std::vector<Tone>{{150, 1}, {2550, 1}, {35, 1}}))
        << "an odd last byte pairs with silence";
    EXPECT_FALSE(wave.IsOpen());

    std::string big(2100, '\x01');
    WriteFile(dir / "big.wav", Wave(16, "", 2100, big));
    ASSERT_EQ(wave.Open((dir / "big.wav").c_str()), 1);
    EXPECT_EQ(wave.PlayWithSpeeker(), 1);
    EXPECT_EQ(speaker->Tones().size(), 3u + 1050u) << "blocks of 1024 bytes";

    WriteFile(dir / "cut.wav", Wave(16, "", 100, "abcd"));
    ASSERT_EQ(wave.Open((dir / "cut.wav").c_str()), 1);
    EXPECT_EQ(wave.PlayWithSpeeker(), 0) << "the data ends early";
    EXPECT_FALSE(wave.IsOpen());
    EXPECT_EQ(wave.PlayWithSpeeker(), 0);
}
