// The base of the serial switchers' protocol objects: the line settings of a model, the one
// request loop (tries that grow once the device has answered, reply wait, pause between
// tries), direct writes for the models that await no reply, an optional hexadecimal dump of
// every frame written, and the lock of what the model's decoder gathers from the line. A
// model whose switch answers builds on CAnsweringSwitchIO, which runs its decoder.
//
// A protocol object's exchanges are one at a time: a request (all its tries) and a direct
// write never fall inside another's, whichever device on the line sends them.
#pragma once

#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"
#include "KestLib20/CDataLock.h"
#include "drivers/model/DeviceCalls.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <type_traits>
#include <vector>

class KSOVRA20_API CSerialSwitchIO : public CSerialIO {
public:
    static constexpr uint32_t kReplyMs = 1000;
    static constexpr uint32_t kPauseMs = 50;
    static constexpr uint32_t kLockTimeoutMs = 30000;

    // How a model's requests go: tries until the device first answers and from then on, the
    // reply wait and the pause between tries, the log type every frame written goes to in
    // hexadecimal (null: none) and how long a call waits for the line while another
    // exchange holds it (then it gives up and sends nothing).
    struct Exchange {
        int firstTries = 1;
        int answeredTries = 3;
        uint32_t replyMs = kReplyMs;
        uint32_t pauseMs = kPauseMs;
        const char *dumpType = nullptr;
        uint32_t lockTimeoutMs = kLockTimeoutMs;
    };

    int GetTries() const { return m_nTries.load(); }

    // Writes the frame once, alone on the line: whether the line took it. `arm` (when given)
    // runs first, under the receive lock (a model resets its decoder there). On a task unit's
    // thread that is to stop (or has given up its call) it writes nothing: 0.
    int WriteFrame(const std::vector<uint8_t> &frame, const std::function<void()> &arm = {});
    // The request loop: alone on the line, up to the current tries, the pause apart, arms the
    // try, writes the frame and waits for a reply, which the hooks' test judges (none: any
    // reply will do). The arm and the test run under the receive lock. Any reply raises the
    // tries to their answered value. 1 when a reply was accepted; 0 at once when the line
    // does not take the frame. `end` (when given) tells how the request ended. On a task
    // unit's thread the unit's stop (unless the hooks carry a stop of their own) ends the
    // request as Closed, and a thread that is to stop sends nothing, nor does one whose unit
    // stops or gives up its call while it waits for the line, nor one that waited past the
    // exchange's lock bound (Closed too).
    int SendRequest(const std::vector<uint8_t> &frame, const TryHooks &hooks = {},
                    RequestEnd *end = nullptr);

protected:
    CSerialSwitchIO(const Line &line, const Exchange &exchange);
    explicit CSerialSwitchIO(const Line &line);
    int DevWrite(const char *data, int length) override;

    // Runs `use` alone on the line (no request or frame of this object comes between): what
    // it returns.
    template <class Use> auto Alone(Use use)
    {
        std::lock_guard<CDataLock> exchange(m_ExchangeLock);
        return use();
    }
    // The same for a device call on the line: the wait for the line ends once the calling
    // thread's unit stops or gives up its call, or after the exchange's lock bound; then
    // nothing runs and `given` (a default value when not set) is what it returns.
    template <class Use, class Result = std::invoke_result_t<Use &>>
    Result AloneUnlessGivenUp(Use use, Result given = Result{})
    {
        if (!LockExchange()) return given;
        std::lock_guard<CDataLock> exchange(m_ExchangeLock, std::adopt_lock);
        // A stop, or the call given up, while it waited for the line.
        if (CCallingUnit::Stopped()) return given;
        return use();
    }
    // Runs `use` under the receive lock, which guards what the model's decoder gathers and
    // what its replies left for the request side: what it returns.
    template <class Use> auto Received(Use use) const
    {
        std::lock_guard<CDataLock> lk(m_ReceiveLock);
        return use();
    }
    // Feeds a received block to `decoder` under the receive lock: the events it completes
    // (none for an empty block).
    template <class Decoder> auto Decode(Decoder &decoder, const pointer_t &data) const
    {
        const auto *bytes = static_cast<const uint8_t *>(data.data);
        const size_t length = bytes && data.length > 0 ? static_cast<size_t>(data.length) : 0;
        return Received([&] { return decoder.Feed(length ? bytes : nullptr, length); });
    }
    // The same, with `keep` given the events while the lock is still held (a model keeps what
    // they report for the request side there).
    template <class Decoder, class Keep>
    auto Decode(Decoder &decoder, const pointer_t &data, Keep keep) const
    {
        return Received([&] {
            auto events = Decode(decoder, data);
            keep(events);
            return events;
        });
    }

private:
    // Takes the exchange lock: false when the calling thread's unit stopped or gave up its
    // call first, or when the lock's bound passed.
    bool LockExchange();

    const Exchange m_exchange;
    std::atomic<int> m_nTries;
    CDataLock m_ExchangeLock;
    mutable CDataLock m_ReceiveLock;
};
