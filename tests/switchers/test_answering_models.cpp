// Every switch protocol that awaits its switch's answer starts each request afresh: what was
// received before the request (half a reply, a whole reply the decoder would stop at, a reply
// already read) does not answer it. Each model's request runs on a port that is not open: it
// arms its try, fails at once on the write, and the bytes that then come are fed straight in.
#include "drivers/switchers/aa2/CSerialIO_AA2.h"
#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"
#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"
#include "drivers/switchers/keyers/CVideoAux_DSK50D.h"
#include "drivers/switchers/keyers/CVideoAux_ShiHui.h"
#include "drivers/switchers/leitch/CSerialIO_LeitchXpr.h"
#include "drivers/switchers/production/CM2100Control.h"
#include "drivers/switchers/production/CVideoSwitch_M21.h"
#include "drivers/switchers/production/CVideoSwitch_TTV9920.h"
#include "drivers/switchers/production/M2100Packet.h"
#include "drivers/switchers/tally/CVideoSwitch_VM3000.h"
#include "drivers/switchers/text/CVideoSwitch_Quartz.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Check = CSerialIO::ReplyCheck;

Bytes B(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

// One model: feeds a block as its port would, runs a request, and tells what the replies to
// the request read so far.
struct Model {
    std::function<void(const Bytes &)> feed;
    std::function<void()> request;
    std::function<std::optional<Check>()> reading;
};

template <class Protocol>
Model Of(std::shared_ptr<Protocol> protocol, std::function<void(Protocol &)> request)
{
    return {
        [protocol](const Bytes &bytes) {
            pointer_t block{const_cast<uint8_t *>(bytes.data()), static_cast<int>(bytes.size())};
            protocol->OnRecvData(0, block);
        },
        [protocol, request] { request(*protocol); }, [protocol] { return protocol->Reading(); }};
}

} // namespace

TEST(AnsweringModels, WhatCameBeforeARequestDoesNotAnswerIt)
{
    struct Case {
        const char *what;
        std::function<Model()> make;
        Bytes before; // received before the request
        Bytes after;  // received once the request's try is armed
        std::optional<Check> reads;
    };
    const Bytes m2100Reply = m2100::Packet(m2100::Block(m2100::kReply, {0x0D, 0x01}));
    const auto half = [](const Bytes &bytes, bool first) {
        const auto middle = bytes.begin() + static_cast<long>(bytes.size() / 2);
        return first ? Bytes(bytes.begin(), middle) : Bytes(middle, bytes.end());
    };
    const Case cases[] = {
        {"APS1602: half a program report, then its rest",
         [] {
             return Of<CSerialIO_APS1602>(std::make_shared<CSerialIO_APS1602>(),
                                          [](auto &p) { p.Send(swframe::Aps1602ProgramQuery()); });
         },
         {0x71, 0x21},
         {0x05, 0x2D},
         std::nullopt},
        {"DSK50D: half a block, then its rest",
         [] {
             return Of<CSerialIO_DSK50D>(std::make_shared<CSerialIO_DSK50D>(),
                                         [](auto &p) { p.SetKey(1, true); });
         },
         {0x02, 0x00},
         {0x00, 0x00},
         std::nullopt},
        {"VM3000: a reply's head, then its letter",
         [] {
             return Of<CSerialIO_VM3000>(std::make_shared<CSerialIO_VM3000>(),
                                         [](auto &p) { p.SendSwitch(1, 1); });
         },
         B("Z"), B("Y"), std::nullopt},
        {"M21: half a message, then its rest",
         [] {
             return Of<CSerialIO_M21>(std::make_shared<CSerialIO_M21>(uint16_t{0}), [](auto &p) {
                 p.Send({0x02, 0x01, 0x00, 0xFF});
             });
         },
         {0x02, 0x03, 0x10},
         {0x01, 0x02, 0xEA},
         std::nullopt},
        {"M2100: half a reply packet, then its rest",
         [] {
             return Of<CM2100Control>(std::make_shared<CM2100Control>(uint16_t{0}), [](auto &p) {
                 int status = 0;
                 p.QueryStatus(status);
             });
         },
         half(m2100Reply, true), half(m2100Reply, false), std::nullopt},
        {"Quartz: an answer read, then the request's own",
         [] {
             return Of<CSerialIO_Quartz>(std::make_shared<CSerialIO_Quartz>(),
                                         [](auto &p) { p.SendTake("V", 1, 1); });
         },
         B("ok"), B("ok"), Check::Accept},
        {"Leitch XPR: an answer noted, then the request's own",
         [] {
             return Of<CSerialIO_LeitchXpr>(std::make_shared<CSerialIO_LeitchXpr>(),
                                            [](auto &p) { p.SendTake(1, 1); });
         },
         B("ok"), B("ok"), Check::KeepWaiting},
        {"BDS1602: half a reply, then its rest",
         [] {
             return Of<CSerialIO_BDS1602CP>(std::make_shared<CSerialIO_BDS1602CP>(),
                                            [](auto &p) { p.SendTake(1); });
         },
         {0xA0, 0x00},
         {0x05},
         std::nullopt},
        {"AA2: an open frame, then its rest",
         [] {
             return Of<CSerialIO_AA2>(std::make_shared<CSerialIO_AA2>(),
                                      [](auto &p) { p.SendSwitch(0, 0); });
         },
         {0x01, 'D', 'Q'},
         B("N0B29\x04"),
         std::nullopt},
        {"TTV9920: a reply the decoder stops at, then the request's own",
         [] {
             return Of<CSerialIO_TTV9920>(std::make_shared<CSerialIO_TTV9920>(),
                                          [](auto &p) { p.LinkTest(); });
         },
         {0x01, 0x80, 0x01, 0x80},
         {0x01, 0x80, 0x01, 0x80},
         Check::Accept},
        {"ShiHui: a refusal read, then the request's acceptance",
         [] {
             return Of<CSerialIO_ShiHui>(std::make_shared<CSerialIO_ShiHui>(),
                                         [](auto &p) { p.SetKey(1, true); });
         },
         B("E"), B("O"), Check::Accept},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Model model = c.make();
        model.feed(c.before);
        model.request(); // no port: the write fails once the try is armed
        EXPECT_EQ(model.reading(), std::nullopt) << "the request forgot what came before";
        model.feed(c.after);
        EXPECT_EQ(model.reading(), c.reads);
    }
}
