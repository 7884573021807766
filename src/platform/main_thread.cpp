#include "platform/main_thread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace vexa::platform {
namespace {

struct HandOff {
    std::function<void()> fn;
    std::exception_ptr error;
    bool done = false;
    bool posted = false;  // nobody waits for it
};

struct State {
    std::mutex lock;
    std::condition_variable changed;  // a hand-off was queued or finished, or a waiter was notified
    std::deque<std::shared_ptr<HandOff>> queue;
    std::function<void()> wakeUp;
    std::atomic<std::thread::id> mainId{std::this_thread::get_id()};
    uint64_t notifications = 0;
};

State& S()
{
    static State state;
    return state;
}

void Enqueue(State& s, const std::shared_ptr<HandOff>& item)
{
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> g(s.lock);
        s.queue.push_back(item);
        wake = s.wakeUp;
    }
    s.changed.notify_all();
    if (wake)
        wake();
}

}  // namespace

void MainThread::SetCurrentAsMain()
{
    S().mainId.store(std::this_thread::get_id());
}

bool MainThread::IsMainThread()
{
    return S().mainId.load() == std::this_thread::get_id();
}

void MainThread::Synchronize(const std::function<void()>& fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    auto item = std::make_shared<HandOff>();
    item->fn = fn;
    State& s = S();
    Enqueue(s, item);
    std::unique_lock<std::mutex> g(s.lock);
    s.changed.wait(g, [&] { return item->done; });
    if (item->error)
        std::rethrow_exception(item->error);
}

// The wait of WaitServing; serves hand-offs when `serve` is set.
static bool WaitUntilDone(const std::function<bool()>& done, std::chrono::milliseconds timeout, bool serve)
{
    State& s = S();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (serve)
            MainThread::CheckSynchronize();
        if (done())
            return true;
        std::unique_lock<std::mutex> g(s.lock);
        const uint64_t seen = s.notifications;
        // Re-check under the lock so a notification between done() and the
        // wait cannot be lost.
        if (serve && !s.queue.empty())
            continue;
        g.unlock();
        if (done())
            return true;
        g.lock();
        if (s.notifications != seen || (serve && !s.queue.empty()))
            continue;
        if (s.changed.wait_until(g, deadline, [&] {
                return s.notifications != seen || (serve && !s.queue.empty());
            }))
            continue;
        g.unlock();
        return done();
    }
}

void MainThread::Post(std::function<void()> fn)
{
    auto item = std::make_shared<HandOff>();
    item->fn = std::move(fn);
    item->posted = true;
    Enqueue(S(), item);
}

bool MainThread::CheckSynchronize()
{
    if (!IsMainThread())
        return false;
    State& s = S();
    bool ran = false;
    for (;;) {
        std::shared_ptr<HandOff> item;
        {
            std::lock_guard<std::mutex> g(s.lock);
            if (s.queue.empty())
                break;
            item = s.queue.front();
            s.queue.pop_front();
        }
        try {
            item->fn();
        } catch (...) {
            if (!item->posted)
                item->error = std::current_exception();
        }
        if (item->posted) {
            // Whatever the function holds is released here, on the main thread.
            item.reset();
            ran = true;
            continue;
        }
        {
            std::lock_guard<std::mutex> g(s.lock);
            item->done = true;
            // The waiting thread keeps the last reference, so the hand-off and
            // any exception it carries die on the thread that handled them.
            item.reset();
        }
        s.changed.notify_all();
        ran = true;
    }
    return ran;
}

void MainThread::SetWakeUpHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> g(S().lock);
    S().wakeUp = std::move(hook);
}

bool MainThread::WaitServing(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const bool serve = IsMainThread();
    const bool result = WaitUntilDone(done, timeout, serve);
    // What was queued before done() turned true runs before the caller goes
    // on (log lines of a worker that has just ended, for instance).
    if (result && serve)
        CheckSynchronize();
    return result;
}

void MainThread::NotifyWaiters()
{
    State& s = S();
    {
        std::lock_guard<std::mutex> g(s.lock);
        ++s.notifications;
    }
    s.changed.notify_all();
}

size_t MainThread::Pending()
{
    std::lock_guard<std::mutex> g(S().lock);
    return S().queue.size();
}

}  // namespace vexa::platform
