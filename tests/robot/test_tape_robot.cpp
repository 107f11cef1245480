// The robot logic against a simulated robot: initialisation with its status lines and the
// inventory it reads, finding labels, loading and unloading a VTR bay through the command
// queue with progress reports, the rescue after a failed move, the robot's own messages, the
// test's tolerance of failures, and failed writes.
#include "tests/robot/RobotTestKit.h"

#include "drivers/model/DeviceCalls.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <vector>

using namespace robottest;
using namespace cartcell;
using devtest::Eventually;

namespace {

std::pair<int32_t, int32_t> Report(int32_t state, int32_t step)
{
    return {state, step};
}

struct Progress {
    std::mutex lock;
    std::vector<std::pair<int32_t, int32_t>> reports; // state, step
    static void Record(void *user, const char *, int32_t state, int32_t step)
    {
        auto *self = static_cast<Progress *>(user);
        std::lock_guard<std::mutex> lk(self->lock);
        self->reports.emplace_back(state, step);
    }
    std::vector<std::pair<int32_t, int32_t>> Get()
    {
        std::lock_guard<std::mutex> lk(lock);
        return reports;
    }
};

class TapeRobot : public RobotLineTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        StockShelf(sim);
        robot->SetName("AIR");
        ASSERT_EQ(robot->Serial().DevOpen(), 1);
    }
    void TearDown() override { robot->Shutdown(); }

    tagCartCommand Load(const char *clip, int32_t bay, Progress *progress = nullptr)
    {
        tagCartCommand command;
        command.nCommand = CART_LOAD;
        command.nTarget = Make(kBay, bay);
        command.nTimeOut = 10000;
        snprintf(command.szClipID, sizeof command.szClipID, "%s", clip);
        if (progress) {
            command.pfnProgress = Progress::Record;
            command.pUserData = progress;
        }
        return command;
    }

    std::shared_ptr<CTapeRobot> robot =
        std::make_shared<CTapeRobot>(std::make_unique<CQuickRobotLine>());
};

} // namespace

TEST_F(TapeRobot, InitialisationReadsTheInventoryAndPostsItsStatus)
{
    ASSERT_EQ(robot->Initialize(), 1);
    EXPECT_EQ(status.Lines(), (std::vector<std::string>{
                                  R"(<DEV="AIR" ID="2" MSG="ThomsonAIR Initialize Begin">)",
                                  R"(<DEV="AIR" ID="5" MSG="NEWS0001,AD000042,">)",
                                  R"(<DEV="AIR" ID="3" MSG="ThomsonAIR Initialize Succeed">)"}));
    // One row scan per row letter, a label read per present cell (2 columns x 3 rows).
    EXPECT_EQ(sim.Count("@["), 3u);
    EXPECT_EQ(sim.Count("?R"), 6u);
    EXPECT_EQ(sim.Count("@~"), 1u);

    int32_t cell = 0;
    // Labels are compared on their last 8 characters without case.
    ASSERT_EQ(robot->FindClip("  XXnews0001 ", &cell), 1);
    EXPECT_EQ(cell, Make(kShelf, 0));
    ASSERT_EQ(robot->FindClip("AD000042", &cell), 1);
    EXPECT_EQ(cell, Make(kShelf, 32 + 6));
    EXPECT_EQ(robot->FindClip("NOTHERE", &cell), 0);
    EXPECT_EQ(cell, -1);

    tagCartCell slot;
    ASSERT_EQ(robot->GetCell(Make(kLoadPort, 1), slot), 1) << "A07 is load-port slot 1";
    EXPECT_EQ(slot.nState, kLoadPort);
    EXPECT_EQ(slot.bPresent, 1);
    EXPECT_EQ(slot.bOccupied, 0);
    EXPECT_EQ(robot->GetCell(Make(kBay, 4), slot), 0);
    EXPECT_EQ(robot->GetCell(Make(kGripper, 2), slot), 0);
}

