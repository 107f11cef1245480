// Named pointers within one module: slots by type and name, main slots, walks, and the
// manager's own operations. Each test uses types of its own.
#include "KestLib20/KestNamedPtr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace {

IKestNamedPtr *Manager()
{
    IKestNamedPtr **slot = IKestNamedPtr::FindMgr(nullptr);
    return slot ? *slot : nullptr;
}

std::vector<void **> SlotsOf(const char *type)
{
    std::vector<void **> slots;
    IKestNamedPtr *manager = nullptr;
    void **slot = nullptr;
    while (void **next = glGetNextNamedPtr(type, &manager, &slot)) slots.push_back(next);
    EXPECT_EQ(manager, nullptr);
    EXPECT_EQ(slot, nullptr);
    return slots;
}

} // namespace

TEST(NamedPtr, SlotsAreFoundByTypeAndNameAndDescribeThemselves)
{
    void **slot = glNewNamedPtr("Test.Named.Find.1", "first");
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(glGetNamedPtr("Test.Named.Find.1", "first"), slot);
    EXPECT_EQ(glGetNamedPtr("Test.Named.Find.1", "First"), nullptr) << "names are exact";
    EXPECT_EQ(glGetNamedPtr("Test.Named.Find.2", "first"), nullptr);
    EXPECT_NE(glNewNamedPtr("Test.Named.Find.1", "first"), slot) << "a new slot each time";

    char type[64], name[64];
    ASSERT_EQ(glGetNamedPtrInfo(slot, type, name, sizeof type), 1);
    EXPECT_STREQ(type, "Test.Named.Find.1");
    EXPECT_STREQ(name, "first");
    // Buffers are cut and terminated; a null buffer is skipped.
    ASSERT_EQ(glGetNamedPtrInfo(slot, type, nullptr, 5), 1);
    EXPECT_STREQ(type, "Test");

    EXPECT_EQ(glSetNamedPtrName(slot, "renamed"), 1);
    EXPECT_EQ(glGetNamedPtr("Test.Named.Find.1", "renamed"), slot);
    int notASlot = 0;
    void *fake = &notASlot;
    EXPECT_EQ(glSetNamedPtrName(&fake, "x"), 0);
    EXPECT_EQ(glGetNamedPtrInfo(&fake, type, name, sizeof type), 0);
}

TEST(NamedPtr, InfoNeverSplitsATwoByteCharacter)
{
    const char gbkName[] = "ab\xC9\xE8\xB1\xB8"; // "ab" and two GBK characters
    void **slot = glNewNamedPtr("Test.Named.Gbk.1", gbkName);
    char name[8];
    ASSERT_EQ(glGetNamedPtrInfo(slot, nullptr, name, 4), 1);
    EXPECT_STREQ(name, "ab");
    ASSERT_EQ(glGetNamedPtrInfo(slot, nullptr, name, 5), 1);
    EXPECT_STREQ(name, "ab\xC9\xE8");
}

TEST(NamedPtr, WalkVisitsTheTypesSlotsInRegistrationOrder)
{
    void **a = glNewNamedPtr("Test.Named.Walk.1", "a");
    glNewNamedPtr("Test.Named.Walk.2", "other");
    void **b = glNewNamedPtr("Test.Named.Walk.1", "b");
    void **c = glNewNamedPtr("Test.Named.Walk.1", "c");
    EXPECT_EQ(SlotsOf("Test.Named.Walk.1"), (std::vector<void **>{a, b, c}));
    EXPECT_EQ(glDeleteNamedPtr(b), 1);
    EXPECT_EQ(SlotsOf("Test.Named.Walk.1"), (std::vector<void **>{a, c}));
    EXPECT_TRUE(SlotsOf("Test.Named.Walk.None").empty());
}

TEST(NamedPtr, SelectionPrefersAFilledMainSlotThenAFilledSlot)
{
    const char *type = "Test.Named.Main.1";
    void **empty = glNewNamedPtr(type, "empty");
    void **filled = glNewNamedPtr(type, "filled");
    EXPECT_EQ(SmartSelectMainPtr(type), nullptr) << "no slot holds a pointer";
    EXPECT_EQ(glGetMainNamedPtr(type), nullptr);

    int service = 0;
    *filled = &service;
    EXPECT_EQ(SmartSelectMainPtr(type), filled);
    EXPECT_EQ(glGetMainNamedPtr(type), filled);

    // A main slot set by hand wins once it holds a pointer.
    EXPECT_EQ(glSetMainNamedPtr(type, empty), 1);
    EXPECT_EQ(SmartSelectMainPtr(type), filled) << "the main slot is empty";
    EXPECT_EQ(glSetMainNamedPtr(nullptr, empty), 1) << "the type comes from the slot";
    *empty = &service;
    EXPECT_EQ(SmartSelectMainPtr(type), empty);
    EXPECT_EQ(SmartGetMainPtr(type), empty);

    int notASlot = 0;
    void *fake = &notASlot;
    EXPECT_EQ(glSetMainNamedPtr("", &fake), 0) << "no type to be had";
    EXPECT_EQ(SmartSetMainPtr("Test.Named.Main.Unknown", filled), 1);
    EXPECT_EQ(glGetMainNamedPtr("Test.Named.Main.Unknown"), nullptr) << "no manager knows it";
}

TEST(NamedPtr, DeletingASlotForgetsItAsMainAndDropsAnEmptyType)
{
    const char *type = "Test.Named.Delete.1";
    void **slot = glNewNamedPtr(type, "only");
    int service = 0;
    *slot = &service;
    ASSERT_EQ(SmartSelectMainPtr(type), slot);

    auto typeKnown = [&] {
        char text[64];
        for (int i = 0; Manager()->EnumNamedPtrType(i, text, sizeof text); ++i)
            if (strcmp(text, type) == 0) return true;
        return false;
    };
    EXPECT_TRUE(typeKnown());
    EXPECT_EQ(*Manager()->GetActivePtr(), Manager()) << "published in its module's slot";
    EXPECT_EQ(glDeleteNamedPtr(slot), 1);
    EXPECT_EQ(glGetMainNamedPtr(type), nullptr);
    EXPECT_EQ(glGetNamedPtr(type, "only"), nullptr);
    EXPECT_FALSE(typeKnown());
    EXPECT_EQ(glDeleteNamedPtr(slot), 0);
}

TEST(NamedPtr, SlotsComeAndGoFromManyThreadsWhileOthersWalk)
{
    const char *type = "Test.Named.Threads.1";
    std::atomic<bool> stop{false};
    std::thread walker([&] {
        while (!stop) {
            IKestNamedPtr *manager = nullptr;
            void **slot = nullptr;
            while (glGetNextNamedPtr(type, &manager, &slot)) {
            }
        }
    });
    std::vector<std::thread> workers;
    std::vector<std::vector<void **>> kept(8);
    for (int t = 0; t < 8; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                void **slot = glNewNamedPtr(type, "w");
                if (i % 2) {
                    kept[static_cast<size_t>(t)].push_back(slot);
                } else {
                    EXPECT_EQ(glDeleteNamedPtr(slot), 1);
                }
            }
        });
    for (auto &w : workers) w.join();
    stop = true;
    walker.join();

    std::vector<void **> all = SlotsOf(type);
    std::set<void **> expected;
    for (auto &k : kept) expected.insert(k.begin(), k.end());
    EXPECT_EQ(std::set<void **>(all.begin(), all.end()), expected);
    EXPECT_EQ(all.size(), 800u);
    for (void **slot : all) glDeleteNamedPtr(slot);
}
