#include "drivers/model/CTimeSource_SNTP.h"

#include "KestLib20/CResAccess.h"
#include "drivers/model/SntpClient.h"

IMPLEMENT_KEST_CLASS(CTimeSource_SNTP, CTimeSourceA)

CTimeSource_SNTP::CTimeSource_SNTP() : m_nPort(CSntpClient::kPort) {}

int32_t CTimeSource_SNTP::OnInitInstance()
{
    m_strServer = CResAccess(GetSettingInfo())["Server"].GetAsString(m_strServer);
    return CTimeSourceA::OnInitInstance();
}

int CTimeSource_SNTP::GetStandardTime(DYNAMIC_TIME &t)
{
    SntpResult result;
    if (!CSntpClient().Query(m_strServer, m_nPort, result)) return 0;
    int64_t time = 0;
    if (!plat::SystemTimeToFileTime((NtpTimestamp::Now() + result.offset).ToSystemTime(), &time))
        return 0;
    t.time = time;
    glQueryStdCounter(&t.counter);
    return 1;
}
