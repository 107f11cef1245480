// Net messages on the wire: process ids and their text form, the 40-byte head, argument
// lists, and the reply queues that requesters wait on.
#include "tests/netmsg/NetMsgTestKit.h"

#include "KestLib20/CConfigFileAccessX.h"
#include "KestLib20/CNetMsgQueue.h"
#include "KestLib20/NetMsg.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace {

using Message = std::unique_ptr<char, decltype(&free)>;
Message Own(char *message)
{
    return Message(message, &free);
}

TEST(NetPid, TextFormRoundTripsAndRejectsNonHex)
{
    char text[20];
    EXPECT_EQ(nullptr, NETPID_ntos({10, 31}, text, 19));
    ASSERT_NE(nullptr, NETPID_ntos({10, 31}, text, sizeof text));
    EXPECT_STREQ("P0000000A_0000001F", text);

    EXPECT_EQ((NETPID{10, 31}), NETPID_ston("P0000000A_0000001F"));
    EXPECT_EQ((NETPID{0xDEADBEEF, 0x12}), NETPID_ston("PDEADBEEF_00000012"));
    EXPECT_EQ((NETPID{}), NETPID_ston("PXYZ0000A_0000001F"));
    EXPECT_EQ((NETPID{}), NETPID_ston("P0000000A_"));
    EXPECT_EQ((NETPID{}), NETPID_ston(nullptr));
    // Only the first 20 characters count.
    EXPECT_EQ((NETPID{10, 0x1F99}), NETPID_ston("P0000000A_0000001F99999"));
}

TEST(NetPid, ThisProcessKeepsItsNodeAndUsesItsPid)
{
    const NETPID self = GetCurrentNetProcessID();
    EXPECT_EQ(self, GetCurrentNetProcessID());
    EXPECT_EQ(static_cast<uint32_t>(getpid()), self.pid);
}

TEST(NetMsgHead, FieldsAreLittleEndianInTheirOrder)
{
    tagNetMsgHeader header;
    header.length = 0x01020304;
    header.command = 48;
    header.param1 = -1;
    header.param2 = 2;
    header.target = {1, 0};
    header.channel = 300;
    header.replyQueue = 1025;
    header.sender = {0xAABBCCDD, 7};
    char bytes[40];
    EncodeNetMsgHeader(header, bytes);

    CraftedMessage expected;
    const uint32_t words[10] = {0x01020304, 48, 0xFFFFFFFF, 2, 1, 0, 300, 1025, 0xAABBCCDD, 7};
    memcpy(expected.fields, words, sizeof words);
    EXPECT_EQ(expected.Bytes(0x01020304), std::string(bytes, 40));

    const tagNetMsgHeader back = DecodeNetMsgHeader(bytes);
    EXPECT_EQ(header.length, back.length);
    EXPECT_EQ(-1, back.param1);
    EXPECT_EQ(header.target, back.target);
    EXPECT_EQ(header.replyQueue, back.replyQueue);
    EXPECT_EQ(header.sender, back.sender);
}

TEST(NetMsgArguments, SixtyFourOneCharacterStringsFitAndLongListsAreCut)
{
    char message[kNetMsgMaxSize + 1] = {};
    const char *letters[65];
    std::string texts[64];
    for (int i = 0; i < 64; ++i) {
        texts[i] = std::string(1, static_cast<char>('A' + i % 26));
        letters[i] = texts[i].c_str();
    }
    letters[64] = nullptr;
    ASSERT_EQ(1, SetNetMsgParamList(message, kNetMsgMaxSize, letters));
    EXPECT_EQ(40 + 128, DecodeNetMsgHeader(message).length);

    // Arguments of 100 bytes: four fit in 472 bytes, the fifth would overrun.
    const std::string hundred(99, 'x');
    const char *big[] = {hundred.c_str(), hundred.c_str(), hundred.c_str(),
                         hundred.c_str(), hundred.c_str(), "y",
                         nullptr};
    memset(message, '#', sizeof message);
    ASSERT_EQ(1, SetNetMsgParamList(message, kNetMsgMaxSize, big));
    const int32_t length = DecodeNetMsgHeader(message).length;
    EXPECT_LE(length, kNetMsgMaxSize);
    EXPECT_EQ('#', message[kNetMsgMaxSize]) << "the buffer was overrun";
    const char *split[8];
    int32_t count = 8;
    ASSERT_EQ(1, GetNetMsgParamList(message, split, count));
    EXPECT_EQ(4, count);

    EXPECT_EQ(0, SetNetMsgParamList(message, 39, big));
}

TEST(NetMsgArguments, SplittingKeepsCapacityMinusOneAndEndsWithNull)
{
    char message[kNetMsgMaxSize + 1];
    ASSERT_EQ(1, SetNetMsgParamListV(message, kNetMsgMaxSize, "a", "", "c", "d", "e",
                                     static_cast<const char *>(nullptr)));
    const char *args[4];
    int32_t count = 4;
    ASSERT_EQ(1, GetNetMsgParamList(message, args, count));
    ASSERT_EQ(3, count);
    EXPECT_STREQ("a", args[0]);
    EXPECT_STREQ("", args[1]);
    EXPECT_STREQ("c", args[2]);
    EXPECT_EQ(nullptr, args[3]);

    // A length field below the head size splits nothing.
    CraftedMessage crafted;
    std::string bytes = crafted.Bytes(39) + std::string(8, '\0');
    count = 4;
    EXPECT_EQ(0, GetNetMsgParamList(bytes.data(), args, count));
    EXPECT_EQ(0, count);
}

