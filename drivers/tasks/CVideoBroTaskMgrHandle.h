// The exported handle of a broadcast task manager of one variant (interface I), and the
// process-wide list of the live managers of that variant in order of creation. Copies of a
// handle share the manager; when the last one goes the manager stops its process unit and
// leaves the list.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoBroTaskMgr.h"

#include <cstdint>

template <class I> class KSOVRA20_API CVideoBroTaskMgrHandle {
public:
    CVideoBroTaskMgrHandle(const CVideoBroTaskMgrHandle &other);
    CVideoBroTaskMgrHandle &operator=(const CVideoBroTaskMgrHandle &other);
    ~CVideoBroTaskMgrHandle();

    I *operator->() const { return _Impl; }

    // The index-th live manager; null when the index is not below the count.
    static I *GetMgr(int32_t index);
    // Appends a manager that is not listed yet. 1.
    static int32_t RegisterMgr(I *mgr);
    // Removes it when listed. 1.
    static int32_t UnregisterMgr(I *mgr);

protected:
    // Takes over a new manager and lists it.
    explicit CVideoBroTaskMgrHandle(I *mgr);

private:
    I *_Impl;
};

extern template class CVideoBroTaskMgrHandle<IVideoBroTaskMgr1>;
extern template class CVideoBroTaskMgrHandle<IVideoBroTaskMgr3>;
