// The far end of a serial line at byte level, on the master side of a PtyPair: it keeps every
// byte it receives, answers requests by rules ("when the bytes received contain X, answer Y")
// with the faults real devices show (late, silent, split with gaps, garbage first), sends
// unsolicited bytes, and hangs up. Device simulators build on it with their own frames.
// It runs on real time, whatever clock the code under test uses.
#pragma once

#include "tests/sim/PtyPair.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

namespace kestsim {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// What the peer sends for one matched request.
struct Answer {
    Bytes bytes;
    Bytes garbage;        // sent before the bytes, as part of the same stream
    uint32_t delayMs = 0; // before the first byte
    size_t chunkSize = 0; // 0: one piece
    uint32_t gapMs = 0;   // between pieces
    bool silent = false;  // the request is taken and nothing is sent
    // delayMs counts on the tick count (the manual clock while installed), not in real time.
    bool delayOnTicks = false;

    static Answer Of(Bytes b)
    {
        Answer a;
        a.bytes = std::move(b);
        return a;
    }
    static Answer Silence()
    {
        Answer a;
        a.silent = true;
        return a;
    }
    Answer &Late(uint32_t ms)
    {
        delayMs = ms;
        return *this;
    }
    Answer &Split(size_t size, uint32_t gap)
    {
        chunkSize = size;
        gapMs = gap;
        return *this;
    }
    Answer &AfterGarbage(Bytes g)
    {
        garbage = std::move(g);
        return *this;
    }
};

// What goes wrong with a simulated device's answers, the same for every model. Every
// simulator keeps its faults in its peer and shapes each answer with ScriptedPeer::Shape.
struct Faults {
    bool silent = false;     // the request is taken and nothing is sent
    bool nak = false;        // the model's refusal instead of the answer
    bool badCheck = false;   // the last byte of an answer longer than one byte (its check) is wrong
    bool shortReply = false; // the last byte of the answer is not sent
    Bytes garbage;           // sent in front of the answer
    uint32_t delayMs = 0;    // before the first byte
    size_t chunkSize = 0;    // the answer in pieces of this size (0: one piece)
    uint32_t gapMs = 0;      // between pieces
    bool hangUp = false;     // the line is hung up as soon as the faults are set
    // delayMs counts on the tick count, so that on the manual clock an answer is late by the
    // clock the test steps, not by however long its steps take in real time.
    bool delayOnTicks = false;
};

// Looks at the bytes received since the last match and returns how many of them a match
// takes (up to the end of the request), 0 for none.
using Matcher = std::function<size_t(const Bytes &pending)>;
// Computes the answer to the request (the bytes the match took).
using Responder = std::function<Answer(const Bytes &request)>;

// Matches the first place where `pattern` occurs; the bytes before it go with the request.
Matcher Contains(Bytes pattern);

class ScriptedPeer {
public:
    explicit ScriptedPeer(PtyPair &pty);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    // Rules are tried in the order added; the first that matches answers.
    void When(Bytes pattern, Answer answer);
    void When(Matcher matcher, Responder responder);
    void ClearRules();

    // Everything received since the start (or the last ClearReceived).
    Bytes Received() const;
    void ClearReceived();
    // Waits in real time until at least `count` bytes have been received.
    bool WaitForBytes(size_t count, uint32_t ms) const;
    // Waits in real time until the bytes received contain `pattern`.
    bool WaitForContains(const Bytes &pattern, uint32_t ms) const;

    // Sends `bytes` now, outside any answer. False when the line did not take them.
    bool Send(const Bytes &bytes);
    // Waits in real time until the answers to every byte received so far have been sent.
    bool WaitSent(uint32_t ms) const;

    // Stops the peer and closes the master: the line under test sees a hang-up.
    void HangUp();

    // The faults of the answers from now on; `count` > 0 limits them to that many answers.
    // With hangUp set, the line is hung up at once.
    void SetFaults(Faults faults, int count = 0);
    // Changes one knob of the faults held, for every answer from now on.
    void ChangeFaults(const std::function<void(Faults &)> &change);
    Faults GetFaults() const;
    // The answer `reply` as the faults shape it; `nak` is the model's refusal.
    Answer Shape(Bytes reply, const Bytes &nak = {});

private:
    using Clock = std::chrono::steady_clock;
    struct Rule {
        Matcher matcher;
        Responder responder;
    };
    struct Piece {
        Clock::time_point due;
        Bytes bytes;
        bool continued = false;           // a later piece of an answer whose first piece has gone
        std::chrono::milliseconds gap{0}; // after the piece before
        bool heldUp = false;              // the line had not read the piece before when due
        std::optional<uint32_t> dueTick;  // the tick count it is due at, instead of `due`
    };

    void ReadLoop();
    void SendLoop();
    void Enqueue(const Bytes &request, const Responder &responder);
    bool WriteAll(const uint8_t *data, size_t length);
    // Whether bytes sent earlier wait on the line unread.
    bool LineHoldsUnread() const;
    void Stop();

    PtyPair &pty_;
    const int master_;
    int wakeFd_ = -1;

    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    bool stop_ = false;
    std::vector<Rule> rules_;
    Bytes received_;
    std::deque<Piece> queue_;
    bool matching_ = false;
    bool sending_ = false;

    mutable std::mutex faultLock_;
    Faults faults_;
    int faultCount_ = 0;

    std::mutex writeLock_; // one writer at a time: answers and unsolicited bytes never interleave
    Bytes pending_;        // reader thread only: received bytes not yet taken by a rule
    std::thread reader_;
    std::thread sender_;
};

} // namespace kestsim
