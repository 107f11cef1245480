// The network object and its management service, asked by a management client of the same
// program through the dispatcher on 127.0.0.1: finding processes and mail boxes, class and
// instance queries, echo and time, remote log messages (one without a type, sent from a raw
// socket, switching no changeover), the HTTP front and its settings.
#include "NetObjectKit.h"

#include "Kest20/CClock.h"
#include "Kest20/DistributedSystemApi.h"
#include "devext/device/NetHead.h"
#include "devext/device/NetHost.h"
#include "devext/device/NetServiceMsg.h"
#include "drivers/model/CVideoDevEchg.h"
#include "platform/TimeSource.h"
#include "tests/Kest20/LogProbe.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

using namespace nettest;

namespace {

int64_t FrameworkNow()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

// A bound UDP socket on 127.0.0.1 that shares nothing with the code under test.
struct RawPeer {
    RawPeer() : fd(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof sa;
        ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &length);
        addr = tagNetAddr{htonl(INADDR_LOOPBACK), ntohs(sa.sin_port)};
    }
    ~RawPeer() { ::close(fd); }
    std::string Receive()
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 3000) != 1) return {};
        char buffer[2048];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

    int fd;
    tagNetAddr addr;
};

std::string HttpAnswer(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0) {
        const std::string request = "GET /nothing HTTP/1.0\r\n\r\n";
        (void)!::send(fd, request.data(), request.size(), 0);
        char buffer[512];
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 3000) == 1) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            answer.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}

} // namespace

TEST(NetObject, TheStartListFindsItAsNetwork)
{
    iRtc *rtc = CKestnut::GetClassID()->FindByNames("CNet");
    ASSERT_NE(rtc, nullptr);
    void *made = rtc->CreateInstance(nullptr);
    ASSERT_NE(made, nullptr);
    auto *net = static_cast<CNet *>(static_cast<IClassA *>(made));
    EXPECT_STREQ(net->GetInstanceName(), "Network");
    EXPECT_STREQ(net->GetSettingInfo(), "/etc/tvx/Network");
    EXPECT_EQ(rtc->DeleteInstance(made), 1);
}

TEST(NetService, FindsProcessesAndMailBoxes)
{
    // Every dispatcher of this host hears the question by name, those of other test
    // processes too: the name is this process's own.
    const std::string netName = "FindMe" + std::to_string(getpid());
    ActiveNet net(Keys{{"Net Name", netName}, {"Default Port", "0"}}); // in the asked range
    const int port = net->GetNetDisp().GetPort();
    ASSERT_GE(port, 7032);
    ASSERT_LE(port, 7063);
    CClient_NetService client(net.Addr());

    CString name;
    EXPECT_EQ(client.CMD_Get_DispName(name), 1);
    EXPECT_EQ(name, netName.c_str());

    CClient_NetService host(tagNetAddr{htonl(INADDR_LOOPBACK), 0});
    uint16_t found = 0;
    EXPECT_EQ(host.CMD_Get_DispPort(("fINDmE" + netName.substr(6)).c_str(), found), 1);
    EXPECT_EQ(found, port);

    uint16_t id = 99;
    EXPECT_EQ(client.CMD_Get_iSet("  serv_dispacher ", id), 1);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(client.CMD_Get_iSet("NoSuchBox", id), 1);
    EXPECT_EQ(id, 0);

    uint16_t boxId = 0;
    int32_t exists = 0;
    EXPECT_EQ(client.CMD_Get_Svr_Info(2, boxId, exists, name), 1);
    EXPECT_EQ(boxId, 2);
    EXPECT_EQ(exists, 1);
    EXPECT_EQ(name, "Serv_Dispacher");
    EXPECT_EQ(client.CMD_Get_Svr_Info(2000, boxId, exists, name), 0);
    EXPECT_EQ(boxId, 0);
    EXPECT_EQ(exists, 0);
    EXPECT_EQ(name, "");

    // Other programs on this host may answer too: every answer is listed, ours among them.
    CStringArray names;
    CDWordArray ports;
    const int count = client.CMD_Get_DispNameList(htonl(INADDR_LOOPBACK), 65, names, ports);
    ASSERT_EQ(count, names.GetSize());
    ASSERT_EQ(count, ports.GetSize());
    bool listed = false;
    for (int i = 0; i < count; ++i)
        listed = listed || (names[i] == netName.c_str() && ports[i] == static_cast<uint32_t>(port));
    EXPECT_TRUE(listed);
}