TEST_F(TapeRobot, ARefusingOrBusyRobotFailsTheInitialisation)
{
    sim.SetRefuse(true);
    EXPECT_EQ(robot->Initialize(), 0);
    EXPECT_TRUE(status.Has(R"(<DEV="AIR" ID="4" MSG="ThomsonAIR Initialize Failed">)"));
    sim.SetRefuse(false);
    sim.SetBusy(true);
    EXPECT_EQ(robot->Initialize(), 0);
}

TEST_F(TapeRobot, AQueuedInitialisationReportsEachStep)
{
    const auto done = [](int32_t step) { return Report(CART_STEP_DONE, step); };
    // Robot status, the two grippers, the presence map, a scan per row, a label per present
    // cell, the finish.
    std::vector<std::pair<int32_t, int32_t>> steps{Report(CART_STARTED, 0), done(13), done(12),
                                                   done(14), done(5)};
    steps.insert(steps.end(), 3, done(7));
    steps.insert(steps.end(), 6, done(8));
    steps.push_back(done(28));
    steps.push_back(Report(CART_DONE, 0));
    const struct {
        bool refuse;
        int32_t result;
        std::vector<std::pair<int32_t, int32_t>> reports;
    } cases[] = {
        {false, 1, steps},
        {true, 0, {Report(CART_STARTED, 0), Report(CART_STEP_FAILED, 13), Report(CART_FAILED, 0)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refuse);
        sim.SetRefuse(c.refuse);
        Progress progress;
        tagCartCommand initialise;
        initialise.nCommand = CART_INITIALIZE;
        initialise.nTimeOut = 10000;
        initialise.pfnProgress = Progress::Record;
        initialise.pUserData = &progress;
        EXPECT_EQ(robot->RunCommand(initialise), c.result);
        EXPECT_EQ(progress.Get(), c.reports);
    }
}

TEST_F(TapeRobot, LoadingCarriesTheCassetteAndReportsEachStep)
{
    ASSERT_EQ(robot->Initialize(), 1);
    Progress progress;
    ASSERT_EQ(robot->RunCommand(Load("AD000042", 2, &progress)), 1);
    EXPECT_EQ(sim.Bay(2), "AD000042");
    EXPECT_EQ(sim.Shelf("B07"), "");
    tagCartCell bay;
    ASSERT_EQ(robot->GetCell(Make(kBay, 2), bay), 1);
    EXPECT_STREQ(bay.szLabel, "AD000042");
    EXPECT_EQ(sim.Count("S B07UP"), 1u);
    EXPECT_EQ(sim.Count("S L02UM"), 1u);

    const auto reports = progress.Get();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), Report(CART_STARTED, 0));
    EXPECT_EQ(reports.back(), Report(CART_DONE, 0));
    EXPECT_NE(std::find(reports.begin(), reports.end(), Report(CART_STEP_DONE, 9)), reports.end());
    EXPECT_NE(std::find(reports.begin(), reports.end(), Report(CART_STEP_DONE, 10)), reports.end());
    tagCartCommand left;
    EXPECT_EQ(robot->GetCommand(0, left), 0) << "the command has left the queue";

    // The bay holds the wanted cassette: nothing moves. Another label in it fails.
    sim.ClearCommands();
    EXPECT_EQ(robot->RunCommand(Load("ad000042", 2)), 1);
    EXPECT_EQ(sim.Count("S "), 0u);
    EXPECT_EQ(robot->RunCommand(Load("NEWS0001", 2)), 0);

    // Taking it out goes to the first free load-port slot (A06).
    tagCartCommand unload;
    unload.nCommand = CART_UNLOAD;
    unload.nSource = Make(kBay, 2);
    unload.nTarget = Make(kLoadPort, kAnyFree);
    unload.nTimeOut = 10000;
    ASSERT_EQ(robot->RunCommand(unload), 1);
    EXPECT_EQ(sim.Shelf("A06"), "AD000042");
    int32_t cell = 0;
    ASSERT_EQ(robot->FindClip("AD000042", &cell), 1);
    EXPECT_EQ(cell, Make(kLoadPort, 0));
}

