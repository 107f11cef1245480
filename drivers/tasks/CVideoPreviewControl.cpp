#include "drivers/tasks/CVideoPreviewControl.h"

#include "drivers/tasks/CVideoPreviewControlImpl.h"
#include "drivers/tasks/PreviewTaskMgrRegistry.h"

namespace {

IVideoPreviewControl *ControlFor(int32_t previewId, const char *mgrName)
{
    IVideoPreviewControl *control = CreatePreviewControl(mgrName, previewId);
    return control ? control : new CVideoPreviewControl_Impl(nullptr, previewId);
}

} // namespace

CVideoPreviewControl::CVideoPreviewControl(int32_t previewId, const char *mgrName)
    : _Impl(ControlFor(previewId, mgrName),
            [](IVideoPreviewControl *control) { control->Release(); })
{
}
