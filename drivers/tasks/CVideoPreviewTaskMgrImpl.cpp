#include "drivers/tasks/CVideoPreviewTaskMgrImpl.h"

#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/BroTaskDevices.h"
#include "drivers/tasks/CVideoPreviewControlImpl.h"
#include "drivers/tasks/PreviewTaskMgrRegistry.h"

#include "platform/TimeSource.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr int32_t kFirstPreviewId = 100;
constexpr int32_t kPreviewIdStep = 3;
constexpr size_t kCommandBlock = 10;
constexpr uint32_t kCommandWait = 500;    // ms: the command thread looks at least this often
constexpr uint32_t kPositionPeriod = 100; // ms
// How long a stop waits for both threads before giving up the one still inside a source call.
constexpr uint32_t kStopWait = 1000; // ms
constexpr uint32_t kGivenUpExitCode = 0;
constexpr int32_t kEEModeLive = 0;  // the source shows its clip
constexpr int32_t kEEModeClose = 2; // the source leaves preview

// A source call that throws does not end the thread that made it.
template <class Call> void Guarded(Call &&call)
{
    try {
        call();
    } catch (...) {
    }
}

// A host may fill a name field to its last byte; the manager keeps it cut to a terminated
// text, so that nothing reads past the field.
void Terminate(name32_t &name)
{
    name.Set(std::string(name.szText, strnlen(name.szText, name32_t::kSize)).c_str());
}

bool WantsCue(int32_t status)
{
    return status >= PREVIEW_CUE_WANTED && status <= PREVIEW_CUE_WANTED_LAST;
}

double SpeedOf(const PreviewCommand &command)
{
    const uint64_t bits = static_cast<uint64_t>(static_cast<uint32_t>(command.Param1)) |
                          static_cast<uint64_t>(static_cast<uint32_t>(command.Param2)) << 32;
    double speed;
    std::memcpy(&speed, &bits, sizeof speed);
    return speed;
}

// Waits for a thread asked to end, until the tick `due`; a thread that has not ended by then
// is given up. A thread stopping itself (from a callback) is not waited for.
void StopThread(plat::Thread &thread, uint32_t due)
{
    const int32_t left = plat::TickDiff(due, plat::GetTickCount());
    thread.StopWithin(left > 0 ? static_cast<uint32_t>(left) : 0, kGivenUpExitCode);
}

} // namespace

CVideoSrcA *PreviewVideoSrc(const char *devId, bool create)
{
    CVideoDevMgr *devMgr = TaskDevMgr();
    return devMgr ? devMgr->GetVideoSrcDev(devId, create ? 1 : 0, nullptr) : nullptr;
}

IVideoPreviewTaskMgr *CVideoPreviewTaskMgr_Impl::Create()
{
    std::shared_ptr<CVideoPreviewTaskMgr_Impl> mgr(new CVideoPreviewTaskMgr_Impl);
    mgr->m_self = mgr;
    SetVideoPreviewTaskMgr("Main", mgr.get());
    return mgr.get();
}

CVideoPreviewTaskMgr_Impl::~CVideoPreviewTaskMgr_Impl() = default;

int32_t CVideoPreviewTaskMgr_Impl::Release()
{
    const std::shared_ptr<CVideoPreviewTaskMgr_Impl> self = std::move(m_self);
    m_bClosed = true;
    ForgetPreviewTaskMgr(this);
    Shutdown();
    return 1;
}

IVideoPreviewControl *CVideoPreviewTaskMgr_Impl::CreateControl(int32_t previewId)
{
    return new CVideoPreviewControl_Impl(shared_from_this(), previewId);
}

int32_t CVideoPreviewTaskMgr_Impl::AddTask(const tagVideoPreviewTask &task)
{
    if (m_bClosed) return 0;
    // Handles of threads that ended by themselves; they go after the lock is left.
    plat::Thread endedCmd, endedPos;
    int32_t id = task.PreviewID ? task.PreviewID : kFirstPreviewId;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        while (FindLocked(ById(id))) id += kPreviewIdStep;
        Entry entry{task, ++m_nSerial};
        entry.task.PreviewID = id;
        entry.task.Status = PREVIEW_ADDED;
        entry.task.Position = 0;
        Terminate(entry.task.ID);
        Terminate(entry.task.Dev);
        m_tasks.push_back(entry);

        const uint64_t run = m_nRun;
        auto self = shared_from_this();
        if (!m_bCmdRunning) {
            // Commands left from the last run were for tasks that have gone.
            m_commands.clear();
            endedCmd = std::move(m_cmdThread);
            m_cmdThread = plat::Thread::Start([self, run] { return self->CommandThread(run); });
            m_bCmdRunning = m_cmdThread.Valid();
        }
        if (!m_bPosRunning) {
            endedPos = std::move(m_posThread);
            m_posThread = plat::Thread::Start([self, run] { return self->PositionThread(run); });
            m_bPosRunning = m_posThread.Valid();
        }
    }
    m_evCommand.Set();
    return id;
}

