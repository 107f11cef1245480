#include "drivers/model/CTimeSource_CCTV_TJ.h"

#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "drivers/model/ClockCard.h"

#include <algorithm>

IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_TJ, CTimeSourceA)

CTimeSource_CCTV_TJ::CTimeSource_CCTV_TJ() = default;

int32_t CTimeSource_CCTV_TJ::OnInitInstance()
{
    const int32_t result = CTimeSourceA::OnInitInstance();
    CResAccess setting(GetSettingInfo());
    m_nStartLevel = std::clamp(setting["Start Level"].GetAsInteger(m_nStartLevel), 0, kMaxLevel);
    m_nStdLevel = std::clamp(setting["Std Level"].GetAsInteger(m_nStdLevel), 0, m_nStartLevel);
    m_nDelta = setting["Delta"].GetAsInteger(m_nDelta);
    return result;
}

int CTimeSource_CCTV_TJ::GetStandardTime(DYNAMIC_TIME &t)
{
    CClockCard card(glGetClockCardDriver());
    if (!card.Open()) return 0;
    timecode_t ofDay;
    if (!FilteredTimecode(
            m_nStartLevel, [&card](timecode_t &tc) { return card.ReadTimecode(tc); }, ofDay))
        return 0;
    glQueryStdCounter(&t.counter);
    ++m_nReadings;
    int64_t now = 0;
    glGetTimeEx(&now);
    CFileTime time(now);
    time.SetTime(ofDay);
    t.time = time.GetTime() + static_cast<int64_t>(m_nDelta) * 10000;
    return 1;
}
