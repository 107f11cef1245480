#include "Kest20/DistributedSystemApi.h"

#include "KestLib20/ActivePtr.h"

IDSKernel **DistributedSystemSlot()
{
    static IDSKernel **slot = reinterpret_cast<IDSKernel **>(glAllocActivePtr(1));
    return slot;
}

IDSKernel *glGetDistributedSystemCore()
{
    static IDSKernel **slot = DistributedSystemSlot();
    return slot ? *slot : nullptr;
}
