// The packet post office and its mail boxes: ids, delivery by id and by name, acknowledgement
// boxes, queue limits, the automatic box's readers and thread, and removal while a delivery
// is in progress.
#include "tests/KestLib20/BoundedStop.h"

#include "KestLib20/CAckMailBox.h"
#include "KestLib20/CMailBox.h"
#include "KestLib20/CPostOffice.h"
#include "KestLib20/CQueueMailBox.h"
#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

CPacket PacketOf(const std::string &text)
{
    CPacket packet;
    packet.GetPacketData()->Write(text.data(), 0, static_cast<int>(text.size()));
    return packet;
}

std::string TextOf(CPacket &packet)
{
    CPacketData *p = packet.GetPacketData();
    std::string text(static_cast<size_t>(p->GetDataSize()), '\0');
    p->Read(text.data(), 0, p->GetDataSize());
    return text;
}

// A plain box that records which box got what.
class RecordingBox : public CMailBoxA {
public:
    RecordingBox(IPostOffice *office, int32_t id, const char *name, std::vector<std::string> *log)
        : CMailBoxA(office, id), m_log(log)
    {
        SetMailBoxName(name);
        SetMailHandler<&RecordingBox::Handle>(this);
    }
    int32_t Handle(int32_t boxId, CPacket &packet)
    {
        m_log->push_back(std::to_string(boxId) + ":" + TextOf(packet));
        return 7;
    }

private:
    std::vector<std::string> *m_log;
};

TEST(PostOffice, FixedIdsAreUniqueAndAutomaticIdsAreHandedOutAndBack)
{
    IPostOffice *slot = nullptr;
    CPostOffice office(&slot);
    EXPECT_EQ(&office, slot);
    CMailBoxA first(&office, 128);
    CMailBoxA second(&office, 128);
    EXPECT_EQ(128, first.EnableMailBox());
    EXPECT_EQ(0, second.EnableMailBox()) << "the fixed id is taken";
    EXPECT_EQ(0, second.GetMailBoxInfo().registered);
    {
        CMailBoxA refused(&office, 128);
        EXPECT_EQ(0, refused.EnableMailBox());
    }
    EXPECT_EQ(&first, office.GetByID(128)) << "a refused box leaves the holder of its id";

    CMailBoxA any(&office, 0);
    CMailBoxA beyond(&office, 5000);
    EXPECT_EQ(2048, any.EnableMailBox());
    EXPECT_EQ(2049, beyond.EnableMailBox()) << "ids from 2048 on are the office's to give";
    EXPECT_EQ(3, office.GetCount());
    EXPECT_EQ(&any, office.GetAt(1));
    EXPECT_EQ(nullptr, office.GetAt(3));

    EXPECT_EQ(1, office.Unregister(2048));
    EXPECT_EQ(0, any.GetMailBoxInfo().id) << "an automatic id is given back";
    EXPECT_EQ(0, any.GetMailBoxInfo().enabled);
    EXPECT_EQ(0, office.Unregister(2048));
    EXPECT_EQ(&first, office.GetByID(128));

    CMailBoxA orphan(nullptr, 7);
    EXPECT_EQ(0, orphan.EnableMailBox()) << "a box without a post office has no id";
}

TEST(PostOffice, DeliveryByNameReachesEveryBoxOfTheNameLatestFirst)
{
    CPostOffice office;
    std::vector<std::string> log;
    RecordingBox a(&office, 10, "Packet_Exchange", &log);
    RecordingBox b(&office, 0, "packet_exchange", &log);
    RecordingBox other(&office, 11, "Other", &log);
    RecordingBox c(&office, 12, "PACKET_EXCHANGE", &log);
    for (CMailBoxA *box : std::initializer_list<CMailBoxA *>{&a, &b, &other, &c})
        box->EnableMailBox();
    c.DisableMailBox();

    CPacket packet = PacketOf("hi");
    EXPECT_EQ(1, office.SendMail("packet_EXCHANGE", packet));
    EXPECT_EQ((std::vector<std::string>{"2048:hi", "10:hi"}), log) << "disabled boxes get none";

    int32_t ids[2];
    int32_t count = 2;
    EXPECT_EQ(2, office.FindByName("Packet_Exchange", ids, &count));
    EXPECT_EQ(12, ids[0]);
    EXPECT_EQ(2048, ids[1]);
    EXPECT_EQ(&c, office.GetByName("packet_exchange"));

    log.clear();
    EXPECT_EQ(7, office.SendMail(11, packet));
    EXPECT_EQ(0, office.SendMail(12, packet)) << "disabled";
    EXPECT_EQ(0, office.SendMail(99, packet)) << "no such box";
    EXPECT_EQ(std::vector<std::string>{"11:hi"}, log);

    CMailBoxA longName(&office, 0);
    longName.SetMailBoxName("ABCDEFGHIJKLMNOPQRS");
    EXPECT_STREQ("ABCDEFGHIJKLMNO", longName.GetMailBoxInfo().name);
}

