// The distributed-system kernel of this process against crafted peers: datagrams built byte
// by byte and sent from a socket of the test, with the manual clock where time matters.
#include "tests/netmsg/NetMsgTestKit.h"

#include "KestLib20/CDSClient.h"
#include "KestLib20/CDSKernel.h"
#include "KestLib20/CDsInfoAccess.h"
#include "KestLib20/CDsNetMsg.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CNetMsgServer.h"
#include "KestLib20/KestNamedPtr.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr NETPID kFake{0x1234, 4242};
constexpr NETPID kOtherFake{0x5678, 99};

std::string Text(const NETPID &id)
{
    char text[20];
    return NETPID_ntos(id, text, sizeof text);
}

// What the kernel's callbacks receive, one line per call: the event text for the kernel's
// own events, else the arguments joined by "|".
class Recorder {
public:
    static int32_t Callback(void *self, tagNetMsgHeader &header, const char **args)
    {
        return static_cast<Recorder *>(self)->Record(header, args);
    }

    int32_t Record(tagNetMsgHeader &, const char **args)
    {
        std::string line;
        if (args[0] && args[1] && std::string(args[1]) == NETMSG_DS_CORE) {
            line = args[2];
        } else {
            for (int i = 0; args[i]; ++i) line += (i ? "|" : "") + std::string(args[i]);
        }
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_lines.push_back(line);
        }
        m_arrived.notify_all();
        return 1;
    }

    // Waits (in real time, also under the manual clock) for a line holding `text`; the
    // lines before it go to `before`.
    bool WaitFor(const std::string &text, std::vector<std::string> *before = nullptr,
                 uint32_t ms = 3000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::unique_lock<std::mutex> lk(m_mutex);
        for (;;) {
            while (m_next < m_lines.size()) {
                const std::string &line = m_lines[m_next++];
                if (line.find(text) != std::string::npos) return true;
                if (before) before->push_back(line);
            }
            if (m_arrived.wait_until(lk, end) == std::cv_status::timeout) return false;
        }
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    size_t m_next = 0;
    std::condition_variable m_arrived;
};

class DsKernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeUdpPort();
        ASSERT_NE(0, port);
        kernel = std::make_unique<CDSKernel>(&slot, port);
        EXPECT_EQ(kernel.get(), slot);
        kernel->RegisterCallBack(&recorder, &Recorder::Callback);
        ASSERT_EQ(1, kernel->GetNetMsgServ()->Start());
    }
    void TearDown() override { kernel.reset(); }

    // A command on channel 0 to everyone from `sender`.
    void Send(const NETPID &sender, int32_t command, int32_t a, int32_t b,
              const std::vector<std::string> &strings, int64_t lengthField = -1)
    {
        CraftedMessage m;
        m.fields[kCommand] = static_cast<uint32_t>(command);
        m.fields[kParam1] = static_cast<uint32_t>(a);
        m.fields[kParam2] = static_cast<uint32_t>(b);
        m.fields[kTargetNode] = 1;
        m.fields[kSenderNode] = sender.node;
        m.fields[kSenderPid] = sender.pid;
        m.strings = strings;
        ASSERT_TRUE(SendDatagram(port, m.Bytes(lengthField)));
    }
    // A command-48 message that every kernel accepts; its arrival shows that everything sent
    // before it was handled.
    void Mark(const std::string &text) { Send(kFake, DS_POST_NET_MSG, 0, 0, {"", "MARK", text}); }

    std::vector<NETPID> Processes(int32_t mode)
    {
        NETPID list[16];
        int32_t count = 16;
        kernel->GetProcesses(mode, 0, list, &count);
        return std::vector<NETPID>(list, list + count);
    }
    static bool Holds(const std::vector<NETPID> &list, const NETPID &id)
    {
        return std::find(list.begin(), list.end(), id) != list.end();
    }
    std::string Env(int32_t mode, NETPID id, const char *key, int32_t *found = nullptr)
    {
        char value[128] = "?";
        const int32_t result = kernel->GetEnv(mode, id, key, value, sizeof value);
        if (found) *found = result;
        return value;
    }

    int32_t port = 0;
    IDSKernel *slot = nullptr;
    Recorder recorder;
    std::unique_ptr<CDSKernel> kernel;
    const NETPID self = GetCurrentNetProcessID();
};

