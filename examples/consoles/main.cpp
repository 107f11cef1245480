// A station program's administration consoles in small: the telnet shell and the HTTP shell,
// started from the settings file (consoles.CLSID beside the program) until Ctrl-C or SIGTERM.
//
//  - HTTP: naming "Net" in the start list makes the framework's network object listen on
//    "Http.Port" of its setting [Network] ("Http.Users" connections at once). The library
//    answers a request only through the handler records the program makes: here one, GET
//    /status. Every other request gets 204 "No content".
//  - Telnet: the library has the shell but no listener; the program serves a TCP port of its
//    own (here "Port" and "Users" of its setting [Telnet]) with a shell class that registers
//    the built-in commands and one of its own, STATUS. The log-on is the shell's fixed
//    account.
//
//     consoles
//
// Exit code 0 after a stop, 1 when a console could not start (its port is taken, or the
// settings leave it off).
#include "Kest20/CClock.h"
#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestApplication.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CKestTelnetShell.h"
#include "devext/device/CNet.h"
#include "devext/device/CTcpServer.h"
#include "devext/services/CHttpService.h"
#include "devext/services/CHttpShell.h"

#include <signal.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace {

// What both consoles report. The HTTP shell may be asked before the program has filled it
// in (its listener starts with the framework), so each field is atomic.
struct Station {
    std::atomic<int64_t> started{0};
    std::atomic<int> telnetPort{0};
    std::atomic<int> httpPort{0};

    long UpSeconds() const
    {
        int64_t now = 0;
        glGetTimeEx(&now);
        return static_cast<long>((now - started) / 10000000);
    }
};

Station g_station;

// GET /status: the station's state as XML.
int OnStatus(CHttpService *, CHttpShell *shell)
{
    CString text;
    text.Format("<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
                "<status program=\"consoles\" up=\"%ld\" telnet=\"%d\" http=\"%d\"/>",
                g_station.UpSeconds(), g_station.telnetPort.load(), g_station.httpPort.load());
    shell->SendXml(text);
    return 1;
}

// One telnet session: the built-in commands (QUIT, HELP, LOG, RES, CLASS, AUTOTASK) and STATUS.
class ConsoleShell : public CKestTelnetShell {
public:
    explicit ConsoleShell(SOCKET s) : CKestTelnetShell(s)
    {
        __RegisterKestFunc();
        RegisterFunc("STATUS", tagOnTelnetNotify::Of<&ConsoleShell::OnStatus>(this), this);
    }

    static CTcpSession *Make(void *, SOCKET s) { return new ConsoleShell(s); }

private:
    int OnStatus(CKestTelnetShell *shell)
    {
        shell->SendFormat("\r\nup %ld s; telnet on port %d, HTTP on port %d\r\n",
                          g_station.UpSeconds(), g_station.telnetPort.load(),
                          g_station.httpPort.load());
        return 1;
    }
};

CNet *NetworkObject()
{
    return dynamic_cast<CNet *>(glGetInstanceByName(CNet::GetClassID(), CNet::kInstanceName));
}

} // namespace

int main()
{
    // The signals that end the program are taken by sigwait below, on this thread only: every
    // thread the framework starts inherits the mask.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    int result = 1;
    {
        // Handler records are made before the listener starts and go after it has stopped.
        CHttpService status("/status", CHttpShell::GET, 1);
        status.SetContext(&g_station);
        status.SetHandler(&OnStatus);

        StartApplication("Net,DSystem");
        int64_t now = 0;
        glGetTimeEx(&now);
        g_station.started = now;
        CNet *net = NetworkObject();
        g_station.httpPort = net && net->IsHttpRunning() ? net->GetHttpPort() : 0;

        CResAccess telnet("/etc/tvx/Telnet");
        CTcpServer server(telnet["Port"].GetAsInteger(0));
        server.SetUserCount(telnet["Users"].GetAsInteger(1));
        server.SetSessionFactory(&ConsoleShell::Make, nullptr);
        if (server.GetPort() > 0 && server.Start()) g_station.telnetPort = server.GetPort();

        if (!g_station.telnetPort)
            std::printf("consoles: the telnet shell could not start on port %d ([Telnet] Port)\n",
                        server.GetPort());
        if (!g_station.httpPort)
            std::printf("consoles: the HTTP shell could not start ([Network] Http.Port)\n");
        if (g_station.telnetPort && g_station.httpPort) {
            std::printf("consoles: telnet on port %d, HTTP on port %d (Ctrl-C ends)\n",
                        g_station.telnetPort.load(), g_station.httpPort.load());
            std::fflush(stdout);
            int which = 0;
            sigwait(&stop, &which);
            std::printf("consoles: stopping\n");
            result = 0;
        }
        server.Stop();
        CloseApplication(0);
    }
    return result;
}
