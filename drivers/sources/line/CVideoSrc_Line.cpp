#include "drivers/sources/line/CVideoSrc_Line.h"

#include "devext/device/DeviceDescription.h"

#include <cstring>

namespace {

constexpr const char *kDescription = "线路信号视频源";
// Every task lies within these windows (s), however far ahead.
constexpr int32_t kAlwaysWithin = 0xFFFFFF;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrc_Line, CVideoSrcA, kDescription, kDescription)

bool IsLineSourceType(const char *type)
{
    static constexpr char kLineType[] = "LVSRC_LINE";
    return type && std::strncmp(type, kLineType, sizeof(kLineType) - 1) == 0;
}

CVideoSrc_Line::CVideoSrc_Line() : CVideoSrcA("LVSRC_LINE")
{
    m_nPlayBeforeTime = 0;
    m_nPrepareTime = 500;
    m_nDevCheckTime = m_nClipCheckTime = m_nFirstCueTime = m_nSecondCueTime = kAlwaysWithin;
    m_nTaskPollInterval = 2000;
}

int CVideoSrc_Line::DevCheckCompatible(const char *type, const char *)
{
    return IsLineSourceType(type) ? 1 : 0;
}
