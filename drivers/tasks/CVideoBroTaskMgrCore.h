// What the two task manager variants share: the lock, the pending and ended lists, the program
// task id, the process unit, the reference counts of handles and other holders, and every
// operation whose behaviour does not depend on the variant. Status callbacks are collected
// under the lock and made after it is left.
//
// Lifetime: handles count separately from other holders. When the last handle goes the
// manager closes (unbinds and stops its process unit, leaves its registry); the object itself
// goes with its last reference, which a unit thread given up during a source call may hold.
#pragma once

#include "drivers/tasks/CVideoBroTaskArray.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IBroTaskMgrUnit.h"
#include "drivers/tasks/IVideoBroTaskMgr.h"

#include "KestLib20/CDataLock.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// SyncTask: a source whose position lies within this many frames of where it should be is in
// step.
constexpr int64_t kSyncToleranceFrames = 9;

// Lets a manager's status callbacks through until the manager is released: none starts after
// Close, which waits (bounded) for those under way on other threads.
class BroTaskCallbackGate {
public:
    static constexpr uint32_t kCloseBoundMs = 2000;

    // False once closed; otherwise the caller makes its callback and then calls Leave.
    bool Enter();
    void Leave();
    void Close();

private:
    std::mutex m_lock;
    int m_nInFlight = 0;
    bool m_bClosed = false;
    plat::Event m_evLeft{false, false};
};

// A manager's status callbacks, in the order the changes they tell were made. Each change is
// told under the manager's lock, so the queue holds them in the order they happened; they are
// made after the lock is left, by one thread at a time: a thread that finds another making
// them leaves its own to that thread, which makes them after the ones before. So every
// task's statuses reach the host in order (EndPlay before EjectBegin before EjectEnd),
// whatever threads made the changes, and no lock is held during a callback.
class BroTaskOutbox {
public:
    // The manager's lock is held.
    void Tell(const tagVideoBroTask &task, int32_t status, int32_t extra);
    // Makes the callbacks told so far while the gate lets them through (the rest are dropped),
    // unless another thread is making them: that one makes these too. A callback that calls
    // back into its manager has what it causes told after it returns.
    void Flush(BroTaskCallbackGate &gate);

private:
    struct Item {
        tagVideoBroTask task;
        int32_t status;
        int32_t extra;
    };
    std::mutex m_lock;
    std::deque<Item> m_items;
    bool m_bTelling = false;
};

