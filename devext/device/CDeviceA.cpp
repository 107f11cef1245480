#include "devext/device/CDeviceA.h"

#include "Kest20/InstanceRegistry.h"
#include "platform/Gbk.h"
#include "platform/Process.h"

#include <atomic>
#include <cstring>

IMPLEMENT_KEST_CLASS(CDeviceA, CClassA)

namespace {

constexpr const char *kDescription = "所有设备的父类";
constexpr const char *kSettingRoots[] = {"/etc/dev/", "/etc/tvx/dev/", "/etc/system/dev/",
                                         "/etc/tvx/"};

std::atomic<CDeviceA::CallEnder> g_pfnCallEnder{nullptr};

CDeviceA *AsDevice(void *instance)
{
    return static_cast<CDeviceA *>(static_cast<IClassA *>(instance));
}

// Every live device, in the instance order of the device record.
template <class Visit> CDeviceA *FirstDevice(Visit visit)
{
    iRtc *rtc = CDeviceA::GetClassID();
    for (int32_t i = 0;; ++i) {
        void *instance = rtc->GetInstance(i);
        if (!instance) return nullptr;
        if (visit(AsDevice(instance))) return AsDevice(instance);
    }
}

} // namespace

CDeviceA::CDeviceA(const char *typeId) : m_strTypeID(typeId), m_strDescription(kDescription) {}

CDeviceA::CDeviceA(const CDeviceA &other)
    : CClassA(other), m_strTypeID(other.m_strTypeID), m_strDescription(other.m_strDescription)
{
    std::lock_guard<std::mutex> lk(other.m_fieldLock);
    m_strDevName = other.m_strDevName;
    m_DevStatus = other.m_DevStatus;
    m_pfnDevInt = other.m_pfnDevInt;
}

CDeviceA &CDeviceA::operator=(const CDeviceA &other)
{
    if (this == &other) return *this;
    CClassA::operator=(other);
    m_strTypeID = other.m_strTypeID;
    m_strDescription = other.m_strDescription;
    std::scoped_lock lk(m_fieldLock, other.m_fieldLock);
    m_strDevName = other.m_strDevName;
    m_DevStatus = other.m_DevStatus;
    m_pfnDevInt = other.m_pfnDevInt;
    return *this;
}

CDeviceA::~CDeviceA()
{
    DeactiveInstance(1);
}

int32_t CDeviceA::OnActiveInstance()
{
    return DevOpen();
}

int32_t CDeviceA::OnDeactiveInstance()
{
    return DevClose();
}

void CDeviceA::SetCallEnder(CallEnder ender)
{
    g_pfnCallEnder = ender;
}

bool CDeviceA::EndBeforeDelete()
{
    if (const CallEnder ender = g_pfnCallEnder.load()) return ender(this);
    DeactiveInstance(1);
    return true;
}

int CDeviceA::DevClose()
{
    return 0;
}

int CDeviceA::DevOpen()
{
    return 0;
}

int CDeviceA::DevIsOpen()
{
    return 0;
}

int CDeviceA::DevTest(const char *)
{
    return 1;
}

int CDeviceA::GetEmbenddedDev(CStringArray &names)
{
    names.RemoveAll();
    return 0;
}

int CDeviceA::OnDevModeChange(int, const char *)
{
    return 0;
}

int CDeviceA::IsThisType(const char *type) const
{
    if (!type) return 0;
    return std::strncmp(m_strTypeID, type, std::strlen(type)) == 0 ? 1 : 0;
}

int CDeviceA::DoDevInt(int code, pointer_t &data)
{
    DevIntHandler handler;
    {
        std::lock_guard<std::mutex> lk(m_fieldLock);
        handler = m_pfnDevInt;
    }
    return handler ? handler(code, data) : 0;
}

CString CDeviceA::GetDevName() const
{
    std::lock_guard<std::mutex> lk(m_fieldLock);
    return m_strDevName;
}

void CDeviceA::SetDevName(const char *name)
{
    std::lock_guard<std::mutex> lk(m_fieldLock);
    m_strDevName = name;
}

