// The ShiHui caption generator on an RS-422 board port (9600 baud, 8N1): each task puts its
// key on or takes it off with one eight-byte text command, which the generator answers with
// a reply beginning with 'O' within 2000 ms.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CAnsweringSwitchIO.h"
#include "drivers/switchers/keyers/CKeyerVirtualMode.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

class KSOVRA20_API CSerialIO_ShiHui : public CAnsweringSwitchIO<swio::CBlockDecoder> {
public:
    static constexpr uint32_t kReplyMs = 2000;

    CSerialIO_ShiHui();
    ~CSerialIO_ShiHui() override;

    // One try: 1 when the reply's first byte is 'O'.
    int SetKey(int key, bool on);

protected:
    // The first block of the try decides; the rest of a reply, or bytes after it, decide
    // nothing.
    std::optional<ReplyCheck> Read(const std::vector<Event> &blocks) override;
};

// The ShiHui generator's operations, which CVideoAux_ShiHui guards for virtual mode.
class KSOVRA20_API CVideoAux_ShiHuiDevice : public CVideoKeyDriverA {
public:
    static constexpr tagKeyerVirtualAnswers kVirtualAnswers{.openInEitherMode = true};
    static constexpr int32_t kTaskPauseMs = 100;

    // The keyer base's keys, then COM (default 2).
    int32_t OnInitInstance() override;
    // Opens the own port unless open: status 0 and 1, or status 3 and 0.
    int DevOpen() override;
    // Closes the own port: 1.
    int DevClose() override;
    int DevIsOpen() override;
    // Waits for the start, then sets each task's key (GetKeyID) as its operation says,
    // reporting each success on "#OVRA_KEY", 100 ms apart. 1 when every command was
    // accepted, else 0.
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

    CSerialIO_ShiHui &Protocol() { return m_Serial; }

protected:
    CVideoAux_ShiHuiDevice();

private:
    CSerialIO_ShiHui m_Serial;
};

class KSOVRA20_API CVideoAux_ShiHui : public CKeyerVirtualMode<CVideoAux_ShiHuiDevice> {
    DECLARE_KEST_CLASS(CVideoAux_ShiHui)
};
