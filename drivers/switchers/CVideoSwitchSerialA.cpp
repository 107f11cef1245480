#include "drivers/switchers/CVideoSwitchSerialA.h"

#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"

#include <algorithm>

CVideoSwitchSerialA::CVideoSwitchSerialA(const char *typeId, const char *description, int sources,
                                         int channels)
    : CVideoSwitchA(typeId)
{
    m_strDescription = description;
    SetMatrix(sources, channels);
}

int CVideoSwitchSerialA::DevClose()
{
    return Serial().DevClose();
}

int CVideoSwitchSerialA::DevIsOpen()
{
    return Serial().DevIsOpen();
}

void CVideoSwitchSerialA::ReadPortKey(const char *key)
{
    Serial().ReadPortKey(GetSettingInfo(), key);
}

bool CVideoSwitchSerialA::Activate()
{
    return ActiveInstance() == 1;
}

int CVideoSwitchSerialA::ClampEntry(int entry) const
{
    return std::clamp(entry, 1, std::max(1, GetSources()));
}

int CVideoSwitchSerialA::OpenPlain()
{
    const int opened = Serial().DevOpen();
    SetDevStatus(opened ? DEVSTATUS_NORMAL : DEVSTATUS_COM_OPEN_FAILED);
    return opened;
}

void CVideoSwitchSerialA::LogCommand(const char *type, const char *operation, bool ok,
                                     const char *failedWord)
{
    glReportDbg(type, "(%8s) %s(%s)", GetInstanceName(), operation, ok ? "OK" : failedWord);
}

int CVideoSwitchSharedA::DevOpen()
{
    if (Serial().DevIsOpen()) return 1;
    const auto found = FindActivePort();
    if (!found) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    SetDevStatus(DEVSTATUS_NORMAL);
    return found->DevIsOpen();
}

int CVideoSwitchSharedA::DevClose()
{
    Serial().DevClose();
    return 1;
}

int CVideoSwitchSharedA::DevIsOpen()
{
    return Serial().DevIsOpen() || FindActivePort() ? 1 : 0;
}
