// An operator's abort of a record task, end to end through the record task list on a Betacam
// VTR and a VDCP encoder, both simulated over pseudo-terminals: an abort at every status the
// steps pass through, for SEQ, TIME and TRIGGER jobs, with and without keeping the clip; an
// abort while the start thread plays the tape or waits for a server's start; and an abort
// racing the steps' status changes.
// The manual clock is stepped from the test.
#include "tests/cliptasks/ClipTaskTestKit.h"

#include "drivers/tasks/CVideoRecTaskList.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/VdcpSim.h"
#include "tests/sim/VtrSim.h"

#include <algorithm>
#include <string>
#include <thread>

using namespace cliptest;

namespace {

using V = std::vector<int32_t>;

constexpr int kVtrPort = 51; // COM
constexpr int kRecPort = 52; // board port
constexpr int kSrcPort = 53; // board port
constexpr int32_t kLength = 25;
constexpr uint32_t kReopenMs = 5100; // a closed encoder port opens again after 5 s

// The VTR's commands (group and CMD-2) and the encoder's (group and CMD-2) the test follows.
constexpr uint8_t kVtrPlay[] = {0x20, 0x01};
constexpr uint8_t kVtrStop[] = {0x20, 0x00};
constexpr uint8_t kEncRecordInit[] = {0x20, 0x23};
constexpr uint8_t kEncRecord[] = {0x10, 0x02};
constexpr uint8_t kEncStop[] = {0x10, 0x00};
constexpr uint8_t kServerPlay[] = {0x10, 0x01};

// Where an abort comes: when the steps tell `status` (with `param`, -1 any) for the `nth` time.
struct Point {
    int32_t status;
    int32_t param = -1;
    int nth = 1;
    bool recorderSet = false; // the recorder has been initialised for the clip by then
    bool recording = false;   // the recorder has started by then
};

std::string Name(const Point &p)
{
    return std::to_string(p.status) + (p.param >= 0 ? "(" + std::to_string(p.param) + ")" : "") +
           (p.nth > 1 ? " #" + std::to_string(p.nth) : "");
}

// Every status a task passes through, in order (TRIGGER adds its wait).
std::vector<Point> Points(int32_t type)
{
    std::vector<Point> points = {{RECTASK_ACTIVE},
                                 {RECTASK_DEVCHKBEGIN},
                                 {RECTASK_DEVCHKING, 1},
                                 {RECTASK_DEVCHKING, 2},
                                 {RECTASK_DEVCHKING, 2, 2},
                                 {RECTASK_DEVCHKING, 0},
                                 {RECTASK_BEGININIT},
                                 {RECTASK_INITING, 4},
                                 {RECTASK_INITING, 1, 1, true},
                                 {RECTASK_INITED, -1, 1, true}};
    if (type == RECTASK_TRIGGER) points.push_back({RECTASK_WAITING, -1, 1, true});
    points.push_back({RECTASK_BEGINREC, -1, 1, true});
    for (const Point p : std::initializer_list<Point>{{RECTASK_RECORDING, 2},
                                                      {RECTASK_RECORDING, 50},
                                                      {RECTASK_RECORDED},
                                                      {RECTASK_STOPBEGIN},
                                                      {RECTASK_STOPPED},
                                                      {RECTASK_STOPPING},
                                                      {RECTASK_STOPPED, -1, 2},
                                                      {RECTASK_EJECTBEGIN},
                                                      {RECTASK_EJECTED}}) {
        Point recorded = p;
        recorded.recorderSet = recorded.recording = true;
        points.push_back(recorded);
    }
    return points;
}

template <class Command>
int IndexOf(const std::vector<Command> &commands, const uint8_t (&kind)[2], int from = 0)
{
    for (int i = std::max(from, 0); i < static_cast<int>(commands.size()); ++i)
        if ((commands[i].cmd1 & 0x70) == kind[0] && commands[i].cmd2 == kind[1]) return i;
    return -1;
}

template <class Command>
size_t CountOf(const std::vector<Command> &commands, const uint8_t (&kind)[2])
{
    return static_cast<size_t>(std::count_if(commands.begin(), commands.end(), [&](const auto &c) {
        return (c.cmd1 & 0x70) == kind[0] && c.cmd2 == kind[1];
    }));
}

class RecTaskAbortTest : public ::testing::Test {
protected:
    RecTaskAbortTest() : m_previousDebug(glSetDebugFlag(1))
    {
        recLine.Sim().SetStopIdleAfter(0); // the encoder is idle again after a stop
        m_devMgr.Initlization("/etc/tvx/DevMgr");
        // Made here, one after the other, with the clock moving for their exchanges.
        for (const char *id : {"VTR1", "REC1", "SRC1"})
            EXPECT_NE(devtest::RunAdvancing([&] { return m_devMgr.GetVideoDev(id, 1, nullptr); }),
                      nullptr)
                << id;
    }
    ~RecTaskAbortTest() override { glSetDebugFlag(m_previousDebug); }

