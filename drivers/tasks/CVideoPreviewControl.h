// Exported handle of a preview control: the operator's remote for one preview task of the
// manager registered under a name. Copies share the control, and the last one releases it.
// Without such a manager the control is detached from the start: every operation returns 0.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoPreviewTaskMgr.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoPreviewControl {
public:
    CVideoPreviewControl(int32_t previewId, const char *mgrName);
    CVideoPreviewControl(const CVideoPreviewControl &) = default;
    CVideoPreviewControl &operator=(const CVideoPreviewControl &) = default;
    ~CVideoPreviewControl() = default;

    // Never null.
    IVideoPreviewControl *operator->() const { return _Impl.get(); }

private:
    std::shared_ptr<IVideoPreviewControl> _Impl; // released by its last holder
};
