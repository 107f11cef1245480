// The published slot of an object: taken on first request from the slots that live as long as
// the process, set to the object, and cleared when the object goes, so that a holder of the
// slot finds null instead of a dangling pointer.
#pragma once

#include "KestLib20/ActivePtr.h"

template <class T> T **PublishSlot(T **&slot, T *object)
{
    if (!slot) {
        slot = reinterpret_cast<T **>(glAllocActivePtr(1));
        if (slot) *slot = object;
    }
    return slot;
}

template <class T> void WithdrawSlot(T **slot, const T *object)
{
    if (slot && *slot == object) *slot = nullptr;
}