template <class I> class CVideoBroTaskMgrCore : public I, public IBroTaskMgrUnit {
public:
    CVideoBroTaskMgrCore();
    virtual ~CVideoBroTaskMgrCore();
    CVideoBroTaskMgrCore(const CVideoBroTaskMgrCore &) = delete;
    CVideoBroTaskMgrCore &operator=(const CVideoBroTaskMgrCore &) = delete;

    // Handles: the last to go closes the manager.
    void AddHandle() { ++m_nHandles; }
    void ReleaseHandle();

    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override;

    int32_t GetPstTask(tagVideoBroTask &task) override;
    int32_t GetPgmTask(tagVideoBroTask &task) override;
    int32_t IsEmpty() override;
    int32_t Lock() override;
    int32_t Unlock() override;
    int32_t FindTask(int32_t id, tagVideoBroTask **task) override;
    int32_t SetTaskParam(int32_t id, int32_t value, int32_t type) override;
    int32_t GetTaskParam(int32_t id, int32_t type) override;
    int32_t SetTaskValue(int32_t id, int32_t value) override;
    int32_t GetTaskValue(int32_t id) override;
    int32_t PopEndedTask(tagVideoBroTask *task) override;
    int32_t AddEndedTask(const tagVideoBroTask &task) override;
    int32_t Reserved1() override { return 1; }
    int32_t Reserved2() override { return 0; }
    int32_t StopPgm(int32_t reserved) override;
    IVideoBroTaskTPU *GetTPU() override { return m_pTPU.get(); }
    int32_t AddTask(const tagVideoBroTask &task) override;
    int32_t InsertTask(const tagVideoBroTask &task, int32_t id) override;
    int32_t RemoveTask(int32_t id) override;
    int32_t Sync(int32_t reserved) override;
    int32_t GetTask(int32_t id, tagVideoBroTask &task) override;
    int32_t GetTaskAt(int32_t index, tagVideoBroTask &task) override;
    int32_t GetTaskCount() override;
    int32_t GetTaskIDList(CDWordArray &ids) override;

    int32_t GetNextPst(int32_t pstId, int32_t nth, tagVideoBroTask &next) override;
    int32_t PassOverPst(int32_t id, int64_t now, bool uncued, uint32_t flag) override;

protected:
    // The program and preset records in the pending list, or null. The lock is held.
    virtual tagVideoBroTask *PgmLocked() = 0;
    virtual tagVideoBroTask *PstLocked() = 0;
    // SetTaskParam type 0.
    virtual int32_t SetStatus(int32_t id, int32_t status) = 0;
    // A pending task has been removed. The lock is held.
    virtual void OnRemovedLocked(int32_t) {}
    // Where a record to go before pending `index` is inserted. The lock is held.
    virtual int32_t InsertIndexLocked(int32_t index) { return index; }
    // The record that becomes the preset after `pst`, and the start it then gets; null when
    // none follows. The lock is held.
    virtual const tagVideoBroTask *NextPstLocked(const tagVideoBroTask &pst, int64_t &start) = 0;
    // Ends the preset `pst`, which never went on air (status 13 told), and moves on to the
    // next preset. The lock is held.
    virtual void PassOverLocked(tagVideoBroTask &pst, BroTaskOutbox &out) = 0;
    // Whether the host has heard the last status of `task`: nothing more is told for it.
    // The lock is held.
    virtual bool FinalLocked(const tagVideoBroTask &task) const = 0;
    // Whether a task may take `status` now: one that has ended (EndPlay or later) only moves on
    // through the stop's statuses, so a late report of a step it went through is dropped.
    static bool MayTake(const tagVideoBroTask &task, int32_t status)
    {
        return task.Status < BROTASK_ENDPLAY || status > task.Status;
    }
    // The callbacks to be made once the lock is left; Tell them under the lock.
    BroTaskOutbox &Outbox() { return m_outbox; }
    // Makes the callbacks told so far unless the manager has been released. The manager
    // outlives the loop even when a callback releases its last handle.
    void Flush()
    {
        AddRef();
        m_outbox.Flush(m_gate);
        Release();
    }

    // A copy of `task`, or a default record with id 0.
    static tagVideoBroTask CopyOf(const tagVideoBroTask *task);
    // The first record with `id` in a NULL-terminated list.
    static const tagVideoBroTask *FindIn(tagVideoBroTask *const *tasks, int32_t id);
    // Whether a timed task starts less than 2 s from now or is overdue: it cannot be moved.
    static bool IsImminent(const tagVideoBroTask &task);
    // The records of a new schedule. One that is pending takes over what the process unit and
    // the sources wrote to it: status, param 2 and param 1, with `startAndValue` also its
    // start and value word; the others begin afresh (status 1, with `startAndValue` value 0).
    // The lock is held.
    CVideoBroTaskArray NewListLocked(tagVideoBroTask *const *tasks, bool startAndValue);
    // The list that holds `id`: pending, else ended; null when neither. The lock is held.
    IVideoBroTaskArray *ListOfLocked(int32_t id);
    void StartTPU() { m_pTPU->Start(); }
    // Sends a unit message (unit, cmd, param) to the process unit.
    void SendUnit(int32_t unit, int32_t cmd, int32_t param)
    {
        m_pTPU->SendUnitMsg(unit, cmd, param);
    }

    CDataLock m_lock;
    CVideoBroTaskArray m_Pending;
    CVideoBroTaskArray m_Ended;
    int32_t m_nPgmID = 0; // 0: no task on air

private:
    void Close();

    BroTaskCallbackGate m_gate;
    BroTaskOutbox m_outbox;
    std::shared_ptr<CVideoBroTaskTPU> m_pTPU;
    std::atomic<uint32_t> m_nRef{1}; // the handles together hold one
    std::atomic<uint32_t> m_nHandles{1};
};
