#include "drivers/switchers/binary/CVideoSwitch_ONYX.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"

#include <mutex>

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
    std::lock_guard<CDataLock> request(m_RequestLock);
    // Only what was received is dropped: the ports' flush also drops output not yet on the
    // line, which would cut off the previous take of a multi-bus command.
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        m_Buffer.RemoveAll();
        m_decoder.Reset();
    }
    m_bConfirmed = false;
    m_nLastEntry = entry;
    m_nLastChannel = channel;
    return WriteFrame(swframe::OnyxTake(kUnit, kLevel, entry, channel));
}

int CSerialIO_ONYX::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    std::vector<swframe::COnyxDecoder::Event> events;
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        events = m_decoder.Feed(static_cast<const uint8_t *>(data.data),
                                static_cast<size_t>(data.length));
    }
    for (const auto &event : events) {
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
    : CVideoSwitchSharedA("LVSWITCH_MCS_ONYX", kDescription, 64, 64)
{
}

int32_t CVideoSwitch_ONYX::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("Com");
    return 1;
}

int CVideoSwitch_ONYX::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    const auto port = ActivePort();
    if (!port) return 0;
    entry = ClampEntry(entry);
    if (!port->SendTake(entry, channel)) return 0;
    return CVideoSwitchA::DevDirectTake(channel, entry);
}

int CVideoSwitch_ONYX::DevPreset(int channel, int entry)
{
    if (!Activate() || !ActivePort()) return 0;
    return CVideoSwitchA::DevPreset(channel, ClampEntry(entry));
}

int CVideoSwitch_ONYX::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    const auto port = ActivePort();
    if (!port) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    if (!port->SendTake(preset, channel)) return 0;
    return CVideoSwitchA::DevTake(channel);
}

CVideoSwitch_ONYXX::CVideoSwitch_ONYXX() = default;

int32_t CVideoSwitch_ONYXX::OnInitInstance()
{
    if (!CVideoSwitch_ONYX::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    CArray<int32_t, int32_t> buses;
    setting["BUS"].GetAsIntArray(buses);
    m_buses.assign(buses.GetData(), buses.GetData() + buses.GetSize());
    if (m_buses.empty()) {
        const int32_t bus = setting["BUS"].GetAsInteger(0);
        if (bus != 0) m_buses.push_back(bus);
    }
    return 1;
}

int CVideoSwitch_ONYXX::PerBus(int channel, const std::function<int(int)> &command)
{
    if (m_buses.empty()) return command(channel);
    int succeeded = 0;
    for (int bus : m_buses) succeeded += command(bus) ? 1 : 0;
    return succeeded;
}

int CVideoSwitch_ONYXX::DevDirectTake(int channel, int entry)
{
    return PerBus(channel, [&](int bus) { return CVideoSwitch_ONYX::DevDirectTake(bus, entry); });
}

int CVideoSwitch_ONYXX::DevPreset(int channel, int entry)
{
    return PerBus(channel, [&](int bus) { return CVideoSwitch_ONYX::DevPreset(bus, entry); });
}

int CVideoSwitch_ONYXX::DevTake(int channel)
{
    return PerBus(channel, [&](int bus) { return CVideoSwitch_ONYX::DevTake(bus); });
}
