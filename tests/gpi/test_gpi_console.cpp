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

// The output without the lists of controls each dialog prints (from its caption through the
// line of commands).
std::string WithoutListings(const std::string &out)
{
    std::istringstream lines(out);
    std::string kept;
    bool listing = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == "GPI" || line == Utf8(u8"关于 GPI") || line == "关于 GPI") listing = true;
        if (!listing) kept += line + "\n";
        if (line.rfind("commands: ", 0) == 0) listing = false;
    }
    return kept;
}

class GpiConsoleTest : public GpiTest {
protected:
    // Runs the monitor dialog on `script`; what the console printed, without the lists of
    // controls unless asked for.
    std::string Run(const std::string &script, bool utf8, bool listings = false)
    {
        std::istringstream in(script);
        std::ostringstream out;
        {
            CConsoleRunner runner(in, out, utf8);
            CGpiDlg dialog;
            dialog.DoModal();
        }
        return listings ? out.str() : WithoutListings(out.str());
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
                   "? unknown command \"bogus\" (click, pick, text, show, sys, help, quit)\n"
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

TEST(GpiConsole, OnlyALocaleOfAGbCharsetTakesTheTextsAsTheyAre)
{
    struct Case {
        const char *all, *ctype, *lang;
        bool utf8;
    };
    const Case cases[] = {
        {"", "", "zh_CN.UTF-8", true},
        {"", "en_US.utf8", "zh_CN.GBK", true},
        {"zh_CN.GBK", "en_US.UTF-8", "", false},
        {"", "", "zh_CN.GB18030", false},
        {"", "", "zh_CN.gb2312@stroke", false},
        {"", "zh_CN.eucCN", "", false},
        {"", "", "zh_CN", false},
        // The C locale, or none (a fresh machine), on the terminals that show Chinese at all.
        {"C", "zh_CN.GBK", "", true},
        {"POSIX", "", "", true},
        {"", "", "", true},
        {"", "", "en_GB.ISO-8859-1", true},
    };
    for (const Case &c : cases) {
        plat::SetEnv("LC_ALL", *c.all ? c.all : nullptr);
        plat::SetEnv("LC_CTYPE", *c.ctype ? c.ctype : nullptr);
        plat::SetEnv("LANG", *c.lang ? c.lang : nullptr);
        EXPECT_EQ(CConsoleRunner::IsUtf8Terminal(), c.utf8)
            << c.all << "|" << c.ctype << "|" << c.lang;
    }
}

TEST_F(GpiConsoleTest, TheControlsAreListedWithTheirIdsAtStartAndOnHelp)
{
    const std::string listing =
        Utf8(u8"GPI\n"
             "    1008  button     打开设备\n"
             "          label      受控（接收GPI触发）\n"
             "    1000  button     启动接收线程\n"
             "    1014  check box  [ ] 高电平触发\n"
             "    1015  check box  [ ] 中断\n"
             "          label      端口\n"
             "    1009  list       0  (items 0 to 7: 0, 1, 2, 3, 4, 5, 6, 7)\n"
             "          label      计数\n"
             "    1010  edit       0  (read-only)\n"
             "          label      主控（发送高低电平）\n"
             "    1016  edit       0\n"
             "    1001  button     高\n"
             "    1002  button     低\n"
             "       1  button     退出\n"
             "  sys 61536          关闭(&C)\n"
             "  sys 16             关于 GPI(&A)...\n"
             "commands: click <id> | pick <id> <item> | text <id> <text> | "
             "show <id> | sys <command> | help | quit\n");
    EXPECT_EQ(Run("", true, true), listing);
    // Help lists them as they are now.
    std::string ticked = listing;
    ticked.replace(ticked.find("[ ]"), 3, "[x]");
    EXPECT_EQ(Run("click 1014\nhelp\n", true, true), listing + ticked);
}

TEST_F(GpiConsoleTest, TextAndPickChangeTheControlTheyName)
{
    struct Case {
        const char *script;
        const char *out;
    };
    const Case cases[] = {
        // The port list takes an item by its text or its number.
        {"text 1009 2\nshow 1009\n", "1009=2\n"},
        {"pick 1009 5\nshow 1009\n", "1009=5\n"},
        {"text 1009 9\nshow 1009\n", "? 1009 has no item \"9\"\n1009=0\n"},
        {"pick 1009 8\nshow 1009\n", "? 1009 has no item 8 (items 0 to 7)\n1009=0\n"},
        // The channel edit takes a text or a number.
        {"pick 1016 1\nshow 1016\n", "1016=1\n"},
        {"text 1016 12\nshow 1016\n", "1016=12\n"},
        // A check box is ticked with 1 and cleared with 0.
        {"pick 1015 1\nshow 1015\npick 1015 1\nshow 1015\npick 1015 0\nshow 1015\n",
         "1015=[x] 中断\n1015=[x] 中断\n1015=[ ] 中断\n"},
        {"pick 1015 2\n", "? pick 1015 takes 1 (ticked) or 0 (clear)\n"},
        // What a user cannot type into is refused, and left as it was.
        {"text 1010 5\nshow 1010\n", "? 1010 is read-only\n1010=0\n"},
        {"text 1008 x\nshow 1008\n",
         "? 1008 is a button: its text is not typed (click 1008)\n1008=打开设备\n"},
        {"pick 1001 1\n", "? 1001 is a button: its text is not typed (click 1001)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(Run(c.script, false), c.out);
    }
    // The picked channel is the one the buttons drive.
    OutputRecorder outputs;
    Run("pick 1016 9\nclick 1001\n", false);
    const std::vector<LineChange> changes = outputs.Changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].port, 1);
    EXPECT_EQ(changes[0].bit, 1);
    EXPECT_EQ(changes[0].level, 1);
}
