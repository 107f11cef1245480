// The monitor dialog: what counts as a trigger, which line is watched, and what is announced.
#include "tests/gpi/GpiTestKit.h"

#include "gpi/main/CConsoleRunner.h"
#include "gpi/main/CGpiDlg.h"

#include "platform/ui/UiInput.h"

#include <sstream>

using namespace gpitest;

namespace {

// The dialog with its announcements recorded instead of sent.
class CRecordingGpiDlg : public CGpiDlg {
public:
    std::vector<std::string> Posted()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_posted;
    }

protected:
    void PostSynop(const CString &text) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_posted.emplace_back(text);
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_posted;
};

class GpiDialogTest : public GpiTest {
protected:
    // Runs the dialog with `script` and then closes it. Closing waits for the receive thread,
    // which sleeps on the manual clock: from then on the clock runs.
    void Run(const std::function<void(CDialog &)> &script)
    {
        std::atomic<bool> closing{false}, closed{false};
        std::thread pump([&] {
            while (!closed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (closing) plat::TestClock::Advance(40);
            }
        });
        ui::CScriptedRunner runner;
        runner.Then([&](CDialog &dlg) {
            script(dlg);
            closing = true;
            ui::Click(dlg, IDOK);
        });
        m_dialog.DoModal();
        closed = true;
        pump.join();
    }

    // Lets the receive thread poll for `ms` of the manual clock, each step once it sleeps.
    static void Poll(uint32_t ms)
    {
        for (uint32_t t = 0; t < ms; t += 40) devtest::StepClock(40);
    }

    static CString Text(CDialog &dlg, int id)
    {
        CString text;
        dlg.GetDlgItemText(id, text);
        return text;
    }

    CRecordingGpiDlg m_dialog;
};

} // namespace

TEST_F(GpiDialogTest, EachFallOfTheWatchedLineIsOneTrigger)
{
    devtest::LogCapture log("LOG_DEV");
    Run([&](CDialog &dlg) {
        EXPECT_EQ(Text(dlg, 1009), "0");
        ui::Click(dlg, 1000);
        // Line 0 of port 0 is low from the start: the first poll counts it.
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return m_dialog.GetTriggerCount() == 1; }, 40));
        Poll(400); // staying low is no new trigger
        EXPECT_EQ(m_dialog.GetTriggerCount(), 1);
        DioSim_SetInput(0, 0, 0, 1);
        Poll(200);
        DioSim_SetInput(0, 0, 0, 0);
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return m_dialog.GetTriggerCount() == 2; }, 40));
        EXPECT_EQ(Text(dlg, 1010), "2");
    });
    const std::string synop = "<Interrupt=\"TRUE\" Chn=\"CHN1\" OP=\"100\">";
    EXPECT_EQ(m_dialog.Posted(), std::vector<std::string>(2, synop));
    EXPECT_EQ(log.Lines(), std::vector<std::string>(2, " Dev = GPI "));
}

TEST_F(GpiDialogTest, TriggerOnHighWatchesTheChosenPort)
{
    DioSim_SetInput(0, 0, 0, 1); // port 0 rising would count, but port 3 is watched
    Run([&](CDialog &dlg) {
        ui::Click(dlg, 1014);
        ui::Pick(dlg, 1009, 3);
        ui::Click(dlg, 1000);
        Poll(200);
        EXPECT_EQ(m_dialog.GetTriggerCount(), 0); // starts from high: no rise yet
        DioSim_SetInput(0, 3, 0, 1);              // GPI channel 24
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return m_dialog.GetTriggerCount() == 1; }, 40));
        DioSim_SetInput(0, 3, 0, 0);
        Poll(200);
        EXPECT_EQ(m_dialog.GetTriggerCount(), 1);
    });
}

TEST_F(GpiDialogTest, InterruptModeAnnouncesNothing)
{
    Run([&](CDialog &dlg) {
        ui::Click(dlg, 1015);
        ui::Click(dlg, 1000);
        for (int i = 0; i < 4; ++i) {
            DioSim_SetInput(0, 0, 0, i % 2);
            Poll(200);
        }
    });
    EXPECT_EQ(m_dialog.GetTriggerCount(), 0);
    EXPECT_TRUE(m_dialog.Posted().empty());
}

TEST_F(GpiDialogTest, TheEventFollowsTheInterruptBoxAndAFailedWaitPauses)
{
    // How many event waits `ms` of the manual clock see, stepped as the thread sleeps.
    auto waitsIn = [](uint32_t ms) {
        const uint32_t before = DioSim_Calls(DIOSIM_CHECK);
        for (uint32_t t = 0; t < ms; t += 100) devtest::StepClock(100);
        return DioSim_Calls(DIOSIM_CHECK) - before;
    };
    Run([&](CDialog &dlg) {
        ui::Click(dlg, 1000);
        Poll(200);
        // Ticked while the thread polls: from then on the thread waits for the card's events,
        // a second at a time, which it could not do with the event left disabled.
        ui::Click(dlg, 1015);
        const uint32_t waits = waitsIn(3000);
        EXPECT_GE(waits, 2u);
        EXPECT_LE(waits, 4u);
        // A card whose waits fail at once is asked again only after the wait's time.
        DioSim_Fail(DIOSIM_CHECK, DRV_ERR_DEVICE_FAULT);
        EXPECT_LE(waitsIn(3000), 4u);
        DioSim_Fail(DIOSIM_CHECK, 0);
        // Cleared again: the line is polled, and a fall counts.
        ui::Click(dlg, 1015);
        Poll(1200);
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return m_dialog.GetTriggerCount() == 1; }, 40));
        EXPECT_EQ(waitsIn(1000), 0u);
    });
}

