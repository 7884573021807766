#pragma once
// Worker threads with the priority scale the engine and player use.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vexa::platform {

// Idle maps to SCHED_IDLE; the others to nice 19, 10, 0, -5, -10, -15.
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Applies a priority to the calling thread. Raising above normal needs a
// privilege the process may not have; then the thread stays at normal and
// the call returns false.
bool SetCurrentThreadPriority(TThreadPriority priority);
TThreadPriority CurrentThreadPriority();

// Kernel thread id of the calling thread (what logs and events report).
uint32_t CurrentThreadId();

// A joinable thread that applies its priority before running its body.
class TThread {
public:
    TThread() = default;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    ~TThread();

    void Start(std::function<void()> body, TThreadPriority priority = TThreadPriority::tpNormal);
    bool Joinable() const { return thread_.joinable(); }
    void Join();
    void Detach();
    bool Finished() const { return finished_.load(); }

private:
    std::thread thread_;
    std::atomic<bool> finished_{false};
};

// Manual-reset event: stays signalled until ResetEvent().
class TEvent {
public:
    explicit TEvent(bool initiallySet = false) : set_(initiallySet) {}
    void SetEvent();
    void ResetEvent();
    bool IsSet() const;
    // Returns true when the event is set within the timeout.
    bool WaitFor(std::chrono::milliseconds timeout) const;
    void Wait() const;

private:
    mutable std::mutex lock_;
    mutable std::condition_variable cv_;
    bool set_;
};

}  // namespace vexa::platform
