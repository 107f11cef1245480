// A control program that uses the framework only: it starts it, logs one message and closes
// it. It calls nothing of the platform library directly, so it links only when the link line
// puts that library after the framework archive that needs it.
#include "Kest20/KestApplication.h"
#include "Kest20/KestLog.h"

#include <cstdio>

int main()
{
    StartApplication("Log");
    glReportLog("LOG_INFO", "minimal control program", "");
    CloseApplication(0);
    std::puts("minimal: ok");
    return 0;
}
