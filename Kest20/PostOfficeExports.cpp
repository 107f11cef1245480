#include "Kest20/PostOfficeApi.h"

#include "Kest20/CSystem.h"

// The application's post office: its slot reads null once the system object has gone.
IPostOffice *glGetPostOffice()
{
    static IPostOffice **slot = ApplicationSlot(&CSystem::GetPostOfficeSlot);
    return slot ? *slot : nullptr;
}

int32_t glSendMail(int32_t box, CPacket &packet)
{
    IPostOffice *office = glGetPostOffice();
    return office ? office->SendMail(box, packet) : 0;
}

int32_t glSendMail(const char *box, CPacket &packet)
{
    IPostOffice *office = glGetPostOffice();
    return office ? office->SendMail(box, packet) : 0;
}
