// The module record of this program and the ring checks, within one module. Rings of several
// modules are tested in tests/KestLib20/ring.
#include "KestLib20/KestModule.h"

#include <gtest/gtest.h>

namespace {

CKestModule *OwnRecord()
{
    tagServEntry *entry = glGetModuleServEntry(0);
    return entry ? *entry->module : nullptr;
}

// A ring of hand-made records, each with its own current-module variable.
struct FakeRing {
    static constexpr int kSize = 3;
    CKestModule records[kSize];
    CKestModule *variables[kSize];
    tagServEntry table[kSize][CKestModule::kServiceCount] = {};

    FakeRing()
    {
        for (int i = 0; i < kSize; ++i) {
            CKestModule &r = records[i];
            r = {sizeof(CKestModule),
                 CKestModule::kMagic,
                 1,
                 CKestModule::kVersion,
                 &records[(i + 1) % kSize],
                 &records[(i + kSize - 1) % kSize],
                 table[i],
                 CKestModule::kServiceCount,
                 &variables[i]};
            variables[i] = &r;
        }
    }
};

} // namespace

TEST(ModuleRecord, ThisModuleHasAValidRecordAtTheMainOfItsRing)
{
    CKestModule *record = OwnRecord();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->size, sizeof(CKestModule));
    EXPECT_EQ(record->magic, 0x55AA3388u);
    EXPECT_EQ(record->one, 1u);
    EXPECT_EQ(record->version, 513u);
    EXPECT_EQ(record->serviceCount, 64u);
    EXPECT_EQ(*record->current, record);
    EXPECT_TRUE(IsValidModuleRing(record));
    EXPECT_EQ(glGetModuleCount(), 1) << "the test program is the only module";
    EXPECT_EQ(GetMainModulePtr(), record);
}

TEST(ModuleRecord, FindAndTotalServiceSeeOccupiedSlotsOfTheTableOnly)
{
    EXPECT_EQ(glGetModuleServEntry(-1), nullptr);
    EXPECT_EQ(glGetModuleServEntry(64), nullptr);
    EXPECT_EQ(glFindModuleServEntry(-1, nullptr), nullptr);
    EXPECT_EQ(glFindModuleServEntry(64, nullptr), nullptr);

    const int index = 47;
    tagServEntry *slot = glGetModuleServEntry(index);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot->module, OwnRecord());
    EXPECT_EQ(glFindModuleServEntry(index, nullptr), nullptr);

    int service = 0;
    slot->service = &service;
    EXPECT_EQ(glFindModuleServEntry(index, nullptr), slot);
    EXPECT_EQ(glFindModuleServEntry(index, slot), nullptr) << "the walk ends back at this module";

    tagServEntry *out[3] = {nullptr, nullptr, reinterpret_cast<tagServEntry *>(1)};
    EXPECT_EQ(GetTotalService(out, 3, index), 1);
    EXPECT_EQ(out[0], slot);
    EXPECT_EQ(out[1], nullptr);
    EXPECT_EQ(out[2], reinterpret_cast<tagServEntry *>(1)) << "nothing written past the end";
    // Room for the terminating null only.
    EXPECT_EQ(GetTotalService(out, 1, index), 0);
    EXPECT_EQ(out[0], nullptr);
    EXPECT_EQ(GetTotalService(out, 0, index), 0);
    EXPECT_EQ(GetTotalService(out, 3, 64), 0);
    EXPECT_EQ(out[0], nullptr);
    slot->service = nullptr;
}

TEST(ModuleRecord, ValidityNeedsMagicLinksTableAndTheOwnersVariable)
{
    FakeRing ring;
    CKestModule &r = ring.records[0];
    EXPECT_TRUE(IsValidModule(&r));
    EXPECT_TRUE(IsValidModuleRing(&r));
    EXPECT_FALSE(IsValidModule(nullptr));

    CKestModule copy = r; // its variable names the original, not the copy
    EXPECT_FALSE(IsValidModule(&copy));

    r.magic = 0;
    EXPECT_FALSE(IsValidModule(&r));
    EXPECT_FALSE(IsValidModuleRing(&ring.records[1])) << "a record of the ring is invalid";
    r.magic = CKestModule::kMagic;
    r.next = nullptr;
    EXPECT_FALSE(IsValidModule(&r));
    r.next = &ring.records[1];
    r.size = 36;
    EXPECT_FALSE(IsValidModule(&r));
}

TEST(ModuleRecord, RingCheckFollowsForwardLinksAndComparesBackwardOnes)
{
    FakeRing broken;
    broken.records[2].prev = &broken.records[0];
    EXPECT_FALSE(IsValidModuleRing(&broken.records[0]));

    // 0 -> 1 -> 2 -> 1: the walk would never come back to 0.
    FakeRing loop;
    loop.records[2].next = &loop.records[1];
    EXPECT_FALSE(IsValidModuleRing(&loop.records[0]));
    EXPECT_TRUE(IsValidModule(&loop.records[0]));
}