    CVideoRecA &Rec() { return *m_devMgr.GetVideoRecDev("REC1", 1, nullptr); }

    // A fresh start for the next job: the encoder claimed anew (an abort may have closed it)
    // and the commands of both devices forgotten.
    void Reopen()
    {
        CVideoRecA &rec = Rec();
        rec.DevClose();
        devtest::StepClock(kReopenMs);
        EXPECT_EQ(devtest::RunAdvancing([&] { return rec.DevOpen(); }), 1);
        EXPECT_EQ(std::string(rec.GetDevName()), "DEV_VSRC3");
        vtr().ClearCommands();
        enc().ClearCommands();
        srcLine.Sim().ClearCommands();
    }

    // Submits a job of `type` recording `clip` for kLength frames from the in-point 1000; a
    // TIME job starts 61 s from now.
    static int Submit(CVideoRecTaskList &list, const std::string &id, int32_t type,
                      const std::string &clip, Receiver &receiver, const char *source = "VTR1",
                      const char *tape = "TAPE0001", const char *tapeType = "LVSRC_VTR")
    {
        CVideoRecTask task;
        task.m_strTaskID = id.c_str();
        task.m_strSrcDev = source;
        task.m_strRecDev = "REC1";
        task.m_nTaskType = type;
        task.m_strTapeID = tape; // a server's clip for a server
        task.m_strTapeType = tapeType;
        task.m_strClipID = clip.c_str();
        task.m_nLength = kLength;
        task.m_tsom = 1000;
        task.m_nStart = type == RECTASK_TIME ? devtest::ManualTime::Now() + 61 * kSecond : 0;
        receiver.calls.answer[RECTASK_WAITING] = 1; // the operator starts a TRIGGER job
        task.SetCallBack(&receiver, &Receiver::OnStatus);
        return list.Submit(task);
    }

    // Steps the clock until the task's thread has ended.
    static bool Ended(CVideoRecTaskList &list, const char *id)
    {
        return devtest::AdvanceUntil(
            [&] {
                CVideoRecTask task;
                return list.GetTaskAt(id, task) && !task.m_hThread.Valid();
            },
            100, 300000);
    }

    // Lines of the task's that end with `tail`.
    static size_t LinesEnding(devtest::LogCapture &log, const std::string &id,
                              const std::string &tail)
    {
        const std::string head = "录制任务:<" + id + ">";
        size_t count = 0;
        for (const std::string &line : log.Lines())
            count += line.rfind(head, 0) == 0 && line.size() >= tail.size() &&
                     line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
        return count;
    }

    kestsim::VtrSim &vtr() { return vtrLine.Sim(); }
    kestsim::VdcpSim &enc() { return recLine.Sim(); }