TEST_F(GpiDialogTest, ClosingEndsAPauseAfterAFailedWaitAtOnce)
{
    ui::CScriptedRunner runner;
    runner.Then([&](CDialog &dlg) {
        DioSim_Fail(DIOSIM_CHECK, DRV_ERR_DEVICE_FAULT);
        ui::Click(dlg, 1015);
        ui::Click(dlg, 1000);
        ASSERT_TRUE(devtest::AdvanceUntil([] { return DioSim_Calls(DIOSIM_CHECK) >= 2; }, 100));
        ui::Click(dlg, IDOK);
    });
    // The close waits for the thread, which pauses on the manual clock: should the pause not
    // end at the stop, only moving the clock would let the close go on.
    std::atomic<bool> closed{false}, moved{false};
    std::thread watchdog([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!closed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (std::chrono::steady_clock::now() < until) continue;
            moved = true;
            plat::TestClock::Advance(100);
        }
    });
    m_dialog.DoModal();
    closed = true;
    watchdog.join();
    EXPECT_FALSE(moved);
}

TEST_F(GpiDialogTest, OutputButtonsDriveTheTypedChannel)
{
    ui::CScriptedRunner runner;
    runner.Then([&](CDialog &dlg) {
        ui::Click(dlg, 1008);
        dlg.SetDlgItemText(1016, "13");
        ui::Click(dlg, 1001);
        EXPECT_EQ(DioSim_GetOutput(0, 1, 5), 1);
        ui::Click(dlg, 1002);
        EXPECT_EQ(DioSim_GetOutput(0, 1, 5), 0);
        ui::Click(dlg, IDOK);
    });
    m_dialog.DoModal();
    ASSERT_EQ(runner.Boxes().size(), 1u);
    EXPECT_EQ(runner.Boxes()[0].text, "Open Succeed");
}

TEST_F(GpiDialogTest, TheSystemMenuOpensTheAboutBoxForItsCommands)
{
    ui::CScriptedRunner runner;
    CString line;
    runner.Then([](CDialog &dlg) {
        CMenu *menu = dlg.GetSystemMenu(FALSE);
        ASSERT_NE(menu, nullptr);
        const int last = menu->GetMenuItemCount() - 1;
        ASSERT_GE(last, 1);
        EXPECT_EQ(menu->GetMenuItemID(last - 1), 0u) << "a separator before the entry";
        EXPECT_EQ(menu->GetMenuItemID(last), 16u);
        CString text;
        menu->GetMenuString(16, text, MF_BYCOMMAND);
        EXPECT_EQ(text, "关于 GPI(&A)...");
        EXPECT_TRUE(ui::ChooseSystemMenu(dlg, 16));
        // Commands 17 to 31 open it too (the menu offers only 16); 32 does not.
        dlg.SendMessage(WM_SYSCOMMAND, 31);
        dlg.SendMessage(WM_SYSCOMMAND, 32);
        EXPECT_FALSE(dlg.HasEnded());
        ui::Click(dlg, IDOK);
    });
    runner.Then([&](CDialog &box) {
        CWnd *label = box.GetWindow(GW_CHILD);
        ASSERT_NE(label, nullptr);
        label->GetWindowText(line);
        ui::Click(box, IDOK);
    });
    runner.Then([](CDialog &box) { ui::PressCancel(box); });
    EXPECT_EQ(m_dialog.DoModal(), IDOK);
    EXPECT_EQ(runner.Runs(), (std::vector<CString>{"GPI", "关于 GPI", "关于 GPI"}));
    EXPECT_EQ(line, "GPI 1.0 版");
}

TEST_F(GpiDialogTest, OtherSystemCommandsTakeTheDefaultPath)
{
    ui::CScriptedRunner runner;
    runner.Then([](CDialog &dlg) { EXPECT_TRUE(ui::ChooseSystemMenu(dlg, SC_CLOSE)); });
    EXPECT_EQ(m_dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(runner.Runs(), std::vector<CString>{"GPI"});
}

TEST(GpiConsole, TheAboutBoxIsReachedFromStandardInput)
{
    std::istringstream in("sys 16\nshow 1\nclick 1\nsys 99\nquit\n");
    std::ostringstream out;
    CConsoleRunner console(in, out, false);
    CGpiDlg dialog;
    // The About box takes the lines up to its OK; the main dialog is cancelled at "quit".
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    // Each dialog lists its controls first; the About box's only control is its button.
    const std::string text = out.str();
    const std::string about = "关于 GPI\n";
    const size_t at = text.find(about);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.rfind("GPI\n    1008  button", 0), 0u) << text;
    const std::string rest = text.substr(at);
    EXPECT_NE(rest.find("       1  button     确定\n"), std::string::npos) << rest;
    EXPECT_NE(rest.find("commands: click <id>"), std::string::npos) << rest;
    EXPECT_EQ(rest.substr(rest.find("| quit\n") + 7), "1=确定\n? no system menu command 99\n");
}
