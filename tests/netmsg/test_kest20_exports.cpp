// What libKest20 exports for packet mail and the kernel, used from this program, a module
// with its own copy of the framework library.
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CQueueMailBox.h"

#include <gtest/gtest.h>

namespace {

TEST(Kest20Exports, TheApplicationPostOfficeTakesBoxesOfAnyModule)
{
    IPostOffice *office = glGetPostOffice();
    ASSERT_NE(nullptr, office);
    EXPECT_EQ(office, glGetPostOffice());
    CQueueMailBox box(office, 129);
    box.SetMailBoxName("Exports_Test");
    ASSERT_EQ(129, box.EnableMailBox());
    CPacket packet;
    packet.GetPacketData()->Write("x", 0, 1);
    EXPECT_EQ(1, glSendMail(129, packet));
    EXPECT_EQ(1, glSendMail("exports_test", packet));
    EXPECT_EQ(0, glSendMail(130, packet));
    EXPECT_EQ(2, box.GetMailCount());
}

TEST(Kest20Exports, NoKernelUntilTheDistributedSystemObjectPublishesOne)
{
    EXPECT_EQ(nullptr, glGetDistributedSystemCore());
}

} // namespace
