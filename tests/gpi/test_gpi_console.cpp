// The gpi program's console: the dialog worked from lines of text, its GBK texts shown in the
// terminal's character set, check boxes shown with their state, and the reason for a failed
// command printed.
#include "tests/gpi/GpiTestKit.h"

#include "gpi/main/CConsoleRunner.h"
#include "gpi/main/CGpiDlg.h"

#include <sstream>

using namespace gpitest;

namespace {

std::string Utf8(const char8_t *text)
{
    return reinterpret_cast<const char *>(text);
}

class GpiConsoleTest : public GpiTest {
protected:
    // Runs the monitor dialog on `script`; what the console printed.
    std::string Run(const std::string &script, bool utf8)
    {
        std::istringstream in(script);
        std::ostringstream out;
        {
            CConsoleRunner runner(in, out, utf8);
            CGpiDlg dialog;
            dialog.DoModal();
        }
        return out.str();
    }
};

} // namespace

TEST_F(GpiConsoleTest, TextsFollowTheTerminalAndCheckBoxesShowTheirState)
{
    EXPECT_EQ(
        Run(Utf8(u8"show 1015\nclick 1015\nshow 1015\ntext 1016 十三\nshow 1016\nquit\n"), true),
        Utf8(u8"1015=[ ] 中断\n1015=[x] 中断\n1016=十三\n"));
    // A GBK terminal gets the texts as they are.
    EXPECT_EQ(Run("show 1008\n", false), std::string("1008=") + "打开设备" + "\n");
}

TEST_F(GpiConsoleTest, FailedCommandsSayWhy)
{
    OutputRecorder outputs;
    const std::string out = Run("text 1016 -1\nclick 1001\ntext 1016 99999\nclick 1002\n"
                                "text 1016 13\nclick 1001\nbogus 1\nclick\nshow 4242\n",
                                true);
    EXPECT_EQ(out, "Dev=GPI channel -1 out of range\n"
                   "Dev=GPI channel 99999 out of range\n"
                   "? unknown command \"bogus\" (click, pick, text, show, sys, quit)\n"
                   "? click needs a control id\n"
                   "? no control 4242\n");
    // Channel 13 was driven; the numbers out of range drove nothing (they would wrap round
    // onto channels 65535 and 34463).
    const std::vector<LineChange> changes = outputs.Changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].port, 1);
    EXPECT_EQ(changes[0].bit, 5);
    EXPECT_EQ(changes[0].level, 1);

    // Without a card, the receive thread's reason is printed.
    DioSim_Reset(0);
    const std::string noCard = Run("click 1015\nclick 1000\n", true);
    EXPECT_NE(noCard.find("Dev=GPI Open failed"), std::string::npos) << noCard;
}

TEST(GpiConsole, TheLocaleTellsAUtf8Terminal)
{
    struct Case {
        const char *all, *ctype, *lang;
        bool utf8;
    };
    const Case cases[] = {
        {"", "", "zh_CN.UTF-8", true},
        {"", "en_US.utf8", "zh_CN.GBK", true},
        {"C", "en_US.UTF-8", "", false},
        {"", "", "zh_CN.GB18030", false},
        {"", "", "", false},
    };
    for (const Case &c : cases) {
        plat::SetEnv("LC_ALL", *c.all ? c.all : nullptr);
        plat::SetEnv("LC_CTYPE", *c.ctype ? c.ctype : nullptr);
        plat::SetEnv("LANG", *c.lang ? c.lang : nullptr);
        EXPECT_EQ(CConsoleRunner::IsUtf8Terminal(), c.utf8)
            << c.all << "|" << c.ctype << "|" << c.lang;
    }
}
