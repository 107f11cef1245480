// The add/modify dialog of one broadcast task record: start (date and time), clip id, device
// id, task id, status and duration. OK reads the fields back into the record; the start type
// stays as it was.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoBroTask.h"
#include "platform/ui/CDialog.h"

class KSOVRA20_API CVideoBroTaskDialog : public CDialog {
public:
    static constexpr UINT IDD = 5019;
    static constexpr int IDC_CLIP_ID = 5026;
    static constexpr int IDC_TASK_ID = 5027;
    static constexpr int IDC_DEV_ID = 5028;
    static constexpr int IDC_STATUS = 5029;
    static constexpr int IDC_DURATION = 5032;
    static constexpr int IDC_START = 5033;

    explicit CVideoBroTaskDialog(CWnd *parent = nullptr);

    // The record to show and the mode; the caption follows the mode.
    void SetTask(const tagVideoBroTask &task, bool modify);
    const tagVideoBroTask &GetTask() const { return m_task; }

    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    tagVideoBroTask m_task;
    CString m_strCaption;
};
