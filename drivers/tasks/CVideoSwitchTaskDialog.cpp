#include "drivers/tasks/CVideoSwitchTaskDialog.h"

#include "drivers/tasks/CVideoSwitchTaskArray.h"
#include "drivers/tasks/CVideoSwitchTaskTMU.h"

#include "KestLib20/CFileTime.h"
#include "platform/ui/CListCtrl.h"

#include <string>

namespace {

constexpr UINT IDD_SWITCH_TASK_LIST = 5021;

const CDlgTemplateReg g_template(TaskListTemplate(IDD_SWITCH_TASK_LIST, "切换任务"));

struct tagStateName {
    int32_t status;
    const char *name;
};
constexpr tagStateName kStatusNames[] = {
    {SWITCHTASK_BEGIN, "stTaskBegin"},         {SWITCHTASK_CHECKDEV, "stTaskCheckDev"},
    {SWITCHTASK_PRESET, "stTaskPreset"},       {SWITCHTASK_SETMODE, "stTaskSetMode"},
    {SWITCHTASK_SETRATE, "stTaskSetRate"},     {SWITCHTASK_BEGINSWITCH, "stTaskBeginSwitch"},
    {SWITCHTASK_ENDSWITCH, "stTaskEndSwitch"}, {SWITCHTASK_ERROR, "stTaskError"},
};

class CSwitchTaskListDlg : public CKeySwitchTaskListDlg {
public:
    CSwitchTaskListDlg()
        : CKeySwitchTaskListDlg(IDD_SWITCH_TASK_LIST, {{"NO", 20},
                                                       {"TaskID", 100},
                                                       {"设备ID", 60},
                                                       {"时间", 150},
                                                       {"ChnID", 45},
                                                       {"SrcID", 45},
                                                       {"状态", 85}})
    {
    }

protected:
    void FillRows(CListCtrl &list) override
    {
        const std::shared_ptr<IVideoSwitchTaskTMU> tmu = HoldVideoSwitchTaskTMU(nullptr);
        if (!tmu) return;
        CVideoSwitchTaskArrayPtr tasks;
        tmu->GetTaskList(nullptr, tasks.Get());
        char time[CFileTime::kDateTimeTextSize];
        for (int32_t i = 0; i < tasks->GetCount(); ++i) {
            const tagVideoSwitchTask &task = *tasks->ElementAt(i);
            AddTaskListRow(list,
                           {std::to_string(i + 1).c_str(), std::to_string(task.TaskID).c_str(),
                            task.DevID.szText, CFileTime(task.Time).GetAsString(time),
                            std::to_string(task.ChnID).c_str(), std::to_string(task.SrcID).c_str(),
                            SwitchTaskStateText(task)});
        }
    }
};

} // namespace

const char *SwitchTaskStateText(const tagVideoSwitchTask &task)
{
    if (task.Error == SWITCHTASK_ERR_DEVICE) return "设备没有准备好";
    if (task.Error == SWITCHTASK_ERR_SWITCH) return "切换失败";
    for (const tagStateName &state : kStatusNames)
        if (state.status == task.Status) return state.name;
    return "未知";
}

CVideoSwitchTaskDialogPtr::CVideoSwitchTaskDialogPtr()
    : CVideoTaskPtr(new CVideoTaskListDialog_Impl<CSwitchTaskListDlg>)
{
}
