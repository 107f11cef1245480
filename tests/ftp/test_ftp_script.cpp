// The FTP client against a scripted server: the log-on, reply sequences a real server will
// not produce (multi-line replies, short lines, stray text), a reply that never comes, a data
// connection that is never opened, and a control connection that drops while a command waits.
#include "drivers/sources/ftp/CFtpClient.h"
#include "tests/sim/FtpScriptServer.h"

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using kestsim::FtpScriptServer;
using Clock = std::chrono::steady_clock;

// Everything the three hooks saw, in order, as "recv:", "invalid:" and "send:" lines.
class HookLog {
public:
    void Attach(CFtpClient &client)
    {
        client.SetHooks(this, &HookLog::Recv, &HookLog::Invalid, &HookLog::Send);
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_lines;
    }
    bool Has(const std::string &line)
    {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

private:
    void Add(const char *kind, const CString &text)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_lines.push_back(std::string(kind) + text.GetString());
    }
    void Recv(const CString &text) { Add("recv:", text); }
    void Invalid(const CString &text) { Add("invalid:", text); }
    void Send(const CString &text) { Add("send:", text); }

    std::mutex m_lock;
    std::vector<std::string> m_lines;
};

class FtpScriptTest : public ::testing::Test {
protected:
    FtpScriptTest()
    {
        client.host = "127.0.0.1";
        client.port = server.Port();
        client.user = "op";
        client.password = "s3cr3t";
        hooks.Attach(client);
    }
    ~FtpScriptTest() override { client.Close(); }

    FtpScriptServer server;
    HookLog hooks;
    CFtpClient client;
};

TEST_F(FtpScriptTest, LogOnSendsThePasswordOnlyWhenAskedAndNeverShowsIt)
{
    struct Case {
        const char *name;
        const char *user, *pass;
        int loggedOn;
        bool passSent;
    };
    const Case cases[] = {
        {"no password needed", "230 in\r\n", "230 in\r\n", 1, false},
        {"password taken", "331 pw?\r\n", "230 in\r\n", 1, true},
        {"password refused", "331 pw?\r\n", "530 no\r\n", 0, true},
        {"any other answer still sends it", "500 what\r\n", "230 in\r\n", 1, true},
    };
    for (const Case &c : cases) {
        FtpScriptServer peer;
        peer.When("USER", c.user);
        peer.When("PASS", c.pass);
        CFtpClient ftp;
        HookLog log;
        log.Attach(ftp);
        ftp.host = "127.0.0.1";
        ftp.port = peer.Port();
        ftp.user = "op";
        ftp.password = "s3cr3t";
        EXPECT_EQ(ftp.Login(), c.loggedOn) << c.name;
        EXPECT_EQ(ftp.IsConnected(), c.loggedOn) << c.name;
        ftp.Close();
        const auto commands = peer.Commands();
        EXPECT_EQ(commands.front(), "USER op") << c.name;
        EXPECT_EQ(std::find(commands.begin(), commands.end(), "PASS s3cr3t") != commands.end(),
                  c.passSent)
            << c.name;
        EXPECT_EQ(log.Has("send:PASS ****"), c.passSent) << c.name;
        for (const std::string &line : log.Lines())
            EXPECT_EQ(line.find("s3cr3t"), std::string::npos) << c.name << ": " << line;
        EXPECT_TRUE(log.Has("invalid:220 ready")) << c.name << ": the greeting is set aside";
    }
}

