// The growable array of switcher task records that host programs hand to the switcher task
// management unit and get its tasks back in, and the exported handle that makes one. It has no
// lock: its holder guards it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/KeySwitchTaskShared.h"
#include "drivers/tasks/tagVideoSwitchTask.h"

#include <cstdint>

class IVideoSwitchTaskArray {
public:
    // Reference counting: the array goes with its last reference.
    virtual uint32_t Release() = 0;
    virtual uint32_t AddRef() = 0;
    virtual int32_t GetCount() = 0;
    // New records are initialised (all 0). 1.
    virtual int32_t SetSize(int32_t count) = 0;
    // Removes up to n records from `index` on; a bad index or n <= 0 changes nothing. 1.
    virtual int32_t RemoveAt(int32_t index, int32_t n) = 0;
    // Appends a copy; its index.
    virtual int32_t Add(const tagVideoSwitchTask &task) = 0;
    // The record itself, valid until it is removed; null out of range.
    virtual tagVideoSwitchTask *ElementAt(int32_t index) = 0;
    // Appends / replaces by copies of the other array's records. The new count.
    virtual int32_t Append(IVideoSwitchTaskArray *other) = 0;
    virtual int32_t Copy(IVideoSwitchTaskArray *other) = 0;

protected:
    ~IVideoSwitchTaskArray() = default;
};

// A new empty array with one reference.
KSOVRA20_API IVideoSwitchTaskArray *CreateVideoSwitchTaskArray();

// Handle of one array: creates an empty one; copies share it.
class KSOVRA20_API CVideoSwitchTaskArrayPtr : public CVideoTaskPtr<IVideoSwitchTaskArray> {
public:
    CVideoSwitchTaskArrayPtr();
};
