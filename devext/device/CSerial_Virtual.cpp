#include "devext/device/CSerial_Virtual.h"

IMPLEMENT_KEST_CLASS(CSerial_Virtual, CSerialDevA)

CSerial_Virtual::~CSerial_Virtual()
{
    Retire();
}

int CSerial_Virtual::DevIsOpen()
{
    return m_pEmulator.load() != nullptr ? 1 : 0;
}

int CSerial_Virtual::DevOpen()
{
    if (DevIsOpen()) return 1;
    const int port = m_Setting.nPort;
    const std::shared_ptr<CSerialDevA> holder = GetByPort(port);
    if (holder && holder.get() != this) return 0;
    const std::shared_ptr<CSerialEmulator> emulator = CSerialEmulator::GetByPort(port);
    if (!emulator) return 0;
    SetOpened();
    m_pEmulator = emulator.get();
    return 1;
}

int CSerial_Virtual::DevClose()
{
    if (m_pEmulator.exchange(nullptr)) SetClosed();
    return 1;
}

int CSerial_Virtual::DevWrite(const char *data, int length)
{
    if (!DevIsOpen()) return 0;
    // Looked up afresh: the emulator may have gone since the open.
    // Held through the write: the emulator's destruction waits for it.
    const std::shared_ptr<CSerialEmulator> emulator = CSerialEmulator::GetByPort(m_Setting.nPort);
    if (!emulator) {
        DevClose();
        return 0;
    }
    m_pEmulator = emulator.get();
    return emulator->OnRecvData(reinterpret_cast<const unsigned char *>(data), length);
}

int CSerial_Virtual::DevRead(char *, int &length)
{
    length = 0;
    return 0;
}
