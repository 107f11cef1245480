// The broadcast task panel and the add/modify dialog: what the list shows of the manager's
// tasks, adding, deleting behind the question, showing a row for modification, and the start
// entered in local time.
#include "tests/KestLib20/ScopedTimeZone.h"

#include "devext/device/CMxtControlDialog.h"
#include "drivers/model/CMxtTimecodeCtrl.h"
#include "drivers/tasks/CVideoBroTaskDialog.h"
#include "drivers/tasks/CVideoBroTaskDialogPanel.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"

#include "KestLib20/CFileTime.h"
#include "platform/ui/CDateTimeCtrl.h"
#include "platform/ui/CListCtrl.h"
#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

namespace {

using Panel = CVideoBroTaskDialogPanel;
using TaskDlg = CVideoBroTaskDialog;

CListCtrl &ListOf(CDialog &dlg)
{
    return *dynamic_cast<CListCtrl *>(dlg.GetDlgItem(Panel::IDC_TASK_LIST));
}

std::vector<CString> Row(CListCtrl &list, int row)
{
    std::vector<CString> texts;
    for (int column = 0; column < 7; ++column) texts.push_back(list.GetItemText(row, column));
    return texts;
}

CString Text(CWnd &dlg, int id)
{
    CString text;
    dlg.GetDlgItemText(id, text);
    return text;
}

// 2020-01-01 10:00:00.200 in the zone in force.
int64_t LocalStart()
{
    plat::SYSTEMTIME local{2020, 1, 3, 1, 10, 0, 0, 200};
    return CFileTime(local).GetTime();
}

tagVideoBroTask MakeTask(int32_t id, const char *clip, const char *dev)
{
    tagVideoBroTask task;
    task.TaskID = id;
    task.ID = clip;
    task.Dev = dev;
    task.Start = LocalStart();
    task.DUR = 250;
    task.StartType = BROTASK_START_TIME;
    return task;
}

// The process's one variant-3 manager, its process unit shut down so that the tasks stay as
// the test leaves them.
class BroTaskDialogTest : public ::testing::Test {
protected:
    BroTaskDialogTest() { static_cast<CVideoBroTaskTPU &>(*m_mgr->GetTPU()).ShutDown(); }

    std::vector<int32_t> Ids()
    {
        std::vector<int32_t> ids;
        tagVideoBroTask task;
        for (int32_t i = 0; m_mgr->GetTaskAt(i, task); ++i) ids.push_back(task.TaskID);
        return ids;
    }

    void SetStatus(int32_t id, int32_t status)
    {
        m_mgr->Lock();
        tagVideoBroTask *stored = nullptr;
        if (m_mgr->FindTask(id, &stored)) stored->Status = status;
        m_mgr->Unlock();
    }

    // Runs the panel with `script`, after it has been refreshed.
    void RunPanel(const std::function<void(CDialog &)> &script)
    {
        m_runner.Then([script](CDialog &dlg) {
            ui::PressOK(dlg);
            script(dlg);
        });
        Panel().DoModal();
    }

    ScopedTimeZone m_tz{"Asia/Shanghai"};
    CVideoBroTaskMgr3 m_mgr;
    ui::CScriptedRunner m_runner;
};

} // namespace

TEST(BroTaskPanel, IsFoundByClassAndKeyAndStaysEmptyWithoutAManager)
{
    CMxtControlDialog holder;
    ASSERT_EQ(holder.OpenDialog("CVideoBroTaskMgr", "BroTask_ControlPanel"), 1);
    ASSERT_NE(dynamic_cast<Panel *>(holder.GetDialog()), nullptr);

    ui::CScriptedRunner runner;
    std::optional<int> rows;
    runner.Then([&](CDialog &dlg) {
        CListCtrl &list = ListOf(dlg);
        EXPECT_EQ(list.GetExtendedStyle(), 0x221u);
        LVCOLUMN column;
        column.mask = LVCF_WIDTH;
        ASSERT_TRUE(list.GetColumn(6, &column));
        EXPECT_EQ(column.cx, 80);
        ui::PressOK(dlg);
        ui::Click(dlg, Panel::IDC_ADD_TASK); // the add dialog, answered below
        rows = list.GetItemCount();
    });
    runner.Then([](CDialog &dlg) { ui::PressOK(dlg); });
    holder.DoModal();
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(runner.Runs().size(), 2u) << "the panel and the add dialog ran";
    EXPECT_EQ(CVideoBroTaskMgr3::GetMgr(0), nullptr);
}

