// The task list dialogs: what they show of the first registered unit's tasks.
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/tasks/CVideoKeyTaskDialog.h"
#include "drivers/tasks/CVideoKeyTaskTMU.h"
#include "drivers/tasks/CVideoKeyTaskTPU.h"
#include "drivers/tasks/CVideoSwitchTaskDialog.h"
#include "drivers/tasks/CVideoSwitchTaskTMU.h"

#include "platform/ui/CListCtrl.h"
#include "platform/ui/UiInput.h"

using namespace keytest;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// Runs the dialog and reads its list (headings first) as it was when it opened.
template <class Handle> Rows Shown(Handle &dialog)
{
    Rows rows;
    ui::CScriptedRunner runner;
    runner.Then([&](CDialog &dlg) {
        auto *list = dynamic_cast<CListCtrl *>(dlg.GetDlgItem(IDC_TASK_LIST));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->GetExtendedStyle() & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
                  LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        std::vector<std::string> headings;
        char text[64];
        LVCOLUMN column;
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = sizeof(text);
        for (int i = 0; list->GetColumn(i, &column); ++i)
            headings.push_back(std::string(text) + "/" + std::to_string(column.cx));
        rows.push_back(headings);
        for (int r = 0; r < list->GetItemCount(); ++r) {
            std::vector<std::string> row;
            for (size_t c = 0; c < headings.size(); ++c)
                row.push_back(list->GetItemText(r, static_cast<int>(c)).GetString());
            rows.push_back(row);
        }
        ui::PressCancel(dlg);
    });
    dialog->DoModal();
    return rows;
}

class TaskDialogTest : public KeyerTest {};

TEST_F(TaskDialogTest, TheKeyTaskListShowsEachTaskWithItsOperationAndStatusName)
{
    CVideoKeyTaskDialog empty;
    EXPECT_EQ(Shown(empty).size(), 1u) << "no unit: headings only";

    CVideoKeyTaskTMU tmu;
    tmu->GetTPU()->ShutDown();
    const int64_t at = kFileTime2020 + 3600 * kSecond;
    tmu->AddTask(KeyTask(11, "KEY1", at, 0, "", 4, 1));
    tmu->AddTask(KeyTask(12, "KEY1", at + kSecond, KEYTASK_FUNC_TITLE, "", 2, 0));
    CVideoKeyTaskDialog dialog;
    const Rows rows = Shown(dialog);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"TaskID/100", "设备ID/60", "时间/170", "nKey/45",
                                                 "操作/45", "类型/45", "状态/85"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"11", "KEY1", "2020-01-01 01:00:00", "4", "上",
                                                 "0", "stTaskBegin"}));
    EXPECT_EQ(rows[2][4], "下");
    EXPECT_EQ(rows[2][5], "257");
    EXPECT_STREQ(KeyTaskStatusName(10), "stTaskPgmEnd");
    EXPECT_STREQ(KeyTaskStatusName(11), "未知");
}

TEST_F(TaskDialogTest, TheSwitcherTaskListNumbersTheRowsAndShowsErrorsFirst)
{
    CVideoSwitchTaskTMUPtr tmu;
    tagVideoSwitchTask task;
    task.DevID = "SW1";
    task.Time = kFileTime2020 + 7200 * kSecond;
    task.ChnID = 3;
    task.SrcID = 8;
    tmu->AddTask(task);
    CVideoSwitchTaskDialogPtr dialog;
    const Rows rows = Shown(dialog);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].front(), "NO/20");
    EXPECT_EQ(rows[0][3], "时间/150");
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "4661", "SW1", "2020-01-01 02:00:00", "3",
                                                 "8", "stTaskBegin"}));
    task.Error = SWITCHTASK_ERR_DEVICE;
    EXPECT_STREQ(SwitchTaskStateText(task), "设备没有准备好");
    task.Error = SWITCHTASK_ERR_SWITCH;
    EXPECT_STREQ(SwitchTaskStateText(task), "切换失败");
    task.Error = 0;
    task.Status = SWITCHTASK_ERROR;
    EXPECT_STREQ(SwitchTaskStateText(task), "stTaskError");
    task.Status = 9;
    EXPECT_STREQ(SwitchTaskStateText(task), "未知");
}

} // namespace
