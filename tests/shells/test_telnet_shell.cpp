// The telnet administration shell over loopback: log-on, the command loop and registry,
// command line words, list printing and the built-in commands.
#include "ShellTestKit.h"

#include "Kest20/CLogReader.h"
#include "Kest20/KestLog.h"
#include "devext/device/CKestTelnetShell.h"
#include "devext/services/CAutoTaskMgr.h"
#include "devext/services/CHttpService.h"
#include "devext/services/LogOnThrottle.h"
#include "platform/TimeSource.h"
#include "tests/services/ServicesTestKit.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace shell_test;

namespace {

const std::string kPrompt = "\r\n(:>";

// The host side of a session: the built-in commands and an ECHO of its own that records the
// words of its command line.
class HostShell : public CKestTelnetShell {
public:
    explicit HostShell(SOCKET s) : CKestTelnetShell(s)
    {
        __RegisterKestFunc();
        RegisterFunc(" echo ", tagOnTelnetNotify::Of<&HostShell::OnEcho>(this), this);
    }
    ~HostShell() override { Stop(); }

    int OnEcho(CKestTelnetShell *shell)
    {
        std::vector<std::string> line;
        for (int i = 0; i < 8; ++i) {
            const CString word = shell->GetParamAsString(i, "\x01");
            if (word == "\x01") break;
            line.push_back(word.GetString());
        }
        std::lock_guard<std::mutex> lk(lock);
        lines.push_back(line);
        return 7;
    }
    std::vector<std::vector<std::string>> Lines()
    {
        std::lock_guard<std::mutex> lk(lock);
        return lines;
    }

    using CKestTelnetShell::__PrintList;
    using CKestTelnetShell::GetCurrentClass;

    std::mutex lock;
    std::vector<std::vector<std::string>> lines;
};

// A throttle that paces nothing.
std::shared_ptr<LogOnThrottle> Unpaced()
{
    return std::make_shared<LogOnThrottle>(LogOnThrottle::Pacing{0, 0, 0});
}

// A session running on its own thread with a client at the other end; the client's own
// address is `source` (host order) when given. Its failed log-ons are paced by `throttle`, by
// default one of its own that paces nothing.
struct Session {
    explicit Session(uint32_t source = 0, std::shared_ptr<LogOnThrottle> throttle = Unpaced())
    {
        loopback::TcpPair pair = loopback::MakeTcpPair(source);
        client = std::make_unique<Client>(std::move(pair.peer));
        shell = std::make_shared<HostShell>(pair.accepted);
        shell->SetLogOnThrottle(std::move(throttle));
    }
    ~Session() { shell->Stop(); }

    void Start() { ASSERT_EQ(shell->Start(true), 1); }
    // Logs on and waits for the first prompt.
    void LogOn()
    {
        Start();
        client->ReadUntil("UserName:");
        client->Send("  kest20 \r");
        client->ReadUntil("Password:");
        client->Send("mrvk73\r");
        ASSERT_NE(client->ReadUntil(kPrompt).find(kPrompt), std::string::npos);
    }
    // Runs one command line and returns its output up to the next prompt.
    std::string Run(const std::string &line)
    {
        client->Send(line + "\r");
        std::string out = client->ReadUntil(kPrompt);
        // The echo of the line and its CR LF come first.
        const std::string echo = line + "\r\n";
        if (out.compare(0, echo.size(), echo) == 0) out.erase(0, echo.size());
        if (out.size() >= kPrompt.size()) out.resize(out.size() - kPrompt.size());
        return out;
    }

    std::unique_ptr<Client> client;
    std::shared_ptr<HostShell> shell;
};

// Keeps the text of the messages of one exact type.
class SentReader : public CLogReader {
public:
    SentReader() : CLogReader("SHELL_SENT", 1, SubscribeLater{}) { Subscribe(); }
    ~SentReader() override { Unsubscribe(); }
    int OnRecvLog(const char *, const char *text, const char *) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_text = text ? text : "";
        return 1;
    }
    std::string Text()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_text;
    }

private:
    std::mutex m_lock;
    std::string m_text;
};

// The shell's offer before its welcome: it echoes, and goes ahead without GA.
const std::string kOffer = "\xFF\xFB\x01\xFF\xFB\x03";

constexpr uint32_t Loopback(uint32_t last)
{
    return 0x7F000000u | last;
}

