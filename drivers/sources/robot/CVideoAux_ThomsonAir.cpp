#include "drivers/sources/robot/CVideoAux_ThomsonAir.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"

namespace {

constexpr const char *kDescription = "机械手(Thomson)";
constexpr int32_t kDefaultPort = 2;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoAux_ThomsonAir, CVideoAuxA, kDescription, kDescription)

CVideoAux_ThomsonAir::CVideoAux_ThomsonAir() : m_pRobot(std::make_shared<CTapeRobot>())
{
    m_strDescription = kDescription;
}

CVideoAux_ThomsonAir::~CVideoAux_ThomsonAir()
{
    m_pRobot->Shutdown();
}

int32_t CVideoAux_ThomsonAir::OnInitInstance()
{
    m_pRobot->Serial().SetPortNumber(kDefaultPort);
    m_pRobot->Serial().ReadPortKey(GetSettingInfo(), "com");
    m_pRobot->SetName(GetInstanceName());
    m_bInitialized = false;
    return 1;
}

int CVideoAux_ThomsonAir::DevOpen()
{
    if (!m_pRobot->Serial().DevOpen()) {
        m_bInitialized = false;
        return 0;
    }
    if (m_bInitialized) return 1;
    if (m_pRobot->Initialize()) m_bInitialized = true;
    return m_bInitialized ? 1 : 0;
}

int CVideoAux_ThomsonAir::DevClose()
{
    return m_pRobot->Serial().DevClose();
}

int CVideoAux_ThomsonAir::DevIsOpen()
{
    return m_pRobot->Serial().DevIsOpen();
}

int CVideoAux_ThomsonAir::DevTest(const char *)
{
    const int32_t passed = m_pRobot->Test();
    if (!passed) m_bInitialized = false;
    return passed;
}

HRESULT CVideoAux_ThomsonAir::QueryInterface(const GUID *iid, void **object)
{
    if (!object) return S_FALSE;
    *object = nullptr;
    if (!iid || !IsEqualGUID(*iid, IID_IVideoCartCtrl) || !DevIsOpen() || !m_bInitialized)
        return S_FALSE;
    *object = static_cast<IVideoCartCtrl *>(m_pRobot.get());
    return S_OK;
}
