// The VDCP protocol engine's interface, in slot order: what the VDCP sources, stores and
// recorders ask of the engine that talks to their server channel. Every operation returns
// nonzero on success unless its line says otherwise.
#pragma once

#include "KestLib20/timecode_t.h"
#include "drivers/KsOvra20Api.h"
#include "platform/Collections.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API ISerialVDCP {
public:
    // Closes the port if open and keeps the port number and the VDCP channel.
    virtual int32_t SetPort(int32_t port, int32_t channel) = 0;
    // The port open and the last exchange answered.
    virtual int32_t IsOpen() = 0;
    // Opens a closed port and asks the status once; IsOpen.
    virtual int32_t Open() = 0;
    // Asks the status when the line has been quiet for 3000 ms; IsOpen.
    virtual int32_t Test() = 0;
    virtual int32_t Close() = 0;
    // Consecutive unanswered tries (255 while closed).
    virtual int32_t GetFailCount() = 0;
    // The caller's lock around several operations in a row.
    virtual int32_t Lock() = 0;
    virtual int32_t Unlock() = 0;
    // Bit 0: WaitStatus gives up on a nonzero extended status.
    virtual int32_t SetOptions(int32_t options) = 0;
    virtual int32_t GetOptions() = 0;
    // How another engine on the same port may share this one: 1 not at all, 2 and 3 shared
    // (access kinds 7 and 6), 4 taken over (this engine's port is closed for it).
    virtual int32_t SetShareMode(int32_t mode) = 0;
    virtual int32_t GetShareMode() = 0;
    // The engine to send through: another engine already open on the port (by its share
    // mode) or this one, opened at most every 5000 ms. Held: the engine stays while `itf`
    // keeps it, so keep it for an operation, never beyond it.
    virtual int32_t GetSharedPort(std::shared_ptr<ISerialVDCP> &itf, int32_t *kind) = 0;

    virtual int32_t Record() = 0;
    virtual int32_t Play() = 0;
    virtual int32_t Stop() = 0;
    virtual int32_t Continue() = 0;
    virtual int32_t Step() = 0;
    virtual int32_t Still() = 0;
    virtual int32_t VariablePlay(double speed) = 0;
    virtual int32_t Jog(int32_t frames) = 0;
    virtual int32_t Goto(int32_t frame) = 0;
    virtual int32_t Freeze() = 0;
    virtual int32_t Unfreeze() = 0;
    virtual int32_t EEMode(int32_t mode) = 0;
    virtual int32_t SetDiskPreroll(int32_t frames, int32_t seconds) = 0;
    virtual int32_t PlayCue(const char *clip, int32_t waitMs) = 0;
    virtual int32_t CueWithData(const char *clip, int32_t som, int32_t dur, int32_t waitMs) = 0;
    // The exchange's result; the wait for the cued bit does not change it.
    virtual int32_t RecordInit(const char *clip, int32_t duration, int32_t waitMs) = 0;
    virtual int32_t PresetWithData(const char *clip, int32_t first, int32_t second) = 0;
    // From the counter when asked less than `ageMs` ago, else asked; `since` may be null.
    virtual int32_t GetPosition(int32_t *frames, int32_t ageMs, int32_t *since) = 0;
    // From the cache when refreshed less than `ageMs` ago, else asked; outs may be null.
    virtual int32_t GetStatus(int32_t *status1, int32_t *status2, int32_t *extended, int32_t ageMs,
                              int32_t *since) = 0;
    virtual int32_t WaitStatus(int32_t mask, int32_t timeoutMs) = 0;
    // Channel 0 is the engine's own channel; tried once.
    virtual int32_t ClosePort(int32_t channel) = 0;
    virtual int32_t SelectPort(int32_t channel) = 0;
    virtual int32_t OpenPort(int32_t channel, int32_t mode, int32_t *answer) = 0;
    virtual int32_t GetSystemTime(timecode_t &time) = 0;
    virtual int32_t GetSystemWord(int32_t *word) = 0;
    virtual int32_t GetIdSize(const char *clip, timecode_t &duration) = 0;
    virtual int32_t IdRequest(const char *clip, int32_t *answer) = 0;
    virtual int32_t DeleteId(const char *clip) = 0;
    virtual int32_t RenameId(const char *from, const char *to) = 0;
    // Empties `names` and fills it with the server's clip ids, asking for more while the
    // server has more and the list holds no more than `limit` names.
    virtual int32_t GetIdList(CStringArray &names, int32_t reserved, int32_t limit) = 0;
    // Appends the next part of the id list; `more` is the server's "more" value.
    virtual int32_t GetIdListNext(int32_t *more, CStringArray &names) = 0;

protected:
    ~ISerialVDCP() = default;
};
