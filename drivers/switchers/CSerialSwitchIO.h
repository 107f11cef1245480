// The base of the serial switchers' protocol objects: the line settings of a model, the one
// request loop (tries that grow once the device has answered, reply wait, pause between
// tries), direct writes for the models that await no reply, an optional hexadecimal dump of
// every frame written, and the open-or-share rule by which devices on one line use one object.
#pragma once

#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"

#include <atomic>
#include <cstdint>
#include <vector>

class KSOVRA20_API CSerialSwitchIO : public CSerialIO {
public:
    static constexpr uint32_t kReplyMs = 1000;
    static constexpr uint32_t kPauseMs = 50;
    static constexpr int32_t kLockTimeoutMs = 30000;

    int GetTries() const { return m_nTries.load(); }

    // Writes the frame once, under the request lock so that it never falls inside another
    // device's exchange: whether the line took it.
    int WriteFrame(const std::vector<uint8_t> &frame);
    // The request loop: under the request lock, up to the current tries, 50 ms apart, arms
    // the try (a model resets its reply decoder there), writes the frame and waits 1000 ms
    // (or the model's pause and wait) for a reply, which the hooks' test judges (none: any
    // reply will do). Any reply raises
    // the tries to their answered value. 1 when a reply was accepted; 0 at once when the line
    // does not take the frame. `end` (when given) tells how the request ended.
    int SendRequest(const std::vector<uint8_t> &frame, const TryHooks &hooks = {},
                    RequestEnd *end = nullptr);

protected:
    // The request loop tries `firstTries` times until the device first answers, then
    // `answeredTries`. `dumpType`: the log type that every frame written goes to in
    // hexadecimal (null: none). A model with another reply wait or pause gives them last.
    explicit CSerialSwitchIO(const Line &line, int firstTries = 1, int answeredTries = 3,
                             const char *dumpType = nullptr, uint32_t replyMs = kReplyMs,
                             uint32_t pauseMs = kPauseMs);
    int DevWrite(const char *data, int length) override;

private:
    const int m_nAnsweredTries;
    const char *const m_pDumpType;
    const uint32_t m_nReplyMs;
    const uint32_t m_nPauseMs;
    std::atomic<int> m_nTries;
};
