// Starting the framework: the start list, the program's settings file and the keys of its
// System setting, each in a probe process of its own.
#include "ProbeProcess.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using apptest::ProbeDir;
using apptest::ProbeOptions;
using apptest::ProbeResult;
using apptest::RunProbe;
using apptest::Section;
using Lines = std::vector<std::string>;

// The probe ran every step and came back through its exit handlers.
void ExpectClean(const ProbeResult &result)
{
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.exitCode, 3) << ::testing::PrintToString(result.lines);
}

TEST(StartList, CreatesEachClassOnceAndInitialisesAllBeforeActivatingAny)
{
    ProbeDir dir;
    const ProbeResult result = RunProbe(
        dir, {"start:ProbeA, CProbeB ,probea,CProbeA,Bogus,Kestnut,Net,System,KestApp", "close"});
    ExpectClean(result);
    EXPECT_TRUE(result.Has("start=2")) << "duplicates, unknown names and the system's own "
                                          "classes are skipped";
    EXPECT_EQ(result.Starting("init "), (Lines{"init CProbeA", "init CProbeB"}));
    const Lines &lines = result.lines;
    const auto at = [&](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    EXPECT_LT(at("init CProbeB"), at("active CProbeA"));
    EXPECT_LT(at("active CProbeA"), at("active CProbeB"));
}

TEST(StartList, WithoutClassesTheSystemStillStartsWithItsAutoObjects)
{
    ProbeDir dir;
    dir.Settings(Section("System", {{"Object", "{\"Obj1\"}"}}) +
                 Section("Obj1", {{"class", "CProbeC"}}));
    ProbeResult result = RunProbe(dir, {"start-null", "status", "close"});
    ExpectClean(result);
    EXPECT_TRUE(result.Has("start=0"));
    EXPECT_TRUE(result.Has("status=5")) << "the system object is active";
    EXPECT_TRUE(result.Has("active CProbeC Obj1"));

    result = RunProbe(dir, {"start:Kestnut", "close"});
    ExpectClean(result);
    EXPECT_TRUE(result.Has("start=0")) << "the retry with C finds CKestnut itself";
}

TEST(SettingsFile, IsLookedForBesideTheProgramThenInTheSystemDirectoryThenInTheParent)
{
    // "status" builds the system object, which mounts the file.
    const std::vector<std::string> read{"status", "read:/etc/tvx/Where|Found"};
    ProbeDir dir;
    dir.Write("system/probe.CLSID", Section("Where", {{"Found", "system"}}));
    ProbeOptions options;
    options.env["KEST_SYSTEM_DIR"] = dir.Root() + "/system";
    EXPECT_TRUE(RunProbe(dir, read, options).Has("read=system"));

    dir.Settings(Section("Where", {{"Found", "program"}}));
    EXPECT_TRUE(RunProbe(dir, read, options).Has("read=program"));

    ProbeDir nested("bin");
    nested.Write("probe.CLSID", Section("Where", {{"Found", "parent"}}));
    options = {};
    options.cwd = "work";
    nested.Write("work/.keep", "");
    EXPECT_TRUE(RunProbe(nested, read, options).Has("read=parent"))
        << "\"../\" is taken from the current directory";
}

TEST(SettingsFile, IsMountedEvenWhenMissingSoTheFirstWriteCreatesItBesideTheProgram)
{
    ProbeDir dir;
    const ProbeResult result =
        RunProbe(dir, {"status", "read:/etc/tvx/New|Key", "write:/etc/tvx/New|Key|42",
                       "read:/etc/tvx/New|Key"});
    EXPECT_EQ(result.Starting("read="), (Lines{"read=<none>", "read=42"}));
    const std::string file = dir.ReadFile("probe.CLSID");
    EXPECT_NE(file.find("[New]"), std::string::npos) << file;
    EXPECT_NE(file.find("42"), std::string::npos) << file;
}

TEST(SystemSetting, ConfigMountsFilesNamedRelativeToTheProgram)
{
    ProbeDir dir;
    dir.Settings(Section("System", {{"Config", "{\"Dev\",\"NoFile\",\"Absent\"}"},
                                    {"Dev", "<Path=\"/etc/dev\" File=\"conf\\dev.cfg\">"},
                                    {"NoFile", "<Path=\"/etc/nf\">"}}));
    dir.Write("conf/dev.cfg", Section("VTR1", {{"class", "CProbeA"}}));
    const ProbeResult result = RunProbe(dir, {"start:", "read:/etc/dev/VTR1|class", "close"});
    ExpectClean(result);
    EXPECT_TRUE(result.Has("read=CProbeA"));
}

TEST(SystemSetting, DllLoadsLibrariesByNameOrThroughTheKeyOfThatName)
{
    ProbeDir dir;
    const std::vector<std::string> steps{"start:PluginThing", "close"};
    EXPECT_TRUE(RunProbe(dir, steps).Has("start=0")) << "unknown before its library is loaded";

    dir.Settings(Section("System", {{"DLL", "{\"kest_app_plugin\"}"}}));
    ProbeResult result = RunProbe(dir, steps);
    ExpectClean(result);
    EXPECT_TRUE(result.Has("start=1"));
    EXPECT_TRUE(result.Has("active CPluginThing"));

    dir.Settings(Section("System", {{"DLL", "{\"Plugin\"}"}, {"Plugin", "kest_app_plugin"}}));
    EXPECT_TRUE(RunProbe(dir, steps).Has("start=1"));

    dir.Settings("");
    result = RunProbe(dir, {"using:kest_app_plugin,NoSuchLibrary,", "start:PluginThing", "close"});
    EXPECT_TRUE(result.Has("using=1"));
    EXPECT_TRUE(result.Has("start=1"));
}

TEST(SystemSetting, DebugIsOnFromTheSystemObjectsConstructionUntilTheKeySaysOtherwise)
{
    ProbeDir dir;
    const std::vector<std::string> steps{"debug", "status", "debug", "start:", "debug", "close"};
    EXPECT_EQ(RunProbe(dir, steps).Starting("debug="), (Lines{"debug=0", "debug=1", "debug=1"}))
        << "off without a system object";

    dir.Settings(Section("System", {{"Debug", "false"}}));
    EXPECT_EQ(RunProbe(dir, steps).Starting("debug="), (Lines{"debug=0", "debug=1", "debug=0"}));
}

TEST(SystemSetting, TaskPoolSizesTheApartmentsAndTheTraceGoesToTheDebugLog)
{
    // Normal tasks take at most half the apartments: (TaskPool / 4 + TaskPool * 2) / 2.
    ProbeDir dir;
    dir.Settings(Section("System", {{"TaskPool", "10"}}));
    ProbeResult result = RunProbe(dir, {"start:", "pool:40", "close"});
    ExpectClean(result);
    EXPECT_TRUE(result.Has("pool=11")) << ::testing::PrintToString(result.Starting("pool"));
    EXPECT_TRUE(result.Has("pooldone=40"));
    EXPECT_TRUE(
        result.Has("log:LOG_TASKPOOL:trace@SmartCreateThread; Start a new apartment(total=1)"));

    dir.Settings("");
    result = RunProbe(dir, {"start:", "pool:40", "close"});
    EXPECT_TRUE(result.Has("pool=36")) << ::testing::PrintToString(result.Starting("pool"));
}

TEST(AutoObjects, ObjectListsComponentsCreatedAfterTheStartListAndOnlyOnce)
{
    ProbeDir dir;
    dir.Settings(Section("System", {{"Object", "{\" Obj1 \",\"\",\"Obj2\",\"Missing\"}"}}) +
                 Section("Obj1", {{"class", "CProbeC"}}) + Section("Obj2", {{"class", "CProbeA"}}));
    const ProbeResult result =
        RunProbe(dir, {"start:ProbeB", "auto", "autocreate:Obj1, ,Missing,Obj1", "close"});
    ExpectClean(result);
    EXPECT_EQ(result.Starting("init "),
              (Lines{"init CProbeB", "init CProbeC Obj1", "init CProbeA Obj2"}));
    EXPECT_EQ(result.Starting("active "),
              (Lines{"active CProbeB", "active CProbeC Obj1", "active CProbeA Obj2"}));
    EXPECT_TRUE(result.Has("auto=0")) << "a second call while the list holds objects";
    EXPECT_TRUE(result.Has("autocreate=2")) << "Obj1 found twice";
}

TEST(DistributedSystem, PublishesTheProgramToTheStationWhileActive)
{
    ProbeDir dir;
    dir.Settings(Section("DSystem", {{"Group", "{\"Studio\"}"}, {"Title", "Probe Title"}}));
    const ProbeResult result =
        RunProbe(dir, {"kernel", "start:Net,DSystem", "kernel", "read:/etc/net/#My|P_NAME",
                       "read:/etc/net/#My|P_TITLE", "read:/etc/net/#My|GROUP", "close", "kernel"});
    ExpectClean(result);
    EXPECT_TRUE(result.Has("start=1")) << "Net has no class yet";
    EXPECT_EQ(result.Starting("kernel="), (Lines{"kernel=0", "kernel=1", "kernel=0"}));
    EXPECT_EQ(result.Starting("read="),
              (Lines{"read=probe", "read=Probe Title", "read=Studio;Kest;probe"}));
}

} // namespace
