// The interface every framework object and device answers: its run-time class record, a
// validity test, self-deletion and its active-pointer slot. Run-time class records hand their
// objects around as IClassA addresses, whose IUnknown part lies at the same address.
#pragma once

#include "KestLib20/KestLibApi.h"
#include "KestLib20/KestRtc.h"
#include "platform/ComTypes.h"

#include <cstdint>

class KESTLIB_SHARED_TYPE IClassA : public IUnknown {
public:
    virtual iRtc *GetObjectRtc() = 0;
    virtual int32_t IsValid() = 0;
    // Deactivates and deletes the object through its record; 1 when done.
    virtual int32_t Suicide() = 0;
    // A slot holding the object's address while it lives (null afterwards).
    virtual IClassA **GetActivePtr() = 0;

    // True when the object's class is `rtc` or derives from it.
    bool IsKindOf(iRtc *rtc)
    {
        iRtc *own = GetObjectRtc();
        return own && own->IsKindOf(rtc);
    }

protected:
    ~IClassA() = default;
};
