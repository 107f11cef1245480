// Named pointers: process-wide slots (a pointer to a pointer) registered under a type text and
// a name, so that every module of the process reaches the same instance of a service. Each
// module keeps its own manager, published in service slot 1 of its module record; the gl
// functions visit the managers of every module in ring order.
#pragma once

#include <cstdint>

// The named-pointer manager of one module. Operations are serialised by its lock.
class IKestNamedPtr {
public:
    // Nonzero takes the manager's lock, 0 releases it; returns 1.
    virtual int32_t LockServer(int32_t lock) = 0;
    // The module service slot that publishes this manager.
    virtual IKestNamedPtr **GetActivePtr() = 0;
    // A new slot holding null, registered under type and name (null counts as empty).
    virtual void **NewNamedPtr(const char *type, const char *name) = 0;
    // Removes a slot (and its type when no slot of it is left); 1 when it was held.
    virtual int32_t DeleteNamedPtr(void **slot) = 0;
    // The type's main slot; null when none.
    virtual void **GetMainNamedPtr(const char *type) = 0;
    // Sets the type's main slot when this manager knows the type; 1 when set to a non-null
    // slot, else 0.
    virtual int32_t SetMainNamedPtr(const char *type, void **slot) = 0;
    virtual int32_t SetNamedPtrName(void **slot, const char *name) = 0;
    // Copies the slot's type and name (each cut to length - 1 and terminated; a null buffer
    // is skipped); 0 when the slot is not held here.
    virtual int32_t GetNamedPtrInfo(void **slot, char *type, char *name, int32_t length) = 0;
    virtual void **FindNamedPtr(const char *type, const char *name) = 0;
    // The type text at `index` of this manager's types, in registration order; 0 past the end.
    virtual int32_t EnumNamedPtrType(int32_t index, char *buffer, int32_t length) = 0;
    // Steps `*slot` to the type's next slot (the first when it holds null) and returns it;
    // null (and `*slot` null) after the last.
    virtual void **GetNextNamedPtr(const char *type, void ***slot) = 0;

    // The published slot of the next module's manager in ring order after `previous` (the
    // first from this module when null); null at the end of the ring.
    static IKestNamedPtr **FindMgr(IKestNamedPtr **previous);

protected:
    ~IKestNamedPtr() = default;
};

// A new slot with this module's manager (built on first use).
void **glNewNamedPtr(const char *type, const char *name);
// Removes the slot from this module's manager (0 when there is none or it does not hold the
// slot). A manager of another module that has the slot as its main slot forgets it.
int glDeleteNamedPtr(void **slot);
// Stores `value` in a slot of this module's manager under the manager's lock, where walkers
// read slots (IKestNamedPtr::LockServer): once it returns, no walker can still take the old
// value from the slot. 0 when the manager does not hold the slot (the value is stored all
// the same).
int glStoreNamedPtr(void **slot, void *value);
// The first slot of that type and name in ring order; null when none.
void **glGetNamedPtr(const char *type, const char *name);
// The first filled main slot of the type in ring order; null when none.
void **glGetMainNamedPtr(const char *type);
// Makes `slot` the type's main slot in every manager. An empty type is taken from the slot's
// own record; a type that is still empty gives 0, else 1.
int glSetMainNamedPtr(const char *type, void **slot);
// Renames the slot in the manager that holds it; 0 when none does.
int glSetNamedPtrName(void **slot, const char *name);
// The slot's type and name from the manager that holds it; 0 when none does.
int glGetNamedPtrInfo(void **slot, char *type, char *name, int length);
// Walks every slot of the type in every module: start with `*manager` and `*slot` null; each
// call returns the next slot (null at the end, with both reset to null).
void **glGetNextNamedPtr(const char *type, IKestNamedPtr **manager, void ***slot);
// Chooses one slot of the type for the whole process and makes it every manager's main slot:
// the first filled main slot in ring order, else the first slot holding a pointer. Null when
// the type has no such slot anywhere.
void **SmartSelectMainPtr(const char *type);

// The same operations under their ring-wide names.
inline void **SmartFindPtr(const char *type, const char *name)
{
    return glGetNamedPtr(type, name);
}
inline void **SmartGetMainPtr(const char *type)
{
    return glGetMainNamedPtr(type);
}
inline int SmartSetMainPtr(const char *type, void **slot)
{
    return glSetMainNamedPtr(type, slot);
}
