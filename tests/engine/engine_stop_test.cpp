// Runs of the engine component always end: stopping while idle, end-event
// handlers that throw or stop the run themselves, and hooks that throw
// anything at all. Every wait here is bounded; a hang fails the test.
#include "engine_run_support.h"

#include "platform/main_thread.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

using namespace vexa;
using namespace vexa::test;
using namespace std::chrono_literals;

namespace {

class EngineStopTest : public EngineRunTest {};

int AddAudioTask(TFFEngine& engine, const std::string& output)
{
    const int t = engine.AddTask(Media("audio.wav"), static_cast<const TInputOptions*>(nullptr));
    EXPECT_GE(t, 0) << engine.LastErrMsg();
    TOutputOptions o;
    EXPECT_TRUE(engine.SetOutputFile(t, output, &o)) << engine.LastErrMsg();
    return t;
}

// Runs body on a thread of its own while this thread serves main-thread
// hand-offs. A body that does not return in time is a deadlock: the process
// ends with a failure instead of hanging the test run.
void WithinSeconds(int seconds, const std::function<void()>& body)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        body();
        done = true;
        platform::MainThread::NotifyWaiters();
    });
    if (!platform::MainThread::WaitServing([&] { return done.load(); }, std::chrono::seconds(seconds))) {
        std::fprintf(stderr, "deadlock: the run did not return within %d seconds\n", seconds);
        std::fflush(nullptr);
        std::_Exit(1);
    }
    t.join();
}

// OnTerminate records under a lock; what it does besides is up to the test.
struct EndLog {
    std::mutex lock;
    std::vector<TTerminateInfo> ends;
    std::atomic<bool> runEnded{false};
    void Add(const TTerminateInfo& info)
    {
        {
            std::lock_guard<std::mutex> g(lock);
            ends.push_back(info);
        }
        if (info.TaskIndex == -1)
            runEnded = true;
        platform::MainThread::NotifyWaiters();
    }
    bool WaitForEnd() { return platform::MainThread::WaitServing([this] { return runEnded.load(); }, 30s); }
    std::vector<TTerminateInfo> Ends()
    {
        std::lock_guard<std::mutex> g(lock);
        return ends;
    }
};

}  // namespace

// Stop with nothing running ends no task, so the next run still runs them all.
TEST_F(EngineStopTest, StopWhileIdleLeavesTheTasksForTheNextRun)
{
    const std::string dir = ScratchDir("stop-idle");
    for (const int threads : {0, 1, 2}) {
        EndLog log;
        TFFEngine engine;
        engine.OnTerminate = [&log](TCustomFFEngine*, const TTerminateInfo& info) { log.Add(info); };
        AddAudioTask(engine, dir + "/a" + std::to_string(threads) + ".mp3");
        AddAudioTask(engine, dir + "/b" + std::to_string(threads) + ".mp3");
        engine.Stop(true);
        engine.Stop(false);
        EXPECT_TRUE(log.Ends().empty()) << threads;
        EXPECT_FALSE(engine.Task(0)->Terminated()) << threads;

        engine.Start(threads);
        ASSERT_TRUE(log.WaitForEnd()) << "the run never ended, threads " << threads;
        const auto ends = log.Ends();
        ASSERT_EQ(ends.size(), 3u) << threads;
        for (const TTerminateInfo& e : ends) {
            EXPECT_TRUE(e.Finished) << threads << " task " << e.TaskIndex;
            EXPECT_FALSE(e.Exception) << e.ExceptionMsg;
        }
        EXPECT_TRUE(engine.Terminated());
        engine.Stop(true);  // after the end: nothing more happens
        EXPECT_EQ(log.Ends().size(), 3u);
        engine.ClearTasks();
    }
}