int32_t CVideoPreviewTaskMgr_Impl::RemoveAll()
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_tasks.clear();
    }
    WakeThreads();
    return 1;
}

int32_t CVideoPreviewTaskMgr_Impl::RemoveTask(int32_t previewId)
{
    return RemoveWhere(ById(previewId));
}

int32_t CVideoPreviewTaskMgr_Impl::RequestCue(int32_t previewId)
{
    const int32_t found = SetTaskStatus(previewId, PREVIEW_CUE_WANTED, 0, true);
    m_evCommand.Set();
    return found;
}

int32_t CVideoPreviewTaskMgr_Impl::GetTaskCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return static_cast<int32_t>(m_tasks.size());
}

int32_t CVideoPreviewTaskMgr_Impl::GetTask(int32_t previewId, tagVideoPreviewTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const Entry *entry = FindLocked(ById(previewId));
    task = entry ? entry->task : tagVideoPreviewTask{};
    return entry ? 1 : 0;
}

int32_t CVideoPreviewTaskMgr_Impl::GetTaskAt(int32_t index, tagVideoPreviewTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const bool inside = index >= 0 && index < static_cast<int32_t>(m_tasks.size());
    task = inside ? m_tasks[index].task : tagVideoPreviewTask{};
    return inside ? 1 : 0;
}

int32_t CVideoPreviewTaskMgr_Impl::ReportPosition(int32_t previewId, int32_t position)
{
    return SetTaskStatus(previewId, PREVIEW_POSITION_REPORT, position, true);
}

int32_t CVideoPreviewTaskMgr_Impl::Shutdown()
{
    plat::Thread cmd, pos;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_tasks.clear();
        m_commands.clear();
        ++m_nRun;
        cmd = std::move(m_cmdThread);
        pos = std::move(m_posThread);
        m_bCmdRunning = m_bPosRunning = false;
    }
    m_evStop.Set(); // a play in progress ends
    WakeThreads();
    const uint32_t due = plat::GetTickCount() + kStopWait;
    StopThread(cmd, due);
    StopThread(pos, due);
    return 1;
}

int32_t CVideoPreviewTaskMgr_Impl::SetTaskStatus(int32_t previewId, int32_t code, int32_t value,
                                                 bool notify)
{
    return SetStatusWhere(ById(previewId), code, value, notify);
}

int32_t CVideoPreviewTaskMgr_Impl::QueueCommand(int32_t previewId, int32_t type, int32_t param1,
                                                int32_t param2)
{
    if (m_bClosed) return 0;
    PreviewCommand command;
    command.PreviewID = previewId;
    command.Type = type;
    command.Param1 = param1;
    command.Param2 = param2;
    if (type == PREVIEW_CMD_STILL) {
        m_evStop.Set();
        RunCommand(command, CurrentRun());
        return 1;
    }
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_commands.push_back(command);
    }
    m_evCommand.Set();
    return 1;
}

CVideoPreviewTaskMgr_Impl::Match CVideoPreviewTaskMgr_Impl::ById(int32_t previewId)
{
    return [previewId](const Entry &entry) { return entry.task.PreviewID == previewId; };
}

CVideoPreviewTaskMgr_Impl::Match CVideoPreviewTaskMgr_Impl::BySerial(uint64_t serial)
{
    return [serial](const Entry &entry) { return entry.serial == serial; };
}

CVideoPreviewTaskMgr_Impl::Entry *CVideoPreviewTaskMgr_Impl::FindLocked(const Match &match)
{
    const auto found = std::find_if(m_tasks.begin(), m_tasks.end(), match);
    return found == m_tasks.end() ? nullptr : &*found;
}

int32_t CVideoPreviewTaskMgr_Impl::SetStatusWhere(const Match &match, int32_t code, int32_t value,
                                                  bool notify)
{
    tagVideoPreviewTask told;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        Entry *entry = FindLocked(match);
        if (!entry) return 0;
        if (code == PREVIEW_POSITION_SET)
            entry->task.Position = value;
        else if (code != PREVIEW_POSITION_REPORT)
            entry->task.Status = code;
        told = entry->task;
    }
    if (notify) told.CallBack(code, value);
    return 1;
}

int32_t CVideoPreviewTaskMgr_Impl::RemoveWhere(const Match &match)
{
    size_t removed;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        removed = std::erase_if(m_tasks, match);
    }
    WakeThreads();
    return removed ? 1 : 0;
}

void CVideoPreviewTaskMgr_Impl::WakeThreads()
{
    m_evCommand.Set();
    m_evPosition.Set();
}

bool CVideoPreviewTaskMgr_Impl::GoesOnLocked(uint64_t run, bool &running)
{
    if (run != m_nRun) return false;
    if (m_tasks.empty()) {
        running = false;
        return false;
    }
    return true;
}

uint64_t CVideoPreviewTaskMgr_Impl::CurrentRun()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_nRun;
}

