// Closing the framework: the order of the close, what is left afterwards, and the exit
// watchdog of a close on a thread.
#include "ProbeProcess.h"

#include <gtest/gtest.h>

namespace {

using apptest::ProbeDir;
using apptest::ProbeResult;
using apptest::RunProbe;
using apptest::Section;
using Lines = std::vector<std::string>;

TEST(Close, TearsDownInReverseThenClosesTheServicesAndTheCoresForGood)
{
    ProbeDir dir;
    dir.Settings(Section("System", {{"Object", "{\"Obj1\"}"}}) +
                 Section("Obj1", {{"class", "CProbeC"}}) +
                 Section("Extra", {{"class", "CProbeC"}}));
    const ProbeResult result =
        RunProbe(dir, {"start:ProbeA,ProbeB", "box", "create:Extra", "close", "after"});
    EXPECT_EQ(result.exitCode, 3) << ::testing::PrintToString(result.lines);
    EXPECT_EQ(result.Journal("create=1", "close=1"),
              (Lines{// auto objects
                     "deactive CProbeC Obj1", "kill CProbeC Obj1", "delete CProbeC Obj1",
                     // start list: all deactivated, then all deleted, the last first
                     "deactive CProbeB", "kill CProbeB", "deactive CProbeA", "kill CProbeA",
                     "delete CProbeB", "delete CProbeA",
                     // every object still live; the registry deletes what it created
                     "deactive CProbeC Extra", "kill CProbeC Extra", "delete CProbeC Extra"}));
    EXPECT_EQ(result.Starting("close="), Lines{"close=1"});
    // Services and cores stay closed: no log, no components, no patrol managers, no mail,
    // no tasks.
    for (const char *closed :
         {"log=0", "create=0", "patrol=0", "devpatrol=0", "mail=0", "pooladd=0"})
        EXPECT_TRUE(result.Has(closed)) << closed;
}

TEST(Close, AnObjectInBothTheStartListAndTheObjectListIsClosedOnce)
{
    ProbeDir dir;
    dir.Settings(Section("System", {{"Object", "{\"Named\"}"}}));
    const ProbeResult result = RunProbe(dir, {"start:ProbeNamed", "close"});
    EXPECT_EQ(result.exitCode, 3) << ::testing::PrintToString(result.lines);
    EXPECT_EQ(result.Journal("start=1", "close=1"),
              (Lines{"deactive CProbeNamed Named", "kill CProbeNamed Named",
                     "delete CProbeNamed Named"}));
}

// Settings read on other threads all through the close: the providers that go with the
// framework's objects (the distributed-system branch with its object) wait for the reads
// inside them. A read of a freed provider ends the probe through the sanitizer.
TEST(Close, SettingsReadDuringTheCloseNeverMeetAProviderThatHasGone)
{
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ProbeDir dir;
        const ProbeResult result =
            RunProbe(dir, {"start:DSystem", "readers:4", "wait:50", "close", "stopreaders"});
        EXPECT_EQ(result.exitCode, 3) << ::testing::PrintToString(result.lines);
        EXPECT_TRUE(result.Has("close=1"));
        EXPECT_TRUE(result.Has("reads=1"));
    }
}

TEST(Close, OnAThreadReturnsOnceTheCloseHasEnded)
{
    ProbeDir dir;
    const ProbeResult result = RunProbe(dir, {"start:ProbeA", "close-thread", "kernel"});
    EXPECT_EQ(result.exitCode, 3) << ::testing::PrintToString(result.lines);
    EXPECT_TRUE(result.Has("delete CProbeA"));
    EXPECT_TRUE(result.Has("close=1"));
}

TEST(Close, OnAThreadThatHangsEndsTheProcessWithExitCodeZeroAfterLoggingIt)
{
    ProbeDir dir;
    const ProbeResult result = RunProbe(dir, {"start:ProbeHang", "close-thread", "kernel"});
    ASSERT_TRUE(result.ended);
    EXPECT_EQ(result.exitCode, 0) << ::testing::PrintToString(result.lines);
    EXPECT_GE(result.elapsedMs, 3000u);
    EXPECT_LT(result.elapsedMs, 15000u);
    EXPECT_TRUE(result.Has("deactive CProbeHang"));
    EXPECT_TRUE(result.Starting("close=").empty()) << "the caller never returns";
    const std::string hang = "CloseApplication has not ended within 3000 ms: the process ends";
    EXPECT_TRUE(result.Has("dbg:" + hang));
    EXPECT_TRUE(result.Has("log:LOG_ERROR:" + hang));
}

} // namespace