tagDevStatus CDeviceA::GetDevStatus() const
{
    std::lock_guard<std::mutex> lk(m_fieldLock);
    return m_DevStatus;
}

int CDeviceA::SetDevStatus(int32_t code, const char *text)
{
    std::lock_guard<std::mutex> lk(m_fieldLock);
    return m_DevStatus.SetStatus(code, text);
}

CDeviceA *CDeviceA::FindByDevName(const char *name, iRtc *rtc)
{
    if (!name) return nullptr;
    CClassA *object = glGetInstanceByName(GetClassID(), name);
    if (!object || !object->IsKindOf(rtc)) return nullptr;
    return static_cast<CDeviceA *>(object);
}

CDeviceA *CDeviceA::FindByDevProp(const char *name)
{
    if (!name) return nullptr;
    return FirstDevice(
        [name](CDeviceA *device) { return device->GetDevName().CompareNoCase(name) == 0; });
}

int CDeviceA::GetDeviceList(CArray<CDeviceA *, CDeviceA *> &list, const char *type)
{
    list.RemoveAll();
    FirstDevice([&](CDeviceA *device) {
        if (!type || device->IsThisType(type)) list.Add(device);
        return false;
    });
    return list.GetSize();
}

int CDeviceA::GetDevSetting(const char *name, iRtc *rtc, CString &setting)
{
    CStringArray roots;
    for (const char *root : kSettingRoots) roots.Add(root);
    return glFindObjectInResource(setting, name, rtc, roots);
}

namespace {

// The device's own status after its open failed; a driver that left it normal gets the code
// of a failed run, so the failure does not read as success.
tagDevStatus FailedOpenStatus(const CDeviceA &device)
{
    tagDevStatus status = device.GetDevStatus();
    if (status.nCode == DEVSTATUS_NORMAL) status.SetStatus(DEVSTATUS_RUN_FAILED);
    return status;
}

} // namespace

CDeviceA *CDeviceA::OpenDev(const char *name, iRtc *rtc, tagDevStatus *status)
{
    if (!name) return nullptr;
    tagDevStatus local;
    tagDevStatus &result = status ? *status : local;
    result.SetStatus(DEVSTATUS_NORMAL);

    if (CDeviceA *device = FindByDevName(name, GetClassID())) {
        if (!device->IsKindOf(rtc)) {
            result.SetStatus(DEVSTATUS_NAME_CONFLICT);
            return nullptr;
        }
        if (device->ActiveInstance()) return device;
        result = FailedOpenStatus(*device);
        return nullptr;
    }

    CString setting;
    if (!GetDevSetting(name, rtc, setting)) {
        result.SetStatus(DEVSTATUS_BAD_SETTING);
        return nullptr;
    }
    CClassA *object = glCreateComponent(name, setting, rtc, 0);
    if (!object) {
        result.SetStatus(DEVSTATUS_BAD_SETTING, "Dev Create failed");
        return nullptr;
    }
    if (object->ActiveInstance()) return static_cast<CDeviceA *>(object);
    // The device stays registered: the next OpenDev of the name finds it and tries again.
    if (CDeviceA *device = FindByDevName(name, rtc)) result = FailedOpenStatus(*device);
    return nullptr;
}

namespace {
thread_local char t_lastDevError[CDeviceA::kLastErrorSize];
}

void CDeviceA::SetLastDevError(int code, const char *text)
{
    plat::SetLastError(static_cast<uint32_t>(code));
    if (!text) text = tagDevStatus::GetStockText(code);
    if (!text) text = "";
    const size_t length = plat::GbkCutLength(text, kLastErrorSize - 1);
    std::memcpy(t_lastDevError, text, length);
    t_lastDevError[length] = '\0';
}

const char *CDeviceA::GetLastDevErrorMsg()
{
    t_lastDevError[kLastErrorSize - 1] = '\0';
    return t_lastDevError;
}

int CDeviceA::GetLastDevErrorCode()
{
    return static_cast<int>(plat::GetLastError());
}
