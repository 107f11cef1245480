// The device setting pages through glDoSettingDialog: each page reads its keys from a settings
// file, a user changes them, OK writes them back where they were read and a second opening
// (and the device's own reader) sees the change; cancelling writes nothing. The switcher
// pages only show their keys and open the dialogs they lead to; the registrations give each
// device class its pages.
#include "tests/pages/PageTestKit.h"

#include "drivers/model/pages/DeviceSettingPages.h"
#include "drivers/model/pages/SwitchSettingPages.h"
#include "drivers/model/CVideoSrcA.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/CControlDlg.h"
#include "devext/device/CMxtDialogCollection.h"
#include "devext/device/CMxtDialogReg.h"
#include "platform/ui/CComboBox.h"
#include "platform/ui/CListBox.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

using namespace pagetest;
using devtest::Section;

namespace {

// The switcher task panel the Quartz page opens, as a host would register it.
class CTestSwitchTaskPanel : public CControlDlg {
    DECLARE_DYNCREATE(CTestSwitchTaskPanel)
    CTestSwitchTaskPanel() : CControlDlg(7400) {}
};
IMPLEMENT_DYNCREATE(CTestSwitchTaskPanel, CControlDlg)
const CDlgTemplateReg
    g_panelTemplate({7400, "切换任务", WS_POPUP | WS_CAPTION, {0, 0, 100, 50}, {}});
const CMxtDialogReg g_panelReg(RUNTIME_CLASS(CTestSwitchTaskPanel), "SwitchTask", "切换任务",
                               "CVideoSwitchTaskList");

CString Key(const char *path, const char *key)
{
    return CResAccess(path)[key].GetAsString("<none>");
}

int Selection(CWnd &page, int id)
{
    auto *combo = dynamic_cast<CComboBox *>(page.GetDlgItem(id));
    return combo ? combo->GetCurSel() : -2;
}

// Replaces the text of edit `id` as a user would.
void Type(CWnd &page, int id, const char *text)
{
    ui::Focus(page, id);
    ui::TypeText(text);
}

using Vtr = CProp_Device_VTR;

const std::string kVtrSettings = Section("VTR1", {{"class", "CVideoSrc_BetacamX"},
                                                  {"Com", "3"},
                                                  {"Entry", "5"},
                                                  {"First_Cue", "60"},
                                                  {"PrePlayTime", "5000"},
                                                  {"Second_Cue", "10"},
                                                  {"Check_Time", "0"},
                                                  {"VtrOverOpt", "1"},
                                                  {"TypeOfCassette", "1"},
                                                  {"TCType", "LTC"}});

} // namespace

TEST(SettingPages, EachDeviceClassGetsItsPagesAndThoseOfItsBases)
{
    const struct {
        const char *deviceClass;
        std::vector<std::string> pages;
    } cases[] = {
        {"CVideoSrc_Line", {"CProp_Device_Src_Line"}},
        {"CVideoSrc_VDCP", {"CProp_Device_Src_VDCP"}},
        // The two VTR rows differ only in case; either name gets both.
        {"CVideoSrc_BetaCamX", {"CProp_Src_VTR_Control", "CProp_Device_VTR"}},
        {"cvideosrc_betacamx", {"CProp_Src_VTR_Control", "CProp_Device_VTR"}},
        {"CVideoSwitch_Mutil", {"CPropDeviceMutilSwitch"}},
        {"CVideoSwitch_Quartz", {"CPropDeviceQuartz"}},
        {"CVideoSrcA", {"CPropVideoSrcSetting"}},
    };
    for (const auto &c : cases) {
        tagMxtDlgInfoArray regs;
        CMxtDialogCollection::Collect(regs, c.deviceClass, RUNTIME_CLASS(CObjectSettingDlg), "");
        std::vector<std::string> pages;
        for (CMxtDialogReg *reg : regs) pages.emplace_back(reg->m_pDialogClass->m_lpszClassName);
        std::sort(pages.begin(), pages.end());
        auto expected = c.pages;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(pages, expected) << c.deviceClass;
    }
    // A Betacam source gets the common source page of its base class too.
    tagMxtDlgInfoArray all;
    CMxtDialogCollection::CollectWithBases(all, "CVideoSrc_BetaCamX");
    bool common = false;
    for (CMxtDialogReg *reg : all)
        common = common || reg->m_strDialogKey == "VideoSrc_Common_Setting_Dlg";
    EXPECT_TRUE(common);
}

