// The HTTP shell over loopback: method names, request parsing, record matching and the
// response bytes, one request per connection.
#include "ShellTestKit.h"

#include "devext/device/CTcpServer.h"
#include "devext/services/CHttpService.h"
#include "devext/services/CHttpShell.h"

#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace shell_test;

namespace {

// What a handler saw of the request, and the body it answers with.
struct Seen {
    std::atomic<int> calls{0};
    int method = 0;
    std::string url;
    std::vector<std::pair<std::string, std::string>> params, headers;
    std::string body = "abc";
};

std::vector<std::pair<std::string, std::string>> Pairs(const CSimplexStringMap &map)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int i = 0; i < map.GetCount(); ++i)
        pairs.emplace_back(map.GetKeys()[i].GetString(), map.GetValues()[i].GetString());
    return pairs;
}

int Record(CHttpService *service, CHttpShell *shell)
{
    auto *seen = static_cast<Seen *>(service->GetContext());
    seen->method = shell->GetMethod();
    seen->url = shell->GetUrl().GetString();
    seen->params = Pairs(shell->GetParams());
    seen->headers = Pairs(shell->GetHeaders());
    ++seen->calls;
    return shell->SendXml(CString(seen->body.c_str()));
}

int AnswerHtml(CHttpService *service, CHttpShell *shell)
{
    ++static_cast<Seen *>(service->GetContext())->calls;
    return shell->SendHtml("<p>x</p>");
}

// A record whose handler writes what it saw into `seen`.
std::unique_ptr<CHttpService> Service(const char *path, int mask, Seen &seen,
                                      CHttpService::Handler handler = &Record)
{
    auto service = std::make_unique<CHttpService>(path, mask, 1);
    service->SetContext(&seen);
    service->SetHandler(handler);
    return service;
}

struct Exchange {
    int result = -1;
    std::string answer;
};

// Sends `request` (the client may close its sending side afterwards), serves it on a fresh
// shell and returns the shell's result with everything the client received.
Exchange Serve(const std::string &request, bool closeAfter = false)
{
    loopback::TcpPair pair = loopback::MakeTcpPair();
    Client client(std::move(pair.peer));
    auto shell = std::make_shared<CHttpShell>(pair.accepted);
    EXPECT_TRUE(client.Send(request));
    if (closeAfter) ::shutdown(client.Fd(), SHUT_WR);
    Exchange exchange;
    exchange.result = shell->DoShell();
    shell->CloseSocket();
    exchange.answer = client.ReadToClose();
    return exchange;
}

const std::string kNoContent = "HTTP/1.1 204 No content\r\nServer: KEST\r\nMIME-version: 1.0\r\n"
                               "Connection: close\r\n\r\n";

// A TCP server of HTTP shells on a port of the system's choice, for `users` at once.
struct ShellServer {
    explicit ShellServer(int users) : server(0)
    {
        server.SetUserCount(users);
        server.SetSessionFactory(
            [](void *, SOCKET s) -> CTcpSession * { return new CHttpShell(s); }, nullptr);
        started = server.Start();
        port = server.GetBoundPort();
    }
    CTcpServer server;
    int started = 0;
    uint16_t port = 0;
};

// Steps the manual clock until the server has closed `client` (at most twice the request
// head's bound): how far it stepped.
uint32_t AdvanceUntilClosed(Client &client)
{
    uint32_t advanced = 0;
    while (advanced < 2 * CHttpShell::kRequestHeadMs && !client.Closed(20)) {
        plat::TestClock::Advance(500);
        advanced += 500;
    }
    return advanced;
}

} // namespace

TEST(HttpMethods, NamesResolveLeniently)
{
    EXPECT_EQ(CHttpShell::MethodCode("GET"), 0x001);
    EXPECT_EQ(CHttpShell::MethodCode("get"), 0x001);
    EXPECT_EQ(CHttpShell::MethodCode("unlink"), 0x200) << "equal without case before contains";
    EXPECT_EQ(CHttpShell::MethodCode("OPTIONS"), 0x400) << "contains the row OPTION";
    EXPECT_EQ(CHttpShell::MethodCode("LIN"), 0x100) << "first row containing it";
    EXPECT_EQ(CHttpShell::MethodCode("PROPFIND"), 0x004) << "first row of the same letter";
    EXPECT_EQ(CHttpShell::MethodCode("propfind"), 0x004);
    EXPECT_EQ(CHttpShell::MethodCode("TRACE"), 0x001);
    EXPECT_EQ(CHttpShell::MethodCode("xyz"), 0x001);
    EXPECT_EQ(CHttpShell::MethodCode(""), 0x001);
    EXPECT_EQ(CHttpShell::MethodCode(nullptr), 0x001);
}

