// The VTR control panel against a simulated VTR found through a device manager: the poll
// shows the VTR's time readings and status text, each button sends its command, devices the
// panel does not drive answer "录像机没有打开", and closing the panel while its poll thread
// waits on a silent VTR gives the thread up without it touching the page again.
#include "tests/pages/PageTestKit.h"
#include "tests/vtr/VtrTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/pages/CProp_Src_VTR_Control.h"
#include "drivers/model/pages/VtrStatusText.h"
#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"

#include "platform/ui/UiInput.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace pagetest;
using devtest::Section;
using Panel = CProp_Src_VTR_Control;

// A Betacam source whose line writes without the half-duplex pause, made by class name.
class CPanelTestVtr : public CVideoSrc_BetaCamX {
    DECLARE_KEST_CLASS(CPanelTestVtr)
    CPanelTestVtr()
    {
        m_pVTR->Release();
        m_pVTR = new vtrtest::CQuickVTR;
    }
};
IMPLEMENT_KEST_CLASS(CPanelTestVtr, CVideoSrc_BetaCamX)

namespace {

constexpr int kIdlePort = 45;

std::string Settings()
{
    const std::string com = std::to_string(vtrtest::kComPort);
    return Section("DevMgr", {{"VideoSrc", "{\"VTR1\",\"UVW1\",\"VIRT1\"}"}}) +
           Section("VTR1",
                   {{"class", "CPanelTestVtr"}, {"Com", com}, {"DeviceTypeId", "LVSRC_VTR"}}) +
           Section("UVW1",
                   {{"class", "CVideoSrc_UVW"}, {"Com", "46"}, {"DeviceTypeId", "LVSRC_VTR"}}) +
           Section("VIRT1", {{"class", "CPanelTestVtr"},
                             {"Com", std::to_string(kIdlePort)},
                             {"DeviceTypeId", "LVSRC_VTR"}});
}

// The 9-pin status of a stopped VTR with its tape in, as the panel shows it.
CString StoppedText()
{
    tagVTRStatus status;
    status.Set(1, 5);
    return VtrStatusText(status);
}

class VtrPanel : public vtrtest::VtrLineTest {
protected:
    void SetUp() override
    {
        VtrLineTest::SetUp();
        ASSERT_EQ(mgr->Initlization("/etc/tvx/DevMgr"), 1);
    }
    void TearDown() override
    {
        mgr->Finalization();
        VtrLineTest::TearDown();
    }

    // Opens the panel of `name` and runs `script` on it on a thread of its own, while this
    // thread moves the manual clock 10 ms a millisecond until the sheet has closed (at most
    // 60 s of real time). The sheet's result.
    int RunPanel(const char *name, std::function<void(CDialog &, CWnd &)> script)
    {
        std::atomic<bool> done{false};
        auto sheet = std::async(std::launch::async, [&] {
            runner.Then([&](CDialog &dlg) {
                CObjectSettingDlg *page = ShowPage(dlg, "CProp_Src_VTR_Control");
                EXPECT_NE(page, nullptr);
                if (page) script(dlg, *page);
                ui::PressCancel(dlg);
            });
            const int result = glDoSettingDialog("设备属性", name, nullptr, "CVideoSrc_BetaCamX");
            done = true;
            return result;
        });
        for (int ms = 0; !done && ms < 60000; ++ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            plat::TestClock::Advance(10);
        }
        EXPECT_TRUE(done) << "the panel closed";
        return sheet.get();
    }

    // Waits in real time until the text of `id` satisfies `check`.
    static bool Shows(CWnd &page, int id, const std::function<bool(const CString &)> &check)
    {
        return devtest::Eventually([&] { return check(Text(page, id)); }, 10000);
    }

