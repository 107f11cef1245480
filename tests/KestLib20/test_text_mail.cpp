// The text-mail post office: which listeners a mail reaches in which apartment, queue
// overflow, the delivery thread's idle end and restart, box names, and removal while a
// listener is being called.
#include "KestLib20/CMailApartment.h"
#include "KestLib20/CMailPostOffice.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Collects "who:address:text1" lines from any thread.
class Inbox {
public:
    static void Handler(void *param, int32_t, const char *address, const char *text1, const char *,
                        const char *)
    {
        auto *slot = static_cast<std::pair<Inbox *, std::string> *>(param);
        slot->first->Add(slot->second + ":" + address + ":" + text1);
    }

    // A listener parameter naming the receiver `who`.
    void *As(const std::string &who)
    {
        m_names.push_back(std::make_unique<std::pair<Inbox *, std::string>>(this, who));
        return m_names.back().get();
    }
    tagMailListener Listener(const std::string &who, int32_t apartment)
    {
        tagMailListener l;
        l.apartment = apartment;
        l.handler = &Handler;
        l.param = As(who);
        return l;
    }
    void Add(const std::string &line)
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_lines.push_back(line);
        m_threads.push_back(plat::GetCurrentThreadId());
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        return m_lines;
    }
    std::vector<uint32_t> Threads()
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        return m_threads;
    }
    bool WaitForCount(size_t count)
    {
        for (int i = 0; i < 300; ++i) {
            if (Lines().size() >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::vector<uint32_t> m_threads;
    std::vector<std::unique_ptr<std::pair<Inbox *, std::string>>> m_names;
};

constexpr int32_t kPolled = 3;
constexpr int32_t kSync = 4;

TEST(TextMail, MailtoReachesProxiesAndGroupsButNoBox)
{
    CMailPostOffice office;
    Inbox inbox;
    tagMailListener proxy = inbox.Listener("proxy", kSync);
    tagMailListener group = inbox.Listener("group", kSync);
    tagMailListener box = inbox.Listener("box", kSync);
    tagMailListener polledProxy = inbox.Listener("polled", kPolled);
    EXPECT_EQ(0xFFF, office.AddListener("Proxy", &proxy) & 0xFFF);
    EXPECT_EQ(0xFFE, office.AddListener("_group", &group) & 0xFFE);
    ASSERT_NE(0, office.AddListener("mailto:ops", &box));
    ASSERT_NE(0, office.AddListener("proxy", &polledProxy));

    EXPECT_EQ(1, office.SendMail("MailTo:ops", "t1", nullptr, nullptr));
    EXPECT_EQ((std::vector<std::string>{"proxy:mailto:ops:t1", "group:mailto:ops:t1"}),
              inbox.Lines());
    EXPECT_EQ(1, office.OnMailThrdIdle());
    EXPECT_EQ(0, office.OnMailThrdIdle());
    EXPECT_EQ("polled:mailto:ops:t1", inbox.Lines().back());
}

TEST(TextMail, AddressesFindBoxesWithoutRegardToCase)
{
    CMailPostOffice office;
    Inbox inbox;
    tagMailListener l = inbox.Listener("box", kSync);
    tagMailListener same = inbox.Listener("same", kSync);
    tagMailListener other = inbox.Listener("other", kSync);
    const int32_t id = office.AddListener("Studio.Clock", &l);
    EXPECT_EQ(id, l.id);
    EXPECT_GE(id >> 12, 100);
    office.AddListener("other", &other);
    const int32_t sameId = office.AddListener("studio.clock", &same);
    EXPECT_NE(id, sameId);
    EXPECT_EQ(id & 0xFFF, sameId & 0xFFF) << "the low bits name the box";
    EXPECT_NE(id & 0xFFF, other.id & 0xFFF);
    office.SendMail("STUDIO.clock", "tick", "", "");
    EXPECT_EQ((std::vector<std::string>{"box:studio.clock:tick", "same:studio.clock:tick"}),
              inbox.Lines());

    // Nobody takes it: dropped, still 1.
    EXPECT_EQ(1, office.SendMail("nobody", "x", nullptr, nullptr));
    EXPECT_EQ(0, office.OnMailThrdIdle());
    tagMailListener nowhere = inbox.Listener("x", 77);
    EXPECT_EQ(0, office.AddListener("box", &nowhere)) << "no such apartment";
}

TEST(TextMail, ABoxOutlivesItsListenersAndStillQueuesItsMail)
{
    CMailPostOffice office;
    Inbox inbox;
    // Removed by its id, and removed with every listener of the apartment.
    for (const int32_t removeId : {1, 0}) {
        SCOPED_TRACE(removeId);
        const std::string name = "keep" + std::to_string(removeId);
        tagMailListener first = inbox.Listener("first", kPolled);
        const int32_t id = office.AddListener(name.c_str(), &first);
        ASSERT_NE(0, id);
        EXPECT_EQ(1, office.RemoveListener(removeId ? id : 0, kPolled));

        EXPECT_EQ(1, office.SendMail(name.c_str(), "unheard", nullptr, nullptr));
        EXPECT_EQ(1, office.OnMailThrdIdle()) << "queued for the box, though nobody listens";
        EXPECT_EQ(0, office.OnMailThrdIdle());
        char boxes[64] = {};
        office.EnumMailBox("", 0, boxes, sizeof boxes);
        EXPECT_NE(std::string(boxes).find(name + ";"), std::string::npos) << boxes;

        tagMailListener again = inbox.Listener("again", kPolled);
        const int32_t second = office.AddListener(name.c_str(), &again);
        EXPECT_EQ(id & 0xFFF, second & 0xFFF) << "the same box";
        office.SendMail(name.c_str(), "heard", nullptr, nullptr);
        EXPECT_EQ(1, office.OnMailThrdIdle());
        EXPECT_EQ("again:" + name + ":heard", inbox.Lines().back());
        office.RemoveListener(second, kPolled);
    }
    EXPECT_EQ(2u, inbox.Lines().size());
}

TEST(TextMail, The1025thQueuedMailPushesOutTheOldest)
{
    CMailPostOffice office;
    Inbox inbox;
    tagMailListener l = inbox.Listener("p", kPolled);
    office.AddListener("queue", &l);
    for (int i = 1; i <= 1025; ++i)
        office.SendMail("queue", std::to_string(i).c_str(), nullptr, nullptr);
    int delivered = 0;
    while (office.OnMailThrdIdle()) ++delivered;
    EXPECT_EQ(1024, delivered);
    EXPECT_EQ("p:queue:2", inbox.Lines().front());
    EXPECT_EQ("p:queue:1025", inbox.Lines().back());
}

TEST(TextMail, AnIdleDeliveryThreadEndsAndTheNextMailStartsAnother)
{
    plat::ScopedTestClock clock;
    CMailPostOffice office;
    Inbox inbox;
    tagMailListener l = inbox.Listener("a", 1);
    office.AddListener("news", &l);
    office.SendMail("news", "first", nullptr, nullptr);
    ASSERT_TRUE(inbox.WaitForCount(1));
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    plat::TestClock::Advance(4999);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1)) << "still waiting before 5 s";
    plat::TestClock::Advance(1);
    for (int i = 0; i < 300 && plat::TestClock::TimedWaiters() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(0, plat::TestClock::TimedWaiters()) << "the thread ended";

    office.SendMail("news", "second", nullptr, nullptr);
    ASSERT_TRUE(inbox.WaitForCount(2));
    EXPECT_EQ("a:news:second", inbox.Lines()[1]);
    EXPECT_NE(inbox.Threads()[0], inbox.Threads()[1]) << "a new delivery thread";
}

TEST(TextMail, ApartmentTwoSpreadsListenersAndTheirRemovalFindsThem)
{
    CMailPostOffice office;
    Inbox inbox;
    // Fill apartment A's queue through a listener that blocks its thread.
    plat::Event release(true);
    struct Gate {
        static void Block(void *event, int32_t, const char *, const char *, const char *,
                          const char *)
        {
            static_cast<plat::Event *>(event)->Wait(plat::INFINITE);
        }
    };
    tagMailListener blocker;
    blocker.apartment = 1;
    blocker.handler = &Gate::Block;
    blocker.param = &release;
    office.AddListener("busy", &blocker);
    for (int i = 0; i < 3; ++i) office.SendMail("busy", "", "", "");

    // A holds queued mails, so apartment 2 now names B.
    tagMailListener spread = inbox.Listener("b", 2);
    const int32_t id = office.AddListener("spread", &spread);
    office.SendMail("spread", "one", nullptr, nullptr);
    ASSERT_TRUE(inbox.WaitForCount(1)) << "B delivers while A is blocked";
    EXPECT_EQ(1, office.RemoveListener(id, 2));
    office.SendMail("spread", "two", nullptr, nullptr);
    release.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(1u, inbox.Lines().size()) << "the listener in B was removed";
    office.RemoveListener(0, 0);
}

TEST(TextMail, RemovingAListenerWaitsForItsCallInProgress)
{
    CMailPostOffice office;
    struct Slow {
        plat::Event entered;
        plat::Event release{true};
        std::atomic<int> calls{0};
        IMailPostOffice *office = nullptr;
        int32_t id = 0;
        static void Call(void *self, int32_t, const char *, const char *, const char *,
                         const char *)
        {
            auto *s = static_cast<Slow *>(self);
            ++s->calls;
            s->entered.Set();
            s->release.Wait(plat::INFINITE);
            // Removing itself from inside its own call does not wait for itself.
            s->office->RemoveListener(s->id, 0);
        }
    } slow;
    slow.office = &office;
    tagMailListener l;
    l.apartment = 1;
    l.handler = &Slow::Call;
    l.param = &slow;
    slow.id = office.AddListener("slow", &l);
    office.SendMail("slow", "", "", "");
    ASSERT_EQ(plat::WAIT_OBJECT_0, slow.entered.Wait(3000));
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        office.RemoveListener(slow.id, 1);
        removed = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(removed.load());
    slow.release.Set();
    remover.join();
    office.SendMail("slow", "", "", "");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(1, slow.calls.load());
}

TEST(TextMail, BoxNamesAreListedByPrefixOncePerApartment)
{
    CMailPostOffice office;
    Inbox inbox;
    for (const char *name : {"Dev.VTR1", "dev.vtr1", "dev.VTR", "dev.clock.main", "dev.clock.aux",
                             "devices", "other.x"}) {
        tagMailListener l = inbox.Listener(name, kSync);
        office.AddListener(name, &l);
    }
    tagMailListener inA = inbox.Listener("a", 1);
    office.AddListener("dev.vtr", &inA);

    auto list = [&](const char *prefix, int32_t mode, int32_t size) {
        std::vector<char> buffer(static_cast<size_t>(size), '#');
        office.EnumMailBox(prefix, mode, buffer.data(), size);
        return std::string(buffer.data());
    };
    // Parts come in hash order; compare as sets of ";"-ended parts.
    auto parts = [](const std::string &text) {
        std::vector<std::string> out;
        size_t start = 0;
        for (size_t end; (end = text.find(';', start)) != std::string::npos; start = end + 1)
            out.push_back(text.substr(start, end - start));
        std::sort(out.begin(), out.end());
        return out;
    };
    // "vtr" is listed though "vtr1" holds it; apartment A lists it again.
    EXPECT_EQ((std::vector<std::string>{"vtr", "vtr", "vtr1"}), parts(list("DEV", 0, 256)));
    EXPECT_EQ(std::vector<std::string>{"clock"}, parts(list("dev", 1, 256)));
    EXPECT_EQ((std::vector<std::string>{"dev", "dev", "other"}), parts(list("", 1, 256)));
    const std::string cut = list("dev", 0, 6);
    EXPECT_LE(cut.size(), 5u) << cut;
}

TEST(TextMail, ApplyListenerMakesAFreeBoxName)
{
    CMailPostOffice office;
    Inbox inbox;
    tagMailListener first = inbox.Listener("1", kSync);
    tagMailListener second = inbox.Listener("2", kSync);
    char name1[64] = "Reply";
    char name2[64] = "Reply";
    ASSERT_NE(0, office.ApplyListener(name1, sizeof name1, &first));
    ASSERT_NE(0, office.ApplyListener(name2, sizeof name2, &second));
    EXPECT_EQ(0, strncmp(name1, "reply_", 6)) << name1;
    EXPECT_STRNE(name1, name2);
    office.SendMail(name2, "hello", nullptr, nullptr);
    EXPECT_EQ(std::vector<std::string>{"2:" + std::string(name2) + ":hello"}, inbox.Lines());
}

TEST(TextMail, ApartmentsAndTheProcessPostOffice)
{
    EXPECT_EQ(nullptr, IMailPostOffice::GetMailPostOffice());
    EXPECT_EQ(0, glSendTextMail("x", "", "", ""));
    Inbox inbox;
    {
        CMailPostOffice office;
        EXPECT_EQ(&office, IMailPostOffice::GetMailPostOffice());
        void *asked = nullptr;
        EXPECT_EQ(S_OK, office.QueryInterface(&IID_IMailPostOffice, &asked));
        EXPECT_EQ(static_cast<IMailPostOffice *>(&office), asked);
        EXPECT_EQ(E_NOINTERFACE, office.QueryInterface(&IID_IClassFactory, &asked));
        EXPECT_EQ(nullptr, asked);

        CMailApartment apartment("Player", nullptr, 0);
        const int32_t id = apartment.Register("cue", &Inbox::Handler, inbox.As("cue"));
        ASSERT_NE(0, id);
        EXPECT_EQ(1, glSendTextMail("player.CUE", "go", nullptr, nullptr));
        ASSERT_TRUE(inbox.WaitForCount(1));
        EXPECT_EQ("cue:player.cue:go", inbox.Lines()[0]);
        EXPECT_EQ(-1, apartment.Unregister());
        EXPECT_EQ(0, apartment.Unregister());
        glSendTextMail("player.cue", "late", nullptr, nullptr);

        const int32_t further = office.NewApartment();
        EXPECT_GT(further, 100);
        EXPECT_EQ(1, office.DeleteApartment(further));
        EXPECT_EQ(0, office.DeleteApartment(further));
        EXPECT_EQ(0, office.DeleteApartment(1)) << "built-in apartments stay";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(1u, inbox.Lines().size());
    EXPECT_EQ(nullptr, IMailPostOffice::GetMailPostOffice());
}

} // namespace