TEST_F(DsKernelTest, EventsComeOnlyForRealChanges)
{
    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "alpha"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));
    Send(kFake, DS_PUB_PID_INFO, 0, 0, {"P_NAME", "alpha"});
    Send(kFake, DS_PUB_PID_INFO, 0, 0, {"P_NAME", "ALPHA"});
    Mark("unchanged");
    std::vector<std::string> before;
    ASSERT_TRUE(recorder.WaitFor("unchanged", &before));
    EXPECT_TRUE(before.empty()) << before.front();

    Send(kFake, DS_PUB_PID_INFO, 0, 0, {"P_NAME", "beta"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_UPDATE", Text(kFake))));
    EXPECT_EQ("beta", Env(1, kFake, "P_NAME"));
    // The sender's address is recorded as its IP value.
    EXPECT_EQ("16777343", Env(1, kFake, "IP"));
    EXPECT_EQ(16777343u, kernel->GetIP(1, kFake.node));
}

TEST_F(DsKernelTest, UnknownKeysAreStoredOnlyWhenTheMessageMayCreateThem)
{
    Send(kFake, DS_PUB_PID_INFO, 0, 0, {"MYKEY", "one"});
    Mark("first");
    std::vector<std::string> before;
    ASSERT_TRUE(recorder.WaitFor("first", &before));
    EXPECT_EQ(std::vector<std::string>{KernelEvent("PID_ADD", Text(kFake))}, before)
        << "the sender is new, the pair stores nothing";
    int32_t found = -1;
    EXPECT_EQ("", Env(1, kFake, "MYKEY", &found));
    EXPECT_EQ(0, found);

    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"MYKEY", "two", "", "empty key"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_UPDATE", Text(kFake))));
    EXPECT_EQ("two", Env(1, kFake, "MYKEY", &found));
    EXPECT_EQ(1, found);
}

TEST_F(DsKernelTest, LyingDatagramsAreRefused)
{
    // The length field claims more than arrived: nothing of it is read.
    Send(kOtherFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "liar"}, 200);
    Send(kOtherFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "liar"}, 39);
    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "honest"});
    std::vector<std::string> before;
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake)), &before));
    EXPECT_TRUE(before.empty());
    EXPECT_FALSE(Holds(Processes(1), kOtherFake));
}

TEST_F(DsKernelTest, GroupFiltersNeedEveryGroupOfTheFilter)
{
    kernel->EnterGrp("GA", 0);
    kernel->EnterGrp("gb", 0);
    kernel->EnterGrp("GC", 0);
    Send(kFake, DS_POST_NET_MSG, 0, 0, {"GA;GB", "T", "both"});
    Send(kFake, DS_POST_NET_MSG, 0, 0, {"GA;GD", "T", "missing"});
    Mark("end");
    std::vector<std::string> before;
    ASSERT_TRUE(recorder.WaitFor("end", &before));
    EXPECT_TRUE(std::count(before.begin(), before.end(), "GA;GB|T|both") == 1);
    EXPECT_TRUE(std::none_of(before.begin(), before.end(),
                             [](const std::string &l) { return l.find("missing") != l.npos; }));

    EXPECT_TRUE(DsGroupFilterMet("A;B", "A;B;C"));
    EXPECT_FALSE(DsGroupFilterMet("A;B", "A"));
    EXPECT_TRUE(DsGroupFilterMet(nullptr, ""));
    EXPECT_TRUE(DsGroupFilterMet("", "A"));
    EXPECT_FALSE(DsGroupFilterMet("AB", "A;B"));
}

