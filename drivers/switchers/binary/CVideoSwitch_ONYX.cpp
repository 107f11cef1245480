#include "drivers/switchers/binary/CVideoSwitch_ONYX.h"

#include "devext/device/DeviceDescription.h"

namespace {

constexpr const char *kDescription = "视频切换(ONYX切换矩阵)";
constexpr int kMaxByte = 255;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_ONYX, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_ONYXX, CVideoSwitch_ONYX, kDescription)

CSerialIO_ONYX::CSerialIO_ONYX()
    : CSerialSwitchIO({3, 38400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
}

CSerialIO_ONYX::~CSerialIO_ONYX()
{
    Retire();
}

int CSerialIO_ONYX::SendTake(int entry, int channel)
{
    if (entry < 1 || entry > kMaxByte || channel < 1 || channel > kMaxByte) return 0;
    // Only what was received is dropped: the ports' flush also drops output not yet on the
    // line, which would cut off the previous take of a multi-bus command.
    return WriteFrame(swframe::OnyxTake(kUnit, kLevel, entry, channel), [&] {
        m_decoder.Reset();
        m_bConfirmed = false;
        m_nLastEntry = entry;
        m_nLastChannel = channel;
    });
}

int CSerialIO_ONYX::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    for (const auto &event : Decode(m_decoder, data)) {
        if (event.poll) {
            // The answer goes straight out: the matrix waits for it, not for a command.
            const swframe::Bytes answer = swframe::OnyxPollAnswer(kUnit);
            DevWrite(reinterpret_cast<const char *>(answer.data()),
                     static_cast<int>(answer.size()));
        } else if (event.entry == m_nLastEntry && event.channel == m_nLastChannel) {
            m_bConfirmed = true;
            SignalReply();
        }
    }
    return 1;
}

CVideoSwitch_ONYX::CVideoSwitch_ONYX()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_ONYX",
                          .description = kDescription,
                          .sources = 64,
                          .channels = 64,
                          .portKey = "Com",
                          .open = Open::Shared,
                          .isOpenShares = true,
                          .preset = Preset::Kept})
{
}

int CVideoSwitch_ONYX::SendRoute(CSerialIO_ONYX &port, int channel, int entry)
{
    return port.SendTake(entry, channel);
}

CVideoSwitch_ONYXX::CVideoSwitch_ONYXX() = default;
