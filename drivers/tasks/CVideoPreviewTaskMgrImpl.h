// The preview manager behind the exported handle: the task list and the command queue under
// one lock, a command thread that runs the queued commands and cues the first task, and a
// position thread that reports the first task's position every 100 ms while it is cued. Both
// threads end by themselves once the list is empty; AddTask starts them again.
//
// Lifetime: Release closes the manager (it leaves the registry, its threads are stopped, its
// controls go detached); the object itself goes with its last holder, which may be a control
// or a thread given up inside a source call. Work a thread finishes after such a stop lands
// nowhere: a thread of an earlier run ends at its next look, and what it changes in the list
// is aimed at the very task it read (tasks carry a serial number), not at whatever task may
// have taken its id since.
#pragma once

#include "drivers/tasks/IVideoPreviewTaskMgr.h"

#include "KestLib20/CDataLock.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class CVideoSrcA;

// The source of that device id from the process's device manager, created when `create`
// says so; null when there is none.
CVideoSrcA *PreviewVideoSrc(const char *devId, bool create);

enum PreviewCommandType : int32_t {
    PREVIEW_CMD_JOG = 1,
    PREVIEW_CMD_PLAY = 2,
    PREVIEW_CMD_PLAY_SPEED = 3, // the speed's low and high halves in the two parameters
    PREVIEW_CMD_STILL = 4,      // runs on the caller's thread
    PREVIEW_CMD_PLAY_NORMAL = 5,
    PREVIEW_CMD_STOP = 6,
    PREVIEW_CMD_EJECT = 7,
    PREVIEW_CMD_CLOSE = 8,
    PREVIEW_CMD_GOTO = 9,
    PREVIEW_CMD_CLOSE_DEVICE = 10,
};

struct PreviewCommand {
    int32_t PreviewID = 0;
    int32_t Type = 0;
    int32_t Param1 = 0;
    int32_t Param2 = 0;
    int32_t Reserved[3] = {};
};
static_assert(sizeof(PreviewCommand) == 28, "a preview command is 28 bytes");

class CVideoPreviewTaskMgr_Impl final
    : public IVideoPreviewTaskMgr,
      public std::enable_shared_from_this<CVideoPreviewTaskMgr_Impl> {
public:
    // A new manager registered as "Main". It lives until Release and while a control or a
    // thread still holds it.
    static IVideoPreviewTaskMgr *Create();
    ~CVideoPreviewTaskMgr_Impl();
    CVideoPreviewTaskMgr_Impl(const CVideoPreviewTaskMgr_Impl &) = delete;
    CVideoPreviewTaskMgr_Impl &operator=(const CVideoPreviewTaskMgr_Impl &) = delete;

    int32_t Release() override;
    IVideoPreviewControl *CreateControl(int32_t previewId) override;
    int32_t AddTask(const tagVideoPreviewTask &task) override;
    int32_t RemoveAll() override;
    int32_t RemoveTask(int32_t previewId) override;
    int32_t RequestCue(int32_t previewId) override;
    int32_t GetTaskCount() override;
    int32_t GetTask(int32_t previewId, tagVideoPreviewTask &task) override;
    int32_t GetTaskAt(int32_t index, tagVideoPreviewTask &task) override;
    int32_t ReportPosition(int32_t previewId, int32_t position) override;
    int32_t Shutdown() override;

    // The status operation: code 256 stores `value` as the position, 512 stores nothing, any
    // other code becomes the status; with `notify` the callback gets (id, code, value) once
    // the lock is left. Whether the task was there.
    int32_t SetTaskStatus(int32_t previewId, int32_t code, int32_t value, bool notify);
    // Queues a command for the preview id; a still runs at once on the caller's thread after
    // ending a play in progress. 1; 0 once the manager is released.
    int32_t QueueCommand(int32_t previewId, int32_t type, int32_t param1 = 0, int32_t param2 = 0);

private:
    struct Entry {
        tagVideoPreviewTask task;
        uint64_t serial = 0;
    };
    using Match = std::function<bool(const Entry &)>;

    CVideoPreviewTaskMgr_Impl() = default;

    static Match ById(int32_t previewId);
    static Match BySerial(uint64_t serial);
    // Under the lock: the first entry that matches, null when none.
    Entry *FindLocked(const Match &match);
    int32_t SetStatusWhere(const Match &match, int32_t code, int32_t value, bool notify);
    int32_t RemoveWhere(const Match &match);
    // Wakes both threads to look at the list again (it changed).
    void WakeThreads();

    // Under the lock: whether a thread of run `run` goes on; a thread of the current run
    // whose list has emptied is marked ended (its flag) and goes.
    bool GoesOnLocked(uint64_t run, bool &running);
    uint32_t CommandThread(uint64_t run);
    uint32_t PositionThread(uint64_t run);
    // Waits on the position wake until the tick `due`; false when the thread is to end.
    bool WaitPositionDue(uint64_t run, uint32_t due);
    void RunCommand(const PreviewCommand &command, uint64_t run);
    void Close(const Entry &entry, CVideoSrcA *source, bool closeDevice);
    void Cue(const Entry &entry);
    uint64_t CurrentRun();

    std::shared_ptr<CVideoPreviewTaskMgr_Impl> m_self; // held from Create to Release
    std::atomic<bool> m_bClosed{false};

    CDataLock m_lock; // guards everything below
    std::vector<Entry> m_tasks;
    std::deque<PreviewCommand> m_commands;
    uint64_t m_nSerial = 0;
    uint64_t m_nRun = 0; // raised by each Shutdown, so that earlier threads end
    plat::Thread m_cmdThread;
    plat::Thread m_posThread;
    bool m_bCmdRunning = false;
    bool m_bPosRunning = false;

    plat::Event m_evCommand{false, false};
    // Handed to the source's PreviewPlay (as a plat::Event *): set, it ends a running play.
    plat::Event m_evStop{false, false};
    // The position thread's own wake, so that it never takes a wake meant for commands.
    plat::Event m_evPosition{false, false};
};