uint32_t CVideoPreviewTaskMgr_Impl::CommandThread(uint64_t run)
{
    for (;;) {
        std::vector<PreviewCommand> block;
        Entry first;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (!GoesOnLocked(run, m_bCmdRunning)) return 0;
            while (!m_commands.empty() && block.size() < kCommandBlock) {
                block.push_back(m_commands.front());
                m_commands.pop_front();
            }
            first = m_tasks.front();
        }
        if (!block.empty()) {
            for (const PreviewCommand &command : block) RunCommand(command, run);
            continue;
        }
        if (WantsCue(first.task.Status)) Guarded([&] { Cue(first); });
        m_evCommand.Wait(kCommandWait);
    }
}

uint32_t CVideoPreviewTaskMgr_Impl::PositionThread(uint64_t run)
{
    for (uint32_t due = plat::GetTickCount() + kPositionPeriod;; due += kPositionPeriod) {
        if (!WaitPositionDue(run, due)) return 0;
        Entry first;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (!GoesOnLocked(run, m_bPosRunning)) return 0;
            first = m_tasks.front();
        }
        if (first.task.Status >= PREVIEW_CUED) {
            int32_t position = 0;
            Guarded([&] {
                CVideoSrcA *source = PreviewVideoSrc(first.task.Dev, false);
                int32_t read = 0;
                if (source && !source->IsVirtual() && source->PreviewGetPosition(&read))
                    position = read;
            });
            SetStatusWhere(BySerial(first.serial), PREVIEW_POSITION_REPORT, position, true);
        }
        // A slow source does not bring a burst of reports to catch up.
        if (plat::TickDiff(plat::GetTickCount(), due) >= static_cast<int32_t>(kPositionPeriod))
            due = plat::GetTickCount();
    }
}

bool CVideoPreviewTaskMgr_Impl::WaitPositionDue(uint64_t run, uint32_t due)
{
    for (int32_t left; (left = plat::TickDiff(due, plat::GetTickCount())) > 0;) {
        if (m_evPosition.Wait(static_cast<uint32_t>(left)) != plat::WAIT_OBJECT_0) continue;
        std::lock_guard<CDataLock> lk(m_lock);
        if (!GoesOnLocked(run, m_bPosRunning)) return false;
    }
    return true;
}

void CVideoPreviewTaskMgr_Impl::RunCommand(const PreviewCommand &command, uint64_t run)
{
    Entry entry;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        const Entry *found = run == m_nRun ? FindLocked(ById(command.PreviewID)) : nullptr;
        if (!found) return;
        entry = *found;
    }
    CVideoSrcA *source = nullptr;
    Guarded([&] { source = PreviewVideoSrc(entry.task.Dev, false); });
    if (command.Type == PREVIEW_CMD_CLOSE || command.Type == PREVIEW_CMD_CLOSE_DEVICE) {
        Close(entry, source, command.Type == PREVIEW_CMD_CLOSE_DEVICE);
        return;
    }
    if (!source) return;
    Guarded([&] {
        switch (command.Type) {
        case PREVIEW_CMD_JOG:
            source->PreviewJog(command.Param2);
            break;
        case PREVIEW_CMD_PLAY:
        case PREVIEW_CMD_PLAY_NORMAL:
            m_evStop.Reset();
            source->PreviewPlay(1.0, &m_evStop);
            break;
        case PREVIEW_CMD_PLAY_SPEED:
            m_evStop.Reset();
            source->PreviewPlay(SpeedOf(command), &m_evStop);
            break;
        case PREVIEW_CMD_STILL:
            source->PreviewStill();
            break;
        case PREVIEW_CMD_STOP:
            source->PreviewStop();
            break;
        case PREVIEW_CMD_EJECT:
            source->DevEject();
            break;
        case PREVIEW_CMD_GOTO:
            source->PreviewGoto(command.Param2);
            break;
        default:
            break;
        }
    });
}

void CVideoPreviewTaskMgr_Impl::Close(const Entry &entry, CVideoSrcA *source, bool closeDevice)
{
    // The task leaves the manager even when its source throws: its control is detached and
    // nothing could close it again.
    if (source)
        Guarded([&] {
            source->DevEEMode(kEEModeClose);
            source->PreviewStop();
        });
    const Match same = BySerial(entry.serial);
    SetStatusWhere(same, PREVIEW_POSITION_REPORT, 0, true);
    SetStatusWhere(same, PREVIEW_RELEASED, 0, true);
    RemoveWhere(same);
    if (closeDevice && source) Guarded([&] { source->DevClose(); });
}

void CVideoPreviewTaskMgr_Impl::Cue(const Entry &entry)
{
    const tagVideoPreviewTask &task = entry.task;
    CVideoSrcA *source = PreviewVideoSrc(task.Dev, true);
    if (!source) return;
    source->DevOpen();
    if (!source->DevIsOpen()) return;
    source->DevEEMode(kEEModeLive);
    if (source->PreviewCue(task.ID, task.SOM, task.DUR, task.CueMode))
        SetStatusWhere(BySerial(entry.serial), PREVIEW_CUED, 0, true);
}
