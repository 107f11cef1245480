// The "Shared" setting of the sharing service: which local port numbers are lines of other
// processes, where, and under which number there.
#include "SharingTestKit.h"

#include <gtest/gtest.h>

using namespace sharetest;

namespace {

TEST(ShareSetting, EntriesNameTheLocalNumberTheServerAndItsNumber)
{
    ActiveService service(SharedList({
        {0, "kest://any/Prog?COM=3"},
        {129, "kest://any/Prog?COM=3"},
        {128, "kest://any/Prog"},
        {1, "kest://Station7/Player?COM=9"},
        {2, "://no-host"},
        {3, "kest://any/Prog?COM=x"},
    }));
    tagCltDev line;
    EXPECT_EQ(service->LookupCltStruByPort(0, line), 0);
    EXPECT_EQ(service->LookupCltStruByPort(129, line), 0);
    EXPECT_EQ(service->LookupCltStruByPort(2, line), 0) << "not a URL";

    ASSERT_EQ(service->LookupCltStruByPort(128, line), 1);
    EXPECT_EQ(line.nLocalPort, 128);
    EXPECT_EQ(line.nRemotePort, 2) << "no COM in the query";
    EXPECT_EQ(line.server.host, "any");
    EXPECT_EQ(line.server.path, "Prog");

    ASSERT_EQ(service->LookupCltStruByPort(1, line), 1);
    EXPECT_EQ(line.nRemotePort, 9);
    EXPECT_EQ(line.server.host, "Station7");
    EXPECT_EQ(line.server.path, "Player");

    ASSERT_EQ(service->LookupCltStruByPort(3, line), 1);
    EXPECT_EQ(line.nRemotePort, 2) << "not a number";
}

} // namespace
