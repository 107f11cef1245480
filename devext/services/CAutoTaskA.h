// Automatic tasks: components that run an action on a schedule read from their settings
// (key "When"): daily at listed times, hourly at listed minutes, or every so many seconds.
// A manager's worker polls its tasks; a task runs its action on the worker or, with
// "Thread", on a thread of its own.
#pragma once

#include "Kest20/ClassA.h"
#include "devext/Devext20Api.h"
#include "platform/Collections.h"
#include "platform/String.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// When a task is due.
struct tagAutoTaskSchedule {
    enum Kind : int32_t { Daily = 0, Hourly = 1, Weekly = 2, Periodic = 3, None = 4 };

    int32_t nKind = None;
    CStringArray entries;   // time texts, blanks removed, upper case (at most 50)
    int32_t nFrequency = 0; // period of a periodic task, frames of 1/25 s
};

class DEVEXT20_API CAutoTaskA : public CClassA {
    DECLARE_KEST_CLASS(CAutoTaskA)

    enum State : int32_t { Idle = 1, Running = 2, Expired = 3 };
    // A life below this is a count of runs still to make.
    static constexpr int32_t kCountedLife = 65535;

    CAutoTaskA();
    // The own action thread has ended by now (see Suicide), unless the task was deleted
    // otherwise: a thread still running is given up.
    ~CAutoTaskA() override;
    CAutoTaskA(const CAutoTaskA &) = delete;
    CAutoTaskA &operator=(const CAutoTaskA &) = delete;

    // The task `name` of class `rtc` from the settings under "/etc/tvx", "/etc/task" or
    // "/etc/tvx/task", created, initialised and activated; null when any of that fails.
    static CAutoTaskA *OpenTask(const char *name, iRtc *rtc);

    // Reads "Thread", "Life", "Description" and the schedule "When"; fails when the schedule
    // is empty or invalid.
    int32_t OnInitInstance() override;
    // Deactivates and deletes the task once its own action thread has ended: at once when
    // none runs, else after waiting up to 5000 ms for it. A thread still running then holds
    // the task and deletes it when its action has ended; so does an action that deletes its
    // own task. 1, or 0 for an invalid object.
    int32_t Suicide() override;
    // A deletion through the run-time class record deactivates with kill first: the wait
    // for the own action thread (bounded as above) comes here, before the derived part goes.
    int32_t OnKillInstance() override;

    // Runs the task when it is idle and due: 1 when it was started (or its own thread still
    // runs from an earlier start), else 0. A task whose life is used up expires.
    int __Do();
    // One run of the task's action (the task as argument): 1 when the task was not idle,
    // else the action's result.
    static uint32_t __DoActionProc(void *task);

    virtual int DoAction() { return 0; }
    virtual void BeforeDo() {}
    virtual void AfterDo() {}
    // Nonzero: the manager removes and deletes the task after polling it.
    virtual int CanUnload() { return 0; }
    // Whether the schedule makes the task due now (framework clock).
    virtual int CanExecute();

    int32_t GetState() const { return m_nState; }
    int32_t GetLife() const { return m_nLife; }
    int64_t GetLastRunTime() const { return m_nLastRun; }
    bool IsOwnThread() const { return m_bThread; }
    const CString &GetDescription() const { return m_strDescription; }
    const tagAutoTaskSchedule &GetSchedule() const { return *m_pSchedule; }

private:
    bool IsDueAt(int64_t now, int64_t target) const;
    // The body of the own action thread: one run, then the deletion left to it, if any.
    uint32_t RunOwnThread();
    bool OwnThreadRunningLocked() const { return m_actionThread.Valid() && !m_bThreadDone; }
    // Waits up to the bound for the own action thread: true when none runs any more (false
    // also when called on that thread while its action runs).
    bool WaitForOwnThread();

    std::unique_ptr<tagAutoTaskSchedule> m_pSchedule;
    std::atomic<int64_t> m_nLastRun{0};
    std::atomic<int32_t> m_nState{Idle};
    bool m_bThread = false;
    std::atomic<int32_t> m_nLife{0xFFFFFF};
    CString m_strDescription;
    std::mutex m_threadLock; // the fields below
    plat::Thread m_actionThread;
    bool m_bThreadDone = true;   // the thread has ended its run and no longer uses the task
    bool m_bDeleteAtEnd = false; // the thread deletes the task when its run ends
};

// A task that starts the running program again, at most once in a ten-minute slot of the
// clock, and keeps a log of its restarts beside the program ("<program>.restart.log").
class DEVEXT20_API CRestartApplication : public CAutoTaskA {
    DECLARE_KEST_CLASS(CRestartApplication)

    int DoAction() override;

protected:
    // The program's path, cut to 128 characters.
    virtual CString GetModulePath();
    // Starts the program again (the new process ends this one).
    virtual int RestartProgram();
};
