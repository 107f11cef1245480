// The key task array: its NULL-terminated table, look-ups from the end and the range rules.
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <gtest/gtest.h>

namespace {

tagVideoKeyTask Task(int32_t id, int32_t key = 0)
{
    tagVideoKeyTask task;
    task.TaskID = id;
    task.nKey = key;
    task.Reserved1 = task.Reserved2 = 77;
    return task;
}

TEST(KeyTaskArray, KeepsItsTableNullTerminatedThroughEveryChange)
{
    CVideoKeyTaskArray tasks;
    ASSERT_EQ(tasks->GetData()[0], nullptr);
    for (int32_t id = 1; id <= 40; ++id) EXPECT_EQ(tasks->Add(Task(id)), id - 1);
    EXPECT_EQ(tasks->GetData()[40], nullptr);
    tasks->InsertAt(-5, Task(100));
    tasks->InsertAt(1000, Task(101));
    EXPECT_EQ(tasks->GetPtrAt(0)->TaskID, 100);
    EXPECT_EQ(tasks->GetPtrAt(41)->TaskID, 101);
    tasks->RemoveAt(10, 1000);
    EXPECT_EQ(tasks->GetCount(), 10);
    EXPECT_EQ(tasks->GetData()[10], nullptr);
    tasks->SetSize(12);
    EXPECT_EQ(tasks->GetPtrAt(11)->TaskID, 0);
    EXPECT_EQ(tasks->GetData()[12], nullptr);
    EXPECT_EQ(tasks->GetPtrAt(0)->Reserved1, 0) << "reserved words are zeroed";
}

TEST(KeyTaskArray, FindsTheLastRecordOfAnIdAndAnswersOutOfRangeSafely)
{
    CVideoKeyTaskArray tasks;
    tasks->Add(Task(5, 1));
    tasks->Add(Task(6, 2));
    tasks->Add(Task(5, 3));
    EXPECT_EQ(tasks->IndexOf(5), 2);
    EXPECT_EQ(tasks->Find(5)->nKey, 3);
    EXPECT_EQ(tasks->Find(9), nullptr);
    EXPECT_EQ(tasks->IndexOf(9), -1);

    tagVideoKeyTask out = Task(42);
    EXPECT_EQ(tasks->GetAt(3, out), 0);
    EXPECT_EQ(out.TaskID, 42) << "untouched";
    EXPECT_EQ(tasks->SetAt(-1, Task(1)), 0);
    tasks->GetPtrAt(7)->TaskID = 99; // a write to the empty record does not stick
    EXPECT_EQ(tasks->GetPtrAt(8)->TaskID, 0);
    EXPECT_EQ(tasks->GetCount(), 3);
}

TEST(KeyTaskArray, HandlesShareOneArray)
{
    CVideoKeyTaskArray first;
    first->Add(Task(1));
    {
        CVideoKeyTaskArray second;
        second = first;
        CVideoKeyTaskArray third(second);
        third->Add(Task(2));
    }
    EXPECT_EQ(first->GetCount(), 2);
}

TEST(KeyTaskRecord, KeepsTheSharedLayout)
{
    EXPECT_EQ(offsetof(tagVideoKeyTask, DevID), 4u);
    EXPECT_EQ(offsetof(tagVideoKeyTask, StartTime), 40u);
    EXPECT_EQ(offsetof(tagVideoKeyTask, Source), 48u);
    EXPECT_EQ(offsetof(tagVideoKeyTask, nKey), 80u);
    EXPECT_EQ(offsetof(tagVideoKeyTask, functype), 96u);
    EXPECT_EQ(offsetof(tagVideoKeyTask, Parameter), 104u);
}

} // namespace
