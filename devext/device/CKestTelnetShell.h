// The telnet administration shell's connection: a TCP session whose input is decoded as a
// telnet client's (options go to OnTelnetCommand) and read as echoed lines.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CRecvBuffer.h"
#include "devext/device/CTcpSession.h"

class DEVEXT20_API CKestTelnetShell : public CTcpSession {
public:
    // Room for raw input; when full with nothing decodable, what it holds is dropped.
    static constexpr int kRecvBufferSize = 4096;
    // Bytes received at a time while no character can be decoded.
    static constexpr int kRecvStep = 16;

    explicit CKestTelnetShell(SOCKET s);
    ~CKestTelnetShell() override;

    // The log-on and command loop; returns 0 at once for now.
    int DoShell() override;
    // A client's option command (WILL, WONT, DO, DONT with the option; NOP, BRK, IP, AO, AYT
    // or EL with 0). Does nothing here and returns 0.
    virtual int OnTelnetCommand(int command, int option);

    // The next character typed (EC as 247); 0 when the connection has ended.
    int ReadChar();
    // Reads and echoes one line of at most `max` characters into `buffer` (`max` + 1 bytes),
    // echoing `mask` in place of each character when it is not 0. 1 at CR or when `max`
    // characters are stored; 0 (socket closed) when the connection ends or an echo fails.
    int ReadLine(char *buffer, int max, char mask);

private:
    bool Echo(const char *bytes, int length);

    CRecvBuffer m_RecvBuffer{kRecvBufferSize};
};
