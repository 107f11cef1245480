// The task process unit: the engine that runs one task manager's schedule on the play-out
// sources with four threads (cue, start, stop, trace). While a thread is inside a source call
// its unit is busy, and operator operations send the unit short messages that the source reads
// while it waits.
#pragma once

#include <cstdint>

class IVideoBroTaskMgr;
class IVideoBroTaskProcess;

// The units, numbered as their threads.
enum BroTaskUnit : int32_t {
    TPU_UNIT_CUE = 1,
    TPU_UNIT_NEW = 2, // the start thread
    TPU_UNIT_STOP = 3,
    TPU_UNIT_TRACE = 4,
};

enum BroTaskUnitState : int32_t {
    TPU_UNIT_IDLE = 0,
    TPU_UNIT_BUSY = 1, // its thread is inside a source call
};

// Unit message commands.
enum BroTaskUnitCmd : int32_t {
    TPU_CMD_CANCEL = 1,   // give up the current wait without acting (hold)
    TPU_CMD_PLAY_NOW = 2, // act now (take)
};

// Unit message parameters: who sent it.
enum BroTaskUnitSender : int32_t {
    TPU_FROM_ABORT = 0,
    TPU_FROM_REMOVEALL = 1,
    TPU_FROM_GOTO = 2,
    TPU_FROM_TAKE = 3, // Take and Pause
    TPU_FROM_RESET = 4,
    TPU_FROM_ABORT3 = 5, // Abort of a variant-3 manager
    TPU_FROM_STOP = 6,   // the unit's own stop: the hold every wait gets while it stops
};

class IVideoBroTaskTPU {
public:
    // Starts each thread that is not running (an ended one again); refused while a stop is
    // under way. 0.
    virtual int32_t Start() = 0;
    // Stops the four threads: every wait ends at once (a unit's waits answer hold), and each
    // thread is waited for; one that has not ended within the bound is given up. 0.
    virtual int32_t Stop() = 0;
    // Stop, then drop each thread's procedure, so that a later Start leaves it idle. 0.
    virtual int32_t ShutDown() = 0;
    // 1 when all four threads are running.
    virtual int32_t IsWorking() = 0;
    // 0 for an empty device id (`process` untouched); else `process` is the answer of the
    // device with that id (created and opened when needed) to the broadcast-task process
    // interface, or null; 1.
    virtual int32_t GetTaskProcess(const char *devId, IVideoBroTaskProcess **process) = 0;
    // Binds the manager (null unbinds). 1.
    virtual int32_t SetTaskMgr(IVideoBroTaskMgr *mgr) = 0;
    // The unit's state; 0 for another number.
    virtual int32_t GetUnitState(int32_t unit) = 0;
    // A state of 0 or 1 also empties the unit's queue. 1, or 0 for an invalid unit.
    virtual int32_t SetUnitState(int32_t unit, int32_t state) = 0;
    // Takes the oldest message, waiting up to `waitMs` for one; 1 and the pair when one was
    // taken, else 0. A caller that is to give up (see StopAsked) takes a cancel at once.
    virtual int32_t GetUnitMsg(int32_t unit, int32_t *cmd, int32_t *param, uint32_t waitMs) = 0;
    // Queues the message only while the unit's state is nonzero; 1 when queued.
    virtual int32_t SendUnitMsg(int32_t unit, int32_t cmd, int32_t param) = 0;
    // Sleeps until the framework clock reaches `time` (100 ns units); a stop of the calling
    // unit thread, or the close of the device its call is in, ends the sleep early. 1 when
    // the time was reached, 0 when ended.
    virtual int32_t SleepUntil(int64_t time) = 0;
    // 1 when the calling thread is a unit thread of this process unit that is asked to stop
    // (its manager released, or a stop under way), or the device its call is in was closed
    // meanwhile: a source step gives up there and sends its device nothing more.
    virtual int32_t StopAsked() = 0;

protected:
    ~IVideoBroTaskTPU() = default;
};
