// The restart switch and a program that restarts itself: the new process is started with the
// old one's id and ends it, but only while the old one is still its parent.
#include "ProbeProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace {

using apptest::ProbeDir;
using apptest::ProbeOptions;
using apptest::ProbeProcess;
using apptest::ProbeResult;
using apptest::RunProbe;
using Lines = std::vector<std::string>;

Lines FlagOf(const ProbeDir &dir, std::vector<std::string> args)
{
    args.push_back("flag");
    return RunProbe(dir, args).Starting("flag=");
}

TEST(RestartFlag, TakesTheParentIdAfterAColon)
{
    ProbeDir dir;
    EXPECT_EQ(FlagOf(dir, {"/ApplicationRestart:1234"}), Lines{"flag=1 id=1234 is=1"});
    EXPECT_EQ(FlagOf(dir, {"/ApplicationRestart"}), Lines{"flag=1 id=0 is=1"});
    EXPECT_EQ(FlagOf(dir, {"--at/ApplicationRestart:77"}), Lines{"flag=1 id=77 is=1"});
    EXPECT_EQ(FlagOf(dir, {}), Lines{"flag=0 id=0 is=0"});

    ProbeDir named("ApplicationRestart");
    EXPECT_EQ(FlagOf(named, {}), Lines{"flag=0 id=0 is=0"})
        << "the program's own path is not an argument";
}

TEST(Restart, TheNewProcessStartsInTheProgramDirectoryAndEndsTheOldOne)
{
    ProbeDir dir("bin");
    ProbeOptions options;
    options.env["KEST_PROBE_RESTART_STEPS"] = "flag,cwd,kill";
    ProbeProcess old(dir, {"restart", "wait:30000"}, options);
    const ProbeResult ended = old.Wait(20000);
    ASSERT_TRUE(ended.ended);
    EXPECT_EQ(ended.signal, SIGKILL) << ::testing::PrintToString(ended.lines);
    EXPECT_GE(ended.elapsedMs, 3000u) << "the parent is given 3000 ms";

    const ProbeResult result = old.WaitForLine("kill=");
    const std::string self = std::to_string(old.Pid());
    EXPECT_TRUE(result.Has("restart=1"));
    EXPECT_TRUE(
        result.Has("dbg:CreateProcessW: \"" + dir.Program() + "\" /ApplicationRestart:" + self));
    EXPECT_TRUE(result.Has("flag=1 id=" + self + " is=1"));
    EXPECT_TRUE(result.Has("cwd=" + dir.ProgramDir()));
    EXPECT_TRUE(result.Has("kill=1")) << ::testing::PrintToString(result.lines);
    EXPECT_TRUE(result.Has("dbg:Parent's process terminate sucessfully"));
}

TEST(Restart, AParentThatHasEndedIsNotSignalled)
{
    ProbeDir dir;
    ProbeOptions options;
    options.env["KEST_PROBE_RESTART_STEPS"] = "kill";
    ProbeProcess old(dir, {"restart", "exit:5"}, options);
    EXPECT_EQ(old.Wait().exitCode, 5);
    const ProbeResult result = old.WaitForLine("kill=");
    EXPECT_TRUE(result.Has("kill=0")) << ::testing::PrintToString(result.lines);
    EXPECT_TRUE(result.Has("dbg:OpenProcess Parent failed"));
}

TEST(KillParent, RefusesAProcessThatIsNotItsParentAndAMissingId)
{
    ProbeDir bystanderDir;
    ProbeProcess bystander(bystanderDir, {"wait:30000"});
    ProbeDir dir;
    ProbeResult result =
        RunProbe(dir, {"/ApplicationRestart:" + std::to_string(bystander.Pid()), "kill"});
    EXPECT_TRUE(result.Has("kill=0"));
    EXPECT_TRUE(result.Has("dbg:OpenProcess Parent failed"));
    EXPECT_EQ(waitpid(bystander.Pid(), nullptr, WNOHANG), 0) << "the bystander still runs";

    result = RunProbe(dir, {"/ApplicationRestart", "kill"});
    EXPECT_TRUE(result.Has("kill=0"));
    EXPECT_TRUE(result.Has("dbg:ParentProcessID missing"));
}

} // namespace