    SettingsFile settings{Settings()};
    devtest::DeleteDevices cleanup{{"VTR1", "UVW1", "VIRT1"}};
    std::unique_ptr<CVideoDevMgr> mgr = std::make_unique<CVideoDevMgr>();
    ui::CScriptedRunner runner;
};

int32_t CuePoint(const kestsim::VtrSim::Command &c)
{
    auto bcd = [](uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    return ((bcd(c.data[3]) * 60 + bcd(c.data[2])) * 60 + bcd(c.data[1])) * 25 + bcd(c.data[0]);
}

std::vector<int32_t> CuePoints(const kestsim::VtrSim &vtr)
{
    std::vector<int32_t> points;
    for (const auto &c : vtr.Commands())
        if (c.Is(0x24, 0x31) && c.data.size() == 4) points.push_back(CuePoint(c));
    return points;
}

} // namespace

TEST(VtrStatusText, TwoItemsToALineInThePanelsOrder)
{
    uint8_t data[16] = {};
    data[0] = 0x04 | 0x20; // an error bit and the cassette out
    data[1] = 0x01;        // play
    data[2] = 0x02;        // still
    data[8] = 0x10;        // end of tape
    tagVTRStatus status;
    status.Load(data);
    const CString text = VtrStatusText(status);
    const std::string lines(text);
    EXPECT_EQ(lines.substr(0, 45), "Play         = true  ,Rec          = false \r\n");
    EXPECT_NE(lines.find("Cueup        = false ,Still        = true  \r\n"), std::string::npos);
    EXPECT_NE(lines.find("Preroll      = false ,EOT          = true  \r\n"), std::string::npos);
    EXPECT_NE(lines.find("Local        = false ,HeadErr      = 4     \r\n"), std::string::npos);
    EXPECT_NE(lines.find("RefVideoErr  = 0     ,HeadError    = 0     \r\n"), std::string::npos);
    // The 21st item is the first of a pair: it is followed by the comma alone.
    EXPECT_EQ(lines.substr(lines.size() - 22), "CassetteOut  = true  ,");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 10);
}

TEST_F(VtrPanel, ShowsTheVtrAndEachButtonSendsItsCommand)
{
    vtr.SetPosition(1500); // 00:01:00:00
    std::vector<ui::tagShownBox> boxes;
    RunPanel("VTR1", [&](CDialog &, CWnd &page) {
        EXPECT_TRUE(Shows(page, Panel::IDC_STATUS, [](const CString &t) {
            return t == StoppedText();
        })) << Text(page, Panel::IDC_STATUS);
        EXPECT_TRUE(Shows(page, Panel::IDC_TIMECODE_1,
                          [](const CString &t) { return t == "00:01:00:00"; }));
        EXPECT_EQ(Text(page, Panel::IDC_TIMECODE_2), "00:01:00:00");
        const CString kind = Text(page, Panel::IDC_TIME_KIND);
        EXPECT_TRUE(kind == "CTL" || kind == "TC") << kind;

        const struct {
            int button;
            uint8_t cmd1, cmd2;
        } transport[] = {
            {Panel::IDC_PLAY, 0x20, 0x01},        {Panel::IDC_STOP, 0x20, 0x00},
            {Panel::IDC_REWIND, 0x20, 0x20},      {Panel::IDC_FAST_FORWARD, 0x20, 0x10},
            {Panel::IDC_STANDBY_OFF, 0x20, 0x04}, {Panel::IDC_TIME_KIND, 0x41, 0x36}};
        for (const auto &t : transport) {
            vtr.ClearCommands();
            ui::Click(page, t.button);
            EXPECT_TRUE(vtr.WaitFor(t.cmd1, t.cmd2)) << t.button;
        }

        vtr.ClearCommands();
        page.SetDlgItemText(Panel::IDC_INPUT, "00:02:00:00");
        ui::Click(page, Panel::IDC_GOTO);
        EXPECT_EQ(CuePoints(vtr), std::vector<int32_t>{3000});

        vtr.ClearCommands();
        page.SetDlgItemText(Panel::IDC_INPUT, "5");
        ui::Click(page, Panel::IDC_JOG);
        EXPECT_EQ(CuePoints(vtr), std::vector<int32_t>{3005}) << "five frames on from the goto";

        ui::Click(page, Panel::IDC_CHECK_OPEN);
        ui::Click(page, Panel::IDC_REFRESH);

        vtr.ClearCommands();
        ui::Click(page, Panel::IDC_EJECT);
        EXPECT_EQ(vtr.Count(0x20, 0x0F), 1u);
        EXPECT_TRUE(Shows(page, Panel::IDC_STATUS, [](const CString &t) {
            return std::string(t).find("CassetteOut  = true") != std::string::npos;
        })) << Text(page, Panel::IDC_STATUS);

        // The recovery closes and opens the line again; the VTR answers the panel again.
        vtr.SetTape(true);
        ui::Click(page, Panel::IDC_RECOVER);
        EXPECT_TRUE(Shows(page, Panel::IDC_STATUS, [](const CString &t) {
            return std::string(t).find("CassetteOut  = false") != std::string::npos;
        })) << Text(page, Panel::IDC_STATUS);
        vtr.ClearCommands();
        ui::Click(page, Panel::IDC_PLAY);
        EXPECT_TRUE(vtr.WaitFor(0x20, 0x01));
        boxes = runner.Boxes();
    });
    // Whether the line counts as open at once depends on the VTR's last answer; either way the
    // recovery says so in its message.
    ASSERT_EQ(boxes.size(), 1u) << "only the recovery answers with a message";
    EXPECT_TRUE(boxes[0].text == "恢复成功" || boxes[0].text == "恢复失败") << boxes[0].text;
}

