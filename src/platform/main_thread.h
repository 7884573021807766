#pragma once
// Hand-off of work from any thread to the main thread.
//
// Synchronize() runs a function on the main thread and blocks the caller
// until it has run; called on the main thread it runs the function directly.
// Post() queues a function for the main thread and returns at once; posted
// and synchronous hand-offs run in the order they were queued.
// The main loop drains the queue with CheckSynchronize(); the Qt application
// installs a wake-up hook that posts a drain request to its event loop. Any
// wait on the main thread for a worker must use WaitServing(), which keeps
// draining, or a worker blocked in Synchronize() would deadlock it.
#include <chrono>
#include <functional>

namespace vexa::platform {

class MainThread {
public:
    // Marks the calling thread as the main thread. The thread that first
    // uses this class is taken by default; applications call it in main().
    static void SetCurrentAsMain();
    static bool IsMainThread();

    // Runs fn on the main thread and waits for it. An exception thrown by fn
    // is rethrown in the calling thread.
    static void Synchronize(const std::function<void()>& fn);

    // Queues fn for the main thread and returns without waiting, also on the
    // main thread (fn then runs at the next drain, after what is queued).
    // Nobody waits for the result: an exception thrown by fn is dropped.
    static void Post(std::function<void()> fn);

    // Runs every queued hand-off; returns true when at least one ran.
    // Does nothing when called off the main thread.
    static bool CheckSynchronize();

    // Called (on the posting thread) whenever a hand-off is queued.
    static void SetWakeUpHook(std::function<void()> hook);

    // Blocks the main thread until done() is true or the timeout passes,
    // running hand-offs as they arrive. Returns done()'s last value.
    // Off the main thread it simply waits for done(). Whoever makes done()
    // true must call NotifyWaiters().
    static bool WaitServing(const std::function<bool()>& done,
                            std::chrono::milliseconds timeout);
    static void NotifyWaiters();

    // Number of hand-offs waiting (for tests and diagnostics).
    static size_t Pending();
};

}  // namespace vexa::platform
