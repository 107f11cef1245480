#include "drivers/sources/vtr/CVideoSrc_BetacamCart.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/model/CVideoDevMgr.h"

using namespace cartcell;

namespace {

constexpr const char *kDescription = "支持机械手的Betacam录象机视频源";

bool SameLabel(const char *a, const char *b)
{
    return plat::GbkCompareNoCase(Label(a).GetString(), Label(b).GetString()) == 0;
}

// Hands the robot's reports of a load to the cue request's callback.
void ForwardProgress(void *user, const char *clip, int32_t state, int32_t step)
{
    const auto *callback = static_cast<const CVideoSrcA::tagCallBack *>(user);
    if (callback->pObject && callback->pfnProgress)
        callback->pfnProgress(callback->pObject, clip, state, step);
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrc_BetacamCart, CVideoSrc_BetaCamX, kDescription, kDescription)

CVideoSrc_BetacamCartDevice::CVideoSrc_BetacamCartDevice()
    : m_pTicket(std::make_shared<LoadTicket>(this))
{
    m_strDescription = kDescription;
}

CVideoSrc_BetacamCartDevice::~CVideoSrc_BetacamCartDevice()
{
    std::lock_guard<std::mutex> lk(m_pTicket->lock);
    m_pTicket->source = nullptr;
}

int32_t CVideoSrc_BetacamCartDevice::OnInitInstance()
{
    if (!CVideoSrc_BetaCamX::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_strCart = setting["Cart"].GetAsString(m_strCart);
    m_nAddr = setting["Addr"].GetAsInteger(m_nAddr);
    if (m_nAddr < 0 || m_nAddr > kMaxAddr) m_nAddr = 0;
    m_nTimeOut = std::max(setting["TimeOut"].GetAsInteger(m_nTimeOut), kMinTimeOut);
    m_nWaitDuration = setting["WaitDuration"].GetAsInteger(m_nWaitDuration);
    m_nWorkMode = setting["WorkMode"].GetAsInteger(m_nWorkMode);
    return 1;
}

IVideoCartCtrl *CVideoSrc_BetacamCartDevice::FindRobot()
{
    CVideoDevMgr *manager = CVideoDevMgr::m_pVideoDevMgr;
    if (!manager) return nullptr;
    CDeviceA *device = manager->GetVideoDev(m_strCart, 1);
    if (!device) return nullptr;
    void *robot = nullptr;
    device->QueryInterface(&IID_IVideoCartCtrl, &robot);
    return static_cast<IVideoCartCtrl *>(robot);
}

tagCartCommand CVideoSrc_BetacamCartDevice::LoadCommand(const CString &clip, CartProgress progress,
                                                        void *user) const
{
    tagCartCommand command;
    command.nCommand = CART_LOAD;
    command.nTarget = OwnBay();
    command.nSource = 0;
    command.nTimeOut = m_nTimeOut;
    command.nFlag = 1;
    command.pfnProgress = progress;
    command.pUserData = user;
    snprintf(command.szClipID, sizeof command.szClipID, "%s", clip.GetString());
    return command;
}

void CVideoSrc_BetacamCartDevice::Remember(const CString &clip, timecode_t som, timecode_t dur)
{
    std::lock_guard<std::mutex> lk(m_CueLock);
    m_strCueClip = clip;
    m_CueSom = som;
    m_CueDur = dur;
}

int CVideoSrc_BetacamCartDevice::DevOpen()
{
    if (UsesRobot() && !FindRobot()) return 0;
    return CVideoSrc_BetaCamX::DevOpen();
}

int CVideoSrc_BetacamCartDevice::DevCueEx(const char *clip, timecode_t som, timecode_t dur,
                                          tagCallBack *callback)
{
    if (!UsesRobot()) return CVideoSrc_BetaCamX::DevCueEx(clip, som, dur, callback);
    IVideoCartCtrl *robot = FindRobot();
    if (!robot) return 0;
    const CString label = Label(clip);
    const tagCartCommand command = LoadCommand(label, ForwardProgress, callback);
    Remember(label, som, dur);
    tagCartCell bay;
    if (!robot->RunCommand(command) || !robot->GetCell(OwnBay(), bay) || !bay.bOccupied ||
        !SameLabel(bay.szLabel, label))
        return 0;
    return CVideoSrc_BetaCamX::DevCueEx(label, som, dur, callback);
}

void CVideoSrc_BetacamCartDevice::OnBackgroundLoad(void *user, const char *clip, int32_t state,
                                                   int32_t)
{
    if (state != CART_DONE) return;
    auto *ticket = static_cast<LoadTicket *>(user);
    std::lock_guard<std::mutex> held(ticket->lock);
    CVideoSrc_BetacamCartDevice *self = ticket->source;
    if (!self) return;
    CString cueClip;
    timecode_t som, dur;
    {
        std::lock_guard<std::mutex> lk(self->m_CueLock);
        cueClip = self->m_strCueClip;
        som = self->m_CueSom;
        dur = self->m_CueDur;
    }
    if (SameLabel(clip, cueClip)) self->CVideoSrc_BetaCamX::DevCue(cueClip, som, dur);
}

int CVideoSrc_BetacamCartDevice::DevCue(const char *clip, timecode_t som, timecode_t dur)
{
    if (!UsesRobot()) return CVideoSrc_BetaCamX::DevCue(clip, som, dur);
    IVideoCartCtrl *robot = FindRobot();
    if (!robot) return 0;
    const CString label = Label(clip);
    Remember(label, som, dur);
    tagCartCommand command = LoadCommand(label, OnBackgroundLoad, m_pTicket.get());
    command.pUserHold = m_pTicket;
    return robot->QueueCommand(command);
}

int CVideoSrc_BetacamCartDevice::DevEject()
{
    if (!UsesRobot()) return CVideoSrc_BetaCamX::DevEject();
    IVideoCartCtrl *robot = FindRobot();
    if (!robot || !CVideoSrc_BetaCamX::DevEject()) return 0;
    tagCartCommand command;
    command.nCommand = CART_UNLOAD;
    command.nSource = OwnBay();
    command.nTarget = Make(kLoadPort, kAnyFree);
    command.nTimeOut = m_nTimeOut;
    command.nFlag = 1;
    robot->QueueCommand(command);
    return 1;
}

int CVideoSrc_BetacamCartDevice::DevGetClipSize(const char *clip, timecode_t &size)
{
    if (!UsesRobot()) return CVideoSrc_BetaCamX::DevGetClipSize(clip, size);
    CVideoSrc_BetaCamX::DevGetClipSize(clip, size);
    const int32_t vtrSize = size;
    size = 0;
    IVideoCartCtrl *robot = FindRobot();
    if (!robot) return 0;
    int32_t cell = -1;
    const bool known = robot->FindClip(clip, &cell) != 0;
    if (known && Kind(cell) == kBay && (Low(cell) & 0x1F) == m_nAddr) size = vtrsource::kClipSize;
    return size != 0 || (vtrSize == 0 && known) ? 1 : 0;
}

int CVideoSrc_BetacamCartDevice::DevCheckCompatible(const char *type, const char *clip)
{
    if (!UsesRobot()) return CVideoSrc_BetaCamX::DevCheckCompatible(type, clip);
    IVideoCartCtrl *robot = FindRobot();
    tagCartCell bay;
    if (!robot || !robot->GetCell(OwnBay(), bay)) return 0;
    if (bay.bOccupied) return SameLabel(bay.szLabel, clip) ? 1 : 0;
    int32_t cell = -1;
    if (!robot->FindClip(clip, &cell)) return 0;
    return Kind(cell) == kShelf || Kind(cell) == kLoadPort ? 1 : 0;
}
