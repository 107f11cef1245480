#include "drivers/model/pages/DeviceSettingPages.h"

#include "devext/device/CMxtDialogReg.h"
#include "platform/ui/DialogTemplate.h"

IMPLEMENT_DYNCREATE(CProp_Device_Src_Line, CSettingFieldsPage)
IMPLEMENT_DYNCREATE(CProp_Device_Src_VDCP, CSettingFieldsPage)
IMPLEMENT_DYNCREATE(CProp_Device_VTR, CSettingFieldsPage)
IMPLEMENT_DYNCREATE(CPropVideoSrcSetting, CObjectSettingDlg)

namespace {

constexpr uint32_t kLabel = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kField = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
constexpr uint32_t kList = kField | CBS_DROPDOWNLIST;

// A labelled field on line `row` of a page: the label left, the control right of it.
std::vector<tagDlgItem> Row(int row, const char *label, int id, UiControl kind, uint32_t style)
{
    const int top = 10 + row * 24;
    return {{-1, UiControl::Static, nullptr, label, kLabel, {10, top + 2, 100, top + 16}},
            {id,
             kind,
             nullptr,
             "",
             style,
             {104, top, 220, kind == UiControl::ComboBox ? top + 90 : top + 18}}};
}

tagDlgTemplate Page(UINT id, const char *caption,
                    std::initializer_list<std::vector<tagDlgItem>> rows)
{
    tagDlgTemplate page{id, caption, WS_CHILD, {0, 0, 240, 260}, {}};
    for (const auto &row : rows) page.items.insert(page.items.end(), row.begin(), row.end());
    return page;
}

using Line = CProp_Device_Src_Line;
using Vdcp = CProp_Device_Src_VDCP;
using Vtr = CProp_Device_VTR;

const CDlgTemplateReg g_lineTemplate(
    Page(Line::IDD, "线路信号设置", {Row(0, "Entry", Line::IDC_ENTRY, UiControl::Edit, kField)}));

const CDlgTemplateReg
    g_vdcpTemplate(Page(Vdcp::IDD, "VDCP设置",
                        {Row(0, "Com", Vdcp::IDC_COM, UiControl::Edit, kField),
                         Row(1, "Decoder", Vdcp::IDC_DECODER, UiControl::Edit, kField),
                         Row(2, "Entry", Vdcp::IDC_ENTRY, UiControl::Edit, kField),
                         Row(3, "PlayBeforeTime", Vdcp::IDC_PLAY_BEFORE, UiControl::Edit, kField),
                         Row(4, "PrepareTime", Vdcp::IDC_PREPARE, UiControl::Edit, kField)}));

const CDlgTemplateReg
    g_vtrTemplate(Page(Vtr::IDD, "VTR设置",
                       {Row(0, "Com", Vtr::IDC_COM, UiControl::Edit, kField),
                        Row(1, "Entry", Vtr::IDC_ENTRY, UiControl::Edit, kField),
                        Row(2, "First_Cue", Vtr::IDC_FIRST_CUE, UiControl::Edit, kField),
                        Row(3, "PrePlayTime", Vtr::IDC_PRE_PLAY, UiControl::Edit, kField),
                        Row(4, "Second_Cue", Vtr::IDC_SECOND_CUE, UiControl::Edit, kField),
                        Row(5, "Check_Time", Vtr::IDC_CHECK_TIME, UiControl::ComboBox, kList),
                        Row(6, "VtrOverOpt", Vtr::IDC_OVER_OPT, UiControl::ComboBox, kList),
                        Row(7, "TypeOfCassette", Vtr::IDC_CASSETTE, UiControl::ComboBox, kList),
                        Row(8, "TCType", Vtr::IDC_TC_TYPE, UiControl::ComboBox, kList)}));

const CDlgTemplateReg g_videoSrcTemplate(Page(CPropVideoSrcSetting::IDD, "视频源设备设置", {}));

const std::vector<tagPageField> kLineFields = {{Line::IDC_ENTRY, "Entry"}};

const std::vector<tagPageField> kVdcpFields = {{Vdcp::IDC_COM, "Com"},
                                               {Vdcp::IDC_DECODER, "Decoder"},
                                               {Vdcp::IDC_ENTRY, "Entry"},
                                               {Vdcp::IDC_PLAY_BEFORE, "PlayBeforeTime"},
                                               {Vdcp::IDC_PREPARE, "PrepareTime"}};

// The VTR source reads VtrOverOpt and TCType as words (see VtrSource.cpp), so the page stores
// the word of the item chosen; a number stored earlier still selects its item.
const std::vector<tagPageField> kVtrFields = {
    {Vtr::IDC_COM, "Com"},
    {Vtr::IDC_ENTRY, "Entry"},
    {Vtr::IDC_FIRST_CUE, "First_Cue"},
    {Vtr::IDC_PRE_PLAY, "PrePlayTime"},
    {Vtr::IDC_SECOND_CUE, "Second_Cue"},
    {Vtr::IDC_CHECK_TIME, "Check_Time", {"1", "2"}, 1},
    {Vtr::IDC_OVER_OPT,
     "VtrOverOpt",
     {"立即弹出", "回零出带", "立即停止", "回零不弹出"},
     0,
     {"EJECT", "ZERO_EJECT", "STOP", "ZERO"}},
    {Vtr::IDC_CASSETTE, "TypeOfCassette", {"SP", "SX"}},
    {Vtr::IDC_TC_TYPE, "TCType", {"TC", "CTL"}, 0, {"TC", "CTL"}},
};

const CMxtDialogReg g_lineReg(RUNTIME_CLASS(CProp_Device_Src_Line), "Line_Setting_Dlg",
                              "线路信号设置", "CVideoSrc_Line");
const CMxtDialogReg g_vdcpReg(RUNTIME_CLASS(CProp_Device_Src_VDCP), "VDCP_Setting_Dlg", "VDCP设置",
                              "CVideoSrc_VDCP");
const CMxtDialogReg g_vtrReg(RUNTIME_CLASS(CProp_Device_VTR), "BetaCam_Setting_Dlg", "VTR设置",
                             "CVideoSrc_BetacamX");
const CMxtDialogReg g_videoSrcReg(RUNTIME_CLASS(CPropVideoSrcSetting),
                                  "VideoSrc_Common_Setting_Dlg", "视频源设备设置", "CVideoSrcA");

} // namespace

CProp_Device_Src_Line::CProp_Device_Src_Line() : CSettingFieldsPage(IDD, kLineFields) {}

CProp_Device_Src_VDCP::CProp_Device_Src_VDCP() : CSettingFieldsPage(IDD, kVdcpFields) {}

CProp_Device_VTR::CProp_Device_VTR() : CSettingFieldsPage(IDD, kVtrFields) {}

CPropVideoSrcSetting::CPropVideoSrcSetting() : CObjectSettingDlg(IDD) {}