TEST(NetMsgArguments, StringsAreEndedAtTheLengthField)
{
    // The last string has no NUL of its own: the splitter ends it at the length field.
    CraftedMessage crafted;
    crafted.strings = {"first", "second"};
    std::string bytes = crafted.Bytes();
    bytes.back() = 'X';
    bytes.push_back('Z'); // beyond the length field
    const char *args[4];
    int32_t count = 4;
    ASSERT_EQ(1, GetNetMsgParamList(bytes.data(), args, count));
    ASSERT_EQ(2, count);
    EXPECT_STREQ("secondX", args[1]);
}

TEST(NetMsgBroadcast, TheEnvironmentThenTheSettingThenEveryHost)
{
    std::string saved;
    const bool had = plat::GetEnv("KEST_BROADCAST", &saved);
    const std::string file = ::testing::TempDir() + "kest_broadcast.cfg";
    struct Case {
        const char *env;     // null: not set
        const char *setting; // null: no key
        const char *address;
    } cases[] = {
        {nullptr, nullptr, "255.255.255.255"},
        {nullptr, "127.255.255.255", "127.255.255.255"},
        {"127.0.0.1", "127.255.255.255", "127.0.0.1"},
        {"no address", "10.1.255.255", "10.1.255.255"},
        {"", "not one either", "255.255.255.255"},
    };
    for (const Case &c : cases) {
        std::ofstream(file, std::ios::trunc)
            << (c.setting ? std::string("[DSystem]\r\nBroadcast=") + c.setting + "\r\n" : "");
        CConfigFileAccessX settings(file.c_str());
        settings.Mount("/etc/tvx");
        plat::SetEnv("KEST_BROADCAST", c.env);
        in_addr address{GetNetMsgBroadcastAddress()};
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &address, text, sizeof text);
        EXPECT_STREQ(text, c.address)
            << (c.env ? c.env : "-") << " " << (c.setting ? c.setting : "-");
    }
    // Never leave this host from a test.
    plat::SetEnv("KEST_BROADCAST", had ? saved.c_str() : "127.255.255.255");
    std::remove(file.c_str());
}

TEST(NetMsgQueue, FixedIdsRenewAndTemporaryIdsComeFromTheCounter)
{
    CNetMsgQueue queues;
    const int32_t first = queues.CreateQueue(0, 0);
    const int32_t second = queues.CreateQueue(0, 5000);
    EXPECT_GE(first, 1024);
    EXPECT_GT(second, first) << "a requested id outside 256-1023 is not used";
    EXPECT_EQ(300, queues.CreateQueue(0, 300));
    EXPECT_EQ(300, queues.CreateQueue(1000, 300));

    const char message[] = "0123456789";
    queues.AddMsg(300, message, 5);
    Message got = Own(queues.GetMsg(300, 0));
    ASSERT_TRUE(got);
    EXPECT_STREQ("01234", got.get()) << "a copy of the length, with a NUL behind";

    queues.DeleteQueue(300);
    queues.AddMsg(300, message, 5);
    EXPECT_EQ(nullptr, queues.GetMsg(300, 0)) << "messages for a deleted queue are dropped";
}

TEST(NetMsgQueue, ExpiredQueuesAreClearedAndWaitsAreBounded)
{
    plat::ScopedTestClock clock;
    CNetMsgQueue queues;
    const int32_t lasting = queues.CreateQueue(0, 400);
    const int32_t shortLived = queues.CreateQueue(100, 401);
    plat::TestClock::Advance(101);
    queues.ClearInvalid();
    const char message[] = "x";
    queues.AddMsg(lasting, message, 1);
    queues.AddMsg(shortLived, message, 1);
    EXPECT_TRUE(Own(queues.GetMsg(lasting, 0)));
    EXPECT_FALSE(Own(queues.GetMsg(shortLived, 0)));

    // A wait of any length ends after ten rounds of at most 500 ms.
    Message waited(nullptr, &free);
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        waited = Own(queues.GetMsg(lasting, 1000000));
        done = true;
    });
    const uint32_t advanced = PumpClock([&] { return done.load(); }, 500, 1000000);
    waiter.join();
    EXPECT_FALSE(waited);
    // The first round may find the event still set by the message taken above.
    EXPECT_GE(advanced, 4500u);
    EXPECT_LE(advanced, 10000u);

    // A message that arrives during the wait ends it.
    std::thread receiver([&] { waited = Own(queues.GetMsg(lasting, 4000)); });
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    queues.AddMsg(lasting, message, 1);
    receiver.join();
    EXPECT_TRUE(waited);
}

} // namespace
