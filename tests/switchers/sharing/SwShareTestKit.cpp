#include "SwShareTestKit.h"

IMPLEMENT_KEST_CLASS(CShareTestSwitch, CVideoSwitchA)

namespace swsharetest {

Entries BaseEntries(CVideoSwitchA &sw, int channel)
{
    Entries e;
    sw.CVideoSwitchA::DevQueryPstEntry(channel, e.pst);
    sw.CVideoSwitchA::DevQueryPgmEntry(channel, e.pgm);
    return e;
}

} // namespace swsharetest

bool CShareTestSwitch::Start(const std::string &name)
{
    return InitInstance(("/etc/tvx/" + name).c_str(), name.c_str()) == 1 && ActiveInstance() == 1;
}

int CShareTestSwitch::DevOpen()
{
    ++opens;
    isOpen = !failOpen;
    return isOpen ? 1 : 0;
}

int CShareTestSwitch::DevClose()
{
    ++closes;
    isOpen = false;
    return 1;
}

int CShareTestSwitch::DevTest(const char *)
{
    if (testFailures <= 0) return 1;
    --testFailures;
    SetDevStatus(DEVSTATUS_RUN_FAILED, "member down");
    return 0;
}

int CShareTestSwitch::DevDirectTake(int channel, int entry)
{
    return Took([&] { return CVideoSwitchA::DevDirectTake(channel, entry); });
}

int CShareTestSwitch::DevTake(int channel)
{
    return Took([&] { return CVideoSwitchA::DevTake(channel); });
}

int CShareTestSwitch::DevPreset(int channel, int entry)
{
    return Took([&] { return CVideoSwitchA::DevPreset(channel, entry); });
}
