// The packet post office: mail boxes register under a numeric id and a short name, and a
// sender hands a packet to a box by id or by name. Ids 1 to 2047 are fixed ids chosen by a
// box's creator; 2048 to 65534 are handed out by the post office.
#pragma once

#include "KestLib20/CPacket.h"

#include <cstdint>

class IMailBoxA;

class IPostOffice {
public:
    static constexpr int32_t kLastFixedId = 2047;
    static constexpr int32_t kLastAutoId = 65534;

    // The slot that holds this post office (cleared when it goes).
    virtual IPostOffice **GetActivePtr() = 0;
    // Nonzero takes the post office lock, 0 releases it; returns 1.
    virtual int32_t LockServer(int32_t lock) = 0;
    // Tells every box to stop waiting, clears its marks, gives automatic ids back and forgets
    // all boxes; returns once no delivery to them is in progress (other than the caller's).
    virtual int32_t StopService() = 0;
    // The box's id (registering it when it is not yet); 0 when no id can be given.
    virtual int32_t Register(IMailBoxA *box) = 0;
    // Removes the box of that id and waits until no delivery to it is in progress (other
    // than the caller's); 1 when it was found.
    virtual int32_t Unregister(int32_t id) = 0;
    virtual IMailBoxA *GetByID(int32_t id) = 0;
    // Boxes in registration order.
    virtual IMailBoxA *GetAt(int32_t index) = 0;
    virtual int32_t GetCount() = 0;
    // Delivers to every box of that name (without case), the latest registered first; 1.
    virtual int32_t SendMail(const char *name, CPacket &packet) = 0;
    // Delivers to the box of that id: 0 when there is none or it is disabled, else the
    // box's result.
    virtual int32_t SendMail(int32_t id, CPacket &packet) = 0;
    // The ids of the boxes of that name, the latest registered first, up to the capacity
    // given in `*count`; `*count` and the result are the number written.
    virtual int32_t FindByName(const char *name, int32_t *ids, int32_t *count) = 0;

    // The box that FindByName finds first, or null.
    IMailBoxA *GetByName(const char *name);

protected:
    ~IPostOffice() = default;
};
