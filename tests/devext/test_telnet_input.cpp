// Telnet input: the decoder on its own in every chunking, and the shell's ReadChar and
// ReadLine over loopback.
#include "LoopbackPeer.h"

#include "devext/device/CKestTelnetShell.h"
#include "devext/device/TelnetDecoder.h"
#include "platform/Thread.h"
#include "tests/kit/DecoderChunks.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

using namespace loopback;
using telnet::Item;

namespace {

constexpr int kWaitMs = 2000;

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

std::vector<uint8_t> Raw(const std::string &s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string Show(const Item &item)
{
    const char *kind = item.kind == Item::Char    ? "char "
                       : item.kind == Item::Erase ? "erase "
                                                  : "command ";
    return kind + std::to_string(item.value) + " " + std::to_string(item.option);
}

std::vector<std::string> Decoded(telnet::CInputDecoder &decoder, const std::string &s)
{
    std::vector<std::string> shown;
    for (const Item &item : decoder.Feed(Raw(s).data(), s.size())) shown.push_back(Show(item));
    return shown;
}

// A shell that records the option commands it is given.
class ProbeShell : public CKestTelnetShell {
public:
    using CKestTelnetShell::CKestTelnetShell;
    int OnTelnetCommand(int command, int option) override
    {
        std::lock_guard<std::mutex> lk(lock);
        commands.emplace_back(command, option);
        return 0;
    }
    std::mutex lock;
    std::vector<std::pair<int, int>> commands;
};

struct Telnet {
    Telnet()
    {
        TcpPair pair = MakeTcpPair();
        client = std::move(pair.peer);
        shell = std::make_shared<ProbeShell>(pair.accepted);
    }
    bool Type(const std::string &bytes) { return SendAll(client.Get(), bytes); }
    // The next `count` bytes the shell sent, after its offer to echo (which the first line
    // read sends).
    std::string Echo(size_t count)
    {
        if (!offerSeen) {
            offerSeen = true;
            const std::string offer = Bytes({telnet::IAC, telnet::WILL, telnet::OPT_ECHO,
                                             telnet::IAC, telnet::WILL, telnet::OPT_SGA});
            EXPECT_EQ(Receive(client.Get(), offer.size(), kWaitMs), offer);
        }
        return Receive(client.Get(), count, kWaitMs);
    }
    std::string Line(int max = 64, char mask = 0)
    {
        std::vector<char> buffer(static_cast<size_t>(max) + 1, '?');
        result = shell->ReadLine(buffer.data(), max, mask);
        return buffer.data();
    }
    Fd client;
    std::shared_ptr<ProbeShell> shell;
    int result = -1;
    bool offerSeen = false;
};

} // namespace

TEST(TelnetDecoder, CommandsCharactersAndWaitingForTheRest)
{
    const int IAC = telnet::IAC;
    const std::string tail = "ti";
    const std::vector<std::string> tailItems{"char 116 0", "char 105 0"};
    struct Case {
        std::string bytes;
        std::vector<std::string> want; // before the tail's
        size_t room = 4096;
    };
    const std::vector<Case> cases{
        {"x", {"char 120 0"}},
        {Bytes({0}), {}},
        {Bytes({IAC, telnet::DO, 1}), {"command 253 1"}},
        {Bytes({IAC, telnet::WONT, 31}), {"command 252 31"}},
        {Bytes({IAC, telnet::AYT}), {"command 246 0"}},
        {Bytes({IAC, telnet::NOP}), {"command 241 0"}},
        {Bytes({IAC, telnet::EC}), {"erase 247 0"}},
        {Bytes({IAC, telnet::SB, 24, 0, 'v', 't', IAC, telnet::SE}), {}},
        // IAC IAC inside a subnegotiation is a data byte, not the start of its end.
        {Bytes({IAC, telnet::SB, 24, IAC, IAC, telnet::SE, IAC, telnet::SE}), {}},
        // Bytes of 128 and above are text (GBK), 247 among them.
        {Bytes({0x80, 'a'}), {"char 128 0", "char 97 0"}},
        {Bytes({telnet::EC}), {"char 247 0"}},
        // An incomplete command that fills the room is dropped, however the bytes came.
        {Bytes({IAC, telnet::SB, 1, 2, 3, 4, 5, 6}), {}, 8},
        {Bytes({'a', IAC, telnet::SB, 1, 2, 3, 4, 5, 6}), {"char 97 0"}, 8},
    };
    for (const Case &c : cases) {
        std::vector<std::string> want = c.want;
        want.insert(want.end(), tailItems.begin(), tailItems.end());
        kit::ExpectInEveryChunking(
            testing::PrintToString(c.bytes).c_str(), Raw(c.bytes + tail), want,
            [&c] { return telnet::CInputDecoder(c.room); }, Show);
    }
}

TEST(TelnetDecoder, AnUnknownCommandDropsWhatIsHeldWithIt)
{
    const int IAC = telnet::IAC;
    for (const std::string &bad : {Bytes({IAC, 242}), Bytes({IAC, IAC})}) {
        telnet::CInputDecoder decoder(4096);
        EXPECT_EQ(Decoded(decoder, "a" + bad + "tail"), std::vector<std::string>{"char 97 0"});
        EXPECT_EQ(Decoded(decoder, "z"), std::vector<std::string>{"char 122 0"})
            << "the next bytes are read afresh";
    }
    // Bytes beyond the room are looked at after what it held is dropped.
    telnet::CInputDecoder small(4);
    EXPECT_EQ(Decoded(small, Bytes({IAC, 242, 'a', 'b', 'c', 'd'})),
              (std::vector<std::string>{"char 99 0", "char 100 0"}));
}

TEST(TelnetLine, BackspaceEditsTheLineAndEchoesItsErasure)
{
    Telnet t;
    ASSERT_TRUE(t.Type("ab\bc\r"));
    EXPECT_EQ(t.Line(), "ac");
    EXPECT_EQ(t.result, 1);
    EXPECT_EQ(t.Echo(8), "ab\b \bc\r\n");

    // Erasing on an empty line does nothing; IAC EC and DEL erase like BS; unprintables are
    // ignored.
    ASSERT_TRUE(
        t.Type("\b" + Bytes({'x', 'y', telnet::IAC, telnet::EC, 'w', 0x7F, 1, 27, '\t'}) + "z\r"));
    EXPECT_EQ(t.Line(), "xz");
    EXPECT_EQ(t.Echo(12), "xy\b \bw\b \bz\r\n");
    EXPECT_EQ(Receive(t.client.Get(), 1, 50), "");

    // GBK text is taken as typed (a lead byte of 247 too); erasing takes a whole character
    // off, two columns wide.
    const std::string gbk = Bytes({0xD6, 0xD0, 0xF7, 0xA1});
    ASSERT_TRUE(t.Type("a" + gbk + "\b\r"));
    EXPECT_EQ(t.Line(), "a" + gbk.substr(0, 2));
    EXPECT_EQ(t.Echo(13), "a" + gbk + "\b\b  \b\b\r\n");
}

TEST(TelnetLine, MaskAndMaximumLength)
{
    Telnet t;
    ASSERT_TRUE(t.Type("secret\r"));
    EXPECT_EQ(t.Line(64, '*'), "secret");
    EXPECT_EQ(t.Echo(8), "******\r\n");

    // A line longer than the maximum is refused whole at its end: nothing of it is left for
    // the next line, and what went past the maximum is not echoed.
    ASSERT_TRUE(t.Type("abcdef\rgh\r"));
    EXPECT_EQ(t.Line(4), "");
    EXPECT_EQ(t.result, CKestTelnetShell::kLineTooLong);
    EXPECT_EQ(t.Line(4), "gh");
    EXPECT_EQ(t.result, 1);
    EXPECT_EQ(t.Echo(10), "abcd\r\ngh\r\n");

    // The maximum itself is a line; bytes past it that are erased again do not count.
    struct Case {
        std::string typed;
        std::string line;
        int result;
        std::string echo;
    };
    const Case cases[] = {
        {"abcd\r", "abcd", 1, "abcd\r\n"},
        {"abcdef\b\bg\r", "", CKestTelnetShell::kLineTooLong, "abcd\r\n"},
        {"abcdef\b\b\bx\r", "abcx", 1, "abcd\b \bx\r\n"},
        {std::string(5000, 'y') + "\r", "", CKestTelnetShell::kLineTooLong, "yyyy\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.substr(0, 12));
        plat::Thread typist = plat::Thread::Start([&] { return t.Type(c.typed) ? 0u : 1u; });
        EXPECT_EQ(t.Line(4), c.line);
        EXPECT_EQ(t.result, c.result);
        EXPECT_EQ(t.Echo(c.echo.size()), c.echo);
        EXPECT_TRUE(typist.Join(kWaitMs));
    }
}

TEST(TelnetLine, LineEndsOfTelnetClients)
{
    Telnet t;
    // CR NUL, as clients send Enter: the NUL is no character and does not end the session.
    ASSERT_TRUE(t.Type(std::string("one\r") + '\0' + "two\r"));
    EXPECT_EQ(t.Line(), "one");
    EXPECT_EQ(t.Line(), "two");
    EXPECT_EQ(t.result, 1);
    EXPECT_TRUE(t.shell->IsConnected());

    // The LF of a CR LF that comes later is ignored.
    ASSERT_TRUE(t.Type("three\r"));
    EXPECT_EQ(t.Line(), "three");
    ASSERT_TRUE(t.Type("\nfour\r"));
    EXPECT_EQ(t.Line(), "four");
    EXPECT_EQ(t.Echo(23), "one\r\ntwo\r\nthree\r\nfour\r\n");

    // Lines typed ahead in one piece are each read; only the LF of a CR LF is dropped.
    ASSERT_TRUE(t.Type("five\r\nsix\r\n"));
    EXPECT_EQ(t.Line(), "five");
    EXPECT_EQ(t.Line(), "six");
    EXPECT_EQ(t.Echo(11), "five\r\nsix\r\n");
}

TEST(TelnetInput, OptionCommandsGoToTheHandlerAndInputGoesOn)
{
    Telnet t;
    const int IAC = telnet::IAC;
    ASSERT_TRUE(t.Type(Bytes({IAC, telnet::DO, 1}) + "x"));
    EXPECT_EQ(t.shell->ReadChar(), 'x');
    // A subnegotiation is removed whole, even when it comes in pieces.
    plat::Thread typist = plat::Thread::Start([&] {
        for (const std::string &piece :
             {Bytes({IAC}), Bytes({telnet::SB, 24, 0}), std::string("xterm"), Bytes({IAC}),
              Bytes({telnet::SE, IAC, telnet::WILL}), Bytes({3}), std::string("ok\r")}) {
            t.Type(piece);
            usleep(2000);
        }
        return 0u;
    });
    EXPECT_EQ(t.Line(), "ok");
    EXPECT_TRUE(typist.Join(kWaitMs));
    ASSERT_TRUE(t.Type(Bytes({IAC, telnet::AYT}) + "!"));
    EXPECT_EQ(t.shell->ReadChar(), '!');
    std::lock_guard<std::mutex> lk(t.shell->lock);
    EXPECT_EQ(t.shell->commands, (std::vector<std::pair<int, int>>{
                                     {telnet::DO, 1}, {telnet::WILL, 3}, {telnet::AYT, 0}}));
}

TEST(TelnetInput, UndecodableBytesAreDroppedWithWhatIsHeld)
{
    Telnet t;
    ASSERT_TRUE(t.Type(Bytes({telnet::IAC, 242}) + "abc"));
    t.client.Reset();
    // Nothing of the held bytes becomes a character; then the connection ends.
    EXPECT_EQ(t.shell->ReadChar(), 0);
    EXPECT_FALSE(t.shell->IsConnected());
}

TEST(TelnetInput, SubnegotiationLongerThanTheBufferDoesNotStallInput)
{
    Telnet t;
    plat::Thread typist = plat::Thread::Start([&] {
        t.Type(Bytes({telnet::IAC, telnet::SB, 24}) + std::string(5000, 'a'));
        return 0u;
    });
    // The full buffer is dropped; what comes after it is read on.
    EXPECT_EQ(t.shell->ReadChar(), 'a');
    EXPECT_TRUE(t.shell->IsConnected());
    EXPECT_TRUE(typist.Join(kWaitMs));
}

TEST(TelnetLine, PeerDisconnectingEndsTheLineWithZero)
{
    Telnet t;
    ASSERT_TRUE(t.Type("ab"));
    plat::Thread hangUp = plat::Thread::Start([&] {
        usleep(20 * 1000);
        t.client.Reset();
        return 0u;
    });
    EXPECT_EQ(t.Line(), "ab");
    EXPECT_EQ(t.result, 0);
    EXPECT_FALSE(t.shell->IsConnected());
    EXPECT_TRUE(hangUp.Join(kWaitMs));
    EXPECT_EQ(t.Line(), "");
    EXPECT_EQ(t.result, 0);
}
