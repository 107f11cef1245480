// Calls into a device made by threads that a stop may give up (the task units' threads): each
// is noted for its length, and the device manager closes a device only once the calls in it
// have ended (bounded), so that a thread given up inside a device never runs on in a device
// that the close of the application then frees. The deletion of a device through its class
// record does the same before any part of it is destroyed. A unit's thread is bound to its
// unit for its run, so that a device call made on it can ask whether the unit stops, nap, and
// wait in the device with waits that the unit's stop, or the device's close, ends at once.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CCallingUnit;
class CDeviceA;

class KSOVRA20_API CDeviceCall {
public:
    // How long the deletion of a device waits for the calls in it, once their waits ended.
    static constexpr uint32_t kLeaveBoundMs = 5000;

    // Notes a call into `device` on the calling thread, the thread's innermost call for the
    // object's life (nothing for null).
    explicit CDeviceCall(CDeviceA *device);
    ~CDeviceCall();
    CDeviceCall(const CDeviceCall &) = delete;
    CDeviceCall &operator=(const CDeviceCall &) = delete;

    // Waits up to `boundMs` until no call noted on another thread is in `device`; true when
    // none is.
    static bool WaitEnded(CDeviceA *device, uint32_t boundMs);

    // Whether the waits of the device were ended (CDeviceWait::EndIn) while the call, or a
    // call it is made in, was in it, or the thread's unit asked it to stop: every nap and
    // device wait of the call from then on ends at once.
    bool Ended() const { return m_evEnd.IsSet(); }

private:
    friend class CCallingUnit;
    friend class CDeviceWait;
    // Ends the calls in `device`, and the calls made in them.
    static void EndIn(CDeviceA *device);

    CDeviceA *m_pDevice;
    uint32_t m_dwThread = 0;
    CCallingUnit *m_pUnit = nullptr;
    const CDeviceCall *m_pOuter = nullptr; // the thread's call this one is made in
    plat::Event m_evEnd{true, false};
};

// What a task unit shares with one run of one of its threads: whether the unit asks it to
// stop, and whether the call it is in has been given up (the broadcast unit passes a preset
// over). The thread binds itself with Scope for its run; a thread given up by a stop keeps
// the object by its share.
class KSOVRA20_API CCallingUnit {
public:
    CCallingUnit() = default;
    virtual ~CCallingUnit() = default;
    CCallingUnit(const CCallingUnit &) = delete;
    CCallingUnit &operator=(const CCallingUnit &) = delete;

    // Asks the thread to stop: its naps and device waits end at once, and every later one
    // ends as it begins.
    void AskStop();
    bool StopAsked() const { return m_bStop.load(); }
    // Set by AskStop (manual reset): for the unit's own waits between device calls.
    const plat::Event &StopEvent() const { return m_evStop; }
    // Gives up (or, false, no longer gives up) the call the thread is in, without stopping it:
    // its naps, device waits and requests on the line end at once, as at a stop.
    void GiveUpCall(bool givenUp);
    bool CallGivenUp() const { return m_bCallGivenUp.load(); }
    // Set (manual reset) while the thread is asked to stop or its call is given up: for the
    // unit's own waits inside a call.
    const plat::Event &CallEndEvent() const { return m_evCallEnd; }

    // Binds the calling thread to `unit` for the scope's life (null: to none).
    class KSOVRA20_API Scope {
    public:
        explicit Scope(CCallingUnit *unit);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        CCallingUnit *m_pPrevious;
    };

    // The unit the calling thread works for; null on other threads.
    static CCallingUnit *Current();
    // Whether the calling thread's unit asks it to stop or has given up its call, or the
    // device call the thread is in was ended (its device closed): the thread gives up there
    // and sends its device nothing more, nor opens it again. False on other threads.
    static bool Stopped();
    // Whether the device call the calling thread is in was ended (the device's close, the
    // unit's stop or a give-up of the call); false outside a call.
    static bool CallEnded();
    // Whether the calling thread's unit asks it to stop or has given up its call, whatever
    // became of its device: a unit that is to stop tells its host nothing more, while one
    // whose device was closed under it tells the failure.
    static bool UnitStopped();
    // What ends the calling thread's waits on a device's behalf: in a device call, its end
    // (set by the device's close, the unit's stop and a give-up of the call); else the call
    // end event of the thread's unit (its stop or a give-up); null on other threads. A
    // request sent on the line, a unit's wait for a message and its sleeps end as soon as it
    // is set.
    static const plat::Waitable *CurrentStop();
    // Sleeps `ms`; in a device call, or on a unit's thread, the sleep ends as soon as the
    // call is ended (the device's close) or given up, or the unit asks the thread to stop.
    // False when the thread is to give up (Stopped) or its call was ended.
    static bool Nap(uint32_t ms);

private:
    friend class CDeviceCall;
    friend class CDeviceWait;
    // An event that AskStop sets too (a device wait of the thread), until detached.
    void Attach(const plat::Event *event);
    void Detach(const plat::Event *event);

    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bCallGivenUp{false};
    plat::Event m_evStop{true, false};
    plat::Event m_evCallEnd{true, false};
    std::mutex m_lock;
    std::vector<const plat::Event *> m_attached;
};

// A bounded wait inside a device, begun at construction: it ends early once the device's
// waits are ended (EndIn, from its close or deactivation) or the calling thread's unit asks
// it to stop; one begun in a device call that was ended is ended from the start. Once ended
// it stays ended: every later wait of the object returns at once.
class KSOVRA20_API CDeviceWait {
public:
    explicit CDeviceWait(CDeviceA *device);
    ~CDeviceWait();
    CDeviceWait(const CDeviceWait &) = delete;
    CDeviceWait &operator=(const CDeviceWait &) = delete;

    // Waits `ms` (none when 0): true when the time went by, false when the wait was ended.
    bool For(uint32_t ms);
    // Waits until the framework clock reaches `time` (100 ns units): true when it was
    // reached, false when the wait was ended.
    bool Until(int64_t time);
    bool Ended() const;

    // Ends every wait in `device` in progress and the calls in it (a close, a deactivation or
    // the deletion): their naps and waits from then on end at once.
    static void EndIn(CDeviceA *device);

private:
    CDeviceA *m_pDevice;
    CCallingUnit *m_pUnit;
    plat::Event m_evEnd{true, false};
};
