// How the task engine reaches its devices: through the process's device manager, which creates
// and opens a device on first use.
#pragma once

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoSrcA.h"

// The device manager of the process; null when none lives.
inline CVideoDevMgr *TaskDevMgr()
{
    return __atomic_load_n(&CVideoDevMgr::m_pVideoDevMgr, __ATOMIC_SEQ_CST);
}

// The source of that id, created and opened when needed; null when there is none.
inline CVideoSrcA *TaskVideoSrc(const char *devId)
{
    CVideoDevMgr *devMgr = TaskDevMgr();
    return devMgr ? devMgr->GetVideoSrcDev(devId, 1, nullptr) : nullptr;
}
