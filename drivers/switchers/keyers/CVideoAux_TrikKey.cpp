#include "drivers/switchers/keyers/CVideoAux_TrikKey.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/keyers/KeyerFrames.h"
#include "drivers/switchers/SwitchLineOpen.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

namespace {

constexpr const char *kDescription = "TrikKey键控驱动";
constexpr const char *kDevLog = "LOG_DEV";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_TrikKey, CVideoKeyCtrlA, kDescription)

CSerialIO_TrikKey::CSerialIO_TrikKey()
    : CSerialSwitchIO(
          {4, 38400, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_TrikKey::~CSerialIO_TrikKey()
{
    Retire();
}

int CSerialIO_TrikKey::Toggle(int key)
{
    return WriteFrame(keyframe::TrikKeyToggle(key));
}

CVideoAux_TrikKeyDevice::CVideoAux_TrikKeyDevice() : CVideoKeyDriverA(kUnknownType, kDescription) {}

int32_t CVideoAux_TrikKeyDevice::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    m_Serial.ReadPortKey(GetSettingInfo(), "Com");
    CResAccess setting(GetSettingInfo());
    m_bLogoOn = setting["logoon"].GetAsBool(false);
    m_bTitleOn = setting["titleon"].GetAsBool(false);
    m_bTimeOn = setting["timeon"].GetAsBool(false);
    return 1;
}

int CVideoAux_TrikKeyDevice::DevOpen()
{
    return swline::OpenLine(*this, m_Serial, [this] { return ActivePort(); });
}

int CVideoAux_TrikKeyDevice::DevClose()
{
    m_Serial.DevClose();
    return CVideoKeyCtrlA::DevClose();
}

int CVideoAux_TrikKeyDevice::DevIsOpen()
{
    return ActivePort() ? 1 : 0;
}

std::atomic<bool> *CVideoAux_TrikKeyDevice::StateOf(int32_t functype)
{
    switch (functype) {
    case KEYTASK_FUNC_LOGO:
        return &m_bLogoOn;
    case KEYTASK_FUNC_TITLE:
        return &m_bTitleOn;
    case KEYTASK_FUNC_TIME:
        return &m_bTimeOn;
    default:
        return nullptr;
    }
}

int32_t CVideoAux_TrikKeyDevice::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() <= 0) return 0;
    // The line may be another keyer's: it is held for each toggle, not across the waits.
    if (!ActivePort()) return 0;
    if (!WaitForStart(*tasks->GetPtrAt(0), 0)) return 0;
    int32_t result = 1;
    // A task of a plain keyer follows the state of the latest logo, title or clock task of
    // the group; before any, it has none to follow and is always sent.
    std::atomic<bool> *state = nullptr;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) {
        const tagVideoKeyTask task = *tasks->GetPtrAt(i);
        if (std::atomic<bool> *own = StateOf(task.functype)) state = own;
        const bool on = task.nop != 0;
        if (state && *state == on) continue;
        {
            const auto port = ActivePort();
            result = port ? port->Toggle(task.nKey) : 0;
        }
        glReportDbg(kDevLog, "DEV=%s; DoAction(%d) Result:(%s) ",
                    static_cast<const char *>(GetDevName()), task.nop, result ? "OK" : "Failed");
        if (result) {
            if (state) *state = on;
            ReportKey(task.nop, task.functype);
        }
        if (!Pause(kTaskPauseMs)) return result;
    }
    return result;
}