TEST(HttpShell, MatchingRecordAnswersWithTheExactResponse)
{
    Seen seen;
    auto service = Service("/STATUS", 0, seen);
    const Exchange x = Serve("GET /status HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(x.result, 1);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(x.answer, "HTTP/1.1 200 OK\r\nServer: KEST\r\nMIME-version: 1.0\r\n"
                        "Connection: close\r\n"
                        "Content-length: 3\r\nContent-type: text/xml; charset=GB2312\r\n"
                        "Content-language: zh-cn\r\n"
                        "\r\nabc");

    // HEAD: the head of the same answer, the body's length with it, and no body.
    auto head = Service("/head", CHttpShell::GET | CHttpShell::HEAD, seen);
    struct Case {
        const char *request;
        std::string answer;
    };
    const Case heads[] = {
        {"HEAD /head HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nServer: KEST\r\nMIME-version: 1.0\r\n"
                                        "Connection: close\r\n"
                                        "Content-length: 3\r\nContent-type: text/xml; "
                                        "charset=GB2312\r\nContent-language: zh-cn\r\n\r\n"},
        {"head /head HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nServer: KEST\r\nMIME-version: 1.0\r\n"
                                        "Connection: close\r\n"
                                        "Content-length: 3\r\nContent-type: text/xml; "
                                        "charset=GB2312\r\nContent-language: zh-cn\r\n\r\n"},
        {"GET /head HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nServer: KEST\r\nMIME-version: 1.0\r\n"
                                       "Connection: close\r\n"
                                       "Content-length: 3\r\nContent-type: text/xml; "
                                       "charset=GB2312\r\nContent-language: zh-cn\r\n\r\nabc"},
        {"HEAD /none HTTP/1.1\r\n\r\n", kNoContent},
    };
    for (const Case &c : heads) EXPECT_EQ(Serve(c.request).answer, c.answer) << c.request;

    Seen html;
    auto page = Service("/page", CHttpShell::GET, html, &AnswerHtml);
    const Exchange y = Serve("GET /page HTTP/1.0\n\n");
    EXPECT_EQ(y.result, 1);
    EXPECT_NE(y.answer.find("Content-length: 8\r\nContent-type: text/html; charset=GB2312\r\n"),
              std::string::npos);
    EXPECT_EQ(y.answer.substr(y.answer.size() - 12), "\r\n\r\n<p>x</p>");
}

TEST(HttpShell, RequestTargetAndHeadersAreParsed)
{
    Seen seen;
    auto service = Service("/a", 0, seen);
    Serve("post /a?x=1&y=2 HTTP/1.1\r\n  Accept  :  text/xml  \r\n: skipped\r\nno colon\r\n"
          "X-Twice: 1\r\nX-Twice: 2\r\n\r\nbody never read");
    ASSERT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.method, CHttpShell::POST);
    EXPECT_EQ(seen.url, "/a");
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(seen.params, (Pairs{{"?x", "1"}, {"y", "2"}}));
    EXPECT_EQ(seen.headers, (Pairs{{"Accept", "text/xml"}, {"X-Twice", "2"}}));

    Serve("GET  /a  HTTP/1.1\r\n\r\n");
    ASSERT_EQ(seen.calls, 2);
    EXPECT_TRUE(seen.params.empty()) << "a target without '?' has no parameters";
    EXPECT_TRUE(seen.headers.empty()) << "headers of the earlier request are not kept";
}

TEST(HttpShell, NoFittingRecordGivesNoContent)
{
    Seen seen;
    auto postOnly = Service("/form", CHttpShell::POST | CHttpShell::PUT, seen);
    const Exchange x = Serve("GET /form HTTP/1.1\r\n\r\n");
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(x.answer, kNoContent);
    EXPECT_EQ(Serve("PUT /other HTTP/1.1\r\n\r\n").answer, kNoContent);
    EXPECT_EQ(seen.calls, 0);

    postOnly.reset();
    Seen late;
    {
        auto gone = Service("/gone", 0, late);
    }
    EXPECT_EQ(Serve("GET /gone HTTP/1.1\r\n\r\n").answer, kNoContent)
        << "a destroyed record is no longer found";
}

