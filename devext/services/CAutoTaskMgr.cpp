#include "devext/services/CAutoTaskMgr.h"

#include "KestLib20/CDataLock.h"
#include "KestLib20/CResAccess.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <cstring>
#include <mutex>

IMPLEMENT_KEST_CLASS(CAutoTaskMgr, CClassA)

namespace {

constexpr uint32_t kPollMs = 2000;
constexpr uint32_t kFinalPauseMs = 500;
constexpr uint32_t kStopWaitMs = 500;

} // namespace

struct CAutoTaskMgr::Impl {
    CDataLock lock;     // the list and the worker handle
    CDataLock pollLock; // held while a task is polled, so a deletion waits for the poll
    CPtrArray tasks;
    plat::Thread worker;
    std::shared_ptr<plat::Event> stop; // the running worker's own stop
    bool workerActive = false;

    CAutoTaskA *At(int index)
    {
        std::lock_guard guard(lock);
        return index >= 0 && index < tasks.GetSize() ? static_cast<CAutoTaskA *>(tasks[index])
                                                     : nullptr;
    }
    // Takes `task` off the list (wherever it now is); whether it was there.
    bool Detach(CAutoTaskA *task)
    {
        std::lock_guard guard(lock);
        for (int i = 0; i < tasks.GetSize(); ++i) {
            if (tasks[i] == task) {
                tasks.RemoveAt(i);
                return true;
            }
        }
        return false;
    }
    void Destroy(CAutoTaskA *task)
    {
        std::lock_guard poll(pollLock);
        task->Suicide();
    }
};

CAutoTaskMgr::CAutoTaskMgr() : _Impl(std::make_shared<Impl>()) {}

CAutoTaskMgr::~CAutoTaskMgr()
{
    StopWorker(kStopWaitMs);
}

int CAutoTaskMgr::AddTask(CAutoTaskA *task)
{
    if (!task) return -1;
    std::lock_guard guard(_Impl->lock);
    const int index = _Impl->tasks.Add(task);
    if (!_Impl->workerActive) {
        _Impl->workerActive = true;
        _Impl->stop = std::make_shared<plat::Event>(true, false);
        std::shared_ptr<Impl> impl = _Impl;
        std::shared_ptr<plat::Event> stop = _Impl->stop;
        _Impl->worker = plat::Thread::Start([impl, stop] { return Worker(impl, stop); });
        if (!_Impl->worker.Valid()) _Impl->workerActive = false;
    }
    return index;
}

int CAutoTaskMgr::AddTask(const char *name)
{
    return AddTask(CAutoTaskA::OpenTask(name, CAutoTaskA::GetClassID()));
}

int CAutoTaskMgr::AddTask(const CStringArray &names)
{
    for (const CString &name : names) AddTask(name.GetString());
    return 1;
}

int CAutoTaskMgr::Initialization(const char *path)
{
    CStringArray names;
    CResString(path).GetAsStringArray(names, "");
    return AddTask(names);
}

int CAutoTaskMgr::Finalization()
{
    StopWorker(0);
    plat::Sleep(kFinalPauseMs);
    return 1;
}

void CAutoTaskMgr::StopWorker(uint32_t waitMs)
{
    plat::Thread worker;
    {
        std::lock_guard guard(_Impl->lock);
        if (_Impl->stop) _Impl->stop->Set();
        worker = _Impl->worker;
        _Impl->worker.Close();
        _Impl->workerActive = false;
    }
    worker.StopWithin(waitMs, 0);
}

int CAutoTaskMgr::GetSize()
{
    std::lock_guard guard(_Impl->lock);
    return _Impl->tasks.GetSize();
}

CAutoTaskA *CAutoTaskMgr::GetTaskAt(int index)
{
    return _Impl->At(index);
}

void CAutoTaskMgr::RemoveAt(int index, int destroy)
{
    CAutoTaskA *task = nullptr;
    {
        std::lock_guard guard(_Impl->lock);
        if (index < 0 || index >= _Impl->tasks.GetSize()) return;
        task = static_cast<CAutoTaskA *>(_Impl->tasks[index]);
        _Impl->tasks.RemoveAt(index);
    }
    if (destroy && task) _Impl->Destroy(task);
}

void CAutoTaskMgr::RemoveAll(int destroy)
{
    while (GetSize() > 0) RemoveAt(0, destroy);
}

int CAutoTaskMgr::GetTaskList(CStringArray *names, CStringArray *descriptions)
{
    if (names) names->RemoveAll();
    if (descriptions) descriptions->RemoveAll();
    std::lock_guard guard(_Impl->lock);
    for (void *entry : _Impl->tasks) {
        auto *task = static_cast<CAutoTaskA *>(entry);
        if (names) names->Add(task->GetInstanceName());
        if (descriptions) descriptions->Add(task->GetDescription());
    }
    return 1;
}

CAutoTaskA *CAutoTaskMgr::GetTaskByName(const char *name)
{
    if (!name) return nullptr;
    std::lock_guard guard(_Impl->lock);
    for (void *entry : _Impl->tasks) {
        auto *task = static_cast<CAutoTaskA *>(entry);
        if (std::strcmp(task->GetInstanceName(), name) == 0) return task;
    }
    return nullptr;
}

uint32_t CAutoTaskMgr::Worker(const std::shared_ptr<Impl> &impl,
                              const std::shared_ptr<plat::Event> &stop)
{
    while (stop->Wait(kPollMs) != plat::WAIT_OBJECT_0) {
        int count = 0;
        {
            std::lock_guard guard(impl->lock);
            count = impl->tasks.GetSize();
            if (count < 1) {
                if (impl->stop == stop) impl->workerActive = false;
                return 0;
            }
        }
        for (int i = count - 1; i >= 0 && !stop->IsSet(); --i) {
            CAutoTaskA *task = nullptr;
            bool unload = false;
            {
                std::lock_guard poll(impl->pollLock);
                task = impl->At(i);
                if (!task) continue;
                task->__Do();
                unload = task->CanUnload();
            }
            if (unload && impl->Detach(task)) impl->Destroy(task);
        }
    }
    return 0;
}
