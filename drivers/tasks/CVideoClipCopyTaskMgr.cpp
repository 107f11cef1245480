#include "drivers/tasks/CVideoClipCopyTaskMgr.h"

#include "drivers/tasks/BroTaskDevices.h"
#include "drivers/tasks/CVideoClipCopyTaskMgrImpl.h"

namespace {

// The handles share their own count: the manager's threads hold the manager too, and must not
// keep it from being shut down when the last handle goes.
std::shared_ptr<CVideoClipCopyTaskMgr_Impl> NewManager()
{
    auto mgr = std::make_shared<CVideoClipCopyTaskMgr_Impl>();
    return {mgr.get(), [mgr](CVideoClipCopyTaskMgr_Impl *) { mgr->ShutDown(); }};
}

} // namespace

CVideoClipCopyTaskMgr::CVideoClipCopyTaskMgr() : _Impl(NewManager()) {}

CVideoClipCopyTaskMgr::~CVideoClipCopyTaskMgr() = default;

CVideoClipCopyTaskMgr::CVideoClipCopyTaskMgr(const CVideoClipCopyTaskMgr &other) = default;

CVideoClipCopyTaskMgr &
CVideoClipCopyTaskMgr::operator=(const CVideoClipCopyTaskMgr &other) = default;

int CVideoClipCopyTaskMgr::Init(const char *setting)
{
    return _Impl->Init(setting);
}

int CVideoClipCopyTaskMgr::AddCopyTask(tagVideoClipCopyTask &task)
{
    return _Impl->AddCopyTask(task);
}

int CVideoClipCopyTaskMgr::RemoveCopyTask(CString src, CString dest, CString clip)
{
    return _Impl->RemoveCopyTask(src, dest, clip);
}

int CVideoClipCopyTaskMgr::IsActiveCopyTask(CString src, CString dest, CString clip)
{
    return _Impl->IsActiveCopyTask(src, dest, clip);
}

int CVideoClipCopyTaskMgr::GetTaskList(CDWordArray &ids, int)
{
    return _Impl->GetTaskList(ids);
}

int CVideoClipCopyTaskMgr::GetTaskAt(int id, tagVideoClipCopyTask &task)
{
    return _Impl->GetTaskAt(id, task);
}

int CVideoClipCopyTaskMgr::GetTaskCount()
{
    return _Impl->GetTaskCount();
}

int CVideoClipCopyTaskMgr::RemoveErrorTask()
{
    return _Impl->RemoveErrorTask();
}

int CVideoClipCopyTaskMgr::RemoveAllTask()
{
    return _Impl->RemoveAllTask();
}

int CVideoClipCopyTaskMgr::ShutDown()
{
    return _Impl->ShutDown();
}

int CVideoClipCopyTaskMgr::GetChannelLimit(const char *src, const char *dest)
{
    return _Impl->GetChannelLimit(src, dest);
}

int CVideoClipCopyTaskMgr::GetChannelLimit(int srcLocation, int destLocation)
{
    CVideoDevMgr *devMgr = TaskDevMgr();
    if (!devMgr) return GetChannelLimit("", "");
    return GetChannelLimit(devMgr->GetVideoStoreIDByLocation(srcLocation),
                           devMgr->GetVideoStoreIDByLocation(destLocation));
}

CString CVideoClipCopyTaskMgr::StatusToString(int status, int param)
{
    switch (status) {
    case 0:
    case 1:
        return "待复制";
    case 2:
        return "开始检查设备";
    case 3:
        return "检查设备结束";
    case 4:
        return "拷贝中(0%)";
    case 5:
        return "拷贝结束";
    case 6: {
        CString text;
        text.Format("拷贝中(%d%c)", param, '%');
        return text;
    }
    case 16:
        switch (param) {
        case 1:
            return "设备连接错误，请检查设备";
        case 2:
            return "不支持该中拷贝模式";
        case 4:
            return "源素材找不到，请检查";
        case 8:
            return "目标素材已经存在";
        case 16:
            return "拷贝错误";
        default:
            return "意外错误";
        }
    default:
        return "";
    }
}

CVideoClipCopyTaskMgr::RestartAction CVideoClipCopyTaskMgr::SetRestartAction(RestartAction action)
{
    return CVideoClipCopyTaskMgr_Impl::SetRestartAction(action);
}
