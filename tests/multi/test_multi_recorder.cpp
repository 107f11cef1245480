// The multi-channel recorder: every operation forwarded to the members in order, a member
// missing from the device manager and one that fails reported as failures while the others
// still act, a member that starts too slowly, and more members than one wait could once take.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/sources/multi/CVideoRec_Multi.h"

#include <gtest/gtest.h>

#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using devtest::Section;

// What the test recorders do and saw, by instance name.
struct Member {
    bool fail = false;
    uint32_t recordMs = 0; // how long a record start takes (test clock)
    std::vector<std::string> calls;
    std::optional<int64_t> startTime;
    bool recorded = false;
};

std::mutex g_lock;
std::map<std::string, Member> g_members;

Member Seen(const std::string &name)
{
    std::lock_guard<std::mutex> lk(g_lock);
    return g_members[name];
}

class CMultiTestRec : public CVideoRecA {
    DECLARE_KEST_CLASS(CMultiTestRec)

    CMultiTestRec() : CVideoRecA("LVREC_MULTI_TEST") {}

    int DevIsOpen() override { return Note("IsOpen"); }
    int DevTest(const char *argument) override { return Note("Test " + std::string(argument)); }
    int DevRecInit(const char *clip, timecode_t dur, int flag) override
    {
        return Note("RecInit " + std::string(clip) + " " + std::to_string(dur) + " " +
                    std::to_string(flag));
    }
    int DevStop() override { return Note("Stop"); }
    int DevDeleteClipID(const char *clip) override { return Note("Delete " + std::string(clip)); }
    int DevGetClipSize(const char *clip, timecode_t &size) override
    {
        size = 100 + static_cast<timecode_t>(std::string(GetInstanceName()).size());
        return Note("Size " + std::string(clip));
    }
    int DevRecord(const int64_t *at) override
    {
        uint32_t ms = 0;
        {
            std::lock_guard<std::mutex> lk(g_lock);
            Member &m = g_members[GetInstanceName()];
            if (at) m.startTime = *at;
            ms = m.recordMs;
        }
        if (ms) m_evNever.Wait(ms);
        const int result = Note("Record");
        std::lock_guard<std::mutex> lk(g_lock);
        g_members[GetInstanceName()].recorded = result != 0;
        return result;
    }

private:
    int Note(const std::string &call)
    {
        std::lock_guard<std::mutex> lk(g_lock);
        Member &m = g_members[GetInstanceName()];
        m.calls.push_back(call);
        return m.fail ? 0 : 1;
    }

    plat::Event m_evNever{true, false};
};

constexpr int kMany = 70;

std::string ManyIds()
{
    std::string ids;
    for (int i = 0; i < kMany; ++i) ids += (i ? ",\"R" : "\"R") + std::to_string(i) + "\"";
    return ids;
}

std::string Config()
{
    std::string text =
        Section("DevMgr", {{"VideoRec", "{\"MOK\",\"MEMPTY\",\"MMISSING\",\"MFAIL\",\"MSLOW\","
                                        "\"MMANY\",\"RA\",\"RB\",\"BAD\",\"SLOW\"," +
                                            ManyIds() + "}"}}) +
        Section("MOK", {{"class", "CVideoRec_Multi"}, {"Dev", "{\"RA\",\"RB\"}"}}) +
        Section("MEMPTY", {{"class", "CVideoRec_Multi"}}) +
        Section("MMISSING", {{"class", "CVideoRec_Multi"}, {"Dev", "{\"GHOST\",\"RA\"}"}}) +
        Section("MFAIL", {{"class", "CVideoRec_Multi"}, {"Dev", "{\"BAD\",\"RB\"}"}}) +
        Section("MSLOW", {{"class", "CVideoRec_Multi"}, {"Dev", "{\"RA\",\"SLOW\"}"}}) +
        Section("MMANY", {{"class", "CVideoRec_Multi"}, {"Dev", "{" + ManyIds() + "}"}});
    for (const char *name : {"RA", "RB", "BAD", "SLOW"})
        text += Section(name, {{"class", "CMultiTestRec"}});
    for (int i = 0; i < kMany; ++i)
        text += Section("R" + std::to_string(i), {{"class", "CMultiTestRec"}});
    return text;
}

std::vector<std::string> DeviceNames()
{
    std::vector<std::string> names{"MOK",   "MEMPTY", "MMISSING", "MFAIL", "MSLOW",
                                   "MMANY", "RA",     "RB",       "BAD",   "SLOW"};
    for (int i = 0; i < kMany; ++i) names.push_back("R" + std::to_string(i));
    return names;
}

class MultiRecorderTest : public ::testing::Test {
protected:
    MultiRecorderTest()
    {
        std::lock_guard<std::mutex> lk(g_lock);
        g_members.clear();
        g_members["BAD"].fail = true;
        g_members["SLOW"].recordMs = 15000;
    }
    void SetUp() override { ASSERT_EQ(mgr->Initlization("/etc/tvx/DevMgr"), 1); }
    void TearDown() override { mgr->Finalization(); }

