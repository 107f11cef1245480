// The error manager: entries keyed by source, their announcements on "#ERR_MGR", removal by
// source prefix, age and index, and fields as text.
#include "tests/Kest20/LogProbe.h"

#include "Kest20/CClock.h"
#include "Kest20/CErrorMgr.h"
#include "Kest20/KestLog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kAdd = "<OP=\"ADD\">", kUpdate = "<OP=\"UPDATE\">", kDelete = "<OP=\"DELETE\">";

tagError Error(const char *from, int32_t code = 0, int64_t time = 0)
{
    tagError error;
    error.From = from;
    error.ErrorCode = code;
    error.FileTime = CFileTime(time);
    return error;
}

CArray<int32_t> Indexes(std::initializer_list<int32_t> list)
{
    CArray<int32_t> indexes;
    for (int32_t index : list) indexes.Add(index);
    return indexes;
}

class ErrorMgr : public ::testing::Test {
protected:
    void Add(std::initializer_list<const char *> sources)
    {
        for (const char *source : sources) {
            tagError error = Error(source);
            manager.AddErr(error);
        }
    }
    std::vector<std::string> Sources()
    {
        std::vector<std::string> sources;
        tagError error;
        for (int i = 0; manager.GetErrAt(i, error); ++i) sources.emplace_back(error.From);
        return sources;
    }
    tagError At(int index)
    {
        tagError error;
        EXPECT_EQ(manager.GetErrAt(index, error), 1);
        return error;
    }

    LogProbe announced{"#err_mgr", LOG_MODE_EXACT};
    CErrorMgr manager;
};

} // namespace

TEST_F(ErrorMgr, ASourceReportedAgainReplacesItsEntryAndKeepsItsIgnoreFlag)
{
    tagError error = Error("COM10", 1);
    int64_t before = 0;
    glGetTimeEx(&before);
    EXPECT_EQ(manager.AddErr(error), 1);
    EXPECT_GE(error.FileTime.GetTime(), before) << "stamped with the current time";
    manager.IgnoreError(Indexes({0}));
    Add({"COM1", ""}); // neither replaces "COM10": sources are equal or different
    tagError again = Error("COM10", 2);
    manager.AddErr(again);

    EXPECT_EQ(Sources(), (std::vector<std::string>{"COM10", "COM1", ""}));
    EXPECT_EQ(At(0).ErrorCode, 2);
    EXPECT_EQ(At(0).Ignore, 1);
    tagError none;
    EXPECT_EQ(manager.GetErrAt(3, none), 0);
    EXPECT_EQ(manager.GetErrAt(-1, none), 0);
    EXPECT_EQ(announced.Texts(), (std::vector<std::string>{kAdd, kUpdate, kAdd, kAdd, kUpdate}));
    EXPECT_EQ(announced.Entries()[0].info, "");
}

TEST_F(ErrorMgr, ModifyReplacesOnlyAnEqualSourceAsItIs)
{
    Add({"DEV1", "DEV12"});
    announced.Clear();
    tagError changed = Error("DEV1", 9, 1234);
    changed.Ignore = 1;
    EXPECT_EQ(manager.Modify(changed), 1);
    EXPECT_EQ(manager.Modify(Error("DEV")), 1) << "no entry of that source: nothing";
    EXPECT_EQ(At(0).ErrorCode, 9);
    EXPECT_EQ(At(0).Ignore, 1);
    EXPECT_EQ(At(0).FileTime.GetTime(), 1234);
    EXPECT_EQ(At(1).ErrorCode, 0);
    EXPECT_EQ(announced.Texts(), std::vector<std::string>{kUpdate});
}

TEST_F(ErrorMgr, SearchesAndClearMatchByPrefixFindIndexByEquality)
{
    Add({"VTR1", "SW1", "VTR2", "VTR3"});
    announced.Clear();
    CArray<int32_t> indexes;
    EXPECT_EQ(manager.GetErr("VTR", indexes), 3);
    EXPECT_EQ(indexes[1], 2);
    CArray<tagError> copies;
    EXPECT_EQ(manager.GetErr(nullptr, copies), 4);
    EXPECT_EQ(manager.GetErr("vtr", copies), 0) << "case counts";
    EXPECT_EQ(manager.FindIndex("VTR2"), 2);
    EXPECT_EQ(manager.FindIndex("VTR"), -1);

    EXPECT_EQ(manager.ClearErr("VTR"), 3);
    EXPECT_EQ(Sources(), std::vector<std::string>{"SW1"});
    EXPECT_EQ(manager.ClearErr("VTR"), 0);
    EXPECT_EQ(announced.Texts(), std::vector<std::string>{kDelete}) << "none for no removal";
    EXPECT_EQ(manager.ClearErr(nullptr), 1);
}

