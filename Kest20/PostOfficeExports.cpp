#include "Kest20/PostOfficeApi.h"

#include "KestLib20/CPostOffice.h"

namespace {

// The one place that decides which post office is the application's: for now a process
// post office built on first use and destroyed at exit (its slot then reads null).
IPostOffice **ApplicationPostOfficeSlot()
{
    static CPostOffice office;
    return office.GetActivePtr();
}

} // namespace

IPostOffice *glGetPostOffice()
{
    static IPostOffice **slot = ApplicationPostOfficeSlot();
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
