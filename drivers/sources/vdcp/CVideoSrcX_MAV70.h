// The MAV70 decoder channel as a play-out source of the process unit. It is the VDCP play-out
// source with these differences: each task step keeps its exchanges together under the port
// lock, a cue runs on past the task's end, a stop sends nothing, and the trace step corrects
// the recorded start of the task on air, stops the decoder just before the clip's end and
// stills a waiting trigger task on its first frame. Preview is the base source's.
#pragma once

#include "drivers/sources/vdcp/CVideoSrcX_VDCP.h"

#include "platform/Collections.h"

#include <functional>

class IVideoBroTaskTPU;

class CVideoSrcX_MAV70 : public CVideoSrcX_VDCP {
    DECLARE_KEST_CLASS(CVideoSrcX_MAV70)

    // A cue runs this far (frames) past the task's end when the clip is long enough.
    static constexpr int32_t kCueOverrunFrames = 500;

    CVideoSrcX_MAV70();
    ~CVideoSrcX_MAV70() override;

    // The cue steps under the port lock, held 300 ms after the step; the trigger cue step
    // answers 0 whatever it did.
    int32_t CueTriggerTask(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    int32_t CueTimeTask(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    // Stops the decoder and waits (up to 3 s) until it neither plays nor reports stopped;
    // the ms waited, 0 when the stop failed.
    int32_t DevTaskPause(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    // Under the port lock: start-time check of the task on air, cue to end, cue to first.
    int32_t DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t reserved) override;

    // The cue covers DUR + 500 frames, or the rest of the clip when that is less.
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *callback) override;
    // 1: the decoder is stopped by the trace step, not by the stop thread.
    int DevStop() override;

    int PreviewCue(const char *clip, int32_t som, int32_t dur, int32_t position) override;
    int PreviewGoto(int32_t frame) override;
    int PreviewJog(int32_t frames) override;
    int PreviewPlay(double speed, void *stop) override;
    int PreviewStill() override;
    int PreviewStop() override;
    int PreviewGetPosition(int32_t *frames) override;

protected:
    // The start steps run under the port lock, held 300 ms after the step.
    int32_t RunPlayStep(const std::function<int32_t()> &step) override;
    // A task cued to its first frame is continued, any other played.
    int32_t StartTriggered(IVideoBroTaskTPU &tpu, const tagVideoBroTask &pst,
                           const char *&what) override;
    // "Play (OK|failed, time=...)".
    void LogPlay(int played, const CString &when) override;

private:
    // Runs `step` under the port lock of the route (or the own port object while there is
    // none) and holds the lock 300 ms after it.
    template <class Step> int32_t Locked(Step step);
    // Moves the start of the task on air to where the decoder's position puts it.
    void VerifyStartTime(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pgm);
    // Stops the decoder just before the end of the task on air when nothing follows on it at
    // once; false when the process unit stopped meanwhile.
    bool CueToEnd(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pgm, const tagVideoBroTask *pst);
    // Cues a waiting trigger task and stills it on its first frame.
    void CueToFirst(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst);
    bool CueToFirstFrame(IVideoBroTaskTPU &tpu, const char *clip, int32_t som, int32_t dur,
                         CStringArray &steps);
};
