// The control behind the exported handle: queues the operator's commands for one preview id
// on its manager. Close and CloseDevice detach it; a control made without a manager is
// detached from the start. A detached control answers 0 to everything.
#pragma once

#include "drivers/tasks/IVideoPreviewTaskMgr.h"

#include <cstdint>
#include <memory>
#include <mutex>

class CVideoPreviewTaskMgr_Impl;

class CVideoPreviewControl_Impl final : public IVideoPreviewControl {
public:
    // A null manager makes a detached control.
    CVideoPreviewControl_Impl(std::shared_ptr<CVideoPreviewTaskMgr_Impl> mgr, int32_t previewId);
    CVideoPreviewControl_Impl(const CVideoPreviewControl_Impl &) = delete;
    CVideoPreviewControl_Impl &operator=(const CVideoPreviewControl_Impl &) = delete;

    int32_t Release() override;
    int32_t Jog(int32_t speed) override;
    int32_t Still() override;
    int32_t PlaySpeed(double speed) override;
    int32_t Play() override;
    int32_t GetClipSize(const char *devId, const char *clipId, int32_t &size) override;
    int32_t Reserved() override { return 0; }
    int32_t PlayNormal() override;
    int32_t Eject() override;
    int32_t Stop() override;
    int32_t Goto(int32_t frame) override;
    int32_t Close() override;
    int32_t CloseDevice() override;

private:
    ~CVideoPreviewControl_Impl() = default;

    std::shared_ptr<CVideoPreviewTaskMgr_Impl> Manager();
    int32_t Send(int32_t type, int32_t param1 = 0, int32_t param2 = 0);
    // Detaches the control, then sends the command through the manager it had.
    int32_t SendAndDetach(int32_t type);

    const int32_t m_nPreviewID;
    std::mutex m_lock; // guards the manager: Close may run while another thread sends
    std::shared_ptr<CVideoPreviewTaskMgr_Impl> m_pMgr;
};