    devtest::ManualTime m_time;
    int m_previousDebug;
    kit::SimLine<kestsim::VtrSim> vtrLine{plat::SerialPortKind::COM, kVtrPort};
    kit::SimLine<kestsim::VdcpSim> recLine{plat::SerialPortKind::SIO, kRecPort};
    kit::SimLine<kestsim::VdcpSim> srcLine{plat::SerialPortKind::SIO, kSrcPort};
    devtest::MountedSettings m_settings{
        devtest::Section("DevMgr",
                         {{"VideoSrc", "{\"VTR1\",\"SRC1\"}"}, {"VideoRec", "{\"REC1\"}"}}) +
        devtest::Section("VTR1",
                         {{"class", "CVideoSrc_BetaCamX"}, {"Com", std::to_string(kVtrPort)}}) +
        devtest::Section("REC1", {{"class", "CVideoRec_VDCP"},
                                  {"Com", std::to_string(kRecPort)},
                                  {"Encoder", "3"},
                                  {"ComTimeout", "20000"},
                                  {"Duplex", "0"}}) +
        devtest::Section("SRC1", {{"class", "CVideoSrcX_VDCP"},
                                  {"Com", std::to_string(kSrcPort)},
                                  {"Decoder", "1"},
                                  {"ComTimeout", "300"}})};
    CVideoDevMgr m_devMgr;
    devtest::DeleteDevices m_cleanup{{"VTR1", "REC1", "SRC1"}};
};

class RecTaskAbortByType : public RecTaskAbortTest,
                           public ::testing::WithParamInterface<int32_t> {};

TEST_P(RecTaskAbortByType, AnAbortAtEveryStatusStandsIsToldLastOnceAndUndoesTheSetUp)
{
    const int32_t type = GetParam();
    int job = 0;
    for (const Point &at : Points(type)) {
        for (const int keep : {0, 1}) {
            const std::string id = "T" + std::to_string(++job);
            const std::string name = id + " aborted at " + Name(at) + (keep ? " keeping" : "");
            Reopen();
            devtest::LogCapture dub{"LOG_DUB"};
            CVideoRecTaskList list;
            Receiver told;
            int seen = 0;
            size_t abortCall = 0; // the calls told up to the abort
            told.onStatus = [&](const char *task, int32_t status, int32_t param) {
                if (status != at.status || (at.param >= 0 && param != at.param)) return;
                if (++seen != at.nth) return;
                list.AbortTask(task, keep);
                abortCall = told.calls.Size();
            };
            ASSERT_EQ(Submit(list, id, type, "C" + std::to_string(job), told), 1) << name;
            ASSERT_TRUE(Ended(list, id.c_str())) << name;
            ASSERT_NE(abortCall, 0u) << name << ": never reached";

            const int32_t end = at.recording && keep ? RECTASK_FINISHED : RECTASK_ABORT;
            EXPECT_EQ(list.GetTaskStatus(id.c_str()), end) << name;
            const V statuses = told.calls.Statuses();
            EXPECT_EQ(statuses.back(), end) << name << ": the abort decides the task's end";
            EXPECT_EQ(std::count(statuses.begin(), statuses.end(), RECTASK_ABORT) +
                          std::count(statuses.begin(), statuses.end(), RECTASK_FINISHED),
                      1)
                << name << ": told once";
            V after(statuses.begin() + static_cast<std::ptrdiff_t>(abortCall), statuses.end());
            after.erase(std::remove(after.begin(), after.end(), RECTASK_RECORDING), after.end());
            if (at.status == RECTASK_RECORDING) {
                // The recording loop takes it up and the stop runs with its statuses.
                EXPECT_EQ(after, (V{keep ? RECTASK_REVERSEABORT : RECTASK_ABORTING, 14, 15, 17, 16,
                                    17, 18, 20, end}))
                    << name;
            } else {
                EXPECT_EQ(after, V{end}) << name << ": no step's status after the abort";
            }

            const auto vtrCommands = vtr().Commands();
            const auto encCommands = enc().Commands();
            const int init = IndexOf(encCommands, kEncRecordInit);
            if (at.recording) {
                const int recorded = IndexOf(encCommands, kEncRecord);
                EXPECT_EQ(CountOf(encCommands, kEncRecord), 1u) << name;
                EXPECT_GE(IndexOf(encCommands, kEncStop, recorded), 0) << name;
                EXPECT_GE(IndexOf(vtrCommands, kVtrStop, IndexOf(vtrCommands, kVtrPlay)), 0)
                    << name;
            } else {
                EXPECT_EQ(CountOf(encCommands, kEncRecord), 0u) << name << ": nothing recorded";
                EXPECT_EQ(CountOf(vtrCommands, kVtrPlay), 0u) << name << ": nothing played";
                EXPECT_EQ(init >= 0, at.recorderSet) << name;
                if (at.recorderSet) {
                    EXPECT_GE(IndexOf(encCommands, kEncStop, init), 0) << name << ": stopped";
                    EXPECT_EQ(std::string(Rec().GetDevName()), "DEV_VSRC_UNKNOWN")
                        << name << ": closed";
                }
                EXPECT_EQ(LinesEnding(dub, id, " 被手工终止录制") +
                              LinesEnding(dub, id, " 录制任务开始前被手动中止"),
                          1u)
                    << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, RecTaskAbortByType,
                         ::testing::Values(RECTASK_SEQ, RECTASK_TIME, RECTASK_TRIGGER),
                         [](const auto &info) {
                             return std::string(
                                 CVideoRecTaskList::TaskTypeToString(info.param).GetString());
                         });

TEST_F(RecTaskAbortTest, AnAbortWhileTheTapeRollsToTheStartStopsItAndRecordsNothing)
{
    int job = 0;
    for (const int32_t type : {RECTASK_SEQ, RECTASK_TIME, RECTASK_TRIGGER}) {
        const std::string id = "P" + std::to_string(++job);
        const std::string name = CVideoRecTaskList::TaskTypeToString(type).GetString();
        Reopen();
        CVideoRecTaskList list;
        Receiver told;
        ASSERT_EQ(Submit(list, id, type, "P" + std::to_string(job), told), 1) << name;
        // The start thread plays the tape and watches it for seconds before the recorder
        // starts.
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return vtr().Count(0x20, 0x01) > 0; }, 100, 120000))
            << name;
        const int64_t aborted = devtest::ManualTime::Now();
        list.AbortTask(id.c_str(), 1);
        ASSERT_TRUE(Ended(list, id.c_str())) << name;
        EXPECT_LT(devtest::ManualTime::Now() - aborted, kSecond)
            << name << ": the start thread's watch of the tape ends with the abort";
        EXPECT_EQ(list.GetTaskStatus(id.c_str()), RECTASK_ABORT) << name;
        EXPECT_EQ(told.calls.Statuses().back(), RECTASK_ABORT) << name;
        const auto vtrCommands = vtr().Commands();
        const auto encCommands = enc().Commands();
        EXPECT_GE(IndexOf(vtrCommands, kVtrStop, IndexOf(vtrCommands, kVtrPlay)), 0) << name;
        EXPECT_EQ(CountOf(encCommands, kEncRecord), 0u) << name;
        EXPECT_GE(IndexOf(encCommands, kEncStop, IndexOf(encCommands, kEncRecordInit)), 0) << name;
    }
}

// A TIME job from a server: its start thread waits for the start (up to a minute from status
// 12 on). An abort then ends the task at once and the server is never told to play.
TEST_F(RecTaskAbortTest, AnAbortWhileATimedPlayWaitsForItsStartEndsItAtOnce)
{
    srcLine.Sim().AddClip("SRCCLIP", 2500);
    for (const int keep : {0, 1}) {
        const std::string id = keep ? "W2" : "W1";
        Reopen();
        CVideoRecTaskList list;
        Receiver told;
        ASSERT_EQ(Submit(list, id, RECTASK_TIME, "W" + id, told, "SRC1", "SRCCLIP", "LVSRC_DEC"), 1)
            << id;
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] {
                const V statuses = told.calls.Statuses();
                return std::count(statuses.begin(), statuses.end(), RECTASK_BEGINREC) > 0;
            },
            100, 120000))
            << id << ": never reached status 12";
        devtest::StepClock(2000); // the start thread waits for the start, 59 s away
        const int64_t aborted = devtest::ManualTime::Now();
        list.AbortTask(id.c_str(), keep);
        ASSERT_TRUE(Ended(list, id.c_str())) << id;
        EXPECT_LT(devtest::ManualTime::Now() - aborted, kSecond) << id << ": not at the start";
        EXPECT_EQ(list.GetTaskStatus(id.c_str()), RECTASK_ABORT) << id;
        EXPECT_EQ(told.calls.Statuses().back(), RECTASK_ABORT) << id;
        EXPECT_EQ(CountOf(srcLine.Sim().Commands(), kServerPlay), 0u) << id << ": nothing played";
        EXPECT_EQ(CountOf(enc().Commands(), kEncRecord), 0u) << id << ": nothing recorded";
    }
}