TEST_F(ErrorMgr, ClearInvalidRemovesEntriesOlderThanTheCutoff)
{
    Add({"OLD1", "YOUNG", "OLD2", "OTHER"});
    int64_t now = 0;
    glGetTimeEx(&now);
    for (const char *source : {"OLD1", "OLD2", "OTHER"})
        manager.Modify(Error(source, 0, now - 30000000)); // three seconds ago
    announced.Clear();

    EXPECT_EQ(manager.ClearInvalidErr("O", CFileTime()), 3) << "zero: older than two seconds";
    EXPECT_EQ(Sources(), std::vector<std::string>{"YOUNG"});
    EXPECT_EQ(manager.ClearInvalidErr(nullptr, CFileTime()), 0);
    EXPECT_EQ(manager.ClearInvalidErr(nullptr, CFileTime(now + 600000000)), 1);
    EXPECT_EQ(announced.Texts(), (std::vector<std::string>{kDelete, kDelete}));
}

TEST_F(ErrorMgr, DeleteAndIgnoreTakeIndexesInAnyOrderAndSkipBadOnes)
{
    Add({"A", "B", "C", "D", "E"});
    announced.Clear();
    EXPECT_EQ(manager.DeleteError(Indexes({1, 3, 1, -1, 9})), 1);
    EXPECT_EQ(Sources(), (std::vector<std::string>{"A", "C", "E"}));
    EXPECT_EQ(manager.DeleteError(Indexes({7})), 1);
    EXPECT_EQ(manager.IgnoreError(Indexes({2, -1, 3})), 1);
    EXPECT_EQ(At(2).Ignore, 1);
    EXPECT_EQ(At(0).Ignore, 0);
    EXPECT_EQ(announced.Texts(), (std::vector<std::string>{kDelete, kDelete, kUpdate}))
        << "announced even when nothing changed";
}

TEST(ErrorItem, FieldsAsText)
{
    tagError error = Error("VTR1", -42, plat::kFileTimeUnixEpoch);
    error.Level = 3;
    CString text = "unchanged";
    EXPECT_EQ(CErrorMgr::GetItemAsString(error, "Code", text), 0);
    EXPECT_EQ(CErrorMgr::GetItemAsString(error, static_cast<const char *>(nullptr), text), 0);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(CErrorMgr::GetItemAsString(error, "errorcode", text), 1);
    EXPECT_EQ(text, "-42");
    EXPECT_EQ(CErrorMgr::GetItemAsString(error, u"FROM", text), 1);
    EXPECT_EQ(text, "VTR1");
    EXPECT_EQ(CErrorMgr::GetItemAsString(error, "Level", text), 1);
    EXPECT_EQ(text, "3");
    EXPECT_EQ(CErrorMgr::GetItemAsString(error, "fileTime", text), 1);
    EXPECT_EQ(text, error.FileTime.GetAsString(nullptr));
}

TEST(ErrorMgrLock, AnnouncementsComeAfterTheLockIsReleased)
{
    // A subscriber that asks the manager from another thread while it is being told.
    struct Asker {
        CErrorMgr manager;
        int seen = -1;
        static int OnErr(void *p, const char *, const char *, const char *)
        {
            auto *self = static_cast<Asker *>(p);
            std::thread([self] { self->seen = self->manager.GetErrCount(); }).join();
            return 1;
        }
    } asker;
    int handle = glRegisterLogProcessUnit("#ERR_MGR", &Asker::OnErr, &asker, LOG_MODE_EXACT);
    tagError error = Error("X");
    asker.manager.AddErr(error);
    glUnregisterLogProcessUnit(handle);
    EXPECT_EQ(asker.seen, 1);
}
