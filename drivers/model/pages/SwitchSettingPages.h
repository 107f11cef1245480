// The setting pages of the multi-switcher (its member switchers, each opening its own setting
// dialog) and of the Quartz router (its bus and port, and a button to the switcher task
// panel). Both only show their keys.
#pragma once

#include "devext/device/CObjectSettingDlg.h"
#include "drivers/KsOvra20Api.h"

class KSOVRA20_API CPropDeviceMutilSwitch : public CObjectSettingDlg {
    DECLARE_DYNCREATE(CPropDeviceMutilSwitch)

    static constexpr UINT IDD = 20163;
    static constexpr int IDC_MEMBERS = 5004;

    CPropDeviceMutilSwitch();
    // Lists the ids of "Dev".
    BOOL OnInitDialog() override;

protected:
    // Choosing a member opens its setting dialog.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
};

class KSOVRA20_API CPropDeviceQuartz : public CObjectSettingDlg {
    DECLARE_DYNCREATE(CPropDeviceQuartz)

    static constexpr UINT IDD = 20162;
    static constexpr int IDC_BUS = 5001;
    static constexpr int IDC_COM = 5002;
    static constexpr int IDC_TASKS = 5003;

    CPropDeviceQuartz();
    // Shows "BUS" and "COM" as decimal text, each with the choices "1" to "16".
    BOOL OnInitDialog() override;

protected:
    // The task button opens the switcher task panel.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
};
