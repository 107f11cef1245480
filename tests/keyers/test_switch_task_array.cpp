// The switcher task array: appends and copies between arrays and from an array to itself, and
// the range rules.
#include "drivers/tasks/CVideoSwitchTaskArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int32_t> Ids(IVideoSwitchTaskArray &tasks)
{
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < tasks.GetCount(); ++i) ids.push_back(tasks.ElementAt(i)->TaskID);
    return ids;
}

void Fill(IVideoSwitchTaskArray &tasks, std::initializer_list<int32_t> ids)
{
    for (const int32_t id : ids) {
        tagVideoSwitchTask task;
        task.TaskID = id;
        tasks.Add(task);
    }
}

TEST(SwitchTaskArray, AppendsAndCopiesFromAnotherArrayOrItself)
{
    using V = std::vector<int32_t>;
    CVideoSwitchTaskArrayPtr a, b;
    Fill(*a.Get(), {1, 2});
    Fill(*b.Get(), {7});
    EXPECT_EQ(a->Append(a.Get()), 4) << "its own records, once";
    EXPECT_EQ(Ids(*a.Get()), (V{1, 2, 1, 2}));
    EXPECT_EQ(a->Copy(a.Get()), 4);
    EXPECT_EQ(b->Append(a.Get()), 5);
    EXPECT_EQ(Ids(*b.Get()), (V{7, 1, 2, 1, 2}));
    EXPECT_EQ(a->Copy(b.Get()), 5);
    b->ElementAt(0)->TaskID = 70;
    EXPECT_EQ(Ids(*a.Get()), (V{7, 1, 2, 1, 2})) << "copies, not the other array's records";
    EXPECT_EQ(a->Append(nullptr), 5);
}

TEST(SwitchTaskArray, KeepsRecordsInPlaceAndAnswersOutOfRangeWithNull)
{
    CVideoSwitchTaskArrayPtr tasks;
    Fill(*tasks.Get(), {1});
    tagVideoSwitchTask *first = tasks->ElementAt(0);
    Fill(*tasks.Get(), {2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(tasks->ElementAt(0), first) << "growth does not move a record";
    for (const int32_t index : {-1, 9, 100}) EXPECT_EQ(tasks->ElementAt(index), nullptr) << index;
    tasks->SetSize(11);
    EXPECT_EQ(tasks->ElementAt(10)->TaskID, 0) << "new records are initialised";
    EXPECT_EQ(tasks->ElementAt(10)->pfnCallBack, nullptr);
    for (const auto &[index, n] : {std::pair{-1, 1}, {11, 1}, {0, 0}}) tasks->RemoveAt(index, n);
    EXPECT_EQ(tasks->GetCount(), 11) << "bad ranges change nothing";
    tasks->RemoveAt(2, 100);
    EXPECT_EQ(tasks->GetCount(), 2) << "cut at the end";
}

} // namespace