TEST(HttpShell, FirstLiveRecordWinsAndIncompleteRecordsAnswerNothing)
{
    Seen first, second;
    auto a = Service("/dup", 0, first);
    auto b = Service("/DUP", CHttpShell::GET, second);
    EXPECT_EQ(Serve("GET /dup HTTP/1.1\r\n\r\n").result, 1);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 0);

    Seen quiet;
    auto noContext = Service("/quiet", 0, quiet);
    noContext->SetContext(nullptr);
    const Exchange x = Serve("GET /quiet HTTP/1.1\r\n\r\n");
    EXPECT_EQ(x.result, 1);
    EXPECT_EQ(x.answer, "");

    CHttpService copy(*a);
    a.reset();
    b.reset();
    EXPECT_EQ(Serve("GET /dup HTTP/1.1\r\n\r\n").result, 1);
    EXPECT_EQ(first.calls, 2) << "a copy is a live record of its own";
}

TEST(HttpShell, UnreadableRequestsGetNoAnswer)
{
    Seen seen;
    auto service = Service("/x", 0, seen);
    // The connection ends before the empty line.
    Exchange x = Serve("GET /x HTTP/1.1\r\nHost: a\r\n", true);
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(x.answer, "");
    // An empty request line.
    x = Serve("\r\nGET /x HTTP/1.1\r\n\r\n");
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(x.answer, "");
    // A request line beyond the bound is refused, not gathered without end.
    x = Serve("GET /x?" + std::string(CHttpShell::kMaxLineLength, 'a') + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(x.answer, "");
    // So are endless headers.
    std::string many = "GET /x HTTP/1.1\r\n";
    for (int i = 0; i <= CHttpShell::kMaxHeaderLines + 1; ++i) many += "H: v\r\n";
    x = Serve(many + "\r\n");
    EXPECT_EQ(x.result, 0);
    EXPECT_EQ(seen.calls, 0);

    EXPECT_EQ(Serve("GET /x?" + std::string(600, 'q') + " HTTP/1.1\r\n\r\n").result, 1)
        << "long words within the bound are served";
}

TEST(HttpShell, AClientThatSendsNoRequestIsDroppedAndTheServiceGoesOn)
{
    plat::ScopedTestClock clock;
    Seen seen;
    seen.body = "ok";
    auto service = Service("/live", CHttpShell::GET, seen);
    ShellServer http(1); // one user: connections are served one after another
    ASSERT_EQ(http.started, 1);
    const uint16_t port = http.port;

    // One client says nothing, one drips its request head and never ends it; both hold the
    // single user until the bound, counted from when each is served, and no longer.
    for (const std::string head : {"", "GET /live HTTP/1.1\r\nHost: a\r\n"}) {
        SCOPED_TRACE(head);
        Client slow(loopback::Connect(port));
        if (!head.empty()) slow.Send(head);
        Client next(loopback::Connect(port));
        ASSERT_TRUE(next.Send("GET /live HTTP/1.1\r\n\r\n"));
        EXPECT_FALSE(slow.Closed(100));
        EXPECT_GE(AdvanceUntilClosed(slow), CHttpShell::kRequestHeadMs);
        EXPECT_TRUE(slow.Closed());
        const std::string answer = next.ReadToClose();
        EXPECT_EQ(answer.substr(answer.size() > 6 ? answer.size() - 6 : 0), "\r\n\r\nok");
    }
    EXPECT_EQ(seen.calls, 2);
}

// A browser opens connections ahead of its requests and sends its next request on a new one
// at once: with room for two, a connection beyond them waits until one of the two ends
// (here the idle ones, at the end of their request head's bound) and is served then.
TEST(HttpShell, AConnectionBeyondTheUserCountWaitsItsTurnAndIsServed)
{
    plat::ScopedTestClock clock;
    Seen seen;
    seen.body = "ok";
    auto service = Service("/live", CHttpShell::GET, seen);
    ShellServer http(2);
    ASSERT_EQ(http.started, 1);
    const uint16_t port = http.port;

    const int waiting = plat::TestClock::TimedWaiters();
    Client first(loopback::Connect(port)), second(loopback::Connect(port));
    Client page(loopback::Connect(port));
    ASSERT_TRUE(page.Send("GET /live HTTP/1.1\r\n\r\n"));
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(waiting + 1)) << "the third waits its turn";
    EXPECT_FALSE(page.Closed(100));
    AdvanceUntilClosed(first);
    EXPECT_TRUE(first.Closed());
    EXPECT_TRUE(second.Closed());
    const std::string answer = page.ReadToClose();
    EXPECT_EQ(answer.substr(answer.size() > 6 ? answer.size() - 6 : 0), "\r\n\r\nok");
    EXPECT_EQ(seen.calls, 1);
}

