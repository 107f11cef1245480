#include "devext/device/CKestTelnetShell.h"

#include "devext/device/TelnetDecoder.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <climits>
#include <string_view>

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
    bool erase = false;
    return ReadInput(erase);
}

int CKestTelnetShell::ReadInput(bool &erase)
{
    for (;;) {
        while (!m_Typed.empty()) {
            const telnet::Item item = m_Typed.front();
            m_Typed.pop_front();
            if (item.kind == telnet::Item::Command) {
                AnswerEcho(item.value, item.option);
                OnTelnetCommand(item.value, item.option);
                continue;
            }
            erase = item.kind == telnet::Item::Erase;
            return item.value;
        }
        uint8_t bytes[kRecvStep];
        const int n = Socket().Recv(bytes, kRecvStep);
        if (n <= 0) {
            CloseSocket();
            return 0;
        }
        for (const telnet::Item &item : m_Input.Feed(bytes, static_cast<size_t>(n)))
            m_Typed.push_back(item);
    }
}

bool CKestTelnetShell::Echo(const char *bytes, int length)
{
    return m_echo == EchoState::Off || Socket().Send(bytes, length) == length;
}

void CKestTelnetShell::SendTelnetCommand(int command, int option)
{
    const char bytes[] = {static_cast<char>(telnet::IAC), static_cast<char>(command),
                          static_cast<char>(option)};
    Socket().Send(bytes, sizeof bytes);
}

void CKestTelnetShell::OfferEcho()
{
    if (m_echo != EchoState::NotOffered) return;
    m_echo = EchoState::Offered;
    // Echoing in the shell and going ahead without GA is what puts a client into
    // character-at-a-time mode with its own echo off.
    SendTelnetCommand(telnet::WILL, telnet::OPT_ECHO);
    SendTelnetCommand(telnet::WILL, telnet::OPT_SGA);
}

void CKestTelnetShell::AnswerEcho(int command, int option)
{
    if (option != telnet::OPT_ECHO) return;
    if (command == telnet::DO) {
        // The answer to the offer needs none; asked anew, the shell agrees.
        if (m_echo != EchoState::Offered && m_echo != EchoState::On)
            SendTelnetCommand(telnet::WILL, telnet::OPT_ECHO);
        m_echo = EchoState::On;
    } else if (command == telnet::DONT) {
        if (m_echo != EchoState::Offered && m_echo != EchoState::Off)
            SendTelnetCommand(telnet::WONT, telnet::OPT_ECHO);
        m_echo = EchoState::Off;
    }
}

namespace {

// The start of the last character of the `length` bytes at `line` (a GBK character is two).
int LastCharStart(const char *line, int length)
{
    const std::string_view text(line, static_cast<size_t>(length));
    size_t start = 0;
    for (size_t i = 0; i < text.size(); i += plat::GbkCharLength(text, i)) start = i;
    return static_cast<int>(start);
}

} // namespace

int CKestTelnetShell::ReadLine(char *buffer, int max, char mask)
{
    if (!buffer || max < 0) return 0;
    int length = 0;
    int over = 0; // bytes typed past `max`, neither stored nor echoed
    buffer[0] = 0;
    if (!IsConnected()) return 0;
    OfferEcho();
    for (;;) {
        bool erase = false;
        const int c = ReadInput(erase);
        bool ok = c != 0;
        if (c == '\r') {
            if (Echo("\r\n", 2)) {
                // The LF of a CR LF; what was typed after it is the next line.
                if (!m_Typed.empty() && m_Typed.front().kind == telnet::Item::Char &&
                    m_Typed.front().value == '\n')
                    m_Typed.pop_front();
                if (over == 0) return 1;
                buffer[0] = 0;
                return kLineTooLong;
            }
            ok = false;
        } else if (erase || c == '\b' || c == 0x7F) {
            if (over > 0) {
                --over; // takes back a byte that was never shown
            } else if (length > 0) {
                const int start = LastCharStart(buffer, length);
                // A two-byte character takes two columns on the client's screen.
                const bool wide = length - start == 2 && !mask;
                length = start;
                buffer[length] = 0;
                ok = wide ? Echo("\b\b  \b\b", 6) : Echo("\b \b", 3);
            }
        } else if (c >= 0x20 && c != 0x7F) {
            if (length == max) {
                if (over < INT_MAX) ++over;
            } else {
                buffer[length++] = static_cast<char>(c);
                buffer[length] = 0;
                const char shown = mask ? mask : static_cast<char>(c);
                ok = Echo(&shown, 1);
            }
        }
        if (!ok) {
            CloseSocket();
            return 0;
        }
    }
}
