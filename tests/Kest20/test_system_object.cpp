// What the framework's system objects give a process before any close: the distributed-system
// object's kernel, its mount and its log forwarding, and the per-thread last error. Start and
// close themselves run in processes of their own (tests/Kest20/app): core shutdown is once a
// process.
#include "LogProbe.h"

#include "Kest20/CClock.h"
#include "Kest20/CDSystem.h"
#include "Kest20/CSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/KestApplication.h"
#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CMailPostOffice.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/NetMsg.h"
#include "platform/Process.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

namespace {

TEST(DistributedSystemObject, PublishesItsKernelAndMountsNetForItsLifeOnly)
{
    EXPECT_EQ(glGetDistributedSystemCore(), nullptr);
    {
        CDSystem system;
        ASSERT_NE(glGetDistributedSystemCore(), nullptr);
        EXPECT_STREQ(system.GetInstanceName(), "DSystem");
        EXPECT_STREQ(system.GetSettingInfo(), "/etc/tvx/DSystem");
        glGetDistributedSystemCore()->SetLocalEnv("PROBE_KEY", "here");
        EXPECT_EQ(CResAccess("/etc/net/#My")["PROBE_KEY"].GetAsString(""), CString("here"));
    }
    EXPECT_EQ(glGetDistributedSystemCore(), nullptr);
    EXPECT_EQ(CResAccess("/etc/net/#My")["PROBE_KEY"].GetAsString("gone"), CString("gone"));
}

TEST(DistributedSystemObject, PostsAnotherProcesssLogMessageUnderItsType)
{
    CDSystem system;
    LogProbe probe("LOG_REMOTE_PROBE", LOG_MODE_EXACT);
    tagNetMsgHeader header;
    const char *lines[] = {"", "LOG_REMOTE_PROBE", "first", "second", "", nullptr};
    EXPECT_EQ(system.OnRecvNetMsg(header, lines), 1);
    const char *one[] = {"group", "LOG_REMOTE_PROBE", nullptr};
    EXPECT_EQ(system.OnRecvNetMsg(header, one), 1);
    EXPECT_EQ(probe.Texts(), (std::vector<std::string>{"first\rsecond\r", ""}))
        << "lines joined by CR, the last CR dropped";

    const char *noType[] = {"group", nullptr};
    EXPECT_EQ(system.OnRecvNetMsg(header, noType), 0);
    EXPECT_EQ(system.OnRecvNetMsg(header, nullptr), 0);
    EXPECT_EQ(probe.Texts().size(), 2u);
}

TEST(SystemObject, FromFirstUseServesTheEnvironmentTheTextMailAndTheServices)
{
    ASSERT_NE(CKestApp::Kest(), nullptr);
    plat::SetEnv("KEST_APP_PROBE", "env value");
    EXPECT_EQ(CResAccess("/etc/env")["KEST_APP_PROBE"].GetAsString(""), CString("env value"));
    EXPECT_NE(IMailPostOffice::GetMailPostOffice(), nullptr);
    EXPECT_NE(glGetPostOffice(), nullptr);
    EXPECT_NE(glGetClock(), nullptr);
    EXPECT_NE(glGetRlzTaskPool(), nullptr);
    ASSERT_NE(glGetDevPatrolTaskMgr(), nullptr);
    EXPECT_NE(*glGetDevPatrolTaskMgr(), nullptr);
    ASSERT_NE(glGetPatrolTaskMgr(), nullptr);
    EXPECT_NE(*glGetPatrolTaskMgr(), *glGetDevPatrolTaskMgr());
    EXPECT_EQ(glReportDbg("LOG_APP_DEBUG", "on"), 1) << "the system object turns debug on";
    plat::SetEnv("KEST_APP_PROBE", nullptr);
}

TEST(LastError, IsOneRecordPerThread)
{
    tagLastError *mine = glGetLastError();
    ASSERT_EQ(mine, glGetLastError());
    mine->code = 42;
    tagLastError *other = nullptr;
    plat::Thread thread = plat::Thread::Start([&other] {
        other = glGetLastError();
        return static_cast<uint32_t>(other->code);
    });
    ASSERT_TRUE(thread.Join(5000));
    EXPECT_EQ(thread.ExitCode(), 0u) << "a new thread starts without error";
    EXPECT_NE(other, mine);
    EXPECT_EQ(mine->code, 42);
}

} // namespace
