// The network time source against the network object of this program, with only the device
// layer loaded: created by class name, finding the time server by URL or by group through the
// kernel, reading its framework time with the counter corrected by half the round trip, and
// finding the server again after it went away.
#include "tests/net/NetObjectKit.h"

#include "Kest20/CClock.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/InstanceRegistry.h"
#include "KestLib20/CDSKernel.h"
#include "KestLib20/CNetMsgServer.h"
#include "devext/device/CTimeSource_Net.h"
#include "tests/Kest20/FakeSettings.h"
#include "tests/LocalhostName.h"

#include <gtest/gtest.h>

#include <link.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace nettest;

namespace {

// A network time source initialised from "/etc/tvx/NetClock" with the keys given.
struct NetClock {
    explicit NetClock(const Keys &keys)
    {
        FakeSettings settings;
        for (const auto &[key, value] : keys) settings.Set("/etc/tvx/NetClock", key, value);
        EXPECT_EQ(source.InitInstance(nullptr, "NetClock"), 1);
    }
    CTimeSource_Net source;
};

// Whether a library whose file name holds `name` is loaded in this process.
bool Loaded(const char *name)
{
    struct Search {
        const char *name;
        bool found;
    } search{name, false};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *s = static_cast<Search *>(data);
            if (info->dlpi_name && strstr(info->dlpi_name, s->name)) s->found = true;
            return 0;
        },
        &search);
    return search.found;
}

// For one test, the process's kernel is one that serves, on a free port of its own, so that a
// host name resolves to a node; this process, on host "localhost", is in `groups`. The
// program's own kernel, which serves nothing, is put back afterwards.
class ServingKernel {
public:
    explicit ServingKernel(const std::vector<std::string> &groups)
        : m_ppSlot(glGetDistributedSystemCore()->GetActivePtr()), m_pProgram(*m_ppSlot),
          m_pKernel(std::make_unique<CDSKernel>(m_ppSlot, kestsim::FreePort(SOCK_DGRAM)))
    {
        EXPECT_EQ(m_pKernel->GetNetMsgServ()->Start(), 1);
        // "localhost" is this process's node without looking at addresses, which the
        // datagrams of a broadcast on 127.255.255.255 do not always give as 127.0.0.1.
        m_pKernel->SetHostName("localhost");
        for (const std::string &group : groups) m_pKernel->EnterGrp(group.c_str(), 1);
    }
    ~ServingKernel()
    {
        m_pKernel.reset();
        *m_ppSlot = m_pProgram;
    }
    ServingKernel(const ServingKernel &) = delete;
    ServingKernel &operator=(const ServingKernel &) = delete;

private:
    IDSKernel **m_ppSlot;
    IDSKernel *m_pProgram;
    std::unique_ptr<CDSKernel> m_pKernel;
};

} // namespace

TEST(NetTimeSource, IsCreatedByClassNameWithOnlyTheDeviceLayerLoaded)
{
    ASSERT_FALSE(Loaded("KsOvra20")) << "this program loads the device layer alone";
    iRtc *rtc = iRtc::vFind("CTimeSource_Net", iRtc::FIND_CLASSNAME);
    ASSERT_NE(rtc, nullptr);
    EXPECT_TRUE(rtc->IsKindOf(CTimeSourceA::GetClassID()));

    ActiveNet net;
    CPtrArray created;
    {
        FakeSettings settings;
        settings.Set("/etc/tvx/ByName", "class", "CTimeSource_Net");
        settings.Set("/etc/tvx/ByName", "Timer Server", "kest://any/TimeServ");
        CClassA *object = glCreateComponent("ByName", nullptr, CTimeSourceA::GetClassID(), 0);
        ASSERT_NE(object, nullptr);
        created.Add(object);
        auto *source = dynamic_cast<CTimeSource_Net *>(object);
        ASSERT_NE(source, nullptr);
        ASSERT_EQ(source->InitInstance(nullptr, "ByName"), 1);
        EXPECT_EQ(source->GetServerText(), "kest://any/TimeServ");
        DYNAMIC_TIME read{};
        EXPECT_EQ(source->GetStandardTime(read), 1);
    }
    EXPECT_EQ(glDeleteObjects(created), 1);
}

