#include "drivers/model/CTimeSource_CCTV.h"

#include "Kest20/KestLog.h"
#include "platform/String.h"

using clockframe::Model;

IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_SY, CTimeSourceA)
IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_Z3400, CTimeSourceA)
IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_KHC3400, CTimeSourceA)
IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_ST3100, CTimeSourceA)
IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_TVZ3100, CTimeSourceA)
IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_BJSX, CTimeSourceA)
IMPLEMENT_KEST_CLASS(CTimeSource_CCTV_MCG, CTimeSourceA)

CTimeSource_CCTV_Serial::CTimeSource_CCTV_Serial(Model model, uint16_t baud, bool gap, bool baudKey)
    : m_Model(model), m_nBaud(baud), m_bGap(gap), m_bBaudKey(baudKey)
{
}

int32_t CTimeSource_CCTV_Serial::OnInitInstance()
{
    // The line reads its keys as every serial line does; the values are kept here.
    CClockLine line(m_Model);
    line.SetPort(m_nPort, m_nBaud);
    line.SetConfig(GetSettingInfo());
    m_nPort = line.GetSetting().nPort;
    if (m_bBaudKey) m_nBaud = line.GetSetting().nBaud;
    return CTimeSourceA::OnInitInstance();
}

int CTimeSource_CCTV_Serial::GetStandardTime(DYNAMIC_TIME &t)
{
    CClockLine line(m_Model);
    line.SetPort(m_nPort, m_nBaud);
    if (m_bGap) {
        line.DevClose();
        if (StopSignal().Wait(kGapMs) == plat::WAIT_OBJECT_0) return 0;
    }
    if (!line.DevOpen()) return 0;
    const int frames = line.CollectFrames(t, StopSignal());
    line.DevClose();
    return frames >= kFramesNeeded ? 1 : 0;
}

CTimeSource_CCTV_Kept::CTimeSource_CCTV_Kept(Model model, uint16_t baud)
    : CTimeSource_CCTV_Serial(model, baud, true, false),
      m_pLine(std::make_unique<CClockLine>(model))
{
}

CTimeSource_CCTV_Kept::~CTimeSource_CCTV_Kept()
{
    m_pLine->DevClose();
}

int CTimeSource_CCTV_Kept::GetStandardTime(DYNAMIC_TIME &t)
{
    const plat::Waitable &stop = StopSignal();
    if (m_pLine->DevIsOpen() && plat::GetTickCount() - m_dwReopenTick >= kReopenMs) {
        m_dwReopenTick = plat::GetTickCount();
        m_pLine->DevClose();
        if (stop.Wait(kGapMs) == plat::WAIT_OBJECT_0) return 0;
    }
    if (!m_pLine->DevIsOpen()) {
        m_pLine->SetPort(m_nPort, m_nBaud);
        // The hour runs from the open, so that a fresh line is not reopened at once.
        if (m_pLine->DevOpen()) m_dwReopenTick = plat::GetTickCount();
        if (stop.Wait(kGapMs) == plat::WAIT_OBJECT_0) return 0;
    }
    if (!m_pLine->DevIsOpen()) {
        CString text;
        text.Format("%s : GetDev failure", GetInstanceName());
        glReportLog("#LOG_DEV", text, nullptr);
        return 0;
    }
    return m_pLine->CollectFrames(t, stop) >= kFramesNeeded ? 1 : 0;
}

CTimeSource_CCTV_SY::CTimeSource_CCTV_SY() : CTimeSource_CCTV_Serial(Model::SY, 2400, false, false)
{
}
CTimeSource_CCTV_Z3400::CTimeSource_CCTV_Z3400()
    : CTimeSource_CCTV_Serial(Model::Z3400, 4800, true, false)
{
}
CTimeSource_CCTV_KHC3400::CTimeSource_CCTV_KHC3400()
    : CTimeSource_CCTV_Serial(Model::KHC3400, 9600, true, false)
{
}
CTimeSource_CCTV_ST3100::CTimeSource_CCTV_ST3100()
    : CTimeSource_CCTV_Serial(Model::ST3100, 9600, true, true)
{
}
CTimeSource_CCTV_TVZ3100::CTimeSource_CCTV_TVZ3100()
    : CTimeSource_CCTV_Serial(Model::TVZ3100, 9600, true, true)
{
}
CTimeSource_CCTV_BJSX::CTimeSource_CCTV_BJSX() : CTimeSource_CCTV_Kept(Model::BJSX, 9600) {}
CTimeSource_CCTV_MCG::CTimeSource_CCTV_MCG() : CTimeSource_CCTV_Kept(Model::MCG, 38400) {}
