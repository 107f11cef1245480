#include "devext/device/CKestTelnetShell.h"

#include "devext/device/TelnetDecoder.h"

#include <algorithm>

// The session's thread may still run this shell's DoShell until the stop has waited for it.
CKestTelnetShell::~CKestTelnetShell()
{
    Stop();
}

int CKestTelnetShell::OnTelnetCommand(int, int)
{
    return 0;
}

int CKestTelnetShell::ReadChar()
{
    for (;;) {
        const telnet::Item item = telnet::Decode(m_RecvBuffer.Data(), m_RecvBuffer.Count());
        switch (item.kind) {
        case telnet::Item::Char:
            m_RecvBuffer.Remove(item.length);
            return item.value;
        case telnet::Item::Command:
            m_RecvBuffer.Remove(item.length);
            OnTelnetCommand(item.value, item.option);
            continue;
        case telnet::Item::Skip:
            m_RecvBuffer.Remove(item.length);
            continue;
        case telnet::Item::Discard:
            m_RecvBuffer.Clear();
            continue;
        case telnet::Item::NeedMore:
            break;
        }
        // An incomplete command that fills the whole buffer can never be completed.
        if (m_RecvBuffer.IsFull()) m_RecvBuffer.Clear();
        const int n = Socket().Recv(m_RecvBuffer.Tail(), std::min(kRecvStep, m_RecvBuffer.Free()));
        if (n <= 0) {
            CloseSocket();
            return 0;
        }
        m_RecvBuffer.Added(n);
    }
}

bool CKestTelnetShell::Echo(const char *bytes, int length)
{
    return Socket().Send(bytes, length) == length;
}

int CKestTelnetShell::ReadLine(char *buffer, int max, char mask)
{
    if (!buffer || max < 0) return 0;
    int length = 0;
    buffer[0] = 0;
    if (!IsConnected()) return 0;
    while (length < max) {
        const int c = ReadChar();
        bool ok = c != 0;
        if (c == '\r') {
            if (Echo("\r\n", 2)) {
                if (m_RecvBuffer.Count() > 0 && m_RecvBuffer.Data()[0] == '\n')
                    m_RecvBuffer.Clear();
                return 1;
            }
            ok = false;
        } else if (c == '\b' || c == telnet::EC) {
            if (length > 0) {
                buffer[--length] = 0;
                ok = Echo("\b \b", 3);
            }
        } else if (c >= 0x20 && c < 0x7F) {
            buffer[length++] = static_cast<char>(c);
            buffer[length] = 0;
            const char shown = mask ? mask : static_cast<char>(c);
            ok = Echo(&shown, 1);
        }
        if (!ok) {
            CloseSocket();
            return 0;
        }
    }
    return 1;
}
