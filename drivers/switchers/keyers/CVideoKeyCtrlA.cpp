#include "drivers/switchers/keyers/CVideoKeyCtrlA.h"

#include "drivers/model/DeviceCalls.h"
#include "drivers/model/ShareBus.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "platform/TimeSource.h"

IMPLEMENT_KEST_CLASS(CVideoKeyCtrlA, CVideoAuxA, "键控设备(基类)")
IMPLEMENT_KEST_CLASS(CVideoKeyCtrl_Example, CVideoKeyCtrlA)

namespace {

constexpr const char *kShareBus = "#OVRA_DEV_SHARE";
constexpr const char *kDebugLog = "#Log_debug";
constexpr uint32_t kBeepHz = 1000;
constexpr uint32_t kBeepMs = 300;

// The station's keyer workstations have no speaker to drive here: the beep keeps its length,
// which is what the caller sees of it. False when the wait was ended meanwhile.
bool Beep(CDeviceWait &wait, uint32_t, uint32_t ms)
{
    return wait.For(ms);
}

} // namespace

CVideoKeyCtrlA::CVideoKeyCtrlA(const char *typeId) : CVideoAuxA(typeId)
{
    FollowShareBus(true);
}

CVideoKeyCtrlA::CVideoKeyCtrlA(const CVideoKeyCtrlA &other)
    : CVideoAuxA(other), IVideoKeyTaskProcess(other), m_nKeyer(other.m_nKeyer),
      m_nLogo(other.m_nLogo), m_nTitle(other.m_nTitle), m_nTime(other.m_nTime),
      m_bVirtual(other.m_bVirtual.load()), m_bExchange(other.m_bExchange.load())
{
    FollowShareBus(other.m_pShareReader != nullptr);
}

CVideoKeyCtrlA &CVideoKeyCtrlA::operator=(const CVideoKeyCtrlA &other)
{
    if (this == &other) return *this;
    CVideoAuxA::operator=(other);
    m_nKeyer = other.m_nKeyer;
    m_nLogo = other.m_nLogo;
    m_nTitle = other.m_nTitle;
    m_nTime = other.m_nTime;
    m_bVirtual = other.m_bVirtual.load();
    m_bExchange = other.m_bExchange.load();
    FollowShareBus(other.m_pShareReader != nullptr);
    return *this;
}

CVideoKeyCtrlA::~CVideoKeyCtrlA()
{
    EndShareReader();
}

void CVideoKeyCtrlA::FollowShareBus(bool on)
{
    if (on == (m_pShareReader != nullptr)) return;
    if (!on) return EndShareReader();
    // On the log thread, as the other devices' readers: a driver may take its time to reopen.
    m_pShareReader = std::make_unique<CLogReader>(&CVideoKeyCtrlA::OnRecvSetVirtual, this,
                                                  kShareBus, LOG_MODE_PATTERN);
}

void CVideoKeyCtrlA::EndShareReader()
{
    m_pShareReader.reset();
}

HRESULT CVideoKeyCtrlA::QueryInterface(const GUID *iid, void **object)
{
    if (iid && object && IsEqualGUID(*iid, IID_IVideoKeyTaskProcess)) {
        *object = static_cast<IVideoKeyTaskProcess *>(this);
        return S_OK;
    }
    return CVideoAuxA::QueryInterface(iid, object);
}

int32_t CVideoKeyCtrlA::OnInitInstance()
{
    if (!CVideoAuxA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_nKeyer = setting["Keyer"].GetAsInteger(m_nKeyer);
    m_nLogo = setting["Logo"].GetAsInteger(m_nLogo);
    m_nTitle = setting["Title"].GetAsInteger(m_nTitle);
    m_nTime = setting["Time"].GetAsInteger(m_nTime);
    m_bVirtual = setting["Virtual"].GetAsBool(false);
    m_bExchange = setting["Exchange"].GetAsBool(false);
    if (!m_bExchange) {
        FollowShareBus(false);
        m_bVirtual = false;
    }
    return 1;
}

int CVideoKeyCtrlA::DevClose()
{
    CDeviceWait::EndIn(this);
    return 1;
}

int32_t CVideoKeyCtrlA::OnDeactiveInstance()
{
    CDeviceWait::EndIn(this);
    return CVideoAuxA::OnDeactiveInstance();
}

int CVideoKeyCtrlA::DevOpen()
{
    return 1;
}

int CVideoKeyCtrlA::DevIsOpen()
{
    return 1;
}

int CVideoKeyCtrlA::DevTest(const char *)
{
    return 1;
}

int CVideoKeyCtrlA::OnSetVirtual(int32_t mode)
{
    m_bVirtual = mode != 0;
    return 1;
}

int CVideoKeyCtrlA::OnRecvSetVirtual(const char *type, const char *text, const char *)
{
    if (!m_bExchange) return 0;
    const std::optional<bool> on = sharebus::ReadVirtual(type, text);
    if (!on) return 0;
    OnSetVirtual(*on ? 1 : 0);
    return 1;
}

int32_t CVideoKeyCtrlA::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() == 0) return 0;
    const tagVideoKeyTask first = *tasks->GetPtrAt(0);
    // A close, a deactivation or the stop of the calling unit ends the take where it waits.
    CDeviceWait wait(this);
    if (!wait.Until(first.StartTime) || !Beep(wait, kBeepHz, kBeepMs)) return 0;
    CString text;
    text.Format("nkey= %d,nop=%d", first.nKey, first.nop);
    glReportLog(kDebugLog, text, "");
    return 0;
}

int32_t CVideoKeyCtrlA::DevTaskTake(IVideoKeyTaskArray *)
{
    return 1;
}

int32_t CVideoKeyCtrlA::DevTaskPreset(IVideoKeyTaskArray *)
{
    return 1;
}

int32_t CVideoKeyCtrlA::GetKeyID(const tagVideoKeyTask *task) const
{
    switch (task->functype) {
    case KEYTASK_FUNC_LOGO:
        return m_nLogo;
    case KEYTASK_FUNC_TITLE:
        return m_nTitle;
    case KEYTASK_FUNC_TIME:
        return m_nTime;
    default:
        return task->nKey;
    }
}
