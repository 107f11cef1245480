// A program that keeps text log files as a station's program does: it starts the log file
// component from the settings file named on its command line, reports the messages given
// after it, says "reported" on its standard output and then stays quiet until it is killed.
#include "Kest20/KestLog.h"
#include "KestLib20/CConfigFileAccessX.h"
#include "devext/services/CLog.h"

#include <unistd.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) return 2;
    CConfigFileAccessX settings(argv[1]);
    settings.Mount("/etc/tvx");
    CLog log;
    if (log.InitInstance(nullptr, nullptr) != 1) return 3;
    for (int i = 2; i < argc; ++i) glReportLog("LOG_AIR", argv[i], "writer");
    std::puts("reported");
    std::fflush(stdout);
    for (;;) pause();
}
