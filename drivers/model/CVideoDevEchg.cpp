#include "drivers/model/CVideoDevEchg.h"

#include "drivers/model/CSerialEchg.h"
#include "drivers/model/ShareBus.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CSimplexStringMap.h"
#include "devext/device/DeviceDescription.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <mutex>

IMPLEMENT_KEST_DEVICE(CVideoDevEchg, CVideoAuxA, "422倒换开关(基本)", "422倒换开关(基本)")
IMPLEMENT_KEST_DEVICE(CVideoDevEchg_422, CVideoDevEchg, "422倒换开关(422控制)",
                      "422倒换开关(422控制)")
IMPLEMENT_KEST_DEVICE(CVideoDevEchg_485, CVideoDevEchg, "422倒换开关(485控制)",
                      "422倒换开关(485控制)")
IMPLEMENT_KEST_DEVICE(CVideoDevEchg_NPort, CVideoDevEchg, "422倒换开关(NPort控制)",
                      "422倒换开关(NPort控制)")

namespace {

constexpr const char *kDebugType = "LOG_AIR_SWITCH";
// Where a switch of "Dev" sits when its own text does not say.
constexpr int kDefaultMaster = 1;
constexpr int kDefaultSlave = 2;
constexpr int kDefaultCom = 2;

// Numbers the switches of the process, from 1.
std::atomic<int> g_nEchgCount{0};

bool IsPosition(int position)
{
    return position == 1 || position == 2;
}

} // namespace

CVideoDevEchg::CVideoDevEchg(const char *typeId) : CVideoAuxA(typeId)
{
    m_strChannel.Format("#LOG_DEV_PLAT%d", ++g_nEchgCount);
    m_pModeReader = std::make_unique<CLogReader>(&CVideoDevEchg::OnModeMessage, this, m_strChannel,
                                                 LOG_MODE_PATTERN);
}

CVideoDevEchg::~CVideoDevEchg()
{
    StopModeChannel();
}

void CVideoDevEchg::StopModeChannel()
{
    m_pModeReader.reset();
    StopSwitchOvers();
}

HRESULT CVideoDevEchg::QueryInterface(const GUID *iid, void **object)
{
    const bool ours = iid && IsEqualGUID(*iid, kIID);
    if (!object) return 0;
    *object = ours ? static_cast<IVideoDevEchg *>(this) : nullptr;
    return ours ? 1 : 0;
}

int32_t CVideoDevEchg::OnInitInstance()
{
    // Only the drivers pause; a negative Delay counts as none.
    m_nDelay = std::max(0, CResAccess(GetSettingInfo())["Delay"].GetAsInteger(m_nDelay));
    return 1;
}

int CVideoDevEchg::DevOpen()
{
    return 1;
}

int CVideoDevEchg::DevClose()
{
    StopSwitchOvers();
    return CVideoAuxA::DevClose();
}

int32_t CVideoDevEchg::DevSetMode(int mode)
{
    CSimplexStringMap properties;
    properties["Mode"].SetAsInteger(mode);
    glReportDbg(kDebugType, "DevSetMode");
    glReportLog(m_strChannel, properties.GetAsXmlProp('<'), "");
    return 1;
}

int CVideoDevEchg::OnModeMessage(const char *type, const char *text, const char *)
{
    // A stray text, or a message of no type or of a type that only ends the channel's name,
    // switches nothing.
    const std::optional<int> mode = sharebus::ReadMode(m_strChannel, type, text);
    if (!mode) return 0;
    glReportDbg(kDebugType, "Send Log for Share dev (echg)");
    QueueSwitchOver(*mode);
    return 1;
}

void CVideoDevEchg::QueueSwitchOver(int mode)
{
    std::unique_lock<std::mutex> lk(m_switchLock);
    if (m_bStopping) return; // dropped with the queued ones
    m_modes.push_back(mode);
    if (m_bSwitching) return;
    m_switchThread = plat::Thread::Start([this] { return RunSwitchOvers(); });
    if (m_switchThread.Valid()) {
        m_bSwitching = true;
        return;
    }
    // Without a thread of its own the switch-over runs here, as late as it must.
    m_modes.pop_back();
    lk.unlock();
    OnSetMode(mode);
}