TEST(SettingPages, TheVtrPageWritesBackWhatTheSourceReads)
{
    SettingsFile file(kVtrSettings);
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CProp_Device_VTR");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(Text(*page, Vtr::IDC_COM), "3");
        EXPECT_EQ(Text(*page, Vtr::IDC_ENTRY), "5");
        EXPECT_EQ(Text(*page, Vtr::IDC_FIRST_CUE), "60");
        EXPECT_EQ(Text(*page, Vtr::IDC_PRE_PLAY), "5000");
        EXPECT_EQ(Text(*page, Vtr::IDC_SECOND_CUE), "10");
        EXPECT_EQ(Selection(*page, Vtr::IDC_CHECK_TIME), -1) << "a check time of 0 selects none";
        EXPECT_EQ(Selection(*page, Vtr::IDC_OVER_OPT), 1) << "a stored number selects its item";
        EXPECT_EQ(Selection(*page, Vtr::IDC_CASSETTE), 1);
        EXPECT_EQ(Selection(*page, Vtr::IDC_TC_TYPE), 0) << "LTC is time code";
        EXPECT_FALSE(page->IsModified());
        Type(*page, Vtr::IDC_COM, "4");
        EXPECT_TRUE(page->IsModified());
        Type(*page, Vtr::IDC_FIRST_CUE, "90");
        ui::Pick(*page, Vtr::IDC_OVER_OPT, 3);
        ui::Pick(*page, Vtr::IDC_TC_TYPE, 1);
        ui::PressOK(dlg);
    });
    EXPECT_EQ(glDoSettingDialog("设备属性", "VTR1", "/etc/tvx/VTR1", "CVideoSrc_BetacamX"), IDOK);

    EXPECT_EQ(Key("/etc/tvx/VTR1", "Com"), "4");
    EXPECT_EQ(Key("/etc/tvx/VTR1", "Check_Time"), "0") << "no selection, plus one";
    EXPECT_EQ(Key("/etc/tvx/VTR1", "VtrOverOpt"), "ZERO");
    EXPECT_EQ(Key("/etc/tvx/VTR1", "TCType"), "CTL");
    EXPECT_EQ(Key("/etc/tvx/VTR1", "TypeOfCassette"), "1");
    EXPECT_EQ(Key("/etc/tvx/VTR1", "Entry"), "5");
    EXPECT_NE(file.Text().find("ZERO"), std::string::npos) << file.Text();

    EXPECT_EQ(Key("/etc/tvx/VTR1", "First_Cue"), "90");
    // The source's own reader takes the word the page wrote.
    EXPECT_EQ(CVideoSrcA::ParseVtrOverOpt(Key("/etc/tvx/VTR1", "VtrOverOpt")),
              CVideoSrcA::VTROVER_ZERO);

    // Opened again, the page shows what was written.
    runner.Then([](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CProp_Device_VTR");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(Text(*page, Vtr::IDC_COM), "4");
        EXPECT_EQ(Selection(*page, Vtr::IDC_CHECK_TIME), -1);
        EXPECT_EQ(Selection(*page, Vtr::IDC_OVER_OPT), 3);
        EXPECT_EQ(Selection(*page, Vtr::IDC_TC_TYPE), 1);
        ui::Pick(*page, Vtr::IDC_CHECK_TIME, 1);
        ui::PressOK(dlg);
    });
    EXPECT_EQ(glDoSettingDialog("设备属性", "VTR1", "/etc/tvx/VTR1", "CVideoSrc_BetacamX"), IDOK);
    EXPECT_EQ(Key("/etc/tvx/VTR1", "Check_Time"), "2") << "the selection plus one";
}

TEST(SettingPages, TheLineAndVdcpPagesWriteWhereTheyRead)
{
    using Vdcp = CProp_Device_Src_VDCP;
    SettingsFile file(Section("LINE1", {{"class", "CVideoSrc_Line"}, {"Entry", "7"}}) +
                      Section("VDCP1", {{"class", "CVideoSrc_VDCP"},
                                        {"Com", "2"},
                                        {"Decoder", "1"},
                                        {"Entry", "3"},
                                        {"PlayBeforeTime", "400"},
                                        {"PrepareTime", "3000"}}));
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CProp_Device_Src_Line");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(Text(*page, CProp_Device_Src_Line::IDC_ENTRY), "7");
        Type(*page, CProp_Device_Src_Line::IDC_ENTRY, "12");
        ui::PressOK(dlg);
    });
    const struct {
        int id;
        const char *key, *before, *after;
    } vdcp[] = {{Vdcp::IDC_COM, "Com", "2", "5"},
                {Vdcp::IDC_DECODER, "Decoder", "1", "2"},
                {Vdcp::IDC_ENTRY, "Entry", "3", "9"},
                {Vdcp::IDC_PLAY_BEFORE, "PlayBeforeTime", "400", "800"},
                {Vdcp::IDC_PREPARE, "PrepareTime", "3000", "2500"}};
    runner.Then([&](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CProp_Device_Src_VDCP");
        ASSERT_NE(page, nullptr);
        for (const auto &field : vdcp) {
            EXPECT_EQ(Text(*page, field.id), field.before) << field.key;
            Type(*page, field.id, field.after);
        }
        ui::PressOK(dlg);
    });
    EXPECT_EQ(glDoSettingDialog("设备属性", "LINE1", "/etc/tvx/LINE1", "CVideoSrc_Line"), IDOK);
    EXPECT_EQ(glDoSettingDialog("设备属性", "VDCP1", "/etc/tvx/VDCP1", "CVideoSrc_VDCP"), IDOK);
    EXPECT_EQ(Key("/etc/tvx/LINE1", "Entry"), "12") << file.Text();
    for (const auto &field : vdcp) EXPECT_EQ(Key("/etc/tvx/VDCP1", field.key), field.after);
}

