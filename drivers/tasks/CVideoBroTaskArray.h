// The container of broadcast task records that the task managers keep their lists in, and the
// exported handle through which host programs make one. The array owns its records and keeps
// its table of record pointers NULL-terminated. It has no lock: its holder guards it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/CVideoTaskPtr.h"
#include "drivers/tasks/tagVideoBroTask.h"

#include <cstdint>

class IVideoBroTaskArray {
public:
    // Reference counting: the array goes with its last reference. Both return the new count.
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

    // The NULL-terminated table of record pointers (a table holding only NULL when empty).
    // Pointers from GetData, GetPtrAt and Find stay valid until the array next changes.
    virtual tagVideoBroTask **GetData() = 0;
    virtual int32_t GetCount() = 0;
    // New entries are default records; records beyond `count` are deleted. 1.
    virtual int32_t SetSize(int32_t count) = 0;
    // 1 and a copy; 0 and `task` untouched for an index outside 0..count-1.
    virtual int32_t GetAt(int32_t index, tagVideoBroTask &task) = 0;
    // The record itself; outside the range a fresh default record of the array's own, valid
    // until the array's count next changes.
    virtual tagVideoBroTask *GetPtrAt(int32_t index) = 0;
    // Copies every field into the record at `index`; 0 and nothing changed out of range.
    virtual int32_t SetAt(int32_t index, const tagVideoBroTask &task) = 0;
    // The first record with that id (id 0 is never found), or NULL / -1.
    virtual tagVideoBroTask *Find(int32_t id) = 0;
    virtual int32_t IndexOf(int32_t id) = 0;
    // Appends a copy; its index.
    virtual int32_t Add(const tagVideoBroTask &task) = 0;
    // A copy before `index`; an index at or beyond the count appends. 1.
    virtual int32_t InsertAt(int32_t index, const tagVideoBroTask &task) = 0;
    // Deletes up to n records from `index` on; a bad index or n <= 0 changes nothing. 1.
    virtual int32_t RemoveAt(int32_t index, int32_t n) = 0;
    virtual int32_t RemoveAll() = 0;
    // Exchange sort by start: nonzero earliest first, 0 latest first. 0.
    virtual int32_t SortByStart(int32_t ascending) = 0;
    // 1 when found: type 1 sets param 1, type 2 param 2, type 3 adds the bits of `value` to
    // the flags; the word before goes to `old` (when given). Any other type: 0, nothing set.
    virtual int32_t SetParam(int32_t id, int32_t value, int32_t type, int32_t *old) = 0;
    // 1 when found: param 1, param 2 or the flags by type; 0 for any other type.
    virtual int32_t GetParam(int32_t id, int32_t type, int32_t &value) = 0;
    // 1 when found; the value before goes to `old` only when it was nonzero.
    virtual int32_t SetValue(int32_t id, int32_t value, int32_t *old) = 0;
    virtual int32_t GetValue(int32_t id, int32_t &value) = 0;
    // One line a record, "%08X; ID=%8s; Dev=%s; Time=%s; Op=%s;", written to a new file; the
    // write's result.
    virtual int32_t Dump(const char *path) = 0;

protected:
    ~IVideoBroTaskArray() = default;
};

// Handle of one array: creates an empty one; copies share it, the last handle (or other
// reference) to go releases it.
class KSOVRA20_API CVideoBroTaskArray : public CVideoTaskPtr<IVideoBroTaskArray> {
public:
    CVideoBroTaskArray();
};
