#include "drivers/model/CSerialEchg.h"

#include "devext/device/CSerial_M422.h"
#include "platform/TimeSource.h"

#include <mutex>
#include <utility>

namespace {
constexpr uint32_t kRepeatMs = 20;      // between the two frames of a switch command
constexpr uint32_t kSlowRepeatMs = 100; // the same for the second form
constexpr int kChannels = 8;
constexpr int kTriesOnceAnswered = 3;
} // namespace

CSerialEchg::CSerialEchg(uint16_t stopBits)
{
    SetLine(
        {COM_SETTING{}.nPort, 9600, 8, COM_PARITY_NONE, stopBits, 0, CSerial_M422::GetClassID()});
}

int CSerialEchg::Reopen(int port)
{
    DevClose();
    ForgetLine();
    // A number that does not fit opens the line it had.
    SetPortNumber(port);
    return DevOpen();
}

int CSerialEchg::Reopen(IStringAccess &&portKey, int port)
{
    DevClose();
    ForgetLine();
    SetPortNumber(port);
    ReadPortKey(std::move(portKey));
    return DevOpen();
}

CSerialEchg422::CSerialEchg422() : CSerialEchg(COM_STOPBITS_TWO) {}

CSerialEchg422::~CSerialEchg422()
{
    DevClose();
}

void CSerialEchg422::ForgetLine()
{
    WithBuffer([this](CBuffer &) {
        m_decoder.Reset();
        m_bHaveStatus = false;
    });
}

bool CSerialEchg422::WriteTwice(int position, uint32_t gapMs)
{
    const echg::Frame3 frame = echg::Encode422Switch(position);
    // The switch answers with its status on its own: no reply is awaited, and nothing of the
    // line is flushed between the two writes. No request comes between them.
    return Alone([&] {
        const char *bytes = reinterpret_cast<const char *>(frame.data());
        const int length = static_cast<int>(frame.size());
        const bool first = DevWrite(bytes, length) > 0;
        plat::Sleep(gapMs);
        const bool second = DevWrite(bytes, length) > 0;
        return first || second;
    });
}

int CSerialEchg422::DevSwitch(int position)
{
    // A status that came before says nothing of a switch that never left.
    if (!WriteTwice(position, kRepeatMs)) return 0;
    if (!m_bHaveStatus) return 0;
    const int32_t age = plat::TickDiff(plat::GetTickCount(), m_dwStatusTick);
    return age >= 0 && static_cast<uint32_t>(age) <= kStatusFreshMs ? 1 : 0;
}

int CSerialEchg422::DevSwitch2(int position)
{
    return WriteTwice(position, kSlowRepeatMs) ? 1 : 0;
}

int CSerialEchg422::GetChannelState(int channel) const
{
    if (channel < 1 || channel > kChannels) return 0;
    return (m_nStatus >> (channel - 1)) & 1u ? 2 : 1;
}

int CSerialEchg422::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length <= 0) return 0;
    WithBuffer([&](CBuffer &) {
        for (const uint8_t status : m_decoder.Feed(static_cast<const uint8_t *>(data.data),
                                                   static_cast<size_t>(data.length))) {
            m_nStatus = status;
            m_dwStatusTick = plat::GetTickCount();
            m_bHaveStatus = true;
            SignalReply();
        }
    });
    return 1;
}

CSerialEchg485::CSerialEchg485() : CSerialEchg(COM_STOPBITS_ONE) {}

CSerialEchg485::~CSerialEchg485()
{
    DevClose();
}

int CSerialEchg485::DevFlush(int mode)
{
    WithBuffer([this](CBuffer &) { m_decoder.Reset(); });
    return CSerialIO::DevFlush(mode);
}

int CSerialEchg485::SendAndWait(const echg::Frame3 &frame, size_t length, bool query)
{
    // The decoder expects a query's answer from the first try's arm until the request ends.
    const auto arm = [this, query] { m_decoder.ExpectQuery(query); };
    const auto ended = [this, query](RequestEnd) {
        if (query) WithBuffer([this](CBuffer &) { m_decoder.ExpectQuery(false); });
    };
    const int answered =
        Request(reinterpret_cast<const char *>(frame.data()), static_cast<int>(length), m_nTries,
                kReplyMs, kPauseMs, TryHooks(arm, {}, ended));
    if (answered) m_nTries = kTriesOnceAnswered;
    return answered;
}

int CSerialEchg485::DevSwitch(int position)
{
    const echg::Frame3 frame = echg::Encode485Switch(position);
    return SendAndWait(frame, frame.size(), false);
}

int CSerialEchg485::DevQuery()
{
    return SendAndWait({echg::k485Query}, 1, true);
}

int CSerialEchg485::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length <= 0) return 0;
    WithBuffer([&](CBuffer &) {
        for (const echg::C485ReplyDecoder::Reply &reply : m_decoder.Feed(
                 static_cast<const uint8_t *>(data.data), static_cast<size_t>(data.length))) {
            if (reply.query) {
                m_nAddress = reply.address;
                m_nState = reply.state;
            }
            SignalReply();
        }
    });
    return 1;
}
