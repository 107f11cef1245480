#include "drivers/sources/vdcp/CVideoRec_VDCP_Leitch.h"

#include "drivers/sources/vdcp/VdcpRecorderOpen.h"

#include "KestLib20/CResAccess.h"

#include <algorithm>

IMPLEMENT_KEST_CLASS(CVideoRec_VDCP_Leitch, CVideoRecA)

CVideoRec_VDCP_Leitch::CVideoRec_VDCP_Leitch() : m_pPort(std::make_unique<CSerialIO_VDCP_LEITCH>())
{
}

CVideoRec_VDCP_Leitch::~CVideoRec_VDCP_Leitch()
{
    Cancel();
}

int32_t CVideoRec_VDCP_Leitch::OnInitInstance()
{
    if (!VdcpRecorder::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_pPort->ReadPortKey(GetSettingInfo(), "Com");
    m_pPort->SetChannel(GetEncoder());
    m_pPort->SetReplyWait(static_cast<uint32_t>(std::max(
        setting["ComTimeout"].GetAsInteger(static_cast<int32_t>(m_pPort->GetReplyWait())), 0)));
    return 1;
}

int CVideoRec_VDCP_Leitch::DevOpen()
{
    if (m_pPort->DevIsOpen()) return 1;
    const auto route = m_pPort->GetActivePort();
    if (!route) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    if (!vdcprec::ClaimEncoder(*this, *m_pPort, *route, GetEncoder())) return 0;
    ForgetInitClip();
    if (route.get() == m_pPort.get() && !m_bEEModeSet.exchange(true)) DevEEMode(0);
    return 1;
}

int CVideoRec_VDCP_Leitch::DevClose()
{
    Cancel();
    SetDevName("DEV_VSRC_UNKNOWN");
    ForgetInitClip();
    m_pPort->Close();
    return 1;
}

int CVideoRec_VDCP_Leitch::DevIsOpen()
{
    const auto route = m_pPort->GetActivePort();
    return route && route->DevIsOpen() ? 1 : 0;
}

int CVideoRec_VDCP_Leitch::DevTest(const char *)
{
    const auto route = m_pPort->GetActivePort();
    return route ? vdcprec::ReportStatus(*this, *route) : 0;
}

int CVideoRec_VDCP_Leitch::DevEEMode(int mode)
{
    const auto route = m_pPort->GetActivePort();
    return route ? route->EEMode(mode) : 0;
}

int CVideoRec_VDCP_Leitch::OnEncoder(const EncoderStep &step)
{
    const auto route = m_pPort->GetActivePort();
    if (!route) return 0;
    VdcpPortEncoder<CSerialIO_VDCP_LEITCH> encoder(*route);
    return step(encoder);
}
