// The setting pages of the line, VDCP and Betacam VTR sources, and the common page of every
// video source, to which the registry adds the pages of the derived classes. Each is
// registered for its device class when the library loads.
#pragma once

#include "drivers/model/pages/CSettingFieldsPage.h"

// "Entry" of a line source.
class KSOVRA20_API CProp_Device_Src_Line : public CSettingFieldsPage {
    DECLARE_DYNCREATE(CProp_Device_Src_Line)

    static constexpr UINT IDD = 2048;
    static constexpr int IDC_ENTRY = 20148;

    CProp_Device_Src_Line();
};

// "Com", "Decoder", "Entry", "PlayBeforeTime" and "PrepareTime" of a VDCP source.
class KSOVRA20_API CProp_Device_Src_VDCP : public CSettingFieldsPage {
    DECLARE_DYNCREATE(CProp_Device_Src_VDCP)

    static constexpr UINT IDD = 2046;
    static constexpr int IDC_COM = 20141;
    static constexpr int IDC_DECODER = 20142;
    static constexpr int IDC_PLAY_BEFORE = 20143;
    static constexpr int IDC_PREPARE = 20144;
    static constexpr int IDC_ENTRY = 20148;

    CProp_Device_Src_VDCP();
};

// The port, entry, cue and pre-roll times of a Betacam VTR, its check time, what it does
// after a task, its cassette type and the time code it cues on.
class KSOVRA20_API CProp_Device_VTR : public CSettingFieldsPage {
    DECLARE_DYNCREATE(CProp_Device_VTR)

    static constexpr UINT IDD = 20140;
    static constexpr int IDC_COM = 20141;
    static constexpr int IDC_FIRST_CUE = 20142;
    static constexpr int IDC_SECOND_CUE = 20143;
    static constexpr int IDC_TC_TYPE = 20144;
    static constexpr int IDC_PRE_PLAY = 20145;
    static constexpr int IDC_OVER_OPT = 20146;
    static constexpr int IDC_CASSETTE = 20147;
    static constexpr int IDC_ENTRY = 20148;
    static constexpr int IDC_CHECK_TIME = 2060;

    CProp_Device_VTR();
};

// Empty: it carries the pages registered for the classes derived from CVideoSrcA.
class KSOVRA20_API CPropVideoSrcSetting : public CObjectSettingDlg {
    DECLARE_DYNCREATE(CPropVideoSrcSetting)

    static constexpr UINT IDD = 20120;

    CPropVideoSrcSetting();
};