TEST(AckMailBox, SignalsOnTheLastAwaitedPacketAndIgnoresLaterOnes)
{
    CPostOffice office;
    CAckMailBox box(&office, 0);
    box.SetAckCount(3);
    const int32_t id = box.EnableMailBox();
    ASSERT_NE(0, id);
    CPacket p1 = PacketOf("1"), p2 = PacketOf("2"), p3 = PacketOf("3"), p4 = PacketOf("4");
    EXPECT_EQ(1, office.SendMail(id, p1));
    EXPECT_EQ(1, office.SendMail(id, p2));
    EXPECT_EQ(2, box.WaitForMail(0)) << "not signalled before the third";
    EXPECT_EQ(1, office.SendMail(id, p3));
    EXPECT_EQ(0, office.SendMail(id, p4)) << "the box disabled itself";

    CArray<CPacket> got;
    EXPECT_EQ(3, box.WaitForACK(got, 1000));
    ASSERT_EQ(3, got.GetSize());
    EXPECT_EQ("3", TextOf(got[2]));
    EXPECT_EQ(0, box.WaitForMail(0)) << "the box was emptied";

    // Enabled again, it takes packets again; a reply hands over the first.
    box.SetAckCount(1);
    EXPECT_EQ(id, box.EnableMailBox());
    EXPECT_EQ(1, office.SendMail(id, p4));
    CPacket reply;
    EXPECT_EQ(1, box.WaitForACK(reply, 1000));
    EXPECT_EQ("4", TextOf(reply));
}

