#include "platform/Thread.h"

#include "platform/Process.h"
#include "platform/WaitCore.h"

#include <future>
#include <pthread.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace plat {

namespace detail {

namespace {

// The calling thread's record, reached through a plain thread-local pointer so that it stays
// usable while the thread's other thread-local objects are destroyed. It is released by a
// thread-specific-data destructor, which the C library runs after those, so locks taken in
// destructors at thread exit still see their owner alive.
thread_local std::shared_ptr<ThreadRecord> *t_record = nullptr;

void ReleaseRecord(void *p)
{
    auto *record = static_cast<std::shared_ptr<ThreadRecord> *>(p);
    (*record)->alive.store(false, std::memory_order_release);
    if (t_record == record) t_record = nullptr;
    delete record;
}

pthread_key_t RecordKey()
{
    static pthread_key_t key = [] {
        pthread_key_t k;
        pthread_key_create(&k, ReleaseRecord);
        return k;
    }();
    return key;
}

} // namespace

std::shared_ptr<ThreadRecord> CurrentThreadRecord()
{
    if (!t_record) {
        auto record = std::make_shared<ThreadRecord>();
        record->tid = static_cast<uint32_t>(syscall(SYS_gettid));
        t_record = new std::shared_ptr<ThreadRecord>(std::move(record));
        pthread_setspecific(RecordKey(), t_record);
    }
    return *t_record;
}

class ThreadObject {
public:
    ThreadObject() : end(std::make_shared<WaitObject>(true, false)) {}
    ~ThreadObject()
    {
        if (!thread.joinable()) return;
        // The last reference goes either on the thread itself (it cannot join itself) or
        // after the thread has dropped its own, when it is about to return.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }

    std::shared_ptr<WaitObject> end;
    std::thread thread;
    std::mutex threadMutex; // guards `thread` between GiveUp and the destructor
    uint32_t tid = 0;
    // Guarded by the dispatcher lock.
    bool ended = false;
    bool givenUp = false;
    uint32_t exitCode = STILL_ACTIVE;
};

} // namespace detail

Thread Thread::Start(Function fn)
{
    auto obj = std::make_shared<detail::ThreadObject>();
    auto started = std::make_shared<std::promise<uint32_t>>();
    std::future<uint32_t> tid = started->get_future();
    try {
        obj->thread = std::thread([self = obj, fn = std::move(fn), started]() mutable {
            started->set_value(detail::CurrentThreadRecord()->tid);
            started.reset();
            uint32_t code;
            try {
                code = fn();
            } catch (...) {
                OutputDebugString("thread ended by an uncaught exception\n");
                code = 0xFFFFFFFFu;
            }
            fn = nullptr;
            {
                std::lock_guard<std::mutex> lk(detail::DispatcherLock());
                self->ended = true;
                if (!self->givenUp) self->exitCode = code;
                self->end->SignalLocked();
            }
            self.reset();
        });
    } catch (const std::system_error &) {
        return Thread();
    }
    obj->tid = tid.get();
    Thread t;
    t.obj_ = obj->end;
    t.thread_ = std::move(obj);
    return t;
}

bool Thread::IsRunning() const
{
    if (!thread_) return false;
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    return !thread_->ended;
}

uint32_t Thread::ExitCode() const
{
    if (!thread_) return 0;
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    return thread_->exitCode;
}

uint32_t Thread::Id() const
{
    return thread_ ? thread_->tid : 0;
}

void Thread::GiveUp(uint32_t exitCode)
{
    if (!thread_) return;
    {
        std::lock_guard<std::mutex> lk(detail::DispatcherLock());
        if (!thread_->ended) {
            thread_->givenUp = true;
            thread_->exitCode = exitCode;
        }
    }
    std::lock_guard<std::mutex> lk(thread_->threadMutex);
    if (thread_->thread.joinable()) thread_->thread.detach();
}

bool Thread::StopWithin(uint32_t boundMs, uint32_t giveUpCode)
{
    if (!thread_) return true;
    if (thread_->tid != GetCurrentThreadId() && Join(boundMs)) return true;
    GiveUp(giveUpCode);
    return false;
}

uint32_t GetCurrentThreadId()
{
    return detail::CurrentThreadRecord()->tid;
}

} // namespace plat
