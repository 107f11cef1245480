// The DSK50D downstream keyer on an RS-232 line (19200 baud, 8N1). A take sends the set-key
// frame of each task's key code (KeyArray maps the logical key to the keyer's code) a set
// number of times; each send waits for a reply block. Several DSK50D keyers on one port send
// through the protocol object of the one that opened it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/keyers/CKeyerVirtualMode.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"
#include "drivers/switchers/keyers/KeyerFrames.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_DSK50D : public CAnsweringSwitchIO<keyframe::CDsk50dDecoder> {
public:
    static constexpr int kTries = 3;
    static constexpr int32_t kLockHoldMs = 3000;

    CSerialIO_DSK50D();
    ~CSerialIO_DSK50D() override;

    // Key `code` on or off, up to three tries of 1000 ms, 50 ms apart. 1 when a reply block
    // came that does not report the key in the other state.
    int SetKey(int code, bool on);

protected:
    // A reply that reports the key in the other state asks for the next try, and so does
    // every later one of the try; any other answers it.
    std::optional<ReplyCheck> Read(const std::vector<keyframe::Dsk50dReply> &replies) override;

private:
    int m_nCode = 0;    // under the receive lock: the key of the request on the line
    bool m_bOn = false; // under the receive lock
};

// The DSK50D keyer's operations, which CVideoAux_DSK50D guards for virtual mode.
class KSOVRA20_API CVideoAux_DSK50DDevice : public CVideoKeyDriverA {
public:
    static constexpr tagKeyerVirtualAnswers kVirtualAnswers{.openInEitherMode = true};

    // The keyer base's keys, then COM, its own Logo, Title and Time (defaults 0), BetweenTime,
    // PutOffTime, nIntervalTime (at least 100), nRetryTime (at least 1) and KeyArray.
    int32_t OnInitInstance() override;
    // 1 when a DSK50D protocol object holds port COM open (this keyer's or another's); else
    // opens the own: status 0 and 1, or status 3 and 0.
    int DevOpen() override;
    // Closes the own port: 1.
    int DevClose() override;
    // Whether a DSK50D protocol object holds port COM open.
    int DevIsOpen() override;
    // See the class comment. 1 when the last send of any task succeeded.
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

    CSerialIO_DSK50D &Protocol() { return m_Serial; }

protected:
    CVideoAux_DSK50DDevice();

private:
    // The open DSK50D protocol object of port COM, held; opening none.
    std::shared_ptr<CSerialIO_DSK50D> FindPort();
    // The task's logical key: the own Logo, Title or Time key for those functions, else the
    // task's key number.
    int32_t LogicalKey(const tagVideoKeyTask &task) const;

    int32_t m_nOwnLogo = 0;
    int32_t m_nOwnTitle = 0;
    int32_t m_nOwnTime = 0;
    int32_t m_nBetweenTime = 0;
    int32_t m_nPutOffTime = 0;
    int32_t m_nIntervalTime = 100;
    int32_t m_nRetryTime = 3;
    std::vector<int32_t> m_keyArray;
    CSerialIO_DSK50D m_Serial;
};

class KSOVRA20_API CVideoAux_DSK50D : public CKeyerVirtualMode<CVideoAux_DSK50DDevice> {
    DECLARE_KEST_CLASS(CVideoAux_DSK50D)
};
