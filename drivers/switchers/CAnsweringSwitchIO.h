// The base of the serial switchers' protocol objects whose switch answers its requests. A model
// names its reply decoder and how a block of replies reads; the base does the rest of every
// request: before each try it resets the decoder and forgets what an earlier reply read, it
// feeds every received block to the decoder, keeps what the replies read and ends the
// request's wait once they read as an answer.
#pragma once

#include "drivers/switchers/CSerialSwitchIO.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace swio {

// The decoder of a switch whose every received block is one whole reply: its bytes.
class CBlockDecoder {
public:
    std::vector<std::vector<uint8_t>> Feed(const uint8_t *data, size_t length)
    {
        if (!data || length == 0) return {};
        return {std::vector<uint8_t>(data, data + length)};
    }
    void Reset() {}
};

} // namespace swio

template <class Decoder> class CAnsweringSwitchIO : public CSerialSwitchIO {
public:
    using Event = typename decltype(std::declval<Decoder &>().Feed(nullptr, 0))::value_type;

    // Feeds the block to the decoder; the replies it completes are read (Read, under the
    // receive lock), answered (Answer, outside it), and a reading ends the request's wait. 1
    // when they read as anything but a refusal.
    int OnRecvData(int, pointer_t &data) final
    {
        if (!data.data || data.length < 1) return 0;
        std::optional<ReplyCheck> reading;
        const auto replies = Decode(m_decoder, data, [&](const std::vector<Event> &got) {
            if (got.empty()) return;
            reading = Read(got);
            if (reading) m_read = reading;
        });
        if (replies.empty()) return 0;
        Answer(replies);
        if (!reading) return 0;
        SignalReply();
        return *reading == ReplyCheck::Refuse ? 0 : 1;
    }

    // What the replies to the request on the line read so far (none before one came).
    std::optional<ReplyCheck> Reading() const
    {
        return Received([this] { return m_read; });
    }

protected:
    using CSerialSwitchIO::CSerialSwitchIO;

    // How the replies of one block read for the request on the line: Accept, Refuse, Retry
    // (another reply: the next try) or KeepWaiting (an acknowledgement before the answer);
    // none when they tell the request nothing (a poll, a frame of no request): its wait goes
    // on. Under the receive lock, where the model keeps what they report.
    virtual std::optional<ReplyCheck> Read(const std::vector<Event> &replies) = 0;
    // After Read, outside the receive lock: what the model writes back to the switch for
    // them (a poll's answer, an acknowledgement). Base: nothing.
    virtual void Answer(const std::vector<Event> &) {}
    // For Read: what the try's earlier replies read (none before one came).
    std::optional<ReplyCheck> ReadSoFar() const { return m_read; }

    // Sends the frame through the request loop. Before each try, under the receive lock, the
    // decoder is reset, what earlier replies read is forgotten and `arm` (when given) notes
    // the request for Read. The replies' reading is the reply test. `ended` and `end` as
    // SendRequest has them.
    int Ask(const std::vector<uint8_t> &frame, const std::function<void()> &arm = {},
            RequestEnd *end = nullptr, std::function<void(RequestEnd)> ended = {})
    {
        return SendRequest(frame,
                           {[this, &arm] {
                                m_decoder.Reset();
                                m_read.reset();
                                if (arm) arm();
                            },
                            [this] { return m_read.value_or(ReplyCheck::Retry); },
                            std::move(ended)},
                           end);
    }

    Decoder m_decoder; // under the receive lock

private:
    std::optional<ReplyCheck> m_read; // under the receive lock
};