TEST_F(FtpScriptTest, ExactReplySequencesReachTheCommandWhole)
{
    ASSERT_EQ(client.Login(), 1);
    struct Case {
        const char *name;
        const char *command;
        std::string reply;
        int code;
        const char *text;
    };
    const Case cases[] = {
        {"multi-line", "STAT", "211-Status\r\nof the server\r\n211 End\r\n", 211,
         "Statusof the server211 End"},
        {"short lines between", "SYST", "ok\r\n\r\n215 UNIX\r\n", 215, "215 UNIX"},
        {"stray text first", "HELP", "just words\r\n214 help\r\n", 214, "214 help"},
        {"split at odd places", "SITE", "200-a\r\n200-b\n200 c\r\n", 200, "ab200 c"},
    };
    for (const Case &c : cases) {
        server.When(c.command, c.reply);
        CString text;
        EXPECT_EQ(client.SendCommand(c.command, &text, 0, true), c.code) << c.name;
        EXPECT_EQ(std::string(text), c.text) << c.name;
        EXPECT_EQ(plat::GetLastError(), static_cast<uint32_t>(c.code)) << c.name;
    }
    EXPECT_FALSE(hooks.Has("recv:ok")) << "lines under four characters reach no hook";
    EXPECT_TRUE(hooks.Has("invalid:just words"));
    EXPECT_TRUE(hooks.Has("recv:211 End"));
    EXPECT_TRUE(hooks.Has("send:STAT"));
}

