#include "platform/thread.h"

#include "platform/main_thread.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vexa::platform {
namespace {

int NiceOf(TThreadPriority p)
{
    switch (p) {
    case TThreadPriority::tpIdle:
    case TThreadPriority::tpLowest: return 19;
    case TThreadPriority::tpLower: return 10;
    case TThreadPriority::tpNormal: return 0;
    case TThreadPriority::tpHigher: return -5;
    case TThreadPriority::tpHighest: return -10;
    case TThreadPriority::tpTimeCritical: return -15;
    }
    return 0;
}

}  // namespace

uint32_t CurrentThreadId()
{
    static thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
    return id;
}

bool SetCurrentThreadPriority(TThreadPriority priority)
{
    const pid_t tid = static_cast<pid_t>(CurrentThreadId());
    sched_param param{};
    param.sched_priority = 0;
    if (priority == TThreadPriority::tpIdle) {
        if (sched_setscheduler(tid, SCHED_IDLE, &param) == 0)
            return true;
        return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19) == 0;
    }
    // Leaving SCHED_IDLE again is allowed for unprivileged threads.
    sched_setscheduler(tid, SCHED_OTHER, &param);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceOf(priority)) == 0)
        return true;
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
    return false;
}

TThreadPriority CurrentThreadPriority()
{
    const pid_t tid = static_cast<pid_t>(CurrentThreadId());
    if (sched_getscheduler(tid) == SCHED_IDLE)
        return TThreadPriority::tpIdle;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (nice >= 19) return TThreadPriority::tpLowest;
    if (nice >= 10) return TThreadPriority::tpLower;
    if (nice >= 0) return TThreadPriority::tpNormal;
    if (nice >= -5) return TThreadPriority::tpHigher;
    if (nice >= -10) return TThreadPriority::tpHighest;
    return TThreadPriority::tpTimeCritical;
}

TThread::~TThread()
{
    if (thread_.joinable())
        thread_.join();
}

void TThread::Start(std::function<void()> body, TThreadPriority priority)
{
    finished_.store(false);
    thread_ = std::thread([this, body = std::move(body), priority] {
        SetCurrentThreadPriority(priority);
        body();
        finished_.store(true);
        MainThread::NotifyWaiters();
    });
}

void TThread::Join()
{
    if (thread_.joinable())
        thread_.join();
}

void TThread::Detach()
{
    if (thread_.joinable())
        thread_.detach();
}

void TEvent::SetEvent()
{
    {
        std::lock_guard<std::mutex> g(lock_);
        set_ = true;
    }
    cv_.notify_all();
    MainThread::NotifyWaiters();
}

void TEvent::ResetEvent()
{
    std::lock_guard<std::mutex> g(lock_);
    set_ = false;
}

bool TEvent::IsSet() const
{
    std::lock_guard<std::mutex> g(lock_);
    return set_;
}

bool TEvent::WaitFor(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> g(lock_);
    return cv_.wait_for(g, timeout, [this] { return set_; });
}

void TEvent::Wait() const
{
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait(g, [this] { return set_; });
}

}  // namespace vexa::platform