    CVideoRec_Multi *Multi(const char *id)
    {
        auto *multi = dynamic_cast<CVideoRec_Multi *>(mgr->GetVideoRecDev(id, 1, nullptr));
        EXPECT_NE(multi, nullptr) << id;
        return multi;
    }
    // DevRecord with a start time that lives only for the call, on another thread while the
    // clock steps; the result and the test time it took.
    std::pair<int, uint32_t> Record(CVideoRec_Multi &multi, int64_t at)
    {
        const uint32_t start = plat::GetTickCount();
        const int result = devtest::RunAdvancing([&multi, at] {
            const int64_t local = at;
            return multi.DevRecord(&local);
        });
        return {result, plat::TickElapsed(start)};
    }

    devtest::ManualTime time;
    devtest::MountedSettings settings{Config()};
    devtest::DeleteDevices cleanup{DeviceNames()};
    std::unique_ptr<CVideoDevMgr> mgr = std::make_unique<CVideoDevMgr>();
};

IMPLEMENT_KEST_CLASS(CMultiTestRec, CVideoRecA)

TEST_F(MultiRecorderTest, OperationsAreForwardedAndEveryFailureCounts)
{
    struct Case {
        const char *id;
        int isOpen, test, recInit, stop, remove, size, record;
        timecode_t length;
    } cases[] = {
        {"MOK", 1, 1, 1, 1, 1, 1, 1, 102},      // RA answers the size first
        {"MEMPTY", 1, 1, 1, 1, 1, 0, 1, -1},    // no members: every aggregate succeeds
        {"MMISSING", 0, 0, 0, 0, 0, 1, 0, 102}, // GHOST is not configured
        {"MFAIL", 0, 0, 0, 0, 0, 1, 0, 102},    // BAD fails; RB answers the size
    };
    for (const Case &c : cases) {
        CVideoRec_Multi *multi = Multi(c.id);
        ASSERT_NE(multi, nullptr);
        EXPECT_EQ(multi->DevIsOpen(), c.isOpen) << c.id;
        EXPECT_EQ(multi->DevTest("probe"), c.test) << c.id;
        EXPECT_EQ(multi->DevRecInit("NEWS", 250, 2), c.recInit) << c.id;
        EXPECT_EQ(multi->DevStop(), c.stop) << c.id;
        EXPECT_EQ(multi->DevDeleteClipID("OLD"), c.remove) << c.id;
        timecode_t length = -1;
        EXPECT_EQ(multi->DevGetClipSize("NEWS", length), c.size) << c.id;
        EXPECT_EQ(length, c.length) << c.id;
        EXPECT_EQ(Record(*multi, 123456789).first, c.record) << c.id;
        EXPECT_EQ(multi->DevClose(), 1);
    }
    // The members that were there acted although another failed or was missing, in order.
    EXPECT_EQ(Seen("RB").calls,
              (std::vector<std::string>{"IsOpen", "Test probe", "RecInit NEWS 250 2", "Stop",
                                        "Delete OLD", "Record", "RecInit NEWS 250 2", "Stop",
                                        "Delete OLD", "Size NEWS", "Record"}))
        << "asked for the size only where the member before it did not answer";
    EXPECT_EQ(Seen("RA").startTime, 123456789);
    EXPECT_EQ(Seen("BAD").calls.front(), "IsOpen") << "checked first, so the check stopped there";

    CStringArray ids;
    EXPECT_EQ(Multi("MMISSING")->GetEmbenddedDev(ids), 2);
    EXPECT_EQ(std::string(ids[0]), "GHOST");
}

TEST_F(MultiRecorderTest, AMemberSlowerThanTenSecondsFailsTheRecordButGoesOn)
{
    CVideoRec_Multi *multi = Multi("MSLOW");
    ASSERT_NE(multi, nullptr);
    const auto [result, ms] = Record(*multi, 987654321);
    EXPECT_EQ(result, 0);
    EXPECT_GE(ms, CVideoRec_Multi::kRecordWaitMs);
    EXPECT_LT(ms, 15000u) << "the caller waits no longer than the bound";
    EXPECT_TRUE(Seen("RA").recorded);
    EXPECT_FALSE(Seen("SLOW").recorded);
    // The slow member finishes on its own, with the start time it was given.
    EXPECT_TRUE(devtest::AdvanceUntil([] { return Seen("SLOW").recorded; }, 500));
    EXPECT_EQ(Seen("SLOW").startTime, 987654321);
}

TEST_F(MultiRecorderTest, MoreThanSixtyFourMembersStartTogether)
{
    CVideoRec_Multi *multi = Multi("MMANY");
    ASSERT_NE(multi, nullptr);
    EXPECT_EQ(Record(*multi, 5).first, 1);
    for (int i = 0; i < kMany; ++i) EXPECT_TRUE(Seen("R" + std::to_string(i)).recorded) << i;
    {
        std::lock_guard<std::mutex> lk(g_lock);
        g_members["R69"].fail = true;
    }
    EXPECT_EQ(Record(*multi, 5).first, 0) << "the last member failed";
}

} // namespace
