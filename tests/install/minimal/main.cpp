// A control program in its least form: it starts the framework, which reads minimal.CLSID
// beside the program; loads the device list, the section [DevMgr] (the path /etc/tvx/DevMgr);
// opens the source LINE1, whose section [LINE1] names its class; and closes.
#include "Kest20/KestApplication.h"
#include "drivers/model/CVideoDevMgr.h"

#include <cstdio>

int main()
{
    StartApplication("");
    int result = 1;
    {
        CVideoDevMgr devices;
        tagDevStatus status;
        if (devices.Initlization("/etc/tvx/DevMgr") &&
            devices.GetVideoSrcDev("LINE1", 1, &status)) {
            std::printf("minimal: %d source(s), LINE1 open, status %d\n",
                        devices.GetVideoSrcCount(), status.nCode);
            result = 0;
        }
        devices.Finalization();
    }
    CloseApplication(0);
    std::puts(result == 0 ? "minimal: ok" : "minimal: LINE1 could not be had");
    return result;
}
