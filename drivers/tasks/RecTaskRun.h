// The thread of one record task: device checks and router take, the cue, the start (sequential,
// timed or triggered), the recording, the stop and its check, and the tape's end action. It
// reaches its task only through the list, so once the task has been taken out of the list
// every step ends the thread (RecTaskStopped), and every wait ends early on the stop.
//
// An operator's abort ends the steps where they next meet it: before the recorder has started,
// the thread undoes what the steps set up (the source played, the recorder initialised) and
// tells ABORT. While recording, the recording loop takes it up and the stop and its checks run
// to their end; an abort that comes during the stop decides the task's end as well. Either way
// the abort reaches the host as the task's last status, once.
#pragma once

#include "drivers/tasks/CVideoRecTaskListImpl.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <cstdint>
#include <atomic>
#include <memory>

class CVideoSrcA;
class CVideoRecA;

class RecTaskRun {
public:
    RecTaskRun(std::shared_ptr<CVideoRecTaskList_Impl> list, const CString &taskId,
               plat::Event stop);

    // __RecTaskProc: the whole task; ends by dropping the thread's handle from the task. A
    // start thread still running then (a late start, a missing device) ends its waits.
    uint32_t Run();

private:
    // Runs steps that end on RecTaskAborted; anything else thrown but the stop is logged.
    template <class Steps> void Guarded(Steps steps);
    // The end of a task on an abort (ABORTING, REVERSEABORT or ABORT) its steps did not end on.
    void EndAborted(int32_t abort);
    void RecTaskProc();
    // 1 when a router was wanted and the take failed for good, else 0.
    bool Take(CVideoRecA &rec);
    // _RecTask_Cue: 0 when source and recorder are ready, else 1.
    int Cue();
    void RecTaskSeq();
    void RecTaskTime();
    void RecTaskTrigger();
    // The start of SEQ and TRIGGER at `start`, with the exits of `step` for a missing device, a
    // failed record command and a late start; SEQ passes no step and logs no exit.
    void StartAndRecord(int64_t start, const char *step, int exitMissing, int exitRecord,
                        int exitLate);
    void AfterRecStart();
    // The end action of the source's VtrOverOpt.
    void EndAction(CVideoSrcA &src);

    // The start thread: plays the source so that the tape reaches the in-point at `start`.
    // Its waits end on `end`; `played` is set just before it plays.
    plat::Thread StartPlay(int64_t start);
    static void PlayAtInPoint(CVideoSrcA *src, int64_t start, int32_t inPoint,
                              const plat::Event &end, std::atomic<bool> &played);
    // Waits up to `ms` for the start thread: true when it ended in time. The task's stop
    // (RecTaskStopped) and an abort (RecTaskAborted) end the wait and the start thread's own
    // waits, so an abort before the start is not held up until the start.
    bool WaitStartThread(const plat::Thread &thread, uint32_t ms);
    // Ends the start thread's waits and waits for it, bounded.
    void EndStartThread(const plat::Thread &thread);

    CVideoSrcA *Src() const;
    CVideoRecA *Rec() const;

    // Throw RecTaskStopped when the task has left the list.
    void Wait(uint32_t ms) const;
    void Check() const;
    // Stores the status and tells it; the callback's result. While an abort waits nothing is
    // stored: before the recording that ends the steps (RecTaskAborted), after it the result
    // is 0.
    int32_t Status(int32_t status, int32_t param = 0);
    // Stores and tells the task's last status; false (nothing done) while an abort waits.
    bool LastStatus(int32_t status);
    // Ends the steps (RecTaskAborted) when the task has been aborted.
    void EndOnAbort();
    void Progress(int32_t frames);
    void Error(int32_t bit);
    void Exit(const char *step, int number);
    // Lines of the task on "LOG_DUB", prefixed "录制任务:<id>": the debug log call and the
    // plain one.
    void Dbg(const char *format, ...) __attribute__((format(printf, 2, 3)));
    void Log(const char *format, ...) __attribute__((format(printf, 2, 3)));

    std::shared_ptr<CVideoRecTaskList_Impl> m_pList;
    plat::Event m_evStop;
    CVideoRecTask m_task;    // as it stood when the thread began
    bool m_bRecInit = false; // the recorder is initialised for the clip
    // The start thread has played the source; shared, as a given-up start thread may set it.
    std::shared_ptr<std::atomic<bool>> m_pPlayed = std::make_shared<std::atomic<bool>>(false);
    plat::Event m_evPlayEnd{true, false}; // ends the start thread's waits
    bool m_bRecording = false;            // the recorder has started
    bool m_bAbortLogged = false;          // the abort's line is written
};
