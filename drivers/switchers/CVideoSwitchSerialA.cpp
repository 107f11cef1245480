#include "drivers/switchers/CVideoSwitchSerialA.h"

#include "Kest20/KestLog.h"
#include "drivers/switchers/SwitchEntries.h"
#include "drivers/switchers/SwitchLineOpen.h"

#include <algorithm>

CVideoSwitchSerialA::CVideoSwitchSerialA(const Options &options)
    : CVideoSwitchA(options.typeId), m_options(options)
{
    m_strDescription = options.description;
    SetMatrix(options.sources, options.channels);
}

int32_t CVideoSwitchSerialA::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    if (m_options.portKey) {
        if (m_options.portDefault >= 0) Serial().SetPortNumber(m_options.portDefault);
        Serial().ReadPortKey(GetSettingInfo(), m_options.portKey);
    }
    CResAccess setting(GetSettingInfo());
    return ReadKeys(setting);
}

int32_t CVideoSwitchSerialA::ReadKeys(CResAccess &)
{
    return 1;
}

int CVideoSwitchSerialA::DevOpen()
{
    CSerialSwitchIO &own = Serial();
    const auto check = [this] { return CheckDevice(); };
    switch (m_options.open) {
    case Open::Plain:
        return swline::OpenOwn(*this, own);
    case Open::Own:
        return swline::OpenLine(
            *this, own, [&] { return swline::OwnOpened(own); }, check);
    case Open::Shared:
        return swline::OpenLine(
            *this, own, [this] { return Share(); }, check);
    }
    return 0;
}

int CVideoSwitchSerialA::DevClose()
{
    Serial().DevClose();
    return 1;
}

int CVideoSwitchSerialA::DevIsOpen()
{
    if (Serial().DevIsOpen()) return 1;
    return m_options.isOpenShares && Share() ? 1 : 0;
}

int CVideoSwitchSerialA::Send(CSerialSwitchIO &, Command, int, int)
{
    return 0;
}

std::shared_ptr<CSerialSwitchIO> CVideoSwitchSerialA::Ready()
{
    // While virtual the hardware is left alone: not even the port opens again.
    if (InVirtualMode() || !Activate()) return nullptr;
    return m_options.open == Open::Shared ? Share() : swline::Unowned(Serial());
}

int CVideoSwitchSerialA::DevDirectTake(int channel, int entry)
{
    if (!TakesChannel(channel)) return 0;
    const auto port = Ready();
    if (!port) return 0;
    if (m_options.clampEntry) entry = ClampEntry(entry);
    const int ok = Send(*port, Command::Route, channel, entry)
                       ? CVideoSwitchA::DevDirectTake(channel, entry)
                       : 0;
    LogCommand("DirectTake", ok, "failed");
    return ok;
}

int CVideoSwitchSerialA::DevPreset(int channel, int entry)
{
    if (m_options.preset == Preset::Base) return CVideoSwitchA::DevPreset(channel, entry);
    const bool sent = m_options.preset == Preset::Sent;
    if (sent && !TakesChannel(channel)) return 0;
    const auto port = Ready();
    if (!port) return 0;
    if (m_options.clampEntry) entry = ClampEntry(entry);
    const int ok = !sent || Send(*port, Command::Preset, channel, entry)
                       ? CVideoSwitchA::DevPreset(channel, entry)
                       : 0;
    LogCommand("Preset", ok);
    return ok;
}

int CVideoSwitchSerialA::DevTake(int channel)
{
    const int output = TakeOutput(channel);
    if (!HasChannel(output) || !TakesChannel(output)) return 0;
    const auto port = Ready();
    if (!port) return 0;
    const int ok = Send(*port, Command::Take, output, PresetEntry(channel))
                       ? CVideoSwitchA::DevTake(output)
                       : 0;
    LogCommand("Take", ok);
    return ok;
}

bool CVideoSwitchSerialA::Activate()
{
    return ActiveInstance() == 1;
}

int CVideoSwitchSerialA::ClampEntry(int entry) const
{
    return std::clamp(entry, 1, std::max(1, GetSources()));
}

int CVideoSwitchSerialA::PresetEntry(int channel)
{
    return swentry::Preset(*this, channel);
}

void CVideoSwitchSerialA::LogCommand(const char *operation, bool ok, const char *failedWord)
{
    if (m_options.logType)
        glReportDbg(m_options.logType, "(%8s) %s(%s)", GetInstanceName(), operation,
                    ok ? "OK" : failedWord);
}
