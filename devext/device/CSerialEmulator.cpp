#include "devext/device/CSerialEmulator.h"

#include "devext/device/CSerialIOHeld.h"
#include "devext/device/CSerial_Virtual.h"

IMPLEMENT_KEST_CLASS(CSerialEmulator, CDeviceA)

namespace {

// Every emulator, for GetByPort. Never destroyed, as the lists of ports.
CSerialHeldList &Emulators()
{
    static auto *list = new CSerialHeldList;
    return *list;
}

} // namespace

CSerialEmulator::CSerialEmulator()
{
    Emulators().Add(this);
}

CSerialEmulator::~CSerialEmulator()
{
    Retire();
}

void CSerialEmulator::Retire()
{
    Emulators().Withdraw(this, nullptr);
}

int CSerialEmulator::OnRecvData(const unsigned char *data, int length)
{
    SendData(data, length);
    return 1;
}

int CSerialEmulator::SendData(const unsigned char *data, int length)
{
    const int port = m_nPort;
    // Held through the delivery: the port's close waits for it.
    const std::shared_ptr<CSerialDevA> line = CSerialDevA::GetByPort(port);
    if (!line || !line->IsKindOf(CSerial_Virtual::GetClassID())) return 0;
    pointer_t bytes{data, length};
    return line->HandOn(port, bytes);
}

std::shared_ptr<CSerialEmulator> CSerialEmulator::GetByPort(int port)
{
    return CSerialHeldList::As<CSerialEmulator>(Emulators().Find(
        [port](void *object) {
            auto *emulator = static_cast<CSerialEmulator *>(object);
            return emulator->m_bActive && emulator->m_nPort == port;
        },
        false));
}
