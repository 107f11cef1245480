#include "drivers/switchers/composite/CVideoSwitch_Shared.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "drivers/switchers/composite/SwitchTargets.h"

IMPLEMENT_KEST_CLASS(CVideoSwitch_Shared, CVideoSwitchA)

CVideoSwitch_Shared::CVideoSwitch_Shared()
{
    m_pShareReader = std::make_unique<CShareBusReader>([this](bool on) { SetVirtualMode(on); });
}

CVideoSwitch_Shared::~CVideoSwitch_Shared()
{
    m_evStop.Set();
    m_pShareReader.reset();
}

int32_t CVideoSwitch_Shared::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_bVirtualMode = setting["Virtual"].GetAsBool(m_bVirtualMode);
    const CString target = setting["Dev"].GetAsString("");
    std::lock_guard<std::mutex> lk(m_targetLock);
    m_strTarget = target;
    return m_strTarget.IsEmpty() ? 0 : 1;
}

CString CVideoSwitch_Shared::GetTarget() const
{
    std::lock_guard<std::mutex> lk(m_targetLock);
    return m_strTarget;
}

template <class Op> int CVideoSwitch_Shared::AskTarget(Op op)
{
    if (m_bVirtualMode) return 1;
    CVideoSwitchA *target = swtarget::Find(GetTarget(), this);
    return target ? op(*target) : 0;
}

template <class Op, class Own> int CVideoSwitch_Shared::Forward(Op op, Own own)
{
    if (!m_bVirtualMode) {
        const CString id = GetTarget();
        if (!swtarget::Open(id, *this)) return 0;
        CVideoSwitchA *target = swtarget::Find(id, this);
        if (!target || !op(*target)) return 0;
    }
    return own();
}

int CVideoSwitch_Shared::DevOpen()
{
    if (m_bVirtualMode) return 1;
    CVideoSwitchA *target = swtarget::OpenUsable(GetTarget(), *this);
    return target ? target->DevOpen() : 0;
}

int CVideoSwitch_Shared::DevClose()
{
    return AskTarget([](CVideoSwitchA &target) { return target.DevClose(); });
}

int CVideoSwitch_Shared::DevIsOpen()
{
    return AskTarget([](CVideoSwitchA &target) { return target.DevIsOpen(); });
}

int CVideoSwitch_Shared::DevTest(const char *text)
{
    return AskTarget([text](CVideoSwitchA &target) { return target.DevTest(text); });
}

int CVideoSwitch_Shared::DevSetTransType(int type)
{
    return Forward([&](CVideoSwitchA &t) { return t.DevSetTransType(type); },
                   [&] { return CVideoSwitchA::DevSetTransType(type); });
}

int CVideoSwitch_Shared::DevSetTransRate(int rate)
{
    return Forward([&](CVideoSwitchA &t) { return t.DevSetTransRate(rate); },
                   [&] { return CVideoSwitchA::DevSetTransRate(rate); });
}

int CVideoSwitch_Shared::DevDirectTake(int channel, int entry)
{
    return Forward([&](CVideoSwitchA &t) { return t.DevDirectTake(channel, entry); },
                   [&] { return CVideoSwitchA::DevDirectTake(channel, entry); });
}

int CVideoSwitch_Shared::DevPreset(int channel, int entry)
{
    return Forward([&](CVideoSwitchA &t) { return t.DevPreset(channel, entry); },
                   [&] { return CVideoSwitchA::DevPreset(channel, entry); });
}

int CVideoSwitch_Shared::DevTake(int channel)
{
    return Forward([&](CVideoSwitchA &t) { return t.DevTake(channel); },
                   [&] { return CVideoSwitchA::DevTake(channel); });
}

void CVideoSwitch_Shared::SetVirtualMode(bool on)
{
    if (on == m_bVirtualMode) return;
    const CString id = GetTarget();
    if (on) {
        if (CVideoSwitchA *target = swtarget::Find(id, this)) target->DevClose();
    } else {
        for (int attempt = 0; attempt < kReopenTries; ++attempt) {
            if (m_evStop.Wait(kReopenPauseMs) == plat::WAIT_OBJECT_0) break;
            if (swtarget::Open(id, *this)) break;
            if (m_evStop.Wait(kReopenFailPauseMs) == plat::WAIT_OBJECT_0) break;
        }
    }
    m_bVirtualMode = on;
}