// A handler that throws, whatever it throws, on whichever thread it runs:
// the run still ends, every event still comes, and the process lives on.
TEST_F(EngineStopTest, ThrowingEndHandlerDoesNotKeepTheRunFromEnding)
{
    struct Case {
        int threads;
        bool stopFromProgress;  // so that task 1 ends on a stop thread of its own
        bool throwsStd;
    };
    const Case cases[] = {{0, false, true}, {0, false, false}, {2, false, true},
                          {2, false, false}, {0, true, true},  {0, true, false}};
    const std::string dir = ScratchDir("throwing-handler");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("threads " + std::to_string(c.threads) + (c.stopFromProgress ? ", stopped" : "") +
                     (c.throwsStd ? ", std::exception" : ", an int"));
        LogCapture captured;
        EndLog log;
        TFFEngine engine;
        engine.OnTerminate = [&log, &c](TCustomFFEngine*, const TTerminateInfo& info) {
            log.Add(info);
            if (c.throwsStd)
                throw std::runtime_error("handler failed");
            throw 42;
        };
        if (c.stopFromProgress)
            engine.OnProgress = [](TCustomFFEngine* e, TProgressInfo&) { e->Stop(false); };
        AddAudioTask(engine, dir + "/a" + std::to_string(n) + ".mp3");
        AddAudioTask(engine, dir + "/b" + std::to_string(n) + ".mp3");
        ++n;
        engine.Start(c.threads);
        ASSERT_TRUE(log.WaitForEnd()) << "the run never ended";
        EXPECT_TRUE(engine.Terminated());
        const auto ends = log.Ends();
        ASSERT_EQ(ends.size(), 3u);
        EXPECT_EQ(ends.back().TaskIndex, -1);
        if (c.stopFromProgress) {
            for (const TTerminateInfo& e : ends) {
                if (e.TaskIndex == 1) {
                    EXPECT_FALSE(e.Finished);
                }
            }
        }
        EXPECT_TRUE(captured.Contains(c.throwsStd ? "Error occurs OnTerminate: handler failed"
                                                  : "Error occurs OnTerminate: unknown exception"));
        engine.ClearTasks();
    }
}

// Without threads the end event runs on the thread of Start, holding the end
// lock; a Stop(true) there cannot wait for the other tasks' end events, which
// need that lock. The run ends inside Start all the same.
TEST_F(EngineStopTest, StopWithWaitingFromAnEndEventOfARunWithoutThreads)
{
    const std::string dir = ScratchDir("stop-from-end");
    EndLog log;
    TFFEngine engine;
    std::atomic<int> stops{0};
    engine.OnTerminate = [&](TCustomFFEngine* e, const TTerminateInfo& info) {
        log.Add(info);
        if (info.TaskIndex >= 0) {
            ++stops;
            e->Stop(true);  // also from the end events of the stopped tasks
        }
    };
    for (const char* name : {"a", "b", "c"})
        AddAudioTask(engine, dir + "/" + name + ".mp3");
    WithinSeconds(60, [&] { engine.Start(0); });
    EXPECT_TRUE(engine.Terminated());
    auto ends = log.Ends();
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_EQ(ends[0].TaskIndex, 0);
    EXPECT_TRUE(ends[0].Finished);
    EXPECT_EQ(ends[3].TaskIndex, -1);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_GE(ends[i].TaskIndex, 1);
        EXPECT_FALSE(ends[i].Finished);
        EXPECT_FALSE(ends[i].Exception) << ends[i].ExceptionMsg;
    }
    EXPECT_EQ(stops.load(), 3);
    engine.ClearTasks();
}

// The custom hook may throw anything; the picture goes on unchanged and the
// conversion finishes.
TEST_F(EngineStopTest, HookThatThrowsAnythingLeavesTheConversionRunning)
{
    const std::string dir = ScratchDir("throwing-hook");
    LogCapture captured;
    EndLog log;
    TFFEngine engine;
    engine.OnTerminate = [&log](TCustomFFEngine*, const TTerminateInfo& info) { log.Add(info); };
    std::atomic<int> calls{0};
    engine.OnCustomHook = [&calls](TCustomFFEngine*, THookInfo&) {
        if (++calls == 1)
            throw 7;
    };
    TOutputOptions o = AviOptions();
    o.CustomHook = true;
    const int t = engine.AddTask(Media("av.avi"), static_cast<const TInputOptions*>(nullptr));
    ASSERT_GE(t, 0) << engine.LastErrMsg();
    ASSERT_TRUE(engine.SetOutputFile(t, dir + "/hooked.avi", &o)) << engine.LastErrMsg();
    engine.Start(1);
    ASSERT_TRUE(log.WaitForEnd());
    const auto ends = log.Ends();
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_TRUE(ends[0].Finished);
    EXPECT_FALSE(ends[0].Exception) << ends[0].ExceptionMsg;
    EXPECT_GT(calls.load(), 1);
    EXPECT_TRUE(captured.Contains("Error occurs OnCustomHook: unknown exception"));
    EXPECT_TRUE(ReadOutput(dir + "/hooked.avi").opened);
    engine.ClearTasks();
}