TEST(HttpShell, ThreadedServerServesConnectionsAtOnce)
{
    Seen seen;
    seen.body = "ok";
    auto service = Service("/live", CHttpShell::GET, seen);
    ShellServer http(8); // room for the idle client and the six at once
    ASSERT_EQ(http.started, 1);
    const uint16_t port = http.port;

    // A client that sends nothing does not hold up the others.
    Client idle(loopback::Connect(port));
    std::vector<std::thread> clients;
    std::atomic<int> answered{0};
    for (int i = 0; i < 6; ++i)
        clients.emplace_back([&] {
            Client client(loopback::Connect(port));
            client.Send("GET /live HTTP/1.1\r\n\r\n");
            const std::string answer = client.ReadToClose();
            if (answer.size() > 6 && answer.substr(answer.size() - 6) == "\r\n\r\nok") ++answered;
        });
    for (std::thread &t : clients) t.join();
    EXPECT_EQ(answered, 6);
    EXPECT_EQ(seen.calls, 6);
    http.server.Stop();
    EXPECT_TRUE(idle.Closed()) << "stopping the server ends a waiting session";
}

namespace {

struct CurlRun {
    int status = -1;     // curl's exit code
    std::string out;     // the body, then a last line "<code>|<content type>|<bytes>"
    std::string verbose; // curl's account of the exchange
};

bool HaveCurl()
{
    return std::system("command -v curl >/dev/null 2>&1") == 0;
}

// curl with `options` on http://127.0.0.1:<port><path>, bounded in time.
CurlRun Curl(uint16_t port, const std::string &path, const std::string &options)
{
    char errors[] = "/tmp/kest-curl-XXXXXX";
    const int fd = ::mkstemp(errors);
    if (fd >= 0) ::close(fd);
    const std::string command = "curl -sS -v --max-time 20 " + options +
                                " -w '\\n%{http_code}|%{content_type}|%{size_download}' " +
                                "http://127.0.0.1:" + std::to_string(port) + path + " 2>" + errors;
    CurlRun run;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            run.out.append(buffer, n);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::ifstream verbose(errors);
    run.verbose.assign(std::istreambuf_iterator<char>(verbose), {});
    std::remove(errors);
    return run;
}

} // namespace

TEST(HttpShell, StandardClientsTakeTheAnswersAsTheyStand)
{
    if (!HaveCurl()) GTEST_SKIP() << "curl is not installed (scripts/setup.sh installs it)";
    Seen xml, html;
    xml.body = "<a>名字</a>";
    auto status = Service("/status", CHttpShell::GET | CHttpShell::HEAD, xml);
    auto page = Service("/page", CHttpShell::GET, html, &AnswerHtml);
    ShellServer http(2);
    ASSERT_EQ(http.started, 1);
    struct Case {
        const char *path;
        const char *options;
        std::string out;
    };
    const Case cases[] = {
        // A client that asks for compressed answers takes the page: no compression is named.
        {"/page", "--compressed", "<p>x</p>\n200|text/html; charset=GB2312|8"},
        {"/status", "", "<a>名字</a>\n200|text/xml; charset=GB2312|11"},
        {"/status", "--compressed -H 'Accept-Encoding: gzip'",
         "<a>名字</a>\n200|text/xml; charset=GB2312|11"},
        {"/none", "", "\n204||0"},
        // HEAD: the head only, though it names the body's length.
        {"/status", "-I",
         "HTTP/1.1 200 OK\r\nServer: KEST\r\nMIME-version: 1.0\r\n"
         "Connection: close\r\nContent-length: 11\r\n"
         "Content-type: text/xml; charset=GB2312\r\nContent-language: "
         "zh-cn\r\n\r\n\n200|text/xml; charset=GB2312|0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + c.options);
        const CurlRun run = Curl(http.port, c.path, c.options);
        EXPECT_EQ(run.status, 0) << run.verbose;
        EXPECT_EQ(run.out, c.out);
        // Nothing comes after the end the answer declares.
        EXPECT_EQ(run.verbose.find("Excess"), std::string::npos) << run.verbose;
        EXPECT_EQ(run.verbose.find("Content-encoding"), std::string::npos) << run.verbose;
        // The client is told that the connection closes, and keeps none open for later.
        EXPECT_EQ(run.verbose.find("left intact"), std::string::npos) << run.verbose;
    }
}