TEST(AckMailBox, AWaitEndsAtItsTimeOutOrWhenTheServiceStops)
{
    CPostOffice office;
    CAckMailBox box(&office, 0);
    box.EnableMailBox();
    {
        plat::ScopedTestClock clock;
        CPacket reply;
        EXPECT_TRUE(EndsAtTheBound([&] { EXPECT_EQ(0, box.WaitForACK(reply, 1500)); }, 1500));
    }
    std::atomic<int32_t> result{-1};
    std::thread waiter([&] {
        CPacket reply;
        result = box.WaitForACK(reply, 60000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    office.StopService();
    waiter.join();
    EXPECT_EQ(0, result.load());
    EXPECT_EQ(0, box.GetMailBoxInfo().registered);
    EXPECT_EQ(0, office.GetCount());
}

TEST(QueueMailBox, KeepsUpTo65535PacketsInOrder)
{
    CPostOffice office;
    CQueueMailBox box(&office, 300);
    ASSERT_EQ(300, box.EnableMailBox());
    CPacket first = PacketOf("first");
    CPacket rest = PacketOf("rest");
    EXPECT_EQ(1, office.SendMail(300, first));
    for (int i = 1; i < CQueueMailBox::kQueueLimit; ++i) ASSERT_EQ(1, office.SendMail(300, rest));
    EXPECT_EQ(0, office.SendMail(300, rest)) << "a full queue drops the packet";
    EXPECT_EQ(65535, box.GetMailCount());
    CPacket got;
    EXPECT_EQ(1, box.GetMail(got));
    EXPECT_EQ("first", TextOf(got));
    box.ClearQueue();
    EXPECT_EQ(0, box.GetMail(got));
}

TEST(QueueMailBox, DisablingFreesAWaitingReader)
{
    CPostOffice office;
    CQueueMailBox box(&office, 0);
    box.EnableMailBox();
    std::atomic<int32_t> result{-1};
    std::thread reader([&] {
        CPacket packet;
        result = box.WaitMail(packet, 60000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    box.DisableMailBox();
    reader.join();
    EXPECT_EQ(0, result.load());
}

// A packet taken without waiting leaves no signal behind: the next wait lasts until a packet
// comes.
TEST(QueueMailBox, AWaitEndsOnlyWithAPacketOrItsTimeOut)
{
    CPostOffice office;
    CQueueMailBox box(&office, 301);
    ASSERT_EQ(301, box.EnableMailBox());
    CPacket a = PacketOf("a"), b = PacketOf("b");
    ASSERT_EQ(1, office.SendMail(301, a));
    ASSERT_EQ(1, office.SendMail(301, b));
    CPacket got;
    ASSERT_EQ(1, box.WaitMail(got, 0));
    ASSERT_EQ(1, box.WaitMail(got, 0));
    EXPECT_EQ("b", TextOf(got));

    auto later = std::async(std::launch::async, [&] {
        CPacket packet;
        return box.WaitMail(packet, 60000) ? TextOf(packet) : std::string("(none)");
    });
    EXPECT_EQ(std::future_status::timeout, later.wait_for(std::chrono::milliseconds(100)))
        << "the wait ended with nothing to take";
    CPacket c = PacketOf("c");
    ASSERT_EQ(1, office.SendMail(301, c));
    EXPECT_EQ("c", later.get());
}

// A reader that records what it gets; it can be made to block in its call.
class Reader {
public:
    int32_t Read(CPacket &packet)
    {
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_got.push_back(m_name + ":" + TextOf(packet));
        }
        m_called.Set();
        if (m_block) m_release.Wait(plat::INFINITE);
        return 1;
    }
    std::vector<std::string> Got()
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        return m_got;
    }
    std::string m_name;
    bool m_block = false;
    plat::Event m_called;
    plat::Event m_release{true};

private:
    std::mutex m_mutex;
    std::vector<std::string> m_got;
};

bool WaitUntil(const std::function<bool()> &done)
{
    for (int i = 0; i < 300 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

TEST(AutoMailBox, ReadersGetEachPacketInOrderOnTheDeliveryThread)
{
    CPostOffice office;
    CAutoMailBox box(&office, 0);
    Reader one, two;
    one.m_name = "one";
    two.m_name = "two";
    const tagMailReader reader = tagMailReader::Of<&Reader::Read>(&one);
    EXPECT_EQ(1, box.AddReader(reader, &one));
    EXPECT_EQ(0, box.AddReader(reader, &one)) << "already a reader";
    EXPECT_EQ(1, box.AddReader(tagMailReader::Of<&Reader::Read>(&two), &two));
    EXPECT_EQ(1, box.AddReader({nullptr, nullptr}, nullptr));
    EXPECT_EQ(3, box.GetReaderCount());
    tagMailReader got;
    EXPECT_EQ(0, box.GetReader(3, got));

    EXPECT_EQ(0, box.Stop()) << "not running";
    ASSERT_EQ(1, box.Start());
    const int32_t id = box.GetMailBoxInfo().id;
    CPacket a = PacketOf("a"), b = PacketOf("b");
    office.SendMail(id, a);
    office.SendMail(id, b);
    ASSERT_TRUE(WaitUntil([&] { return two.Got().size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"one:a", "one:b"}), one.Got());
    EXPECT_EQ(1, box.RemoveReader(&one));
    CPacket c = PacketOf("c");
    office.SendMail(id, c);
    ASSERT_TRUE(WaitUntil([&] { return two.Got().size() == 3; }));
    EXPECT_EQ(2u, one.Got().size());
    EXPECT_EQ(1, box.Stop());
}

TEST(AutoMailBox, RemovingAReaderWaitsForItsCallInProgress)
{
    CPostOffice office;
    auto box = std::make_unique<CAutoMailBox>(&office, 0);
    Reader slow;
    slow.m_name = "slow";
    slow.m_block = true;
    box->AddReader(tagMailReader::Of<&Reader::Read>(&slow), &slow);
    box->Start();
    CPacket packet = PacketOf("p");
    office.SendMail(box->GetMailBoxInfo().id, packet);
    ASSERT_EQ(plat::WAIT_OBJECT_0, slow.m_called.Wait(3000));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        box->RemoveReader(&slow);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(removed.load());
    slow.m_release.Set();
    remover.join();
    box.reset();
}

TEST(AutoMailBox, StopGivesUpAHungReaderAfter1000Ms)
{
    CPostOffice office;
    auto box = std::make_unique<CAutoMailBox>(&office, 0);
    // The given-up thread still returns through the reader's event after the test has ended,
    // so the reader stays until the process ends.
    static std::vector<std::unique_ptr<Reader>> kept;
    Reader *const stuck = kept.emplace_back(std::make_unique<Reader>()).get();
    stuck->m_name = "stuck";
    stuck->m_block = true;
    box->AddReader(tagMailReader::Of<&Reader::Read>(stuck), stuck);
    box->Start();
    CPacket first = PacketOf("1"), second = PacketOf("2");
    office.SendMail(box->GetMailBoxInfo().id, first);
    office.SendMail(box->GetMailBoxInfo().id, second);
    ASSERT_EQ(plat::WAIT_OBJECT_0, stuck->m_called.Wait(3000));
    {
        plat::ScopedTestClock clock;
        EXPECT_TRUE(EndsAtTheBound([&] { EXPECT_EQ(1, box->Stop()); }, 1000));
    }
    // The box goes while the given-up thread still runs its reader; once that returns, the
    // thread calls nothing more.
    box.reset();
    stuck->m_release.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(std::vector<std::string>{"stuck:1"}, stuck->Got());
}

TEST(PostOffice, UnregisteringWaitsForADeliveryInProgress)
{
    CPostOffice office;
    struct Slow : CMailBoxA {
        using CMailBoxA::CMailBoxA;
        int32_t OnRecvMail(int32_t, CPacket &) override
        {
            entered.Set();
            release.Wait(plat::INFINITE);
            return 1;
        }
        plat::Event entered;
        plat::Event release{true};
    };
    auto box = std::make_unique<Slow>(&office, 40);
    box->EnableMailBox();
    std::thread sender([&] {
        CPacket packet = PacketOf("x");
        office.SendMail(40, packet);
    });
    ASSERT_EQ(plat::WAIT_OBJECT_0, box->entered.Wait(3000));
    std::atomic<bool> gone{false};
    std::thread remover([&] {
        office.Unregister(40);
        gone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(gone.load());
    box->release.Set();
    remover.join();
    sender.join();
    EXPECT_EQ(nullptr, office.GetByID(40));
}

} // namespace
