// The key task process unit: one worker thread that takes the due task groups from its
// management unit and hands each to its keyer's key task interface, and a queue of
// {command, parameter} messages that wakes it.
#pragma once

#include <cstdint>

class IVideoKeyTaskTMU;

enum KeyTaskTPUCmd : int32_t {
    KEYTPU_CMD_CHECK = 0, // look at the tasks again
    KEYTPU_CMD_STOP = 3,  // end the worker
};

enum KeyTaskTPUState : int32_t {
    KEYTPU_IDLE = 0,
    KEYTPU_CALLING = 1, // a keyer is being called
};

class IVideoKeyTaskTPU {
public:
    // Reference counting: the unit stops its worker and goes with its last reference.
    virtual uint32_t Release() = 0;
    virtual uint32_t AddRef() = 0;
    // Starts the worker when it does not run (a running worker looks at the tasks again). 1.
    virtual int32_t Start() = 0;
    // Asks the worker to end and waits for it with a bound; one that has not ended by then
    // is given up and ends by itself. 1.
    virtual int32_t Stop() = 0;
    virtual int32_t IsRunning() = 0;
    // Stop, and no later Start runs the worker again. 1.
    virtual int32_t ShutDown() = 0;
    // Binds the management unit (null unbinds). 1.
    virtual int32_t SetTMU(IVideoKeyTaskTMU *tmu) = 0;
    // Appends the message and wakes the worker. 1.
    virtual int32_t PostMsg(int32_t cmd, int32_t param) = 0;
    // Takes the oldest message; with a wait, waits up to `waitMs` for one while the queue is
    // empty. 1 and the pair when one was taken, else 0.
    virtual int32_t GetMsg(int32_t *cmd, int32_t *param, uint32_t waitMs) = 0;
    virtual int32_t GetState() = 0;
    virtual int32_t SetState(int32_t state) = 0;

protected:
    ~IVideoKeyTaskTPU() = default;
};
