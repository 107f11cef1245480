// The task side that the play-out sources driven by the process unit share (the line source
// and the video-server decoder channels): a source that answers the broadcast-task process
// interface and brings the manager's preset through device check, clip check and cue, and
// starts it at its time or when the operator takes it. The device commands are the source's
// own (CVideoSrcA's slots), so a driver overrides only those and, where its device needs it,
// the pause and trace answers.
#pragma once

#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "drivers/tasks/tagVideoBroTask.h"
#include "platform/String.h"

#include <cstdint>
#include <functional>

class IVideoBroTaskTPU;

class CVideoSrcX : public CVideoSrcA, public IVideoBroTaskProcess {
public:
    // How far ahead of its start (s) a task is due for device check, clip check and cue.
    struct tagCueLeadTime {
        int32_t nDevCheck;
        int32_t nClipCheck;
        int32_t nCue;
    };
    static constexpr int32_t kAlwaysDue = 268435455;

    // Answers the broadcast-task process interface; every other id goes to the component.
    HRESULT QueryInterface(const GUID *iid, void **object) override;

    // The preset, when it names this source: param 2 takes the tick of this attempt, then the
    // cue steps of its start type.
    int32_t DevTaskCue(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    // The preset, when it names this source, started by its start type.
    int32_t DevTaskPlay(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    // 1; the process unit reports the stop itself.
    int32_t DevTaskStop(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    // 1, nothing done.
    int32_t DevTaskPause(IVideoBroTaskMgr *mgr, int32_t reserved) override;
    int32_t DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t reserved) override;

    // The cue steps with the trigger / timed lead times.
    virtual int32_t CueTriggerTask(IVideoBroTaskMgr *mgr, int32_t reserved);
    virtual int32_t CueTimeTask(IVideoBroTaskMgr *mgr, int32_t reserved);
    // Waits (up to 5 hours) for the operator's take on unit 2 and plays at once; a hold or no
    // take plays nothing.
    virtual int32_t PlayTrigger(IVideoBroTaskMgr *mgr, int32_t reserved);
    // A timed start no more than 15 s ahead: waits on unit 2 until just before the start and
    // plays at the start; a take plays at once, a hold plays nothing.
    virtual int32_t Play(IVideoBroTaskMgr *mgr, int32_t reserved);

protected:
    // What the device says of a clip in the clip check.
    enum class ClipAnswer {
        Present,
        Absent,   // the device said it does not have it
        NoAnswer, // the line failed or the device refused the question
    };

    explicit CVideoSrcX(const char *typeId);

    // Base: the clip is present when DevGetClipSize gives it a size.
    virtual ClipAnswer AskClip(const char *clip, timecode_t &size);
    // Whether a step goes on after a blocking call: its unit was not asked to stop (its
    // manager released) and the preset is still task `id`.
    static bool StillDue(IVideoBroTaskMgr &mgr, int32_t id);

    // Device check (statuses 3, 4), clip check (6, 7) and cue (9, 10) of the preset, each when
    // due by `lead`; the cue only while no program task is on air or it has started.
    int32_t Cue(IVideoBroTaskMgr &mgr, const tagCueLeadTime &lead);
    // The task names this source (device id against the instance name, without case).
    bool IsMine(const tagVideoBroTask &task);

    // The start step of Play and PlayTrigger (the device call and what follows it), run under
    // whatever guard the device needs; the base runs it as it is.
    virtual int32_t RunPlayStep(const std::function<int32_t()> &step);
    // Starts the triggered preset at once; `what` names the start in the log. The base plays
    // and waits out the pre-roll. Nonzero when the device started.
    virtual int32_t StartTriggered(IVideoBroTaskTPU &tpu, const tagVideoBroTask &pst,
                                   const char *&what);
    // Logs a timed start or take ("Now").
    virtual void LogPlay(int played, const CString &when);

    tagCueLeadTime m_TriggerLead{kAlwaysDue, kAlwaysDue, kAlwaysDue};
    tagCueLeadTime m_TimeLead{kAlwaysDue, kAlwaysDue, kAlwaysDue};
};