TEST_F(TapeRobot, AFailedMoveWithACassetteStuckInTheBayQueuesItsRescue)
{
    ASSERT_EQ(robot->Initialize(), 1);
    sim.SetBay(1, "STUCK001");
    sim.SetGripperFails(true);
    sim.SetStuck(true);
    {
        // The inventory does not know the bay's cassette; loading the wanted one fails at the
        // first pick, and the robot status tells of a cassette stuck in the bay.
        Progress progress;
        EXPECT_EQ(robot->RunCommand(Load("NEWS0001", 1, &progress)), 0);
        EXPECT_EQ(progress.Get().back(), Report(CART_FAILED, 0));
    }
    // The rescue, which may already be under way, picks from the bay and takes the cassette
    // to a free load-port slot.
    EXPECT_TRUE(Eventually([&] { return sim.Bay(1).empty(); }));
    EXPECT_TRUE(Eventually([&] { return sim.Shelf("A06") == "STUCK001"; }));
}

TEST_F(TapeRobot, RobotMessagesRefreshTheInventory)
{
    ASSERT_EQ(robot->Initialize(), 1);
    status.Clear();
    sim.ClearCommands();
    // Closing the load port without having opened it changes nothing; the two messages
    // arrive in one block.
    sim.SetShelf("A08", "FRESH001");
    ASSERT_TRUE(sim.Send({0x02, 0x08, 0x00, 0x0A, 0x01, 0x06, 0x07}));
    tagCartCommand queued;
    ASSERT_TRUE(Eventually([&] { return robot->GetCommand(0, queued) == 0; }));
    EXPECT_EQ(sim.Count("?R"), 0u);
    ASSERT_TRUE(sim.Send({0x02, 0x08, 0x00, 0x0A}));
    ASSERT_TRUE(Eventually([&] { return status.Count() >= 2; }));
    EXPECT_EQ(sim.Count("?R"), 10u) << "the ten load-port slots are read again";
    EXPECT_EQ(status.Lines()[0], R"(<DEV="AIR" ID="1" MSG="LoadPort Door Closed">)");
    EXPECT_EQ(status.Lines()[1], R"(<DEV="AIR" ID="5" MSG="NEWS0001,FRESH001,AD000042,">)");

    // The front door closed: the shelf is read again.
    sim.SetShelf("B01", "LATE0001");
    status.Clear();
    ASSERT_TRUE(sim.Send({0x02, 0x00, 0x00, 0x02}));
    ASSERT_TRUE(
        Eventually([&] { return status.Has(R"(<DEV="AIR" ID="0" MSG="Front Door Closed">)"); }));
    int32_t cell = 0;
    EXPECT_EQ(robot->FindClip("LATE0001", &cell), 1);
    EXPECT_EQ(CTapeRobot::MessageName(39), std::string("LPREQ"));
    EXPECT_EQ(CTapeRobot::MessageName(47), std::string("Error Command"));
}

TEST_F(TapeRobot, TheTestToleratesNineteenFailuresAfterAPass)
{
    sim.SetRefuse(true);
    EXPECT_EQ(robot->Test(), 0) << "the first test must pass";
    sim.SetRefuse(false);
    EXPECT_EQ(robot->Test(), 1);
    sim.SetRefuse(true);
    for (int i = 1; i <= 19; ++i) EXPECT_EQ(robot->Test(), 1) << "failure " << i;
    EXPECT_EQ(robot->Test(), 0);
    sim.SetRefuse(false);
    EXPECT_EQ(robot->Test(), 1);
}

