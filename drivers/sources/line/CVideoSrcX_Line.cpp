#include "drivers/sources/line/CVideoSrcX_Line.h"

#include "drivers/sources/line/CVideoSrc_Line.h"

#include "devext/device/DeviceDescription.h"

namespace {

constexpr const char *kDescription = "线路信号视频源";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSrcX_Line, CVideoSrcA, kDescription, kDescription)

CVideoSrcX_Line::CVideoSrcX_Line() : CVideoSrcX("LVSRC_LINE")
{
    m_strDescription = "视频源(线路信号)";
    m_nPlayBeforeTime = 0;
    m_nPrepareTime = 1000;
}

int CVideoSrcX_Line::DevCheckCompatible(const char *type, const char *)
{
    return IsLineSourceType(type) ? 1 : 0;
}