TEST_F(FtpScriptTest, UnreadRepliesAreThrownAwayByTheNextCommand)
{
    ASSERT_EQ(client.Login(), 1);
    server.When("NOOP", "200 first\r\n200 second\r\n");
    EXPECT_EQ(client.Noop(), 1);
    for (int i = 0; i < 5000 && !hooks.Has("recv:200 second"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.When("CWD", "250 changed\r\n");
    EXPECT_EQ(client.Cwd("clips"), 1);
    EXPECT_TRUE(hooks.Has("invalid:200 second"));
}

TEST_F(FtpScriptTest, AReplyThatNeverComesFailsTheCommandAndKeepsTheConnection)
{
    ASSERT_EQ(client.Login(), 1);
    client.SetDefaultTimeOut(300);
    server.When("NOOP", "");
    EXPECT_EQ(client.Noop(), 0);
    EXPECT_EQ(plat::GetLastError(), 0u);
    EXPECT_EQ(client.IsConnected(), 1);
    EXPECT_EQ(client.IsBusy(), 0) << "the command lock was given back";
    server.When("NOOP", "200 ok\r\n");
    EXPECT_EQ(client.Noop(), 1);
}

TEST_F(FtpScriptTest, ADroppedConnectionAnswersTheWaitingCommandAtOnce)
{
    ASSERT_EQ(client.Login(), 1);
    server.DropOn("NOOP");
    const auto start = Clock::now();
    EXPECT_EQ(client.SendCommand("NOOP", nullptr, 0, true), 600);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(5000))
        << "the lost connection answers before the 10 s time-out";
    EXPECT_EQ(client.IsConnected(), 0);
    EXPECT_EQ(client.Noop(), 0);
    // The owner logs on again.
    EXPECT_EQ(client.Login(), 1);
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(FtpScriptTest, AListingWhoseDataConnectionNeverOpensIsBounded)
{
    ASSERT_EQ(client.Login(), 1);
    client.SetDefaultTimeOut(500);
    server.When("TYPE", "200 ok\r\n");
    server.When("REST", "350 ok\r\n");
    server.When("PORT", "200 ok\r\n");
    server.When("LIST", "150 here it comes\r\n");
    server.When("NOOP", "200 ok\r\n");
    // The listing's own end comes late, behind the abort's answer.
    server.When("\xFF\xF4\xF2"
                "ABOR",
                "226 listing sent\r\n225 nothing to abort\r\n");
    CStringArray lines;
    const auto start = Clock::now();
    EXPECT_EQ(client.List(nullptr, lines, false), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(8000));
    EXPECT_EQ(client.IsBusy(), 0);
    EXPECT_TRUE(server.WaitForCommand("\xFF\xF4\xF2"
                                      "ABOR",
                                      100))
        << "the listing was aborted";
    EXPECT_EQ(client.IsConnected(), 1);
    server.When("CWD", "250 changed\r\n");
    CString reply;
    EXPECT_EQ(client.SendCommand("CWD x", &reply, 0, true), 250) << "no late reply answers it";
    // The PORT offer names the control connection's own address.
    const auto commands = server.Commands();
    const auto port = std::find_if(commands.begin(), commands.end(),
                                   [](const std::string &c) { return c.rfind("PORT ", 0) == 0; });
    ASSERT_NE(port, commands.end());
    EXPECT_EQ(port->rfind("PORT 127,0,0,1,", 0), 0u) << *port;
    server.When("NOOP", "200 ok\r\n");
    EXPECT_EQ(client.Noop(), 1) << "the lock came back on the failed path";
}

TEST_F(FtpScriptTest, PwdAndFailedStepsOfACompositeLeaveTheLockFree)
{
    ASSERT_EQ(client.Login(), 1);
    struct Case {
        const char *reply;
        int ok;
        const char *dir;
    };
    const Case cases[] = {
        {"257 \"/clips/news\" is current\r\n", 1, "/clips/news"},
        {"257 \"/open ended\r\n", 1, "/open ended"},
        {"550 no\r\n", 0, ""},
    };
    for (const Case &c : cases) {
        server.When("PWD", c.reply);
        CString dir;
        EXPECT_EQ(client.Pwd(dir), c.ok) << c.reply;
        EXPECT_EQ(std::string(dir), c.dir) << c.reply;
    }
    server.When("RNFR", "550 no such file\r\n");
    EXPECT_EQ(client.Rename("a", "b"), 0);
    EXPECT_EQ(server.WaitForCommand("RNTO", 100), false) << "RNTO only after RNFR's 350";
    server.When("CWD", "550 no\r\n");
    server.When("DELE", "550 denied\r\n");
    EXPECT_EQ(client.DeleteTree("clip"), 0) << "a refused delete is a failed delete";
    EXPECT_EQ(client.IsBusy(), 0);
}

TEST_F(FtpScriptTest, EveryReplyOfTheSuccessClassIsASuccess)
{
    ASSERT_EQ(client.Login(), 1);
    struct Case {
        const char *verb, *reply;
        int (*run)(CFtpClient &);
        int ok;
    };
    const Case cases[] = {
        {"CDUP", "250 Directory successfully changed.\r\n", [](CFtpClient &c) { return c.Cdup(); },
         1},
        {"CDUP", "200 ok\r\n", [](CFtpClient &c) { return c.Cdup(); }, 1},
        {"CDUP", "550 no\r\n", [](CFtpClient &c) { return c.Cdup(); }, 0},
        {"CWD", "200 ok\r\n", [](CFtpClient &c) { return c.Cwd("x"); }, 1},
        {"CWD", "350 more?\r\n", [](CFtpClient &c) { return c.Cwd("x"); }, 0},
        {"PASS", "202 not needed here\r\n", [](CFtpClient &c) { return c.Pass("p"); }, 1},
        {"MKD", "250 made\r\n", [](CFtpClient &c) { return c.Mkd("x"); }, 1},
        {"RMD", "200 removed\r\n", [](CFtpClient &c) { return c.Rmd("x"); }, 1},
        {"DELE", "200 deleted\r\n", [](CFtpClient &c) { return c.Dele("x"); }, 1},
        {"DELE", "450 busy\r\n", [](CFtpClient &c) { return c.Dele("x"); }, 0},
        {"RNTO", "200 renamed\r\n", [](CFtpClient &c) { return c.Rnto("x"); }, 1},
        {"NOOP", "250 fine\r\n", [](CFtpClient &c) { return c.Noop(); }, 1},
        {"RNFR", "250 done already?\r\n", [](CFtpClient &c) { return c.Rnfr("x"); }, 0},
        {"REST", "350 restarting\r\n", [](CFtpClient &c) { return c.Rest(0); }, 1},
        {"USER", "230 in\r\n", [](CFtpClient &c) { return c.User("u"); }, 0},
    };
    for (const Case &c : cases) {
        server.When(c.verb, c.reply);
        EXPECT_EQ(c.run(client), c.ok) << c.verb << " " << c.reply;
        EXPECT_EQ(client.IsBusy(), 0);
    }
}

} // namespace
