#include "drivers/tasks/CVideoPreviewTaskMgr.h"

#include "drivers/tasks/CVideoPreviewTaskMgrImpl.h"

CVideoPreviewTaskMgr::CVideoPreviewTaskMgr()
    : _Impl(CVideoPreviewTaskMgr_Impl::Create(), [](IVideoPreviewTaskMgr *mgr) { mgr->Release(); })
{
}
