#include "drivers/tasks/CVideoPreviewControlImpl.h"

#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/CVideoPreviewTaskMgrImpl.h"

#include <cstring>

CVideoPreviewControl_Impl::CVideoPreviewControl_Impl(std::shared_ptr<CVideoPreviewTaskMgr_Impl> mgr,
                                                     int32_t previewId)
    : m_nPreviewID(previewId), m_pMgr(std::move(mgr))
{
}

int32_t CVideoPreviewControl_Impl::Release()
{
    delete this;
    return 1;
}

int32_t CVideoPreviewControl_Impl::Jog(int32_t speed)
{
    return Send(PREVIEW_CMD_JOG, 0, speed);
}

int32_t CVideoPreviewControl_Impl::Still()
{
    return Send(PREVIEW_CMD_STILL);
}

int32_t CVideoPreviewControl_Impl::PlaySpeed(double speed)
{
    uint64_t bits;
    std::memcpy(&bits, &speed, sizeof bits);
    return Send(PREVIEW_CMD_PLAY_SPEED, static_cast<int32_t>(static_cast<uint32_t>(bits)),
                static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)));
}

int32_t CVideoPreviewControl_Impl::Play()
{
    return Send(PREVIEW_CMD_PLAY);
}

int32_t CVideoPreviewControl_Impl::GetClipSize(const char *devId, const char *clipId, int32_t &size)
{
    if (!Manager()) return 0;
    CVideoSrcA *source = PreviewVideoSrc(devId, false);
    timecode_t length;
    if (!source || !source->DevGetClipSize(clipId ? clipId : "", length)) return 0;
    size = length;
    return 1;
}

int32_t CVideoPreviewControl_Impl::PlayNormal()
{
    return Send(PREVIEW_CMD_PLAY_NORMAL);
}

int32_t CVideoPreviewControl_Impl::Eject()
{
    return Send(PREVIEW_CMD_EJECT);
}

int32_t CVideoPreviewControl_Impl::Stop()
{
    return Send(PREVIEW_CMD_STOP);
}

int32_t CVideoPreviewControl_Impl::Goto(int32_t frame)
{
    return Send(PREVIEW_CMD_GOTO, 0, frame);
}

int32_t CVideoPreviewControl_Impl::Close()
{
    return SendAndDetach(PREVIEW_CMD_CLOSE);
}

int32_t CVideoPreviewControl_Impl::CloseDevice()
{
    return SendAndDetach(PREVIEW_CMD_CLOSE_DEVICE);
}

std::shared_ptr<CVideoPreviewTaskMgr_Impl> CVideoPreviewControl_Impl::Manager()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_pMgr;
}

int32_t CVideoPreviewControl_Impl::Send(int32_t type, int32_t param1, int32_t param2)
{
    const auto mgr = Manager();
    return mgr ? mgr->QueueCommand(m_nPreviewID, type, param1, param2) : 0;
}

int32_t CVideoPreviewControl_Impl::SendAndDetach(int32_t type)
{
    std::shared_ptr<CVideoPreviewTaskMgr_Impl> mgr;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        mgr = std::move(m_pMgr);
    }
    return mgr ? mgr->QueueCommand(m_nPreviewID, type) : 0;
}