TEST_F(DsKernelTest, PublishedGroupsAndQuitReachTheOthers)
{
    EXPECT_EQ(1, kernel->EnterGrp("Kest", 0));
    EXPECT_EQ(0, kernel->EnterGrp("KEST", 1)) << "already a member";
    EXPECT_EQ(1, kernel->EnterGrp("Player", 1));
    EXPECT_EQ("Kest;Player", Env(1, self, "GROUP"));
    EXPECT_TRUE(Holds(Processes(1), self));
    EXPECT_EQ(1, kernel->LeaveGrp(nullptr, 1));
    EXPECT_EQ(0, kernel->LeaveGrp("Kest", 1));

    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"GROUP", "Kest;Player"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));
    NETPID found[4];
    int32_t count = 4;
    EXPECT_EQ(1, kernel->FindByGrpFilter(1, "player", found, &count));
    EXPECT_EQ(kFake, found[0]);

    Send(kFake, DS_POST_QUIT_MSG, 0, 0, {});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_DEL", Text(kFake))));
    EXPECT_FALSE(Holds(Processes(1), kFake));
}

TEST_F(DsKernelTest, OwnValuesAnswerAtOnceAndDirectQuestionsAreAnswered)
{
    plat::ScopedTestClock clock;
    kernel->SetProgName("player");
    kernel->SetEnvAsInteger("KEST_PORT", 7001);
    // Mode 0 on this very process needs no heartbeat: no wait on the manual clock.
    EXPECT_EQ("player", Env(0, const_cast<NETPID &>(self), "P_NAME"));
    NETPID me = self;
    EXPECT_EQ(7001, kernel->GetKestPort(0, me));

    // A direct question (command 18) to this process is answered by its kernel.
    CDSClient client(kernel->GetNetMsgServ()->GetActivePtr());
    char value[32] = "?";
    std::atomic<int32_t> answered{-1};
    std::thread asker([&] { answered = client.GetPIDInfo(self, "P_NAME", value, sizeof value); });
    PumpClock([&] { return answered >= 0; }, 50, 4000);
    asker.join();
    EXPECT_EQ(1, answered);
    EXPECT_STREQ("player", value);
    CString none;
    std::atomic<int> asked{-2};
    std::thread second([&] { asked = client.AskPIDInfo(self, "P_VER", none); });
    PumpClock([&] { return asked > -2; }, 50, 4000);
    second.join();
    EXPECT_EQ(0, asked) << "an answer without a value";
}

TEST_F(DsKernelTest, ASilentProcessIsDroppedByTheNextHeartbeatAfterItsTimeout)
{
    plat::ScopedTestClock clock;
    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "quiet"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));

    plat::TestClock::Advance(7000);
    EXPECT_TRUE(Holds(Processes(1), kFake)) << "a table query does not purge";

    plat::TestClock::Advance(1001);
    std::vector<NETPID> after;
    std::atomic<bool> done{false};
    std::thread query([&] {
        after = Processes(0);
        done = true;
    });
    PumpClock([&] { return done.load(); }, 50, 3000);
    query.join();
    EXPECT_FALSE(Holds(after, kFake));
    EXPECT_TRUE(Holds(after, self)) << "this process hears its own heartbeat answer";
    EXPECT_TRUE(recorder.WaitFor(KernelEvent("PID_UPDATE", "")));
}

TEST_F(DsKernelTest, AValueNobodyGivesRemovesTheProcessAsked)
{
    plat::ScopedTestClock clock;
    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "mute"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));
    std::string value;
    int32_t found = -1;
    std::atomic<bool> done{false};
    std::thread query([&] {
        value = Env(0, kFake, "P_TITLE", &found);
        done = true;
    });
    // Heartbeat, four looks 100 ms apart, then a direct question of 4000 ms.
    const uint32_t waited = PumpClock([&] { return done.load(); }, 50, 8000);
    query.join();
    EXPECT_EQ(0, found);
    EXPECT_EQ("", value);
    EXPECT_GE(waited, 4000u);
    EXPECT_FALSE(Holds(Processes(1), kFake));
}