TEST_F(TapeRobot, WhileACommandAwaitsItsReplyTheTestAnswersAtOnceFromTheLastState)
{
    ASSERT_EQ(robot->Initialize(), 1);
    devtest::ManualTime time; // the move's reply wait runs on it and ends only when it moves
    const auto testsSent = [&] {
        size_t sent = 0;
        for (const kestsim::Bytes &body : sim.Commands()) sent += body == kestsim::Bytes{0x40};
        return sent;
    };
    const auto queueEmpty = [&] {
        tagCartCommand command;
        return robot->GetCommand(0, command) == 0;
    };
    const struct {
        const char *name;
        int refusedTests; // after a test that passed
        int32_t answer;
    } cases[] = {
        {"after a pass", 0, 1},
        {"after twenty failures", 20, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(robot->Test(), 1);
        sim.SetRefuse(true);
        for (int i = 0; i < c.refusedTests; ++i) robot->Test();
        sim.SetRefuse(false);
        sim.SetSilent(true);
        const size_t moves = sim.Count("S ");
        ASSERT_GT(robot->QueueCommand(Load("NEWS0001", 1)), 0);
        ASSERT_TRUE(Eventually([&] { return sim.Count("S ") > moves; })) << "a move under way";
        const size_t tests = testsSent();
        auto test = std::async(std::launch::async, [&] { return robot->Test(); });
        devtest::FinishStepping<int32_t> finish(test);
        ASSERT_TRUE(Eventually([&] {
            return test.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        })) << "the test waits behind the move";
        EXPECT_EQ(test.get(), c.answer);
        EXPECT_EQ(testsSent(), tests) << "nothing sent";
        // The move's reply wait runs out.
        sim.SetSilent(false);
        ASSERT_TRUE(devtest::AdvanceUntil(queueEmpty, 5000, 600000));
    }
}

// A command run on a task unit's thread: once the unit stops nothing is queued, and a stop
// while the command waits behind a move ends the wait at once and takes the command off the
// queue, so no cassette moves on its own after it.
TEST_F(TapeRobot, AUnitThreadThatIsToStopMovesNoCassette)
{
    ASSERT_EQ(robot->Initialize(), 1);
    devtest::ManualTime time; // the move's reply wait runs on it and ends only when it moves
    const auto onUnit = [&](CCallingUnit &unit, int32_t bay) {
        return std::async(std::launch::async, [&unit, this, bay] {
            CCallingUnit::Scope bound(&unit);
            return robot->RunCommand(Load("NEWS0001", bay));
        });
    };
    const size_t moves = sim.Count("S ");
    {
        CCallingUnit stopped;
        stopped.AskStop();
        auto run = onUnit(stopped, 1);
        ASSERT_EQ(run.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(run.get(), 0);
        tagCartCommand queued;
        EXPECT_EQ(robot->GetCommand(0, queued), 0) << "nothing queued";
    }
    sim.SetSilent(true);
    ASSERT_GT(robot->QueueCommand(Load("NEWS0001", 1)), 0);
    ASSERT_TRUE(Eventually([&] { return sim.Count("S ") > moves; })) << "a move under way";
    const size_t underWay = sim.Count("S ");
    CCallingUnit unit;
    auto run = onUnit(unit, 2);
    devtest::FinishStepping<int32_t> finish(run);
    ASSERT_TRUE(Eventually([&] {
        tagCartCommand queued;
        return robot->GetCommand(1, queued) != 0;
    })) << "queued behind the move";
    unit.AskStop();
    ASSERT_EQ(run.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(run.get(), 0);
    // The first move's reply wait runs out; the second never starts.
    sim.SetSilent(false);
    ASSERT_TRUE(devtest::AdvanceUntil(
        [&] {
            tagCartCommand command;
            return robot->GetCommand(0, command) == 0;
        },
        5000, 600000));
    EXPECT_EQ(sim.Count("S "), underWay) << "no move after the stop";
}

TEST_F(RobotLineTest, AFailedWriteFailsTheCommandWithoutAReplyWait)
{
    ASSERT_TRUE(pty.Valid());
    CQuickRobotLine line;
    ASSERT_EQ(line.DevOpen(), 1);
    sim.Peer().HangUp(); // every write to the line fails from now on
    uint32_t first = 0, second = 0;
    CString label;
    struct Call {
        const char *name;
        std::function<int32_t()> call;
    };
    const Call calls[] = {
        {"run", [&] { return line.Run(4); }},
        {"gripper", [&] { return line.BayGripper(1, 'A', 'O'); }},
        {"status", [&] { return line.QueryStatus(1, first, second); }},
        {"label", [&] { return line.ReadLabel('A', 1, label); }},
        {"presence", [&] { return line.ReadPresenceMap(first); }},
    };
    for (const Call &c : calls) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(c.call(), 0) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
            << c.name;
    }
}