// Keeps the texts of the failed log-on messages.
class LogOnReader : public CLogReader {
public:
    LogOnReader() : CLogReader("LOG_TELNET", 1, SubscribeLater{}) { Subscribe(); }
    ~LogOnReader() override { Unsubscribe(); }
    int OnRecvLog(const char *, const char *text, const char *) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_texts.emplace_back(text ? text : "");
        return 1;
    }
    std::vector<std::string> Texts()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_texts;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_texts;
};

// Waits until `count` texts have been logged (the session logs right after it counts the
// failure).
bool Logged(LogOnReader &log, size_t count)
{
    for (const int64_t end = loopback::NowMs() + kWaitMs; loopback::NowMs() < end; usleep(1000))
        if (log.Texts().size() >= count) return true;
    return log.Texts().size() >= count;
}

size_t Occurrences(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string Padded(const std::string &text, size_t width)
{
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

} // namespace

TEST(TelnetShell, LogOnAcceptsTheFixedUserOnly)
{
    {
        Session s;
        s.Start();
        EXPECT_EQ(s.client->ReadUntil("UserName:"),
                  kOffer + "Welcome to Kest(v2.0)\r\n\r\nUserName:");
        s.client->Send("  kest20 \r");
        EXPECT_EQ(s.client->ReadUntil("Password:"), "  kest20 \r\n\r\nPassword:");
        s.client->Send("mrvk73\r");
        EXPECT_EQ(s.client->ReadUntil(kPrompt), "......\r\n" + kPrompt);
    }
    uint32_t source = 10;
    for (const char *password : {"mrvk73 \r", "MRVK73\r", "mrvk7\r"}) {
        Session s(Loopback(++source));
        s.Start();
        s.client->ReadUntil("UserName:");
        s.client->Send("KEST20\r");
        s.client->ReadUntil("Password:");
        s.client->Send(password);
        EXPECT_EQ(s.client->ReadToClose().find("(:>"), std::string::npos) << password;
    }
    Session wrongUser(Loopback(++source));
    wrongUser.Start();
    wrongUser.client->Send("KEST2\rmrvk73\r");
    EXPECT_TRUE(wrongUser.client->Closed());
}

TEST(TelnetShell, HelpListsCommandsInColumnsAndIsTheDefault)
{
    Session s;
    s.LogOn();
    const std::string help = "\r\n" + Padded("QUIT", 19) + Padded("HELP", 19) + Padded("LOG", 19) +
                             Padded("RES", 19) + "\r\n" + Padded("CLASS", 19) +
                             Padded("AUTOTASK", 19) + Padded("ECHO", 19) + "\r\n";
    EXPECT_EQ(s.Run("help"), help);
    EXPECT_EQ(s.Run(""), help) << "a lone CR runs the default command, not the last line";
    EXPECT_EQ(s.Run("nosuch command"), help);
}

TEST(TelnetShell, CommandLinesSplitIntoWords)
{
    Session s;
    s.LogOn();
    s.Run("echo view \"Device Name\"");
    s.Run("  ECHO   a\"b c\"d  \"\"  ");
    // A line of 256 characters is one command; one of 260 is refused whole.
    s.Run("echo " + std::string(251, 'x'));
    const std::string longer = "echo " + std::string(251, 'x') + "echo";
    s.client->Send(longer + "\r");
    EXPECT_EQ(s.client->ReadUntil(kPrompt),
              longer.substr(0, 256) + "\r\n\r\nLine too long: at most 256 characters\r\n" +
                  kPrompt);
    s.Run("echo");
    using Lines = std::vector<std::vector<std::string>>;
    EXPECT_EQ(s.shell->Lines(), (Lines{{"echo", "view", "Device Name"},
                                       {"ECHO", "a\"b c\"d", ""},
                                       {"echo", std::string(251, 'x')},
                                       {"echo"}}));
    EXPECT_EQ(s.shell->GetParamAsInteger(1, -1), -1);
    EXPECT_EQ(s.shell->GetParamAsString(0, ""), "echo");
}

TEST(TelnetShell, RegistryNamesAndDisabledCommands)
{
    loopback::TcpPair pair = loopback::MakeTcpPair();
    loopback::Fd client(std::move(pair.peer));
    HostShell shell(pair.accepted);
    CKestTelnetShell::tagOnTelnetNotify notify;
    ASSERT_EQ(shell.GetFunction("Echo", notify), 1) << "stored trimmed and upper-cased";
    EXPECT_EQ(shell.GetFunction(" ECHO", notify), 0) << "looked up untrimmed";

    EXPECT_EQ(shell.ExecFunction("echo 12 2.5 x"), 7);
    EXPECT_EQ(shell.GetParamAsInteger(1, 0), 12);
    EXPECT_DOUBLE_EQ(shell.GetParamAsFloat(2, 0.0), 2.5);
    EXPECT_DOUBLE_EQ(shell.GetParamAsFloat(3, 9.0), 0.0);
    EXPECT_DOUBLE_EQ(shell.GetParamAsFloat(4, 9.0), 9.0);

    // A null object disables the command; it is not replaced by the default command.
    shell.RegisterFunc("ECHO", CKestTelnetShell::tagOnTelnetNotify::Of<&HostShell::OnEcho>(&shell),
                       nullptr);
    EXPECT_EQ(shell.ExecFunction("echo"), 0);
    // A new name with a null object is not added.
    shell.RegisterFunc("NEW", CKestTelnetShell::tagOnTelnetNotify::Of<&HostShell::OnEcho>(&shell),
                       nullptr);
    EXPECT_EQ(shell.GetFunction("NEW", notify), 0);
    EXPECT_TRUE(shell.Lines().size() == 1);

    shell.SetPrompt("%s%n>");
    EXPECT_EQ(shell.GetPrompt(), "%s%n>");
    shell.SetLastError("bad");
    EXPECT_EQ(shell.GetLastError(), "bad");

    shell.CloseSocket();
    EXPECT_EQ(shell.ExecFunction("echo"), 0) << "not connected";
}

TEST(TelnetShell, PromptIsSentAsText)
{
    Session s;
    s.shell->SetPrompt("\r\n%s%d>");
    s.Start();
    s.client->Send("kest20\rmrvk73\r");
    EXPECT_NE(s.client->ReadUntil("%s%d>").find("\r\n%s%d>"), std::string::npos);
}

TEST(TelnetShell, LongListsPauseEveryTwentyRows)
{
    Session s;
    s.LogOn();
    CStringArray items;
    for (int i = 0; i < 25; ++i) items.Add(CString(std::to_string(i).c_str()));
    // The list runs on the session thread inside a command of its own.
    s.shell->RegisterFunc("LIST",
                          {&items,
                           [](void *o, CKestTelnetShell *shell) {
                               static_cast<HostShell *>(shell)->__PrintList(
                                   *static_cast<CStringArray *>(o), 1);
                               return 1;
                           }},
                          &items);
    s.client->Send("list\r");
    const std::string page = s.client->ReadUntil("continue\r\n");
    EXPECT_NE(page.find("\r\n" + Padded("19", 79) + "\r\n--------Press any key to continue\r\n"),
              std::string::npos);
    EXPECT_EQ(page.find("\r\n20"), std::string::npos) << "the second page waits for a key";
    s.client->Send(" ");
    const std::string rest = s.client->ReadUntil(kPrompt);
    EXPECT_NE(rest.find("\r\n" + Padded("24", 79)), std::string::npos);
}

TEST(TelnetShell, ClassCommandsWalkTheClassTree)
{
    Session s;
    s.LogOn();
    EXPECT_EQ(s.Run("class goto .."), "\r\n  NAME=CClassA\r\n") << "the root has no father";
    EXPECT_EQ(s.Run("CLASS GOTO CAutoTaskA"), "\r\n  NAME=CAutoTaskA\r\n");
    EXPECT_EQ(s.Run("class goto .."), "\r\n  NAME=CClassA\r\n");
    EXPECT_EQ(s.Run("class goto NoSuchClass"), "\r\n  NAME=CClassA\r\n");

    const int size = CAutoTaskA::GetClassID()->GetClassInfoA()->nObjectSize;
    EXPECT_EQ(s.Run("class view CAutoTaskA"),
              "\r\n ClassName\t= CAutoTaskA\r\n ClassSize\t= " + std::to_string(size) +
                  "\r\n FatherClass = CClassA\r\n");
    EXPECT_EQ(s.Run("class view"), "\r\n ClassName\t= CAutoTaskA\r\n ClassSize\t= " +
                                       std::to_string(size) + "\r\n FatherClass = CClassA\r\n")
        << "no name keeps the current class";
    EXPECT_EQ(s.Run("class view .."),
              "\r\n ClassName\t= CClassA\r\n ClassSize\t= " +
                  std::to_string(glGetKestRootRtc()->GetClassInfoA()->nObjectSize) +
                  "\r\n FatherClass = #root#\r\n");

    const std::string sons = s.Run("class son CAutoTaskA");
    EXPECT_EQ(sons.rfind("\r\n Parent class : NAME=CAutoTaskA\r\n", 0), 0u) << sons;
    EXPECT_NE(sons.find("\r\n" + Padded("CRestartApplication", 26)), std::string::npos);
    EXPECT_EQ(s.Run("class"), "\r\nUsage: Class Son|Goto|View|obj\r\n");
}

TEST(TelnetShell, ClassObjListsNamedObjectsUnlessAll)
{
    CHttpService named("/n", 0, 1), unnamed("/u", 0, 1);
    named.SetInstanceName("alpha");
    Session s;
    s.LogOn();
    const std::string list = s.Run("class obj chttpservice");
    EXPECT_EQ(list, "\r\n----------------Object----------------\r\n\r\n  Parent NAME=CClassA\r\n"
                    "\r\n" +
                        Padded("class name = CHttpService  object  name=alpha", 79) +
                        "\r\n\r\n----------------End of List-----------\r\n");
    const std::string all = s.Run("class obj all");
    EXPECT_NE(all.find("\r\n  Parent NAME=#root#\r\n"), std::string::npos) << all;
    EXPECT_EQ(s.shell->GetCurrentClass(), glGetKestRootRtc());
}

namespace {

// A live object of a record that is no component: it has no instance name.
class PlainObject : public IClassA {
public:
    HRESULT QueryInterface(const GUID *, void **out) override
    {
        if (out) *out = nullptr;
        return 1;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    iRtc *GetObjectRtc() override { return CKestnut::GetClassID(); }
    int32_t IsValid() override { return 1; }
    int32_t Suicide() override { return 0; }
    IClassA **GetActivePtr() override { return nullptr; }
};

} // namespace

TEST(TelnetShell, ClassObjAllListsObjectsThatAreNoComponentsAsNoName)
{
    PlainObject plain;
    iRtc *root = glGetKestRootRtc();
    ASSERT_EQ(root->RegisterInstance(static_cast<IClassA *>(&plain)), 1);
    Session s;
    s.LogOn();
    const std::string all = s.Run("class obj all");
    const std::string named = s.Run("class obj cclassa");
    root->UnregisterInstance(static_cast<IClassA *>(&plain));
    EXPECT_NE(all.find(Padded("class name = CKestnut  object  name=#NONAME", 79)),
              std::string::npos)
        << all;
    EXPECT_EQ(named.find("#NONAME"), std::string::npos) << "only with ALL";
}

TEST(TelnetShell, AutoTaskListsTheFirstManager)
{
    Session s;
    s.LogOn();
    EXPECT_EQ(s.Run("autotask ls"), "Auto Task Module diabled\r\n");
    {
        CAutoTaskMgr manager;
        auto *task = new CAutoTaskA;
        task->SetInstanceName("probe");
        ASSERT_EQ(manager.AddTask(task), 0);
        EXPECT_EQ(s.Run("AutoTask LS"),
                  "AutoTask:\r\n  Name:           probe  Description:\r\n\r\n");
        EXPECT_EQ(s.Run("autotask del probe"), "");
        EXPECT_EQ(s.Run("autotask"), "\r\nUsage:AutoTask ls|del|add|stop");
        manager.RemoveAll(1);
    }
}

TEST(TelnetShell, FailedLogOnsAreLoggedAndPacedPerSessionAndPerAddress)
{
    plat::ScopedTestClock clock;
    LogOnReader log;
    auto throttle = std::make_shared<LogOnThrottle>();
    const uint32_t guesser = Loopback(21);
    auto fail = [&](Session &s, size_t logged) {
        s.client->ReadUntil("UserName:");
        s.client->Send("kest20\r");
        s.client->ReadUntil("Password:");
        s.client->Send("guess\r");
        ASSERT_TRUE(Logged(log, logged));
    };
    auto held = std::make_unique<Session>(guesser, throttle);
    held->Start();
    fail(*held, 1);
    EXPECT_EQ(log.Texts()[0].rfind("Telnet log-on failed: user \"kest20\" from 127.0.0.21 at ", 0),
              0u)
        << log.Texts()[0];

    // The failed session is held a second before it closes, then two after the next failure;
    // meanwhile another session from the same address waits as long, one from another
    // address does not.
    for (uint32_t delay : {1000u, 2000u}) {
        SCOPED_TRACE(delay);
        auto next = std::make_unique<Session>(guesser, throttle);
        next->Start();
        Session other(Loopback(22), throttle);
        other.Start();
        EXPECT_NE(other.client->ReadUntil("UserName:").find("Welcome"), std::string::npos);
        plat::TestClock::Advance(delay - 1);
        EXPECT_FALSE(held->client->Closed(100));
        EXPECT_EQ(next->client->ReadUntil("Welcome", 100), "");
        plat::TestClock::Advance(1);
        EXPECT_TRUE(held->client->Closed());
        EXPECT_NE(next->client->ReadUntil("Welcome").find("Welcome"), std::string::npos);
        fail(*next, log.Texts().size() + 1);
        held = std::move(next);
    }
    plat::TestClock::Advance(4000);
    EXPECT_TRUE(held->client->Closed());

    // A good log-on clears the count: the next failure is held a second again.
    {
        Session good(guesser, throttle);
        good.LogOn();
    }
    Session again(guesser, throttle);
    again.Start();
    fail(again, 4);
    plat::TestClock::Advance(999);
    EXPECT_FALSE(again.client->Closed(100));
    plat::TestClock::Advance(1);
    EXPECT_TRUE(again.client->Closed());

    // A shell with a throttle of its own does not wait for the failures of another's.
    Session failed(guesser, throttle);
    failed.Start();
    fail(failed, 5);
    Session apart(guesser, Unpaced());
    apart.Start();
    EXPECT_NE(apart.client->ReadUntil("UserName:").find("Welcome"), std::string::npos);
    plat::TestClock::Advance(2000);
}

TEST(LogOnThrottle, DelaysDoubleToAMinuteAndAQuietAddressStartsAfresh)
{
    plat::ScopedTestClock clock;
    LogOnThrottle throttle;
    const uint32_t peer = htonl(Loopback(31)), other = htonl(Loopback(32));
    const uint64_t ms = 1000000;
    for (uint64_t delay : {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}) {
        SCOPED_TRACE(delay);
        const uint64_t now = plat::MonotonicNanos();
        EXPECT_EQ(throttle.Failed(peer), now + delay * ms);
        EXPECT_EQ(throttle.NextTry(peer), now + delay * ms);
        EXPECT_EQ(throttle.NextTry(other), 0u);
        plat::TestClock::Advance(static_cast<uint32_t>(delay - 1));
        EXPECT_NE(throttle.NextTry(peer), 0u);
        plat::TestClock::Advance(1);
        EXPECT_EQ(throttle.NextTry(peer), 0u);
    }
    // Not quite ten minutes after the last failure the address is remembered; after them it
    // starts afresh.
    struct Step {
        uint32_t quietMs;
        uint64_t delay;
    };
    for (const Step step : {Step{600000 - 60000 - 1, 60000}, Step{600000, 1000}}) {
        plat::TestClock::Advance(step.quietMs);
        const uint64_t now = plat::MonotonicNanos();
        EXPECT_EQ(throttle.Failed(peer), now + step.delay * ms) << step.quietMs;
        plat::TestClock::Advance(static_cast<uint32_t>(step.delay));
    }
    // A good log-on clears it at once.
    throttle.Failed(peer);
    throttle.Succeeded(peer);
    EXPECT_EQ(throttle.NextTry(peer), 0u);
    EXPECT_EQ(throttle.Failed(peer), plat::MonotonicNanos() + 1000 * ms);

    LogOnThrottle none(LogOnThrottle::Pacing{0, 0, 0});
    EXPECT_EQ(none.Failed(peer), 0u);
    EXPECT_EQ(none.NextTry(peer), 0u);
}

TEST(TelnetShell, TheShellAndTheClientAgreeOnOneEcho)
{
    for (bool letShellEcho : {true, false}) {
        SCOPED_TRACE(letShellEcho);
        loopback::TcpPair pair = loopback::MakeTcpPair();
        Terminal term(std::move(pair.peer), letShellEcho);
        auto shell = std::make_shared<HostShell>(pair.accepted);
        shell->SetLogOnThrottle(Unpaced());
        ASSERT_EQ(shell->Start(true), 1);
        ASSERT_TRUE(term.WaitFor("UserName:"));
        EXPECT_EQ(term.ShellEchoes(), letShellEcho);
        for (const char *line : {"kest20\r", "mrvk73\r", "echo one\r", "help\r"}) {
            term.Type(line);
            ASSERT_TRUE(term.WaitFor(line[0] == 'k' ? "Password:" : "(:>")) << line;
        }
        // Every line shows once, each on a line of its own; the password as dots when the
        // shell echoes (a client that echoes itself shows what is typed).
        const std::string &screen = term.Screen();
        EXPECT_EQ(Occurrences(screen, "kest20"), 1u) << screen;
        EXPECT_EQ(Occurrences(screen, "UserName:kest20\r\n\r\nPassword:"), 1u) << screen;
        EXPECT_EQ(Occurrences(screen, letShellEcho ? "Password:......\r\n" : "Password:mrvk73\r\n"),
                  1u)
            << screen;
        EXPECT_EQ(Occurrences(screen, "(:>echo one\r\n"), 1u) << screen;
        EXPECT_EQ(Occurrences(screen, "(:>help\r\n"), 1u) << screen;
        EXPECT_EQ(Occurrences(screen, "AUTOTASK"), 1u) << screen;
        EXPECT_EQ(shell->Lines().size(), 1u);
        shell->Stop();
    }
}

TEST(TelnetShell, ALineLongerThanTheLimitIsRefusedWhole)
{
    services_test::MountedSettings settings("/etc/tvx", "[ShellDev]\r\nName=alpha\r\n");
    Session s;
    s.LogOn();
    // 5 KB whose pieces of the limit's length would each be a command: a RES SET among them.
    auto pad = [](std::string text, size_t to) {
        return text + std::string(to - text.size(), ' ');
    };
    const std::string line = pad("echo", 256) + pad("res cd ShellDev", 256) +
                             pad("res set Name", 256) + pad("beta", 256) + std::string(4000, 'z');
    s.client->Send(line + "\r");
    const std::string refused = "\r\nLine too long: at most 256 characters\r\n";
    EXPECT_EQ(s.client->ReadUntil(kPrompt), line.substr(0, 256) + "\r\n" + refused + kPrompt);
    EXPECT_TRUE(s.shell->Lines().empty());
    EXPECT_EQ(CResString("/etc/tvx/ShellDev/Name").GetAsString(""), "alpha");

    // A value longer than the limit is not stored, and nothing of it runs.
    s.Run("res cd ShellDev");
    s.client->Send("res set Name\r");
    s.client->ReadUntil(" Name =");
    s.client->Send(std::string(300, 'v') + "echo x\r");
    EXPECT_EQ(s.client->ReadUntil(kPrompt), std::string(256, 'v') + "\r\n" + refused +
                                                "\r\nResource Path:etc/tvx/ShellDev\r\n" + kPrompt);
    EXPECT_EQ(CResString("/etc/tvx/ShellDev/Name").GetAsString(""), "alpha");
    EXPECT_TRUE(s.shell->Lines().empty());

    // The session goes on.
    s.Run("echo after");
    EXPECT_EQ(s.shell->Lines(), (std::vector<std::vector<std::string>>{{"echo", "after"}}));
}

TEST(TelnetShell, TypedAheadAndGbkTextAreKept)
{
    Session s;
    s.Start();
    // A pasted log-on and two command lines in one piece, GBK text among them.
    s.client->Send("KEST20\r\nmrvk73\r\necho one\r\necho 名字 \"两 个\"\r\n");
    for (int i = 0; i < 3; ++i) s.client->ReadUntil(kPrompt);
    EXPECT_EQ(s.shell->Lines(),
              (std::vector<std::vector<std::string>>{{"echo", "one"}, {"echo", "名字", "两 个"}}));
    // DEL erases like BS; a GBK character is erased whole.
    s.client->Send("echo ab\x7F名\b"
                   "c\r");
    s.client->ReadUntil(kPrompt);
    EXPECT_EQ(s.shell->Lines().back(), (std::vector<std::string>{"echo", "ac"}));
}

TEST(TelnetShell, ResourceCommandsReadAndWriteSettings)
{
    services_test::MountedSettings settings(
        "/etc/tvx", "[ShellDev]\r\nName=alpha\r\nLong=" + std::string(300, 'v') + "\r\n");
    Session s;
    s.LogOn();
    const std::string path = "\r\nResource Path:etc/tvx\r\n";
    EXPECT_EQ(s.Run("res view"), "\r\nkey missing\r\n" + path);
    EXPECT_EQ(s.Run("res md x"), "\r\nno implement\r\n" + path);
    EXPECT_EQ(s.Run("res"), "\r\nUsage:Res cd|ls|dir|rd|md|view|set" + path);
    const std::string list = s.Run("res ls");
    EXPECT_NE(list.find("ShellDev"), std::string::npos) << list;
    EXPECT_NE(list.find("\r\n Total = "), std::string::npos);

    EXPECT_EQ(s.Run("res cd ShellDev"), "\r\nResource Path:etc/tvx/ShellDev\r\n");
    EXPECT_EQ(s.Run("res view Name"),
              "\r\n Value = alpha\r\n\r\nResource Path:etc/tvx/ShellDev\r\n");
    // A value longer than a formatted piece used to be is sent whole.
    EXPECT_EQ(s.Run("res view Long"), "\r\n Value = " + std::string(300, 'v') +
                                          "\r\n\r\nResource Path:etc/tvx/ShellDev\r\n");
    s.client->Send("res set Name\r");
    EXPECT_NE(s.client->ReadUntil(" Name =").find(" Name ="), std::string::npos);
    s.client->Send("beta\r");
    s.client->ReadUntil(kPrompt);
    EXPECT_EQ(CResString("/etc/tvx/ShellDev/Name").GetAsString(""), "beta");
    EXPECT_EQ(s.Run("res cd"), path);
}

TEST(TelnetShell, LogCommandsViewAndSendMessages)
{
    Session s;
    s.LogOn();
    s.client->Send("log view SHELL_TEST_A;SHELL_TEST_B\r");
    s.client->ReadUntil("\r\n");
    // The reader subscribes on the session thread; post until a message comes through.
    std::string seen;
    for (int i = 0; i < 100 && seen.find("hello") == std::string::npos; ++i) {
        glReportLog("SHELL_TEST_A", "hello", "src");
        glReportLog("OTHER_TYPE", "nope", "src");
        seen += s.client->ReadUntil("hello\r\n", 50);
    }
    EXPECT_NE(seen.find("\r\nTitle:" + Padded("SHELL_TEST_A", 20) + " From:" + Padded("src", 20) +
                        "\r\nhello\r\n"),
              std::string::npos)
        << seen;
    EXPECT_EQ(seen.find("nope"), std::string::npos);
    s.client->Send("q");
    EXPECT_NE(s.client->ReadUntil(kPrompt).find("\r\n end of LogView\r\n"), std::string::npos);

    SentReader sent;
    s.client->Send("log send\r");
    s.client->ReadUntil("Title :");
    s.client->Send("SHELL_SENT\r");
    s.client->ReadUntil("Msg   :");
    s.client->Send("a message\r");
    s.client->ReadUntil(kPrompt);
    EXPECT_EQ(sent.Text(), "a message");
    EXPECT_EQ(s.Run("log"), "\r\nUsage: Log View|Send\r\n");
}

TEST(TelnetShell, QuitSaysGoodbyeAndCloses)
{
    Session s;
    s.LogOn();
    s.client->Send("quit\r");
    const std::string lines(20, ' ');
    std::string crlf10;
    for (int i = 0; i < 10; ++i) crlf10 += "\r\n";
    EXPECT_EQ(s.client->ReadUntil("Press any key to exit"),
              "quit\r\n" + crlf10 + "           Thank you for using KEST20\r\n\r\n  Bye\r\n" +
                  crlf10 + "\r\n Press any key to exit");
    EXPECT_FALSE(s.client->Closed(200)) << "the session waits for a key";
    s.client->Send("x");
    EXPECT_TRUE(s.client->Closed());
}
