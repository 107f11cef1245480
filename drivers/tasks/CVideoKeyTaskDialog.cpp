#include "drivers/tasks/CVideoKeyTaskDialog.h"

#include "drivers/tasks/CVideoKeyTaskTMU.h"

#include "KestLib20/CFileTime.h"
#include "platform/ui/CListCtrl.h"

#include <string>

namespace {

constexpr UINT IDD_KEY_TASK_LIST = 5020;

const CDlgTemplateReg g_template(TaskListTemplate(IDD_KEY_TASK_LIST, "键控任务"));

constexpr const char *kStatusNames[] = {
    "stTaskBegin",  "stTaskDevChkBegin", "stTaskDevChking", "stTaskDevChkEnd", "stTaskPstBegin",
    "stTaskPsting", "stTaskPstEnd",      "stTaskPgmBegin",  "stTaskPgming",    "stTaskPgmEnd"};

class CKeyTaskListDlg : public CKeySwitchTaskListDlg {
public:
    CKeyTaskListDlg()
        : CKeySwitchTaskListDlg(IDD_KEY_TASK_LIST, {{"TaskID", 100},
                                                    {"设备ID", 60},
                                                    {"时间", 170},
                                                    {"nKey", 45},
                                                    {"操作", 45},
                                                    {"类型", 45},
                                                    {"状态", 85}})
    {
    }

protected:
    void FillRows(CListCtrl &list) override
    {
        const std::shared_ptr<IVideoKeyTaskTMU> tmu = HoldVideoKeyTaskTMU(nullptr);
        if (!tmu) return;
        tagVideoKeyTask task;
        char time[CFileTime::kDateTimeTextSize];
        for (int32_t i = 0; tmu->GetTaskAt(i, task); ++i)
            AddTaskListRow(list,
                           {std::to_string(task.TaskID).c_str(), task.DevID.szText,
                            CFileTime(task.StartTime).GetAsString(time),
                            std::to_string(task.nKey).c_str(), task.nop ? "上" : "下",
                            std::to_string(task.functype).c_str(), KeyTaskStatusName(task.Status)});
    }
};

} // namespace

const char *KeyTaskStatusName(int32_t status)
{
    constexpr int32_t count = sizeof(kStatusNames) / sizeof(kStatusNames[0]);
    return status >= 1 && status <= count ? kStatusNames[status - 1] : "未知";
}

CVideoKeyTaskDialog::CVideoKeyTaskDialog()
    : CVideoTaskPtr(new CVideoTaskListDialog_Impl<CKeyTaskListDlg>)
{
}
