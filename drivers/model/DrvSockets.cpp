#include "drivers/model/DrvSockets.h"

int SendLines(CTcpSocket &socket, const NextLine &source)
{
    int total = 0;
    CString line;
    while (source(line)) {
        line += "\r\n";
        const int sent = socket.Send(line.GetString(), line.GetLength());
        if (sent < 0) return sent;
        total += sent;
    }
    return total;
}

int StopUdpListener(CUdpListener &listener)
{
    if (!listener.IsRunning()) return 0;
    listener.Stop();
    return 1;
}