TEST(NetService, AnUnansweredRequestIsATimeOut)
{
    ActiveNet net;
    CClient_NetService host(tagNetAddr{htonl(INADDR_LOOPBACK), 0});
    uint16_t port = 77;
    const uint32_t before = plat::GetTickCount();
    EXPECT_EQ(host.CMD_Get_DispPort("NoSuchProgram", port), 0);
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), before), CClient_NetService::kReplyTimeout - 50);
    EXPECT_EQ(port, 77);
}

TEST(NetService, ClassesAndInstances)
{
    ActiveNet net;
    CClient_NetService client(net.Addr());
    const int32_t netId =
        static_cast<int32_t>(CServer_NetService::GetClassIdentity(CNet::GetClassID()));
    const int32_t nutId =
        static_cast<int32_t>(CServer_NetService::GetClassIdentity(CKestnut::GetClassID()));
    ASSERT_NE(netId, 0);

    CString name;
    int32_t father = -1, size = -1;
    CDWordArray sons;
    EXPECT_EQ(client.CMD_Query_Class_Info(0, name, father, size, sons), 1);
    EXPECT_EQ(name, "CClassA");
    EXPECT_EQ(father, 0);
    bool nutIsSon = false;
    for (int i = 0; i < sons.GetSize(); ++i) nutIsSon = nutIsSon || sons[i] == uint32_t(nutId);
    EXPECT_TRUE(nutIsSon);

    EXPECT_EQ(client.CMD_Query_Class_Info(netId, name, father, size, sons), 1);
    EXPECT_EQ(name, "CNet");
    EXPECT_EQ(father, nutId);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof(CNet)));

    int32_t count = -1;
    EXPECT_EQ(client.CMD_Query_Instance_Count(netId, count), 1);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(client.CMD_Query_Instance_Info(netId, 0, name), 1);
    EXPECT_EQ(name, "Network");
    EXPECT_EQ(client.CMD_Query_Instance_Info(netId, 1, name), 0);
    EXPECT_EQ(name, "");

    // An identity never handed out is no class.
    EXPECT_EQ(client.CMD_Query_Class_Info(0x7FFFFF00, name, father, size, sons), 1);
    EXPECT_EQ(name, "");
    EXPECT_EQ(size, 0);
    EXPECT_EQ(sons.GetSize(), 0);
    EXPECT_EQ(client.CMD_Query_Instance_Count(0x7FFFFF00, count), 1);
    EXPECT_EQ(count, 0);
}

TEST(NetService, EchoAndClocks)
{
    ActiveNet net;
    CClient_NetService client(net.Addr());
    uint32_t elapsed = 12345;
    EXPECT_EQ(client.CMD_Echo(elapsed, 300), 1);
    EXPECT_LT(elapsed, 1500u);

    const int64_t before = FrameworkNow();
    int64_t system = 0, framework = 0, roundTrip = -1;
    EXPECT_EQ(client.CMD_GetTime(system, framework, roundTrip), 1);
    const int64_t after = FrameworkNow();
    EXPECT_GE(framework, before);
    EXPECT_LE(framework, after);
    EXPECT_GE(roundTrip, 0);
    EXPECT_LE(roundTrip, after - before);
    EXPECT_NE(system, 0);

    plat::SYSTEMTIME calendar{};
    EXPECT_EQ(client.CMD_GetTimeAsSystemtime(calendar, roundTrip), 1);
    EXPECT_GE(roundTrip, 12);
    EXPECT_GE(calendar.wYear, 2020);
}

TEST(NetService, AnEchoCarriesAtMost512BytesAndAFailedTimeReadKeepsTheRoundTrip)
{
    ActiveNet net;
    RawPeer peer;
    CClient_NetService client(peer.addr);
    uint32_t elapsed = 0;
    EXPECT_EQ(client.CMD_Echo(elapsed, 2000), 0); // the peer never answers
    const std::string datagram = peer.Receive();
    ASSERT_EQ(datagram.size(), 32u + 4u + 512u);
    EXPECT_EQ(datagram.substr(32, 4), std::string("\x00\x02\x00\x00", 4));
    EXPECT_EQ(static_cast<uint8_t>(datagram[18]), 0x50);

    int64_t roundTrip = 777;
    int64_t time = 0;
    EXPECT_EQ(client.CMD_GetTimeAsUCFileTime(time, roundTrip), 0);
    EXPECT_EQ(roundTrip, 777);
}

