// The broadcast task record and the task array: the name fields, lookups by id, the
// parameter words, the exchange sorts, the NULL-terminated table through inserts and
// removals, fresh records out of range, shared handles and the dump file.
#include "tests/tasks/BroTaskTestKit.h"

#include "drivers/tasks/CVideoBroTaskArray.h"

#include "KestLib20/CStrings.h"

#include <cstring>
#include <filesystem>

namespace {

using V = std::vector<int32_t>;

tagVideoBroTask Rec(int32_t id, int64_t start = 0)
{
    tagVideoBroTask task;
    task.TaskID = id;
    task.Start = start;
    return task;
}

V Ids(IVideoBroTaskArray &tasks)
{
    V ids;
    for (tagVideoBroTask **task = tasks.GetData(); *task; ++task) ids.push_back((*task)->TaskID);
    EXPECT_EQ(static_cast<int32_t>(ids.size()), tasks.GetCount()) << "NULL ends the table";
    return ids;
}

} // namespace

TEST(BroTaskArray, LookupsAndParametersActOnTheFirstOfAnIdAndNeverIdZero)
{
    name32_t name = std::string(40, 'x').c_str();
    EXPECT_EQ(std::strlen(name), 31u) << "cut, and still terminated";
    name = (std::string(30, 'a') + "中").c_str();
    EXPECT_EQ(std::strlen(name), 30u) << "a two-byte character is not split";

    CVideoBroTaskArray tasks;
    tagVideoBroTask out = Rec(99);
    EXPECT_EQ(tasks->GetAt(0, out), 0);
    EXPECT_EQ(out.TaskID, 99) << "untouched";
    tasks->Add(Rec(0));
    tasks->Add(Rec(7, 1));
    tasks->Add(Rec(7, 2));
    EXPECT_EQ(tasks->IndexOf(0), -1);
    EXPECT_EQ(tasks->Find(7)->Start, 1);
    tasks->GetPtrAt(1)->Flags = 1;
    int32_t old = -1, value = 0;
    EXPECT_EQ(tasks->SetParam(7, 8, BROTASK_PARAM_FLAGS, &old), 1);
    EXPECT_EQ(old, 1);
    tasks->GetParam(7, BROTASK_PARAM_FLAGS, value);
    EXPECT_EQ(value, 9) << "bits are only added";
    EXPECT_EQ(tasks->GetPtrAt(2)->Flags, 0u) << "only the first of an id";
    EXPECT_EQ(tasks->SetParam(7, 5, BROTASK_PARAM_STATUS, &old), 0) << "not a parameter word";
    old = -1;
    tasks->SetValue(7, 1, &old);
    EXPECT_EQ(old, -1) << "a value of 0 before leaves old out untouched";
}

TEST(BroTaskArray, SortsInsertsAndRemovalsKeepTheTerminator)
{
    CVideoBroTaskArray tasks;
    IVideoBroTaskArray &t = *tasks.operator->();
    for (const auto &[id, start] : {std::pair{3, 30}, {1, 10}, {2, -20}}) t.Add(Rec(id, start));
    t.SortByStart(1);
    EXPECT_EQ(Ids(t), (V{2, 1, 3})) << "signed 64-bit starts";
    t.SortByStart(0);
    EXPECT_EQ(Ids(t), (V{3, 1, 2}));

    t.InsertAt(1, Rec(10));
    t.InsertAt(99, Rec(11));
    for (const auto &[index, n] : {std::pair{-1, 1}, {5, 1}, {0, 0}}) t.RemoveAt(index, n);
    EXPECT_EQ(Ids(t), (V{3, 10, 1, 2, 11})) << "bad ranges change nothing";
    t.RemoveAt(3, 10);
    EXPECT_EQ(Ids(t), (V{3, 10, 1})) << "cut at the end";
    t.SetSize(5);
    EXPECT_EQ(Ids(t), (V{3, 10, 1, 0, 0}));
    EXPECT_EQ(t.GetPtrAt(4)->Status, BROTASK_BEGIN) << "new entries are default records";
    t.SetSize(1);
    for (int32_t id = 100; id < 2100; ++id) t.Add(Rec(id));
    EXPECT_EQ(t.IndexOf(2099), 2000);
    EXPECT_EQ(Ids(t).size(), 2001u);
}

TEST(BroTaskArray, OutOfRangeRecordsAreFreshDefaultsAndHandlesShareTheArray)
{
    CVideoBroTaskArray tasks;
    tagVideoBroTask *first = tasks->GetPtrAt(-1);
    first->TaskID = 5;
    tagVideoBroTask *second = tasks->GetPtrAt(3);
    EXPECT_NE(first, second);
    EXPECT_EQ(second->TaskID, 0) << "a caller's change does not reach the next caller";

    auto a = std::make_unique<CVideoBroTaskArray>();
    CVideoBroTaskArray b = *a;
    CVideoBroTaskArray c;
    c->Add(Rec(1));
    c = b; // c's old array goes
    b->Add(Rec(2));
    EXPECT_EQ((*a)->GetCount(), 1);
    a.reset();
    EXPECT_EQ(c->GetPtrAt(0)->TaskID, 2) << "still there after the first handle went";
}

TEST(BroTaskArray, DumpWritesOneLinePerRecord)
{
    ScopedTimeZone tz{"UTC"};
    CVideoBroTaskArray tasks;
    for (const auto &[id, clip, type] : {std::tuple{42, "CLIP1", BROTASK_START_TRIGGER},
                                         {0x1F, "LONGCLIPNAME", BROTASK_START_TIME}}) {
        tagVideoBroTask task = Rec(id, brotest::kFileTime2020 + 90 * brotest::kSecond);
        task.StartType = type;
        task.ID = clip;
        task.Dev = "SRC1";
        tasks->Add(task);
    }
    const std::string path = ::testing::TempDir() + "bro_task_dump.txt";
    ASSERT_EQ(tasks->Dump(path.c_str()), 1);
    CStrings lines;
    lines.LoadFromFile(path.c_str());
    std::filesystem::remove(path);
    ASSERT_EQ(lines.GetSize(), 2);
    EXPECT_STREQ(lines[0],
                 "0000002A; ID=   CLIP1; Dev=SRC1; Time=2020-01-01 00:01:30; Op=Trigger;");
    EXPECT_STREQ(lines[1],
                 "0000001F; ID=LONGCLIPNAME; Dev=SRC1; Time=2020-01-01 00:01:30; Op=Time;");
}
