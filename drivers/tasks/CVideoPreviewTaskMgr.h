// Exported handle of a preview manager. The constructor makes a new manager, registered as
// "Main"; copies of a handle share it, and the last one to go releases it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoPreviewTaskMgr.h"

#include <memory>

class KSOVRA20_API CVideoPreviewTaskMgr {
public:
    CVideoPreviewTaskMgr();
    CVideoPreviewTaskMgr(const CVideoPreviewTaskMgr &) = default;
    CVideoPreviewTaskMgr &operator=(const CVideoPreviewTaskMgr &) = default;
    ~CVideoPreviewTaskMgr() = default;

    IVideoPreviewTaskMgr *operator->() const { return _Impl.get(); }

private:
    std::shared_ptr<IVideoPreviewTaskMgr> _Impl; // released by its last holder
};