TEST(NetTimeSource, WithoutAServerTextTheServerIsFoundByGroup)
{
    const struct {
        const char *what;
        std::vector<std::string> groups; // this process's
        const char *filter;              // the "Group" setting; null: none
        int found;
    } cases[] = {
        {"the default group", {"Kest", "TimeServ"}, nullptr, 1},
        {"a process outside the default group", {"Kest"}, nullptr, 0},
        {"a group of the setting", {"Studio", "Kest"}, "kest;studio", 1},
        {"a process in only one of them", {"Studio"}, "Kest;Studio", 0},
    };
    if (!LocalhostInHostsFile()) GTEST_SKIP() << kNoLocalhost;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ServingKernel kernel(c.groups);
        ActiveNet net;
        // Read when the server is looked for.
        FakeSettings setting;
        if (c.filter) setting.Set("/etc/tvx/NetClock", "Group", c.filter);
        NetClock clock(Keys{});
        EXPECT_EQ(clock.source.SetTimerServer(nullptr), c.found);
        EXPECT_EQ(clock.source.IsReady(), c.found == 1);
        DYNAMIC_TIME read{};
        EXPECT_EQ(clock.source.GetStandardTime(read), c.found);
        if (c.found) {
            EXPECT_EQ(clock.source.GetServerAddr(), net.Addr());
        }
    }
}

TEST(NetTimeSource, ReadsTheServersFrameworkTime)
{
    ActiveNet net;
    NetClock clock(Keys{{"Timer Server", "kest://any/TimeServ"}});
    EXPECT_FALSE(clock.source.IsReady());

    DYNAMIC_TIME before{}, after{}, read{};
    glGetTimeEx(&before);
    ASSERT_EQ(clock.source.GetStandardTime(read), 1);
    glGetTimeEx(&after);
    EXPECT_TRUE(clock.source.IsReady());
    EXPECT_EQ(clock.source.GetServerAddr(), net.Addr());
    EXPECT_GE(read.time, before.time);
    EXPECT_LE(read.time, after.time);
    // Taken before the reply came back: at least 10 units and half a round trip before now.
    EXPECT_LE(read.counter, after.counter - 10);
    EXPECT_GE(read.counter, before.counter - (after.counter - before.counter));
}

TEST(NetTimeSource, WithoutAServerItGivesNoTime)
{
    ActiveNet net;
    {
        // No process of the time servers' group.
        FakeSettings setting;
        setting.Set("/etc/tvx/NetClock", "Group", "Kest;NoSuchGroup");
        NetClock clock(Keys{});
        EXPECT_EQ(clock.source.SetTimerServer(nullptr), 0);
        DYNAMIC_TIME read{};
        EXPECT_EQ(clock.source.GetStandardTime(read), 0);
    }
    NetClock clock(Keys{{"Timer Server", "not a url"}});
    EXPECT_EQ(clock.source.SetTimerServer(nullptr), 0);
    EXPECT_EQ(clock.source.SetTimerServer("kest://any/NoSuchServer"), 0);
    EXPECT_FALSE(clock.source.IsReady());
    EXPECT_EQ(clock.source.GetServerText(), "kest://any/NoSuchServer");
}

TEST(NetTimeSource, AServerThatWentAwayIsFoundAgain)
{
    NetClock clock(Keys{{"Timer Server", "kest://any/TimeServ"}});
    DYNAMIC_TIME read{};
    uint16_t otherPort = 0;
    {
        ActiveNet net;
        ASSERT_EQ(clock.source.GetStandardTime(read), 1);
        otherPort = FreePort(SOCK_DGRAM); // not the port the first one holds
    }
    ActiveNet other(Keys{{"Default Port", std::to_string(otherPort)}});
    // The old address no longer answers: the reading fails and the server is dropped.
    EXPECT_EQ(clock.source.GetStandardTime(read), 0);
    EXPECT_FALSE(clock.source.IsReady());
    EXPECT_EQ(clock.source.GetStandardTime(read), 1);
    EXPECT_EQ(clock.source.GetServerAddr(), other.Addr());
}
