#include "devext/device/CSerialEmulator.h"

#include "devext/device/CSerial_Virtual.h"

IMPLEMENT_KEST_CLASS(CSerialEmulator, CDeviceA)

int CSerialEmulator::OnRecvData(const unsigned char *data, int length)
{
    SendData(data, length);
    return 1;
}

int CSerialEmulator::SendData(const unsigned char *data, int length)
{
    const int port = m_nPort;
    CSerialDevA *line = CSerialDevA::GetByPort(port);
    if (!line || !line->IsKindOf(CSerial_Virtual::GetClassID())) return 0;
    pointer_t bytes{data, length};
    return line->DoDevInt(port, bytes);
}

CSerialEmulator *CSerialEmulator::GetByPort(int port)
{
    iRtc *rtc = GetClassID();
    for (int32_t i = 0;; ++i) {
        void *instance = rtc->GetInstance(i);
        if (!instance) return nullptr;
        auto *emulator = static_cast<CSerialEmulator *>(static_cast<IClassA *>(instance));
        if (emulator->m_bActive && emulator->m_nPort == port) return emulator;
    }
}