uint32_t CVideoDevEchg::RunSwitchOvers()
{
    for (;;) {
        int mode = 0;
        {
            std::lock_guard<std::mutex> lk(m_switchLock);
            if (m_modes.empty() || m_bStopping) {
                m_bSwitching = false;
                return 0;
            }
            mode = m_modes.front();
            m_modes.pop_front();
        }
        OnSetMode(mode);
    }
}

void CVideoDevEchg::StopSwitchOvers()
{
    plat::Thread thread;
    std::shared_ptr<CSerialEchg> port;
    {
        std::lock_guard<std::mutex> lk(m_switchLock);
        m_bStopping = true;
        m_modes.clear();
        thread = m_switchThread;
        port = m_pSwitchPort;
    }
    m_evStop.Set();
    if (port) port->DevClose(); // wakes a reply wait
    thread.StopWithin(kSwitchOverStopMs, 0);
    std::lock_guard<std::mutex> lk(m_switchLock);
    m_switchThread.Close();
    // A thread given up leaves m_bSwitching set: it goes on with what comes later.
    m_bStopping = false;
    m_evStop.Reset();
}

void CVideoDevEchg::RememberMode(int mode)
{
    m_nMode = mode;
    m_dwModeTick = plat::GetTickCount();
}

void CVideoDevEchg::PostShareBus(int mode)
{
    glReportLog(sharebus::kShareBus, mode == 1 ? "<Virtual = \"FALSE\">" : "<Virtual = \"TRUE\">",
                "");
}

void CVideoDevEchg::PauseDelay()
{
    m_evStop.Wait(static_cast<uint32_t>(m_nDelay.load()));
}

int CVideoDevEchg::OnSetMode(int mode)
{
    RememberMode(mode);
    PostShareBus(mode);
    return 1;
}

int CVideoDevEchg::SwitchOver(int mode, const std::shared_ptr<CSerialEchg> &port)
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        RememberMode(mode);
        CResAccess setting(GetSettingInfo());
        CStringArray switches;
        setting["Dev"].GetAsStringArray(switches);
        const int master = setting["Master"].GetAsInteger(kDefaultMaster);
        const int slave = setting["Slave"].GetAsInteger(kDefaultSlave);
        const bool enable = setting["Enable"].GetAsBool(true);
        for (const CString &name : switches) {
            if (name.IsEmpty()) continue;
            CSimplexStringMap own;
            own.SetAsXmlProp(setting[name].GetAsString());
            const int ownMaster = own["Master"].GetAsInteger(master);
            const int ownSlave = own["Slave"].GetAsInteger(slave);
            if (!own["enable"].GetAsBool(enable) || !IsPosition(ownMaster) || !IsPosition(ownSlave))
                continue;
            {
                // A stop either finds the port open and closes it, or comes first.
                std::lock_guard<std::mutex> sl(m_switchLock);
                if (m_bStopping) break;
                m_pSwitchPort = port;
                port->Reopen(own["COM"], kDefaultCom);
            }
            port->DevSwitch(mode == 1 ? ownMaster : ownSlave);
        }
        {
            std::lock_guard<std::mutex> sl(m_switchLock);
            m_pSwitchPort.reset();
        }
        // The port is given back before the announcement, so whoever acts on it finds the
        // port free; the main chain is announced only once the switch has had time to settle.
        port->DevClose();
        if (mode == 1) PauseDelay();
        PostShareBus(mode);
    }
    return 0;
}

CVideoDevEchg_422::CVideoDevEchg_422() : CVideoDevEchg("LVAUX_ECHG_422") {}

CVideoDevEchg_422::~CVideoDevEchg_422()
{
    StopModeChannel();
}

int CVideoDevEchg_422::OnSetMode(int mode)
{
    return SwitchOver<CSerialEchg422>(mode);
}

CVideoDevEchg_485::CVideoDevEchg_485() : CVideoDevEchg("LVAUX_ECHG_485") {}

CVideoDevEchg_485::~CVideoDevEchg_485()
{
    StopModeChannel();
}

int CVideoDevEchg_485::OnSetMode(int mode)
{
    return SwitchOver<CSerialEchg485>(mode);
}

CVideoDevEchg_NPort::CVideoDevEchg_NPort() : CVideoDevEchg("LVAUX_ECHG_NPORT") {}

CVideoDevEchg_NPort::~CVideoDevEchg_NPort()
{
    StopModeChannel();
}

int CVideoDevEchg_NPort::OnSetMode(int mode)
{
    RememberMode(mode);
    if (mode == 1) PauseDelay();
    PostShareBus(mode);
    return 0;
}
