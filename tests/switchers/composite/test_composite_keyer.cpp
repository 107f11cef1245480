// The composite keyer: the key map it builds from its settings, and how a take is split by
// logical key onto its member keyers (stub keyers that record what they are given).
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/switchers/composite/CVideoKey_Multi.h"

using namespace keytest;
using devtest::Section;

namespace {

std::string CompositeSettings()
{
    return Section("DevMgr", {{"VideoAux", R"({"MULTI","LOOP","LONELY","DSK1","CG"})"}}) +
           Section("DSK1", {{"class", "CStubKeyer"}, {"DeviceTypeId", "LVAUX_KEYER"}}) +
           Section("CG", {{"class", "CStubKeyer"}, {"DeviceTypeId", "LVAUX_TITLE"}}) +
           Section("MULTI", {{"class", "CVideoKey_Multi"},
                             {"DeviceTypeId", "LVAUX_KEYER"},
                             {"Logo", "2"},
                             {"KeyCount", "3"},
                             {"Key1", R"({"dsk1:3","cg:1"})"},
                             {"Key2", R"({"cg:2","dsk1:0",":4","ghost4","GHOST:7"})"},
                             {"Key4", R"({"never:1"})"}}) +
           // Names itself: the take must not turn into endless recursion.
           Section("LOOP", {{"class", "CVideoKey_Multi"},
                            {"DeviceTypeId", "LVAUX_KEYER"},
                            {"KeyCount", "1"},
                            {"Key1", R"({"loop:1","Dsk1:5"})"}}) +
           Section(
               "LONELY",
               {{"class", "CVideoKey_Multi"}, {"DeviceTypeId", "LVAUX_KEYER"}, {"KeyCount", "2"}});
}

class CompositeKeyerTest : public KeyerTest {
protected:
    CompositeKeyerTest() : KeyerTest(CompositeSettings()) {}

    CVideoKey_Multi &Composite(const char *id)
    {
        auto *keyer = dynamic_cast<CVideoKey_Multi *>(m_devMgr.GetVideoDev(id, 1, nullptr));
        EXPECT_NE(keyer, nullptr) << id;
        return *keyer;
    }

    static int32_t Take(CVideoKey_Multi &keyer, CVideoKeyTaskArray &tasks)
    {
        return devtest::RunAdvancing([&] { return keyer.DevTaskDirectTake(tasks.Get()); });
    }

    // A task whose start has passed, so the members take at once.
    tagVideoKeyTask Due(int32_t id, int32_t key, int32_t op, int32_t functype = 0)
    {
        return KeyTask(id, "MULTI", Now() - kSecond, functype, "", key, op);
    }

    devtest::DeleteDevices m_composites{{"MULTI", "LOOP", "LONELY", "DSK1", "CG"}};
};

TEST_F(CompositeKeyerTest, KeyMapTakesWellFormedItemsAndIndexesDevicesByFirstMention)
{
    CVideoKey_Multi &multi = Composite("MULTI");
    ASSERT_EQ(multi.GetKeyCount(), 3);
    const CStringArray &devices = multi.GetDeviceList();
    ASSERT_EQ(devices.GetSize(), 3) << "NEVER lies beyond KeyCount";
    EXPECT_STREQ(devices[0], "DSK1");
    EXPECT_STREQ(devices[1], "CG");
    EXPECT_STREQ(devices[2], "GHOST");

    const auto &map = multi.GetKeyMap();
    ASSERT_EQ(map.size(), 3u);
    EXPECT_EQ(map[0].devices, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(map[0].keys, (std::vector<int32_t>{3, 1}));
    // Key 0, an empty id and an item without a colon are dropped.
    EXPECT_EQ(map[1].devices, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(map[1].keys, (std::vector<int32_t>{2, 7}));
    EXPECT_TRUE(map[2].devices.empty());
}

TEST_F(CompositeKeyerTest, TakeSplitsTasksByLogicalKeyAndRewritesTheCallersTasks)
{
    CVideoKey_Multi &multi = Composite("MULTI");
    CVideoKeyTaskArray tasks;
    tasks->Add(Due(1, 1, 1));
    tasks->Add(Due(2, 99, 0, KEYTASK_FUNC_LOGO)); // the Logo setting: logical key 2
    tasks->Add(Due(3, 9, 1));                     // no such logical key
    EXPECT_EQ(Take(multi, tasks), 1);

    const auto dsk = Keyer("DSK1").Groups();
    ASSERT_EQ(dsk.size(), 1u);
    ASSERT_EQ(dsk[0].size(), 1u);
    EXPECT_EQ(dsk[0][0].TaskID, 1);
    EXPECT_EQ(dsk[0][0].nKey, 3);
    EXPECT_EQ(dsk[0][0].nop, 1);

    const auto cg = Keyer("CG").Groups();
    ASSERT_EQ(cg.size(), 1u) << "one group per device and take";
    ASSERT_EQ(cg[0].size(), 2u);
    EXPECT_EQ(cg[0][0].nKey, 1);
    EXPECT_EQ(cg[0][0].nop, 1);
    EXPECT_EQ(cg[0][1].TaskID, 2);
    EXPECT_EQ(cg[0][1].nKey, 2);
    EXPECT_EQ(cg[0][1].nop, 0);
    EXPECT_EQ(cg[0][1].functype, 0) << "members see plain keyer tasks";

    EXPECT_EQ(tasks->GetPtrAt(0)->nKey, 1);
    EXPECT_EQ(tasks->GetPtrAt(1)->nKey, 2);
    EXPECT_EQ(tasks->GetPtrAt(1)->functype, 0);
    EXPECT_EQ(tasks->GetPtrAt(2)->nKey, 9);
}

TEST_F(CompositeKeyerTest, TasksForNoMemberOrAVirtualOrEmptyCompositeDriveNothing)
{
    CVideoKey_Multi &multi = Composite("MULTI");
    CVideoKeyTaskArray tasks;
    tasks->Add(Due(1, 0, 1));
    tasks->Add(Due(2, 4, 1));
    EXPECT_EQ(Take(multi, tasks), 1) << "the take itself was done";

    CVideoKeyTaskArray keyed;
    keyed->Add(Due(3, 1, 1));
    multi.OnSetVirtual(1);
    EXPECT_EQ(Take(multi, keyed), 0);
    multi.OnSetVirtual(0);
    EXPECT_EQ(Take(Composite("LONELY"), keyed), 0);

    EXPECT_TRUE(Keyer("DSK1").Groups().empty());
    EXPECT_TRUE(Keyer("CG").Groups().empty());
}

TEST_F(CompositeKeyerTest, AMissingMemberIsPassedOverAndASelfReferenceDoesNotRecurse)
{
    CVideoKeyTaskArray tasks;
    tasks->Add(Due(1, 2, 1));
    EXPECT_EQ(Take(Composite("MULTI"), tasks), 1);
    ASSERT_EQ(Keyer("CG").Groups().size(), 1u) << "driven although GHOST is unknown";

    CVideoKeyTaskArray looped;
    looped->Add(Due(2, 1, 1));
    EXPECT_EQ(Take(Composite("LOOP"), looped), 1);
    const auto dsk = Keyer("DSK1").Groups();
    ASSERT_EQ(dsk.size(), 1u);
    EXPECT_EQ(dsk[0][0].nKey, 5);
}

} // namespace
