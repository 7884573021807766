// Codec threads of a conversion: what "threads" sets, and the share of the
// machine's cores a task takes when nothing set it.
#include "engine_run_support.h"

#include <mutex>

using namespace vexa;
using namespace vexa::test;

namespace {

// Thread counts of the opened video codecs, seen from inside the conversion.
struct SeenThreads {
    std::mutex lock;
    int encoder = -1;
    int decoder = -1;
};

// Wraps the task's progress callback (the last report comes while every
// codec is still open) to read the thread counts the codecs were opened with.
void Watch(TFFEngine& engine, int task, SeenThreads& seen)
{
    TFFmpeg* t = engine.Task(task);
    t->FOnProgress = [original = t->FOnProgress, &seen](TCustomFFmpeg* s, auto... rest) {
        {
            std::lock_guard<std::mutex> g(seen.lock);
            for (const auto& st : s->OutputFile(0).streams)
                if (st->type == AVMEDIA_TYPE_VIDEO && st->enc_ctx)
                    seen.encoder = st->enc_ctx->thread_count;
            for (const TInputCodec& c : s->InputFile(0).codecs)
                if (c.opened && c.dec_ctx && c.dec_ctx->codec_type == AVMEDIA_TYPE_VIDEO)
                    seen.decoder = c.dec_ctx->thread_count;
        }
        if (original)
            original(s, rest...);
    };
}

int AddTask(TFFEngine& engine, const std::string& output, const std::string& ext)
{
    TOutputOptions o = AviOptions();
    o.ExtOptions = ext;
    const int t = engine.AddTask(Media("av.mp4"), static_cast<const TInputOptions*>(nullptr));
    EXPECT_GE(t, 0) << engine.LastErrMsg();
    EXPECT_TRUE(engine.SetOutputFile(t, output, &o)) << engine.LastErrMsg();
    return t;
}

class CodecThreadsTest : public EngineRunTest {};

TEST(CodecThreadShare, CoresAreSharedAmongTasksAtOnce)
{
    struct Case {
        int cores, tasks, share;
    };
    const Case cases[] = {
        {1, 1, 1}, {2, 1, 2}, {8, 1, 8},  // a lone task takes every core
        {2, 2, 1}, {8, 8, 1},             // as many tasks as cores: one each
        {8, 3, 2}, {8, 2, 4},             // the rest in whole shares
        {2, 5, 1},                        // more tasks than cores still get one
        {4, 0, 4},                        // no count is a lone task
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShareOfCores(c.cores, c.tasks), c.share) << c.cores << " cores, " << c.tasks << " tasks";
}

// "threads" in a task's options reaches both codecs; without it a lone task
// takes the whole machine.
TEST_F(CodecThreadsTest, ThreadsOptionAndLoneTaskReachTheCodecs)
{
    const std::string dir = ScratchDir("codec-threads");
    const int cores = MachineCores();
    struct Case {
        const char* what;
        std::string ext;
        int expected;
    };
    const Case cases[] = {
        {"threads=2", "threads=2", 2},
        {"threads=1", "threads=1", 1},
        {"no option, lone task", "", cores},
    };
    for (const Case& c : cases) {
        EngineEvents events;
        TFFEngine engine;
        events.Attach(engine);
        SeenThreads seen;
        const int t = AddTask(engine, dir + "/out.avi", c.ext);
        Watch(engine, t, seen);
        engine.Start(0);
        ASSERT_EQ(events.Terminates().size(), 2u) << c.what;
        EXPECT_FALSE(events.Terminates()[0].info.Exception) << c.what << ": " << events.Terminates()[0].info.ExceptionMsg;
        EXPECT_EQ(engine.Task(t)->CodecThreads(), c.expected) << c.what;
        EXPECT_EQ(seen.encoder, c.expected) << c.what;
        EXPECT_EQ(seen.decoder, c.expected) << c.what;
        if (c.ext.empty() && cores > 1) {
            EXPECT_GT(seen.encoder, 1) << "a lone task on " << cores << " cores";
        }
        engine.ClearTasks();
    }
}

TEST_F(CodecThreadsTest, AutoLeavesTheCountToTheLibraries)
{
    const std::string dir = ScratchDir("codec-threads-auto");
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    SeenThreads seen;
    const int t = AddTask(engine, dir + "/out.avi", "threads=auto");
    Watch(engine, t, seen);
    engine.Start(0);
    ASSERT_EQ(events.Terminates().size(), 2u);
    EXPECT_FALSE(events.Terminates()[0].info.Exception) << events.Terminates()[0].info.ExceptionMsg;
    EXPECT_EQ(engine.Task(t)->CodecThreads(), 0);
    // The libraries put their own choice in place of 0 when they open.
    EXPECT_GE(seen.decoder, 1);
    engine.ClearTasks();
}

// Two tasks started together share the cores from the first one on, and
// the task that starts after they ended takes the whole machine again.
TEST_F(CodecThreadsTest, TasksAtOnceShareTheCores)
{
    const std::string dir = ScratchDir("codec-threads-share");
    const int cores = MachineCores();
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    SeenThreads seen[2];
    for (int i = 0; i < 2; ++i)
        Watch(engine, AddTask(engine, dir + "/o" + std::to_string(i) + ".avi", ""), seen[i]);
    engine.Start(2);
    ASSERT_TRUE(events.WaitForEnd());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(engine.Task(i)->CodecThreads(), ShareOfCores(cores, 2)) << i;
        std::lock_guard<std::mutex> g(seen[i].lock);
        EXPECT_EQ(seen[i].encoder, ShareOfCores(cores, 2)) << i;
    }
    EXPECT_EQ(ConvertingTasks(), 0);
    engine.ClearTasks();

    EngineEvents again;
    TFFEngine next;
    again.Attach(next);
    AddTask(next, dir + "/alone.avi", "");
    next.Start(2);
    ASSERT_TRUE(again.WaitForEnd());
    EXPECT_EQ(next.Task(0)->CodecThreads(), cores);
    next.ClearTasks();
}

}  // namespace