TEST_F(VtrPanel, DevicesThePanelDoesNotDriveAnswerEveryButton)
{
    CVideoSrcA *virt = mgr->GetVideoSrcDev("VIRT1", 1, nullptr);
    ASSERT_NE(virt, nullptr);
    virt->OnSetVirtual(1);
    const struct {
        const char *name, *status;
    } cases[] = {{"VIRT1", "录像机处于虚拟控制状态"},
                 {"UVW1", "录像机驱动错误"},
                 {"NOPE", "录像机配置错误"}};
    const int buttons[] = {Panel::IDC_EJECT,        Panel::IDC_JOG,         Panel::IDC_RECOVER,
                           Panel::IDC_GOTO,         Panel::IDC_TIME_KIND,   Panel::IDC_REFRESH,
                           Panel::IDC_PLAY,         Panel::IDC_STOP,        Panel::IDC_REWIND,
                           Panel::IDC_FAST_FORWARD, Panel::IDC_STANDBY_OFF, Panel::IDC_CHECK_OPEN};
    for (const auto &c : cases) {
        size_t boxes = runner.Boxes().size();
        RunPanel(c.name, [&](CDialog &, CWnd &page) {
            EXPECT_TRUE(
                Shows(page, Panel::IDC_STATUS, [&](const CString &t) { return t == c.status; }))
                << c.name << ": " << Text(page, Panel::IDC_STATUS);
            for (int button : buttons) ui::Click(page, button);
        });
        const auto shown = runner.Boxes();
        ASSERT_EQ(shown.size(), boxes + std::size(buttons)) << c.name;
        for (size_t i = boxes; i < shown.size(); ++i) EXPECT_EQ(shown[i].text, "录像机没有打开");
    }
    EXPECT_TRUE(vtr.Commands().empty()) << "no panel reached the VTR of VTR1";
}

TEST_F(VtrPanel, ClosingWhileThePollWaitsOnASilentVtrGivesTheThreadUp)
{
    RunPanel("VTR1", [&](CDialog &, CWnd &page) {
        ASSERT_TRUE(
            Shows(page, Panel::IDC_STATUS, [](const CString &t) { return t == StoppedText(); }));
        vtr.SetSilent(true);
        // Past the line's caches: every poll now asks the VTR and waits for its answer.
        const size_t asked = vtr.Commands().size();
        ASSERT_TRUE(devtest::Eventually([&] { return vtr.Commands().size() > asked; }, 10000));
    });
    // The thread given up ends by itself once its wait is over; the page is long gone.
    for (int i = 0; i < 500; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        plat::TestClock::Advance(10);
    }
}