TEST(NetService, LogMessagesWithAndWithoutInfo)
{
    ActiveNet net;
    LogProbe log{"NETTEST_LOG", LOG_MODE_EXACT};
    CClient_NetService client(net.Addr());
    EXPECT_EQ(client.CMD_Log("NETTEST_LOG", "three", "given"), 1);
    ASSERT_TRUE(log.WaitFor(1, "three"));

    CString type = "NETTEST_LOG", text = "two";
    tagArgItem two[] = {ArgOf(type), ArgOf(text)};
    EXPECT_EQ(client.RemoteProc(0x20, CArgListA(two)), 1);
    ASSERT_TRUE(log.WaitFor(2, "two"));

    const auto entries = log.Entries();
    EXPECT_EQ(entries[0].info, "given");
    const std::string sender = std::string(glGetNameByAddress(htonl(INADDR_LOOPBACK))) + ":" +
                               std::to_string(net->GetNetDisp().GetPort());
    EXPECT_EQ(entries[1].info, sender);
}

TEST(NetService, ALogMessageWithoutATypeSwitchesNothing)
{
    ActiveNet net;
    LogProbe share{"#OVRA_DEV_SHARE", LOG_MODE_EXACT};
    LogProbe everything{"*", LOG_MODE_PATTERN};
    CVideoDevEchg echg;
    const std::string channel = echg.GetChannelName().GetString();
    echg.DevSetMode(1);
    ASSERT_TRUE(share.WaitFor(1));

    // Texts as the packet protocol carries them: a 32-bit length, then the bytes.
    const auto texts = [](std::initializer_list<std::string> items) {
        kestsim::Bytes data;
        for (const std::string &item : items) {
            data.resize(data.size() + 4);
            kestsim::PutLe(data, data.size() - 4, static_cast<uint32_t>(item.size()), 4);
            data.insert(data.end(), item.begin(), item.end());
        }
        return data;
    };
    kestsim::RawUdpProcess peer(netservice::kServiceId);
    const uint16_t port = static_cast<uint16_t>(net->GetNetDisp().GetPort());
    const kestsim::Bytes strays[] = {
        {}, // the bare head
        texts({"", "<Mode=\"2\">", "given"}),
        texts({"", "<Mode=\"2\">"}),
    };
    for (const kestsim::Bytes &data : strays)
        ASSERT_TRUE(peer.Send(port, netservice::MSG_LOG, 0, data));
    // Behind them, in the same order: a message of the switch's own channel.
    const std::string mark = "<Mode=\"1\" Mark=\"net\">";
    ASSERT_TRUE(peer.Send(port, netservice::MSG_LOG, 0, texts({channel, mark, "mark"})));
    ASSERT_TRUE(everything.WaitFor(0, mark.c_str()));
    ASSERT_TRUE(share.WaitFor(2));
    EXPECT_EQ(share.Texts(),
              (std::vector<std::string>{"<Virtual = \"FALSE\">", "<Virtual = \"FALSE\">"}))
        << "the backup chain was never announced";
    EXPECT_EQ(echg.DevGetMode(), 1);
    const std::string sender = ":" + std::to_string(peer.Port());
    for (const LogProbe::Entry &entry : everything.Entries()) {
        const bool fromPeer =
            entry.info == "given" ||
            (entry.info.size() >= sender.size() &&
             entry.info.compare(entry.info.size() - sender.size(), sender.size(), sender) == 0);
        EXPECT_FALSE(fromPeer && entry.type.empty()) << "logged: " << entry.text;
    }
}

TEST(NetObject, TheHttpFrontFollowsItsSettings)
{
    for (const char *off : {"10", "", "x", "70000"}) {
        ActiveNet net(Keys{{"Http.Port", off}});
        EXPECT_EQ(net->GetHttpPort(), 0) << off;
        EXPECT_FALSE(net->IsHttpRunning()) << off;
    }

    const uint16_t port = FreePort(SOCK_STREAM);
    ActiveNet net(Keys{{"Http.Port", std::to_string(port)}, {"Http.Users", "2"}});
    EXPECT_EQ(net->GetHttpPort(), port);
    EXPECT_EQ(net->GetHttpUsers(), 2);
    ASSERT_TRUE(net->IsHttpRunning());
    EXPECT_EQ(HttpAnswer(port).rfind("HTTP/1.1 204 No content\r\n", 0), 0u);

    IDSKernel *kernel = glGetDistributedSystemCore();
    NETPID self[4];
    int32_t count = 4;
    const char *keys[] = {"P_NAME", nullptr};
    const char *values[] = {kNetName, nullptr};
    ASSERT_GE(kernel->FindProcess(1, 0, self, &count, keys, values), 1);
    EXPECT_EQ(kernel->GetHttpPort(1, self[0]), port);

    net->DeactiveInstance(0);
    EXPECT_FALSE(net->IsHttpRunning());
}
