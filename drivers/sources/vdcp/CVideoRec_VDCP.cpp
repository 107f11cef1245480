#include "drivers/sources/vdcp/CVideoRec_VDCP.h"

#include "drivers/sources/vdcp/VdcpRecorderOpen.h"

#include "KestLib20/CResAccess.h"

#include <algorithm>

IMPLEMENT_KEST_CLASS(CVideoRec_VDCP, CVideoRecA)

CVideoRec_VDCP::CVideoRec_VDCP() = default;

CVideoRec_VDCP::~CVideoRec_VDCP()
{
    Cancel();
}

int32_t CVideoRec_VDCP::OnInitInstance()
{
    if (!VdcpRecorder::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_Port.ReadPortKey(GetSettingInfo(), "Com");
    m_Port.SetChannel(GetEncoder());
    m_Port.SetReplyWait(static_cast<uint32_t>(std::max(
        setting["ComTimeout"].GetAsInteger(static_cast<int32_t>(m_Port.GetReplyWait())), 0)));
    return 1;
}

int CVideoRec_VDCP::DevOpen()
{
    if (m_Port.DevIsOpen()) return 1;
    const auto route = m_Port.GetActivePort();
    if (!route) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    if (!vdcprec::ClaimEncoder(*this, m_Port, *route, GetEncoder())) return 0;
    ForgetInitClip();
    return 1;
}

int CVideoRec_VDCP::DevClose()
{
    Cancel();
    SetDevName("DEV_VSRC_UNKNOWN");
    ForgetInitClip();
    m_Port.Close();
    return 1;
}

int CVideoRec_VDCP::DevIsOpen()
{
    const auto route = m_Port.GetActivePort();
    return route && route->DevIsOpen() ? 1 : 0;
}

int CVideoRec_VDCP::DevTest(const char *)
{
    const auto route = m_Port.GetActivePort();
    return route ? vdcprec::ReportStatus(*this, *route) : 0;
}

int CVideoRec_VDCP::OnEncoder(const EncoderStep &step)
{
    const auto route = m_Port.GetActivePort();
    if (!route) return 0;
    VdcpPortEncoder<CSerialIO_VDCP_SHARED> encoder(*route);
    return step(encoder);
}