TEST_F(DsKernelTest, HostNamesResolveToNodesOnlyWhileServing)
{
    EXPECT_EQ(static_cast<int32_t>(self.node), kernel->HostNameToNodeID(1, "LocalHost", nullptr));
    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"HOST_NAME", "studio"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));
    EXPECT_EQ(static_cast<int32_t>(kFake.node), kernel->HostNameToNodeID(1, "127.0.0.1", nullptr));
    kernel->GetNetMsgServ()->Stop();
    EXPECT_EQ(0, kernel->HostNameToNodeID(1, "localhost", nullptr));
}

TEST_F(DsKernelTest, AHostIsFoundByAddressAcrossAllNodesBeforeByName)
{
    // A numeric host resolves without a name server; its official name is the text itself,
    // so its short name is "127". The first node is named so but has another address; the
    // second has the address 127.0.0.5 (published as the kernels write it).
    const std::string ip5 = std::to_string(127u | 5u << 24);
    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"HOST_NAME", "127", "IP", "1"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));
    Send(kOtherFake, DS_PUB_PID_INFO, 1, 0, {"HOST_NAME", "other", "IP", ip5});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kOtherFake))));
    ASSERT_EQ(ip5, Env(1, kOtherFake, "IP"));

    const struct {
        const char *host;
        NETPID node;
    } cases[] = {
        {"127.0.0.5", kOtherFake}, // by address, though the first node's name matches too
        {"127.0.0.9", kFake},      // no address matches: by name
        {"10.0.0.1", NETPID{}},    // neither
    };
    for (const auto &c : cases)
        EXPECT_EQ(static_cast<int32_t>(c.node.node), kernel->HostNameToNodeID(1, c.host, nullptr))
            << c.host;
}

TEST_F(DsKernelTest, MainNodesAreRecordedAndAnswered)
{
    CDSClient client(kernel->GetNetMsgServ()->GetActivePtr());
    EXPECT_EQ(0, client.PubMainInfo("", self));
    ASSERT_EQ(1, client.PubMainInfo("Clock", self));
    NETPID main{};
    EXPECT_EQ(1, client.GetMainInfo("clock", &main));
    EXPECT_EQ(self, main);
    EXPECT_EQ(1, client.GetMainInfo("Other", &main));
    EXPECT_EQ((NETPID{}), main) << "not this process's: zeros";
    int32_t values[4];
    int32_t count = 4;
    EXPECT_EQ(1, client.GetsMainApply("CLOCK", values, &count));
    EXPECT_EQ(-1, values[0]);
}

TEST_F(DsKernelTest, RemovingACallbackWaitsForItsCallInProgress)
{
    struct Blocking {
        plat::Event entered;
        plat::Event release{true};
        IDSKernel *kernel = nullptr;
        int32_t id = 0;
        std::atomic<int> calls{0};
        static int32_t Call(void *self, tagNetMsgHeader &, const char **args)
        {
            auto *b = static_cast<Blocking *>(self);
            if (std::string(args[1] ? args[1] : "") != "BLOCK") return 0;
            ++b->calls;
            b->entered.Set();
            b->release.Wait(plat::INFINITE);
            // Removing itself from inside its own call does not wait for itself.
            b->kernel->UnregisterCallBack(b->id);
            return 1;
        }
    } blocking;
    blocking.kernel = kernel.get();
    blocking.id = kernel->RegisterCallBack(&blocking, &Blocking::Call);
    EXPECT_GT(blocking.id, 100);

    Send(kFake, DS_POST_NET_MSG, 0, 0, {"", "BLOCK"});
    ASSERT_EQ(plat::WAIT_OBJECT_0, blocking.entered.Wait(3000));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        kernel->UnregisterCallBack(blocking.id);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(removed.load());
    blocking.release.Set();
    remover.join();
    Send(kFake, DS_POST_NET_MSG, 0, 0, {"", "BLOCK"});
    Mark("after");
    ASSERT_TRUE(recorder.WaitFor("after"));
    EXPECT_EQ(1, blocking.calls.load());
}

