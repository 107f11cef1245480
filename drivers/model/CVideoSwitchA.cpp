#include "drivers/model/CVideoSwitchA.h"

#include "drivers/model/ShareBus.h"

#include "KestLib20/CResAccess.h"

#include <algorithm>
#include <utility>

IMPLEMENT_KEST_CLASS(CVideoSwitchA, CDeviceA)

namespace {
constexpr const char *kDescription = "视频切换设备";
constexpr int kDefaultSources = 4; // for a sources value of 0 or less
constexpr int kNone = -1;
} // namespace

CVideoSwitchA::CVideoSwitchA(const char *typeId) : CDeviceA(typeId)
{
    m_strDescription = kDescription;
    SetMatrix(16, 16);
    // On the log thread, as the sources' readers: a driver may take its time to reopen.
    m_pShareReader = std::make_unique<CLogReader>(&CVideoSwitchA::OnRecvSetVirtualMsg, this,
                                                  sharebus::kShareBus, LOG_MODE_PATTERN);
}

CVideoSwitchA::~CVideoSwitchA()
{
    m_pShareReader.reset();
}

int32_t CVideoSwitchA::OnInitInstance()
{
    if (!CDeviceA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    const int channels = setting["Channel"].GetAsInteger(m_nChannels);
    const int sources = setting["Source"].GetAsInteger(m_nSources);
    SetMatrix(sources, channels);
    m_nDelayTime = setting["DelayTime"].GetAsInteger(m_nDelayTime);
    m_bVirtual = setting["Virtual"].GetAsBool(m_bVirtual);
    m_bExchange = setting["Exchange"].GetAsBool(m_bExchange);
    if (!m_bExchange) {
        m_pShareReader.reset();
        m_bVirtual = false;
    }
    return 1;
}

int CVideoSwitchA::SetMatrix(int sources, int channels)
{
    sources = sources > 0 ? sources : kDefaultSources;
    channels = std::clamp(channels, 1, kMaxChannels);
    std::lock_guard<std::mutex> lk(m_entryLock);
    m_nSources = sources;
    m_nChannels = channels;
    m_PST.resize(static_cast<size_t>(channels) + 1, 0);
    m_PGM.resize(static_cast<size_t>(channels) + 1, 0);
    return 1;
}

int CVideoSwitchA::SetSwitchType(int type)
{
    m_nSwitchType = type;
    return 1;
}

template <class Use> int CVideoSwitchA::OnChannel(int channel, Use use)
{
    std::lock_guard<std::mutex> lk(m_entryLock);
    if (channel < 0 || static_cast<size_t>(channel) >= m_PGM.size()) return 0;
    use(static_cast<size_t>(channel));
    return 1;
}

int CVideoSwitchA::OnSetVirtual(int32_t on)
{
    m_bVirtual = on != 0;
    return 1;
}

int CVideoSwitchA::DevSetTransType(int type)
{
    std::lock_guard<std::mutex> lk(m_entryLock);
    m_nTransType = type;
    return 1;
}

int CVideoSwitchA::DevSetTransRate(int rate)
{
    std::lock_guard<std::mutex> lk(m_entryLock);
    m_nTransRate = rate;
    return 1;
}

int CVideoSwitchA::DevDirectTake(int channel, int entry)
{
    return OnChannel(channel, [&](size_t at) { m_PGM[at] = entry; });
}

int CVideoSwitchA::DevPreset(int channel, int entry)
{
    return OnChannel(channel, [&](size_t at) { m_PST[at] = entry; });
}

int CVideoSwitchA::DevTake(int channel)
{
    return OnChannel(channel, [&](size_t at) { std::swap(m_PST[at], m_PGM[at]); });
}

int CVideoSwitchA::DevTake2(int channel)
{
    return CVideoSwitchA::DevTake(channel);
}

int CVideoSwitchA::DevQueryPgmEntry(int channel, int &entry)
{
    return OnChannel(channel, [&](size_t at) { entry = m_PGM[at]; });
}

int CVideoSwitchA::DevQueryPstEntry(int channel, int &entry)
{
    return OnChannel(channel, [&](size_t at) { entry = m_PST[at]; });
}

int CVideoSwitchA::DevQueryTransMode(int &type, int &rate)
{
    std::lock_guard<std::mutex> lk(m_entryLock);
    type = m_nTransType;
    rate = m_nTransRate;
    return 1;
}

int CVideoSwitchA::DevKey(int, int)
{
    return 1;
}

int CVideoSwitchA::DevMix(int, int)
{
    return 1;
}

int CVideoSwitchA::DevGetPSTBUS()
{
    return kNone;
}

int CVideoSwitchA::DevGetPGMBUS()
{
    return kNone;
}

int CVideoSwitchA::DevGetKey1()
{
    return kNone;
}

int CVideoSwitchA::DevGetKey2()
{
    return kNone;
}

int CVideoSwitchA::DevGetMix1()
{
    return kNone;
}

int CVideoSwitchA::DevGetMix2()
{
    return kNone;
}

int CVideoSwitchA::OnRecvSetVirtualMsg(const char *type, const char *text, const char *)
{
    if (!m_bExchange) return 0;
    const std::optional<bool> on = sharebus::ReadVirtual(type, text);
    if (!on) return 0;
    OnSetVirtual(*on ? 1 : 0);
    return 1;
}