TEST_F(BroTaskDialogTest, ListShowsEachPendingTaskWithItsStartFrameDurationAndStatusName)
{
    m_mgr->AddTask(MakeTask(7, "CLIP7", "LINE1"));
    m_mgr->AddTask(MakeTask(8, "CLIP8", "LINE2"));
    m_mgr->AddTask(MakeTask(9, "CLIP9", "LINE2"));
    SetStatus(8, BROTASK_ERRNOTIFY);
    SetStatus(9, 99);
    RunPanel([](CDialog &dlg) {
        CListCtrl &list = ListOf(dlg);
        ASSERT_EQ(list.GetItemCount(), 3);
        EXPECT_EQ(Row(list, 0),
                  (std::vector<CString>{"001", "CLIP7", "7", "LINE1", "2020-01-01 10:00:00:5",
                                        "00:00:10:00", "Begin"}));
        EXPECT_EQ(list.GetItemText(1, 0), "002");
        EXPECT_EQ(list.GetItemText(1, 6), "ErrNotify");
        EXPECT_EQ(list.GetItemText(2, 6), "");
    });
}

TEST_F(BroTaskDialogTest, DeleteRemovesTheSelectedRowsOnlyWhenConfirmed)
{
    for (int32_t id : {1, 2, 3}) m_mgr->AddTask(MakeTask(id, "C", "LINE1"));
    m_runner.Answer(IDNO);
    m_runner.Answer(IDYES);
    RunPanel([](CDialog &dlg) {
        ui::ClickRow(dlg, Panel::IDC_TASK_LIST, 0);
        ui::ClickRow(dlg, Panel::IDC_TASK_LIST, 2, true);
        ui::PressKey(VK_DELETE);
        EXPECT_EQ(ListOf(dlg).GetItemCount(), 3) << "No keeps every task";
        ui::PressKey(VK_DELETE);
        ASSERT_EQ(ListOf(dlg).GetItemCount(), 1);
        EXPECT_EQ(ListOf(dlg).GetItemText(0, 2), "2");
    });
    EXPECT_EQ(Ids(), std::vector<int32_t>{2});
    ASSERT_EQ(m_runner.Boxes().size(), 2u);
    EXPECT_EQ(m_runner.Boxes()[0].text, "确认删除?");
    EXPECT_EQ(m_runner.Boxes()[0].type, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
}

TEST_F(BroTaskDialogTest, ARowShownForModificationReadsBackItsCellsAndChangesNothing)
{
    m_mgr->AddTask(MakeTask(42, "NEWS", "LINE1"));
    SetStatus(42, BROTASK_ENDCUE);
    m_runner.Then([](CDialog &dlg) {
        ui::PressOK(dlg);
        ui::DoubleClickRow(dlg, Panel::IDC_TASK_LIST, 0);
    });
    std::optional<timecode_t> shownDuration;
    m_runner.Then([&](CDialog &dlg) {
        CString caption;
        dlg.GetWindowText(caption);
        EXPECT_EQ(caption, "任务修改");
        EXPECT_EQ(Text(dlg, TaskDlg::IDC_CLIP_ID), "NEWS");
        EXPECT_EQ(Text(dlg, TaskDlg::IDC_DEV_ID), "LINE1");
        EXPECT_EQ(Text(dlg, TaskDlg::IDC_TASK_ID), "42");
        EXPECT_EQ(Text(dlg, TaskDlg::IDC_STATUS), "10") << "the status name read back";
        shownDuration =
            dynamic_cast<CMxtTimecodeCtrl *>(dlg.GetDlgItem(TaskDlg::IDC_DURATION))->GetTimecode();
        dlg.SetDlgItemText(TaskDlg::IDC_CLIP_ID, "CHANGED");
        dlg.SetDlgItemText(TaskDlg::IDC_TASK_ID, "43");
        ui::PressOK(dlg);
    });
    Panel().DoModal();
    EXPECT_EQ(shownDuration, timecode_t(250));
    tagVideoBroTask task;
    ASSERT_TRUE(m_mgr->GetTaskAt(0, task));
    EXPECT_EQ(task.TaskID, 42);
    EXPECT_STREQ(task.ID, "NEWS");
    EXPECT_EQ(m_mgr->GetTaskCount(), 1);
}

TEST_F(BroTaskDialogTest, AddingTakesTheFieldsWithTheStartEnteredInLocalTime)
{
    std::optional<int64_t> shownOffset;
    std::optional<int> rows;
    const plat::SYSTEMTIME entered{2021, 6, 2, 15, 20, 30, 45, 0};
    m_runner.Then([&](CDialog &dlg) {
        ui::PressOK(dlg);
        ui::Click(dlg, Panel::IDC_ADD_TASK);
        rows = ListOf(dlg).GetItemCount();
    });
    m_runner.Then([&](CDialog &dlg) {
        CString caption;
        dlg.GetWindowText(caption);
        EXPECT_EQ(caption, "增加任务");
        EXPECT_EQ(Text(dlg, TaskDlg::IDC_STATUS), "1");
        auto &start = *dynamic_cast<CDateTimeCtrl *>(dlg.GetDlgItem(TaskDlg::IDC_START));
        plat::SYSTEMTIME shown{};
        start.GetTime(&shown);
        shownOffset = CFileTime(shown) - CFileTime::GetCurrentTime();
        ui::SetTime(dlg, TaskDlg::IDC_START, entered);
        dlg.SetDlgItemText(TaskDlg::IDC_CLIP_ID, "A_CLIP_ID_LONGER_THAN_THE_FIELD_OF_32");
        dlg.SetDlgItemText(TaskDlg::IDC_DEV_ID, "LINE2");
        dlg.SetDlgItemText(TaskDlg::IDC_TASK_ID, "-5");
        dynamic_cast<CMxtTimecodeCtrl *>(dlg.GetDlgItem(TaskDlg::IDC_DURATION))
            ->SetTimecode(0, 1, 2, 3, 1);
        ui::PressOK(dlg);
    });
    Panel().DoModal();
    EXPECT_EQ(rows, 1);
    // The control opens on the current time as the operator reads it (local, not UTC).
    ASSERT_TRUE(shownOffset.has_value());
    EXPECT_LT(std::llabs(*shownOffset), 2 * 10000000LL);
    tagVideoBroTask task;
    ASSERT_TRUE(m_mgr->GetTaskAt(0, task));
    EXPECT_EQ(task.TaskID, -5);
    EXPECT_STREQ(task.ID, "A_CLIP_ID_LONGER_THAN_THE_FIELD") << "31 characters and the end";
    EXPECT_STREQ(task.Dev, "LINE2");
    EXPECT_EQ(task.DUR, (60 + 2) * 25 + 3);
    EXPECT_EQ(task.Status, BROTASK_BEGIN);
    EXPECT_EQ(task.StartType, BROTASK_START_FOLLOW) << "left as the default record has it";
    int64_t utc = 0;
    ASSERT_TRUE(plat::SystemTimeToFileTime({2021, 6, 2, 15, 12, 30, 45, 0}, &utc));
    EXPECT_EQ(task.Start, utc) << "the hour entered is Shanghai's";
}

TEST_F(BroTaskDialogTest, CancellingTheAddDialogAddsNothing)
{
    m_runner.Then([](CDialog &dlg) {
        ui::PressOK(dlg);
        ui::Click(dlg, Panel::IDC_ADD_TASK);
    });
    m_runner.Then([](CDialog &dlg) { ui::PressCancel(dlg); });
    Panel().DoModal();
    EXPECT_EQ(m_mgr->GetTaskCount(), 0);
}
