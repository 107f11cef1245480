#include "drivers/switchers/keyers/CVideoAux_DSK50D.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CSerial_RS232.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/SwitchLineOpen.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "DSK50D键混器";
constexpr const char *kDumpLog = "LOG_DBG_DSK50D";
constexpr const char *kTakeLog = "LOG_AIR_SWITCH";
constexpr int32_t kLeastInterval = 100;
constexpr int32_t kLeastRetry = 1;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_DSK50D, CVideoKeyCtrlA, kDescription)

CSerialIO_DSK50D::CSerialIO_DSK50D()
    : CAnsweringSwitchIO(
          {2, 19200, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, CSerial_RS232::GetClassID()},
          {.firstTries = kTries,
           .answeredTries = kTries,
           .dumpType = kDumpLog,
           .lockTimeoutMs = kLockHoldMs})
{
}

CSerialIO_DSK50D::~CSerialIO_DSK50D()
{
    Retire();
}

int CSerialIO_DSK50D::SetKey(int code, bool on)
{
    return Ask(keyframe::Dsk50dSetKey(code, on), [this, code, on] {
        m_nCode = code;
        m_bOn = on;
    });
}

std::optional<CSerialIO::ReplyCheck>
CSerialIO_DSK50D::Read(const std::vector<keyframe::Dsk50dReply> &replies)
{
    if (ReadSoFar() == ReplyCheck::Retry) return ReplyCheck::Retry;
    for (const auto &reply : replies)
        if (keyframe::Dsk50dContradicts(reply, m_nCode, m_bOn)) return ReplyCheck::Retry;
    return ReplyCheck::Accept;
}

CVideoAux_DSK50DDevice::CVideoAux_DSK50DDevice() : CVideoKeyDriverA(kUnknownType, kDescription) {}

int32_t CVideoAux_DSK50DDevice::OnInitInstance()
{
    if (!CVideoKeyCtrlA::OnInitInstance()) return 0;
    m_Serial.ReadPortKey(GetSettingInfo(), "COM");
    CResAccess setting(GetSettingInfo());
    m_nOwnLogo = setting["Logo"].GetAsInteger(0);
    m_nOwnTitle = setting["Title"].GetAsInteger(0);
    m_nOwnTime = setting["Time"].GetAsInteger(0);
    m_nBetweenTime = setting["BetweenTime"].GetAsInteger(m_nBetweenTime);
    m_nPutOffTime = setting["PutOffTime"].GetAsInteger(m_nPutOffTime);
    m_nIntervalTime =
        std::max(setting["nIntervalTime"].GetAsInteger(m_nIntervalTime), kLeastInterval);
    m_nRetryTime = std::max(setting["nRetryTime"].GetAsInteger(m_nRetryTime), kLeastRetry);
    CArray<int32_t, int32_t> keys;
    setting["KeyArray"].GetAsIntArray(keys);
    m_keyArray.clear();
    for (int i = 0; i < keys.GetSize(); ++i) m_keyArray.push_back(keys[i]);
    return 1;
}

std::shared_ptr<CSerialIO_DSK50D> CVideoAux_DSK50DDevice::FindPort()
{
    // The own object while open (the rule then opens nothing).
    if (m_Serial.DevIsOpen()) return m_Serial.OpenOrShare<CSerialIO_DSK50D>();
    return std::dynamic_pointer_cast<CSerialIO_DSK50D>(
        CSerialIO::GetByActivePort(m_Serial.GetPortNumber()));
}

int CVideoAux_DSK50DDevice::DevOpen()
{
    // Only a DSK50D object shares the line; one of another protocol keeps it from us.
    return swline::OpenLine(*this, m_Serial,
                            [this] { return m_Serial.OpenOrShare<CSerialIO_DSK50D>(); });
}

int CVideoAux_DSK50DDevice::DevClose()
{
    m_Serial.DevClose();
    return CVideoKeyCtrlA::DevClose();
}

int CVideoAux_DSK50DDevice::DevIsOpen()
{
    return FindPort() ? 1 : 0;
}

int32_t CVideoAux_DSK50DDevice::LogicalKey(const tagVideoKeyTask &task) const
{
    switch (task.functype) {
    case KEYTASK_FUNC_LOGO:
        return m_nOwnLogo;
    case KEYTASK_FUNC_TITLE:
        return m_nOwnTitle;
    case KEYTASK_FUNC_TIME:
        return m_nOwnTime;
    default:
        return task.nKey;
    }
}

int32_t CVideoAux_DSK50DDevice::DevTaskDirectTake(IVideoKeyTaskArray *tasks)
{
    if (!tasks || tasks->GetCount() <= 0) return 0;
    // The line may be another keyer's: it is held for each send, not across the waits.
    if (!FindPort()) {
        LogOpenFailed(GetDevName());
        return 0;
    }
    if (!WaitForStart(*tasks->GetPtrAt(0), m_nPutOffTime)) return 0;
    int32_t result = 0;
    for (int32_t i = 0; i < tasks->GetCount(); ++i) {
        const tagVideoKeyTask task = *tasks->GetPtrAt(i);
        const int32_t key = LogicalKey(task);
        if (key <= 0 || key > static_cast<int32_t>(m_keyArray.size())) continue;
        const int32_t code = m_keyArray[static_cast<size_t>(key - 1)];
        int sent = 0;
        for (int32_t n = 0; n < m_nRetryTime; ++n) {
            {
                const auto port = FindPort();
                sent = port ? port->SetKey(code, task.nop != 0) : 0;
            }
            if (!Pause(m_nIntervalTime)) return result;
        }
        glReportDbg(kTakeLog,
                    "trace(CVideoAux_DSK50D::DevTaskDirectTake) SET KEY = %d; Up = %d ; OK = %d",
                    code, task.nop, sent);
        if (sent) result = 1;
        if (!Pause(m_nBetweenTime)) return result;
    }
    return result;
}
