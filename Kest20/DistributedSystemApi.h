// The process's distributed-system kernel, published by the distributed-system object.
#pragma once

#include "Kest20/Kest20Api.h"
#include "KestLib20/IDSKernel.h"

// The kernel that the distributed-system object published; null when there is none (yet or
// any more).
KEST20_API IDSKernel *glGetDistributedSystemCore();

// The slot the distributed-system object hands to its kernel (CDSKernel's constructor), which
// sets it to itself and clears it when it goes. Lives as long as the process.
IDSKernel **DistributedSystemSlot();
