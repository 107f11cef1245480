#include "drivers/sources/vdcp/VdcpEngineRoute.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/CDeviceA.h"

namespace {
constexpr int32_t kShareDuplex = 4;
constexpr int32_t kShareShared = 3;
} // namespace

VdcpEngineRoute::VdcpEngineRoute(const char *commandSet, int32_t options)
    : m_pEngine(std::make_shared<CVDCP>())
{
    m_pEngine->SelectCommandSet(commandSet);
    m_pEngine->SetOptions(options);
}

VdcpEngineRoute::~VdcpEngineRoute()
{
    Close();
}

void VdcpEngineRoute::ReadSettings(const char *path)
{
    CResAccess setting(path);
    m_pEngine->ReadPortKey(path, "Com");
    m_nPort = m_pEngine->GetPortNumber();
    m_nDuplex = setting["Duplex"].GetAsInteger(m_nDuplex);
    m_pEngine->SetShareMode(m_nDuplex ? kShareDuplex : kShareShared);
}

std::shared_ptr<ISerialVDCP> VdcpEngineRoute::Get(int32_t *kind)
{
    std::shared_ptr<ISerialVDCP> engine;
    int32_t access = 0;
    if (!m_pEngine->GetSharedPort(engine, &access)) engine = nullptr;
    if (kind) *kind = access;
    return engine;
}

const char *VdcpEngineRoute::OpenOwn(ISerialVDCP &engine, int32_t channel)
{
    if (engine.IsOpen()) return nullptr;
    engine.SetPort(m_nPort, channel);
    if (!engine.Open()) return "VDCPOpen failed";
    if (!engine.OpenPort(channel, 0, nullptr)) return "Open Port failed";
    if (!engine.SelectPort(channel)) return "Select Port failed";
    int32_t status2 = 0;
    if (channel != 0 &&
        (!engine.GetStatus(nullptr, &status2, nullptr, 0, nullptr) || status2 != channel))
        return "Open Port Error";
    return nullptr;
}

void VdcpEngineRoute::Open(CDeviceA &device, int32_t channel)
{
    device.SetDevStatus(DEVSTATUS_NORMAL);
    int32_t kind = 0;
    const std::shared_ptr<ISerialVDCP> engine = Get(&kind);
    if (!engine) {
        device.SetDevStatus(DEVSTATUS_RUN_FAILED, "设备打开错误");
        return;
    }
    if (kind == kAccessShared) {
        // Another device's channel is selected on this port: usable only when it is ours.
        int32_t status2 = 0;
        const bool ours =
            engine->IsOpen() &&
            (channel == 0 ||
             (engine->GetStatus(nullptr, &status2, nullptr, 0, nullptr) && status2 == channel));
        if (!ours) device.SetDevStatus(DEVSTATUS_RUN_FAILED, "当前的端口不匹配");
        return;
    }
    if (const char *failure = OpenOwn(*engine, channel)) {
        device.SetDevStatus(DEVSTATUS_RUN_FAILED, failure);
        engine->Close();
    }
}

std::shared_ptr<ISerialVDCP> VdcpEngineRoute::OpenRoute(CDeviceA &device, int32_t channel)
{
    Open(device, channel);
    const std::shared_ptr<ISerialVDCP> engine = Get(nullptr);
    if (engine && engine->IsOpen()) return engine;
    device.SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
    return nullptr;
}

void VdcpEngineRoute::Close()
{
    if (m_pEngine->DevIsOpen()) m_pEngine->Close();
}
