// The container of key task records that the key task units hand around, and the exported
// handle through which host programs make one. The array owns its records and keeps its table
// of record pointers NULL-terminated. It has no lock: its holder guards it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/KeySwitchTaskShared.h"
#include "drivers/tasks/tagVideoKeyTask.h"

#include <cstdint>

class IVideoKeyTaskArray {
public:
    // Reference counting: the array goes with its last reference. Both return the new count.
    virtual uint32_t Release() = 0;
    virtual uint32_t AddRef() = 0;

    // The NULL-terminated table of record pointers. Pointers from GetData, GetPtrAt and Find
    // stay valid until the array next changes.
    virtual tagVideoKeyTask **GetData() = 0;
    virtual int32_t GetCount() = 0;
    // New entries are default records; records beyond `count` are deleted. 1.
    virtual int32_t SetSize(int32_t count) = 0;
    // 1 and a copy; 0 and `task` untouched for an index outside 0..count-1.
    virtual int32_t GetAt(int32_t index, tagVideoKeyTask &task) = 0;
    // The record itself; outside the range an empty record of the array's own.
    virtual tagVideoKeyTask *GetPtrAt(int32_t index) = 0;
    // Copies the record into `index`; 0 and nothing changed out of range.
    virtual int32_t SetAt(int32_t index, const tagVideoKeyTask &task) = 0;
    // The last record with that id, or NULL / -1.
    virtual tagVideoKeyTask *Find(int32_t id) = 0;
    virtual int32_t IndexOf(int32_t id) = 0;
    // Appends a copy; its index.
    virtual int32_t Add(const tagVideoKeyTask &task) = 0;
    // A copy before `index` (held to 0..count). 1.
    virtual int32_t InsertAt(int32_t index, const tagVideoKeyTask &task) = 0;
    // Deletes up to n records from `index` on; a bad index or n <= 0 changes nothing. 1.
    virtual int32_t RemoveAt(int32_t index, int32_t n) = 0;
    virtual int32_t RemoveAll() = 0;

protected:
    ~IVideoKeyTaskArray() = default;
};

// A new empty array with one reference.
KSOVRA20_API IVideoKeyTaskArray *CreateVideoKeyTaskArray();

// Handle of one array: creates an empty one; copies share it.
class KSOVRA20_API CVideoKeyTaskArray : public CVideoTaskPtr<IVideoKeyTaskArray> {
public:
    CVideoKeyTaskArray();
};