TEST(SettingPages, CancellingWritesNothing)
{
    SettingsFile file(kVtrSettings);
    const std::string before = file.Text();
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CProp_Device_VTR");
        ASSERT_NE(page, nullptr);
        Type(*page, Vtr::IDC_COM, "8");
        ui::Pick(*page, Vtr::IDC_OVER_OPT, 0);
        ui::PressCancel(dlg);
    });
    EXPECT_EQ(glDoSettingDialog("设备属性", "VTR1", "/etc/tvx/VTR1", "CVideoSrc_BetacamX"),
              IDCANCEL);
    EXPECT_EQ(file.Text(), before);
}

TEST(SettingPages, SwitcherPagesShowTheirKeysAndOpenWhatTheyLeadTo)
{
    SettingsFile file(
        Section("MS1", {{"class", "CVideoSwitch_Mutil"}, {"Dev", "{\"SW1\",\"SW2\"}"}}) +
        Section("SW2", {{"class", "CVideoSwitch_Quartz"}, {"BUS", "3"}, {"COM", "12"}}));
    const std::string before = file.Text();
    ui::CScriptedRunner runner;
    std::vector<std::string> members, memberPages;
    CString bus, com;
    runner.Then([&](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CPropDeviceMutilSwitch");
        ASSERT_NE(page, nullptr);
        auto *list =
            dynamic_cast<CListBox *>(page->GetDlgItem(CPropDeviceMutilSwitch::IDC_MEMBERS));
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->GetCount(); ++i) {
            CString member;
            list->GetText(i, member);
            members.emplace_back(member);
        }
        ui::Pick(*page, CPropDeviceMutilSwitch::IDC_MEMBERS, -1); // nothing chosen: nothing opens
        ui::Pick(*page, CPropDeviceMutilSwitch::IDC_MEMBERS, 1);
        ui::PressOK(dlg);
    });
    // The member's own setting dialog, found by its id alone.
    runner.Then([&](CDialog &dlg) {
        memberPages = PageClasses(dlg);
        CObjectSettingDlg *page = ShowPage(dlg, "CPropDeviceQuartz");
        ASSERT_NE(page, nullptr);
        bus = Text(*page, CPropDeviceQuartz::IDC_BUS);
        com = Text(*page, CPropDeviceQuartz::IDC_COM);
        auto *combo = dynamic_cast<CComboBox *>(page->GetDlgItem(CPropDeviceQuartz::IDC_BUS));
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->GetCount(), 16);
        ui::Click(*page, CPropDeviceQuartz::IDC_TASKS);
        ui::PressOK(dlg);
    });
    runner.Then([](CDialog &panel) { ui::PressCancel(panel); });
    EXPECT_EQ(glDoSettingDialog("设备属性", "MS1", "/etc/tvx/MS1", "CVideoSwitch_Mutil"), IDOK);

    EXPECT_EQ(members, (std::vector<std::string>{"SW1", "SW2"}));
    EXPECT_NE(std::find(memberPages.begin(), memberPages.end(), "CPropDeviceQuartz"),
              memberPages.end());
    EXPECT_EQ(bus, "3");
    EXPECT_EQ(com, "12");
    ASSERT_EQ(runner.Runs().size(), 3u);
    EXPECT_EQ(runner.Runs()[1], "设备属性");
    EXPECT_EQ(runner.Runs()[2], "切换任务");
    EXPECT_EQ(file.Text(), before) << "the switcher pages write nothing";
}

TEST(SettingPages, WordFieldsWithoutAValueLeaveTheSourcesDefault)
{
    SettingsFile file(Section("VTR2", {{"class", "CVideoSrc_BetacamX"}}));
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) {
        CObjectSettingDlg *page = ShowPage(dlg, "CProp_Device_VTR");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(Selection(*page, Vtr::IDC_OVER_OPT), -1);
        EXPECT_EQ(Selection(*page, Vtr::IDC_TC_TYPE), -1);
        EXPECT_EQ(Selection(*page, Vtr::IDC_CASSETTE), 0) << "a number field reads 0";
        ui::PressOK(dlg);
    });
    EXPECT_EQ(glDoSettingDialog("设备属性", "VTR2", "/etc/tvx/VTR2", "CVideoSrc_BetacamX"), IDOK);
    EXPECT_EQ(Key("/etc/tvx/VTR2", "VtrOverOpt"), "<none>");
    EXPECT_EQ(Key("/etc/tvx/VTR2", "TCType"), "<none>");
    EXPECT_EQ(Key("/etc/tvx/VTR2", "TypeOfCassette"), "0");
    EXPECT_EQ(Key("/etc/tvx/VTR2", "Com"), "");
}