TEST_F(RecTaskAbortTest, AnAbortRacingAStatusChangeIsNeverLost)
{
    int job = 0;
    for (const int32_t type : {RECTASK_SEQ, RECTASK_TIME, RECTASK_TRIGGER})
        for (const int32_t at : {RECTASK_INITED, RECTASK_BEGINREC, RECTASK_RECORDING})
            for (const int keep : {0, 1}) {
                const std::string id = "R" + std::to_string(++job);
                const std::string name = id + " " +
                                         CVideoRecTaskList::TaskTypeToString(type).GetString() +
                                         " racing " + std::to_string(at) + (keep ? " keeping" : "");
                Reopen();
                CVideoRecTaskList list;
                Receiver told;
                std::thread abort;
                // The abort comes from another thread while the steps go on to the next status.
                told.onStatus = [&](const char *task, int32_t status, int32_t) {
                    if (status != at || abort.joinable()) return;
                    abort = std::thread([&list, task = std::string(task), keep] {
                        list.AbortTask(task.c_str(), keep);
                    });
                };
                ASSERT_EQ(Submit(list, id, type, "R" + std::to_string(job), told), 1);
                const bool ended = Ended(list, id.c_str());
                if (abort.joinable()) abort.join();
                ASSERT_TRUE(ended) << name;

                const bool recorded = CountOf(enc().Commands(), kEncRecord) > 0;
                const int32_t end = recorded && keep ? RECTASK_FINISHED : RECTASK_ABORT;
                EXPECT_EQ(list.GetTaskStatus(id.c_str()), end) << name;
                const V statuses = told.calls.Statuses();
                EXPECT_EQ(statuses.back(), end) << name;
                EXPECT_EQ(std::count(statuses.begin(), statuses.end(), end), 1) << name;
                const auto encCommands = enc().Commands();
                EXPECT_GE(IndexOf(encCommands, kEncStop, IndexOf(encCommands, kEncRecordInit)), 0)
                    << name << ": the encoder is left stopped";
            }
}

} // namespace
