#include "devext/device/CSocketStartup.h"

#include <atomic>

namespace {
std::atomic<int> g_started{0};
}

int CSocketStartup::Start()
{
    g_started.store(1);
    return 1;
}

void CSocketStartup::Cleanup()
{
    g_started.store(0);
}

int CSocketStartup::IsStarted()
{
    return g_started.load();
}