TEST_F(DsKernelTest, NetMessageObjectsReceiveUntilTheyUnregister)
{
    class Listener : public CDsNetMsg {
    public:
        explicit Listener(IDSKernel *kernel) : CDsNetMsg(kernel) { Register(); }
        ~Listener() override { Unregister(); }
        int32_t OnRecvNetMsg(tagNetMsgHeader &header, const char **args) override
        {
            if (std::string(args[1] ? args[1] : "") == "LOG") {
                std::lock_guard<std::mutex> lk(mutex);
                texts.push_back(args[2] ? args[2] : "");
                params.push_back(header.param1);
            }
            return 1;
        }
        std::mutex mutex;
        std::vector<std::string> texts;
        std::vector<int32_t> params;
    } listener(kernel.get());

    Send(kFake, DS_POST_NET_MSG, 5, 0, {"", "LOG", "first"});
    Mark("one");
    ASSERT_TRUE(recorder.WaitFor("one"));
    EXPECT_EQ(1, listener.Unregister());
    Send(kFake, DS_POST_NET_MSG, 6, 0, {"", "LOG", "second"});
    Mark("two");
    ASSERT_TRUE(recorder.WaitFor("two"));
    std::lock_guard<std::mutex> lk(listener.mutex);
    EXPECT_EQ(std::vector<std::string>{"first"}, listener.texts);
    EXPECT_EQ(std::vector<int32_t>{5}, listener.params);
}

TEST_F(DsKernelTest, TheNetBranchOfTheResourceTreeReadsAndWritesTheKernel)
{
    CDsInfoAccess provider;
    provider.Mount("/etc/net");
    EXPECT_EQ("", CResString("/etc/net/#My/P_NAME").GetAsString("")) << "no kernel yet";
    provider.Set(&slot);

    kernel->SetProgName("player");
    EXPECT_EQ("player", CResString("/etc/net/#my/P_NAME").GetAsString(""));
    CResString title("/etc/net/#My/P_TITLE");
    title = "Evening";
    char value[32];
    NETPID me = self;
    EXPECT_EQ(1, kernel->GetProgTitle(1, me, value, sizeof value));
    EXPECT_STREQ("Evening", value);
    CResString other(("/etc/net/" + Text(kFake) + "/P_TITLE").c_str());
    other = "refused";
    EXPECT_EQ("", other.GetAsString("")) << "only this process's values are set";

    Send(kFake, DS_PUB_PID_INFO, 1, 0, {"P_NAME", "remote"});
    ASSERT_TRUE(recorder.WaitFor(KernelEvent("PID_ADD", Text(kFake))));
    EXPECT_EQ("remote",
              CResString(("/etc/net/" + Text(kFake) + "/P_NAME").c_str()).GetAsString(""));
    EXPECT_EQ("none", CResString("/etc/net/#Node/P_NAME").GetAsString("none"));

    CStringArray names;
    CResAccess("/etc/net").EnumSub(names);
    std::vector<std::string> listed;
    for (int i = 0; i < names.GetSize(); ++i) listed.emplace_back(names[i].GetString());
    for (const std::string &name :
         {std::string("#My"), std::string("#Node"), std::string("#Grp"), Text(kFake), Text(self)})
        EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), name)) << name;
    names.RemoveAll();
    CResAccess("/etc/net/#Node").EnumSub(names);
    ASSERT_EQ(2, names.GetSize());
    EXPECT_EQ(Text(self).substr(1, 8), std::string(names[0].GetString()));
    EXPECT_EQ(Text(kFake).substr(1, 8), std::string(names[1].GetString()));
}

TEST(DsKernelSlot, WithoutASlotTheKernelIsANamedPointer)
{
    void **named = nullptr;
    {
        CDSKernel kernel(nullptr, FreeUdpPort());
        named = glGetNamedPtr(IDSKernel::kNamedPtrType, "");
        ASSERT_NE(nullptr, named);
        EXPECT_EQ(static_cast<IDSKernel *>(&kernel), *named);
    }
    EXPECT_EQ(nullptr, glGetNamedPtr(IDSKernel::kNamedPtrType, ""));
}

} // namespace
