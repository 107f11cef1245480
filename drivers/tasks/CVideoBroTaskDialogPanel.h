// The control panel of the broadcast tasks: the pending tasks of the process's first variant-3
// manager in a list, from which tasks are added, shown for modification and deleted. Hosts
// open it through the setting-dialog registry (class "CVideoBroTaskMgr", key
// "BroTask_ControlPanel").
#pragma once

#include "devext/device/CControlDlg.h"
#include "drivers/KsOvra20Api.h"

#include <cstdint>

class CListCtrl;

class KSOVRA20_API CVideoBroTaskDialogPanel : public CControlDlg {
    DECLARE_DYNCREATE(CVideoBroTaskDialogPanel)

    static constexpr UINT IDD = 5018;
    static constexpr int IDC_TASK_LIST = 5025;
    static constexpr int IDC_ADD_TASK = 5034;

    CVideoBroTaskDialogPanel();

    BOOL OnInitDialog() override;
    // Enter refreshes the list; the panel stays open.
    void OnOK() override;
    // Fills the list again from the manager; nothing without one.
    void RefreshList();

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT *result) override;

private:
    CListCtrl *List() const;
    void AddTask();
    void ShowRow(int row);
    void DeleteSelected();
};

// The name under which the panel shows a task status: "Begin" .. "Finished", "ErrNotify";
// empty for other values.
KSOVRA20_API const char *BroTaskStatusName(int32_t status);
