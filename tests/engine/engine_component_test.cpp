// The engine component: building tasks from records and texts, the run
// states and refusals, runs with and without threads, stopping, and the
// progress rules of the loop.
#include "engine_run_support.h"

#include "platform/main_thread.h"
#include "platform/paths.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <ctime>
#include <set>

using namespace vexa;
using namespace vexa::test;

namespace {

class EngineComponentTest : public EngineRunTest {};

int AddWithOutput(TFFEngine& engine, const std::string& input, const std::string& output,
                  const TOutputOptions& options = AviOptions())
{
    const int t = engine.AddTask(Media(input), static_cast<const TInputOptions*>(nullptr));
    EXPECT_GE(t, 0) << engine.LastErrMsg();
    EXPECT_TRUE(engine.SetOutputFile(t, output, &options)) << engine.LastErrMsg();
    return t;
}

TEST_F(EngineComponentTest, ProgressIntervalIsAtLeast100)
{
    TFFEngine engine;
    EXPECT_EQ(engine.ProgressInterval(), 500);
    const std::pair<int, int> cases[] = {{0, 100}, {50, 100}, {100, 100}, {101, 101}, {-5, 100}, {2000, 2000}};
    for (const auto& [set, read] : cases) {
        engine.SetProgressInterval(set);
        EXPECT_EQ(engine.ProgressInterval(), read) << set;
    }
}

TEST_F(EngineComponentTest, ExtOptionsTextRules)
{
    using Lines = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(ParseExtOptions("a=1<CRLF>b=2"), ParseExtOptions("a=1\r\nb=2"));
    EXPECT_EQ(ParseExtOptions("  a=1\rb=2\nc=x=y\r\n\r\nflag  "),
              (Lines{{"a", "1"}, {"b", "2"}, {"c", "x=y"}, {"flag", ""}}));
    EXPECT_TRUE(ParseExtOptions("  \r\n ").empty());
}

TEST_F(EngineComponentTest, TextFormsOfTheRecords)
{
    const std::string dir = ScratchDir("text-forms");
    TFFEngine engine;
    // TimeStart is read as a number; other lines, in any case, reach the task.
    const int t = engine.AddTask(Media("av.mp4"), std::string("TIMESTART=1000000\nitsoffset=0"));
    ASSERT_EQ(t, 0) << engine.LastErrMsg();
    const TInputOptions* in = engine.Task(t)->InputOptions(0);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->TimeStart, 1000000);
    EXPECT_EQ(in->ExtOptions, "itsoffset=0\n");
    EXPECT_EQ(in->FileName, Media("av.mp4"));

    ASSERT_TRUE(engine.SetOutputFile(t, dir + "/a.avi", std::string("Hook=0\njoin=no\nTimeLength=x\nvb=300000")))
        << engine.LastErrMsg();
    const TOutputOptions* out = engine.Task(t)->OutputOptions(0);
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(out->CustomHook);
    EXPECT_TRUE(out->Join);
    EXPECT_EQ(out->TimeLength, kNoTimestamp);
    EXPECT_EQ(out->ExtOptions, "vb=300000\n");
    EXPECT_TRUE(static_cast<bool>(engine.Task(t)->FOnCustomHook));

    // A record whose FileName is set keeps it; the file opened is the argument.
    TInputOptions named;
    named.FileName = "kept.name";
    const int u = engine.AddTask(Media("av.avi"), &named);
    ASSERT_EQ(u, 1) << engine.LastErrMsg();
    EXPECT_EQ(engine.Task(u)->InputOptions(0)->FileName, "kept.name");
    EXPECT_EQ(engine.Task(u)->InputFile(0).file_name, Media("av.avi"));
}

TEST_F(EngineComponentTest, AddTaskFailuresLeaveNoTask)
{
    TFFEngine engine;
    EXPECT_EQ(engine.AddTask(Media("missing.avi"), static_cast<const TInputOptions*>(nullptr)), -1);
    EXPECT_NE(engine.LastErrMsg().find("missing.avi"), std::string::npos) << engine.LastErrMsg();
    TInputOptions bad;
    bad.ExtOptions = "s=abc";
    EXPECT_EQ(engine.AddTask(Media("av.mp4"), &bad), -1);
    EXPECT_EQ(engine.LastErrMsg(), "Incorrect frame size");
    EXPECT_EQ(engine.AddTask(nullptr, "x", nullptr), -1);
    EXPECT_EQ(engine.TasksCount(), 0);
}

TEST_F(EngineComponentTest, TwoVcodecLinesPairWithNewVideo)
{
    const std::string dir = ScratchDir("newvideo");
    TFFEngine engine;
    const int t = engine.AddTask(Media("video.avi"), static_cast<const TInputOptions*>(nullptr));
    TOutputOptions o;
    o.ExtOptions = "vcodec=mpeg4\nvcodec=mpeg2video\nnewvideo=\nnewvideo=";
    ASSERT_TRUE(engine.SetOutputFile(t, dir + "/three.mkv", &o)) << engine.LastErrMsg();
    TOutputFile& of = engine.Task(t)->OutputFile(0);
    ASSERT_EQ(of.streams.size(), 3u);
    EXPECT_EQ(of.streams[0]->codec_id, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(of.streams[1]->codec_id, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(of.streams[2]->codec_id, AV_CODEC_ID_MPEG2VIDEO);
}

TEST_F(EngineComponentTest, MaxInputsAndOutputs)
{
    const std::string dir = ScratchDir("max-files");
    TFFEngine engine;
    const int t = engine.AddTask(Media("audio.wav"), static_cast<const TInputOptions*>(nullptr));
    for (int i = 1; i < 20; ++i)
        ASSERT_TRUE(engine.AddInputFile(t, Media("audio.wav"))) << i << engine.LastErrMsg();
    EXPECT_FALSE(engine.AddInputFile(t, Media("audio.wav")));
    EXPECT_EQ(engine.LastErrMsg(), "max input files 20 reached");
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(engine.SetOutputFile(t, dir + "/o" + std::to_string(i) + ".wav")) << i << engine.LastErrMsg();
    EXPECT_FALSE(engine.SetOutputFile(t, dir + "/o20.wav"));
    EXPECT_EQ(engine.LastErrMsg(), "max output files 20 reached");
}

TEST_F(EngineComponentTest, RefusalsAfterARunUntilClearTasks)
{
    const std::string dir = ScratchDir("refusals");
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    AddWithOutput(engine, "av.avi", dir + "/a.avi");
    engine.Start(0);
    EXPECT_TRUE(engine.Terminated());
    EXPECT_TRUE(engine.Working());
    const std::pair<std::string, std::function<void()>> refused[] = {
        {"Cannot AddTask while working.", [&] { engine.AddTask(Media("av.avi"), std::string()); }},
        {"Cannot AddInputFile while working.", [&] { engine.AddInputFile(0, Media("av.avi")); }},
        {"Cannot SetOutputFile while working.", [&] { engine.SetOutputFile(0, dir + "/b.avi"); }},
        {"Cannot Exchange while working.", [&] { engine.Exchange(0, 0); }},
        {"Cannot RemoveTask while working.", [&] { engine.RemoveTask(0); }},
        {"Cannot StartTask while working.", [&] { engine.Start(1); }},
    };
    for (const auto& [message, call] : refused)
        EXPECT_EQ(ErrorOf(call), message);
    engine.ClearTasks();
    EXPECT_FALSE(engine.Working());
    EXPECT_EQ(engine.TasksCount(), 0);
    EXPECT_GE(engine.AddTask(Media("av.avi"), std::string()), 0) << engine.LastErrMsg();
}

TEST_F(EngineComponentTest, SynchronousRunEndsInsideStart)
{
    const std::string dir = ScratchDir("sync-run");
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    AddWithOutput(engine, "av.avi", dir + "/a.avi");
    AddWithOutput(engine, "audio.wav", dir + "/b.mp3", TOutputOptions{});
    engine.Start(0);
    const auto ends = events.Terminates();
    ASSERT_EQ(ends.size(), 3u);
    const int order[] = {0, 1, -1};
    for (size_t i = 0; i < ends.size(); ++i) {
        EXPECT_EQ(ends[i].info.TaskIndex, order[i]);
        EXPECT_TRUE(ends[i].info.Finished);
        EXPECT_FALSE(ends[i].info.Exception) << ends[i].info.ExceptionMsg;
        EXPECT_EQ(ends[i].thread, std::this_thread::get_id());
    }
}

TEST_F(EngineComponentTest, EmptyListEndsTheRunAtOnce)
{
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    engine.Start(2);
    ASSERT_TRUE(events.WaitForEnd(30));
    ASSERT_EQ(events.Terminates().size(), 1u);
    EXPECT_EQ(events.Terminates()[0].info.TaskIndex, -1);
    EXPECT_TRUE(engine.Terminated());
    engine.ClearTasks();
}

// Three tasks at once out of five: the fourth and fifth start only as
// earlier ones end. Every task reports progress before it can end, so a
// progress handler that holds the first caller keeps every task running.
TEST_F(EngineComponentTest, ThreadCountLimitsTasksRunningAtOnce)
{
    const std::string dir = ScratchDir("three-of-five");
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    engine.SetTriggerEventInMainThread(false);
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    std::set<int> reported;
    engine.OnProgress = [&](TCustomFFEngine*, TProgressInfo& info) {
        std::unique_lock<std::mutex> g(lock);
        reported.insert(info.TaskIndex);
        changed.notify_all();
        changed.wait(g, [&] { return release; });
    };
    for (int i = 0; i < 5; ++i)
        AddWithOutput(engine, "av.avi", dir + "/o" + std::to_string(i) + ".avi");
    engine.Start(3);
    {
        std::unique_lock<std::mutex> g(lock);
        changed.wait(g, [&] { return !reported.empty(); });
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(engine.Task(i)->Converting()) << i;
    for (int i = 3; i < 5; ++i) {
        EXPECT_FALSE(engine.Task(i)->Converting()) << i;
        EXPECT_FALSE(engine.Task(i)->Terminated()) << i;
    }
    {
        std::lock_guard<std::mutex> g(lock);
        release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(events.WaitForEnd());
    const auto ends = events.Terminates();
    ASSERT_EQ(ends.size(), 6u);
    EXPECT_EQ(ends.back().info.TaskIndex, -1);
    std::set<int> tasks;
    for (size_t i = 0; i + 1 < ends.size(); ++i) {
        tasks.insert(ends[i].info.TaskIndex);
        EXPECT_TRUE(ends[i].info.Finished);
        EXPECT_NE(ends[i].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(tasks, (std::set<int>{0, 1, 2, 3, 4}));
    engine.ClearTasks();
}

// The custom hook runs on the worker for each decoded picture; the first
// call tells the test that the conversion is under way.
struct FirstPicture {
    std::atomic<bool> seen{false};
    std::function<void(TCustomFFEngine&)> onFirst;
    void Connect(TCustomFFEngine& engine)
    {
        engine.OnCustomHook = [this](TCustomFFEngine* e, THookInfo& info) {
            info.Update = false;
            if (!seen.exchange(true)) {
                if (onFirst)
                    onFirst(*e);
                platform::MainThread::NotifyWaiters();
            }
        };
    }
    bool Wait()
    {
        return platform::MainThread::WaitServing([this] { return seen.load(); }, std::chrono::seconds(60));
    }
};

TOutputOptions Hooked(TOutputOptions o)
{
    o.CustomHook = true;
    return o;
}

// Task 0 delivers its progress on the main thread, so while the test waits
// in Stop(true) the worker may be blocked in a hand-off: Stop keeps serving.
TEST_F(EngineComponentTest, StopWithWaitingEndsRunningAndWaitingTasks)
{
    const std::string dir = ScratchDir("stop-wait");
    EngineEvents events;
    FirstPicture first;
    TFFEngine engine;
    events.Attach(engine);
    first.Connect(engine);
    engine.SetProgressInterval(100);
    AddWithOutput(engine, "long.avi", dir + "/running.mp4", Hooked(TOutputOptions{}));
    AddWithOutput(engine, "av.avi", dir + "/waiting.avi");
    engine.Start(1);
    EXPECT_TRUE(engine.Task(0)->Converting());
    ASSERT_TRUE(first.Wait());
    engine.Stop(true);
    ASSERT_TRUE(events.WaitForEnd());
    auto ends = events.Terminates();
    ASSERT_EQ(ends.size(), 3u);
    // Each end event has a thread of its own: the tasks' may come in any order.
    if (ends[0].info.TaskIndex == 1)
        std::swap(ends[0], ends[1]);
    EXPECT_EQ(ends[0].info.TaskIndex, 0);
    EXPECT_FALSE(ends[0].info.Finished);
    EXPECT_FALSE(ends[0].info.Exception) << ends[0].info.ExceptionMsg;
    EXPECT_EQ(ends[1].info.TaskIndex, 1);
    EXPECT_FALSE(ends[1].info.Finished);
    EXPECT_FALSE(ends[1].info.Exception);
    EXPECT_EQ(ends[2].info.TaskIndex, -1);
    // The stopped output is shorter and whole: its index was written.
    const OutputFacts f = ReadOutput(dir + "/running.mp4");
    ASSERT_TRUE(f.opened);
    EXPECT_LT(f.duration, 6000000);
    engine.ClearTasks();
    // The waiting task never wrote a byte: nothing is left of it.
    EXPECT_FALSE(std::filesystem::exists(dir + "/waiting.avi"));
}

// The worker pauses itself at its first picture; it holds at the top of its
// packet loop until resumed, or until a stop releases it.
TEST_F(EngineComponentTest, PausedTaskResumesOrStops)
{
    const std::string dir = ScratchDir("pause");
    for (const bool stop : {false, true}) {
        EngineEvents events;
        FirstPicture first;
        TFFEngine engine;
        events.Attach(engine);
        first.onFirst = [](TCustomFFEngine& e) { e.Pause(); };
        first.Connect(engine);
        const std::string out = dir + (stop ? "/stopped.avi" : "/resumed.avi");
        AddWithOutput(engine, "long.avi", out, Hooked(AviOptions()));
        engine.Start(1);
        ASSERT_TRUE(first.Wait());
        EXPECT_TRUE(engine.Task(0)->Paused());
        EXPECT_FALSE(engine.Task(0)->Terminated());
        // Once the worker is held, the output stops growing.
        ASSERT_TRUE(platform::MainThread::WaitServing([&] { return engine.Task(0)->PauseHeld(); },
                                                      std::chrono::seconds(30)));
        const auto sizeNow = [&] { return platform::FileSize(out); };
        const long long held = sizeNow();
        EXPECT_FALSE(platform::MainThread::WaitServing([&] { return sizeNow() != held; },
                                                       std::chrono::milliseconds(700)));
        EXPECT_EQ(sizeNow(), held);
        if (stop)
            engine.Stop(true);
        else
            engine.Resume();
        ASSERT_TRUE(events.WaitForEnd());
        EXPECT_EQ(events.Terminates().at(0).info.TaskIndex, 0);
        EXPECT_EQ(events.Terminates().at(0).info.Finished, !stop);
        const OutputFacts f = ReadOutput(out);
        EXPECT_TRUE(f.opened);
        if (!stop) {
            EXPECT_NEAR(static_cast<double>(f.duration) / 1e6, 6.0, 0.2);
            EXPECT_GT(sizeNow(), held);
        }
        engine.ClearTasks();
    }
}

TEST_F(EngineComponentTest, FailingTaskEndsAloneWithoutOutput)
{
    const std::string dir = ScratchDir("failing");
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    TOutputOptions copyWithVolume;
    copyWithVolume.AudioCodec = "copy";
    copyWithVolume.AudioVolume = 512;
    AddWithOutput(engine, "av.avi", dir + "/bad.avi", copyWithVolume);
    AddWithOutput(engine, "av.avi", dir + "/good.avi");
    engine.Start(2);
    ASSERT_TRUE(events.WaitForEnd());
    auto ends = events.Terminates();
    ASSERT_EQ(ends.size(), 3u);
    std::sort(ends.begin(), ends.end() - 1,
              [](const TerminateRecord& a, const TerminateRecord& b) { return a.info.TaskIndex < b.info.TaskIndex; });
    EXPECT_TRUE(ends[0].info.Exception);
    EXPECT_EQ(ends[0].info.ExceptionMsg, "-acodec copy and -vol are incompatible (frames are not decoded)");
    EXPECT_FALSE(ends[0].info.Finished);
    EXPECT_FALSE(std::filesystem::exists(dir + "/bad.avi"));
    EXPECT_TRUE(ends[1].info.Finished);
    EXPECT_FALSE(ends[1].info.Exception);
    EXPECT_TRUE(ReadOutput(dir + "/good.avi").opened);
    engine.ClearTasks();
}

// ---- the task on its own ----

class TaskRunTest : public EngineRunTest {};

struct ProgressCall {
    int fileIndex, frameNumber, fps;
    float quality;
    int64_t size, current, total;
};

std::vector<ProgressCall> Record(TCustomFFmpeg& task)
{
    auto calls = std::make_shared<std::vector<ProgressCall>>();
    task.FOnProgress = [calls](TCustomFFmpeg*, int fi, int fn, int fps, float q, float, int64_t size, int64_t cur,
                               int64_t total) { calls->push_back({fi, fn, fps, q, size, cur, total}); };
    task.ReportInterval = 0;
    task.StartConvert(false);
    return *calls;
}

TEST_F(TaskRunTest, AudioOnlyReportsWithoutVideoFiguresFromTheStart)
{
    const std::string dir = ScratchDir("task-audio");
    TCustomFFmpeg task;
    ASSERT_TRUE(task.OpenInput(Media("audio.wav")));
    ASSERT_GE(task.OpenOutput(dir + "/a.mp3", false), 1) << task.LastErrMsg();
    const auto calls = Record(task);
    ASSERT_GT(calls.size(), 2u);
    EXPECT_TRUE(task.Finished());
    // Nothing written yet: the output time starts from 1e10 seconds.
    EXPECT_EQ(calls.front().current, 10000000000000000LL);
    for (const ProgressCall& c : calls) {
        EXPECT_EQ(c.frameNumber, -1);
        EXPECT_EQ(c.fps, -1);
        EXPECT_FLOAT_EQ(c.quality, -1.0f);
    }
    EXPECT_EQ(calls.back().fileIndex, -1);
    EXPECT_NEAR(static_cast<double>(calls.back().current) / 1e6, 2.0, 0.1);
    EXPECT_NEAR(static_cast<double>(calls.back().total) / 1e6, 2.0, 0.1);
}

TEST_F(TaskRunTest, VideoReportsNothingBeforeItsFirstFrame)
{
    const std::string dir = ScratchDir("task-video");
    TCustomFFmpeg task;
    ASSERT_TRUE(task.OpenInput(Media("av.avi")));
    task.SetOption("vcodec", "mpeg4");
    ASSERT_GE(task.OpenOutput(dir + "/v.avi", false), 1) << task.LastErrMsg();
    const auto calls = Record(task);
    ASSERT_FALSE(calls.empty());
    for (const ProgressCall& c : calls)
        EXPECT_GE(c.frameNumber, 1);
    EXPECT_EQ(calls.back().frameNumber, 50);
    EXPECT_GT(calls.back().size, 0);
}

TEST_F(TaskRunTest, TasksWithoutOutputOrInputEndAtOnce)
{
    const std::string dir = ScratchDir("task-missing");
    TCustomFFmpeg noOutput;
    ASSERT_TRUE(noOutput.OpenInput(Media("av.avi")));
    int ends = 0;
    noOutput.FOnTerminate = [&ends](TCustomFFmpeg*) { ++ends; };
    EXPECT_FALSE(noOutput.StartConvert(true));
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(noOutput.Terminated());
    EXPECT_TRUE(noOutput.FatalException());
    EXPECT_EQ(noOutput.FatalMessage(), "At least one output file must be specified");
    EXPECT_FALSE(noOutput.StartConvert(true));  // an ended task does not start again
    EXPECT_EQ(ends, 1);

    TCustomFFmpeg noInput;
    ASSERT_GE(noInput.OpenOutput(dir + "/x.mp2", false), 1) << noInput.LastErrMsg();
    EXPECT_FALSE(noInput.StartConvert(false));
    EXPECT_EQ(noInput.FatalMessage(), "At least one input file must be specified");
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.mp2"));
}

// Nothing converted is no success: the task fails and its file goes.
TEST_F(TaskRunTest, OutputThatStaysEmptyIsDeleted)
{
    const std::string dir = ScratchDir("task-empty");
    TCustomFFmpeg task;
    task.SetOption("ss", "100");
    ASSERT_TRUE(task.OpenInput(Media("audio.wav")));
    ASSERT_GE(task.OpenOutput(dir + "/nothing.mp2", false), 1) << task.LastErrMsg();
    task.StartConvert(false);
    EXPECT_TRUE(task.FatalException());
    EXPECT_FALSE(task.Finished());
    EXPECT_FALSE(std::filesystem::exists(dir + "/nothing.mp2"));
}

TEST_F(TaskRunTest, StopEndsTheLoopBeforeTheNextPacket)
{
    const std::string dir = ScratchDir("task-stop");
    TCustomFFmpeg task;
    ASSERT_TRUE(task.OpenInput(Media("long.avi")));
    ASSERT_GE(task.OpenOutput(dir + "/short.mp4", false), 1) << task.LastErrMsg();
    int reports = 0;
    task.FOnProgress = [&](TCustomFFmpeg* t, int fi, int, int, float, float, int64_t, int64_t, int64_t) {
        ++reports;
        if (fi >= 0)
            t->Stop(false);
    };
    task.ReportInterval = 0;
    task.StartConvert(false);
    EXPECT_FALSE(task.Finished());
    EXPECT_FALSE(task.FatalException()) << task.FatalMessage();
    // The stop came with the first report; the last report follows.
    EXPECT_EQ(reports, 2);
    const OutputFacts f = ReadOutput(dir + "/short.mp4");
    ASSERT_TRUE(f.opened);
    EXPECT_LT(f.duration, 1000000);
}

}  // namespace

namespace {

class FakePreviewer : public TPreviewer {
public:
    explicit FakePreviewer(int closeAfter) : closeAfter_(closeAfter) {}
    bool PaintFrame(const platform::Bitmap& ABitmap, int, int64_t) override
    {
        ++paints;
        width = ABitmap.Width();
        return paints < closeAfter_;
    }
    static inline std::atomic<int> paints{0};
    static inline std::atomic<int> width{0};

private:
    int closeAfter_;
};

class PreviewTest : public EngineRunTest {
protected:
    void TearDown() override { SetPreviewerFactory(nullptr); }
};

// Closing the window (a false PaintFrame) ends previewing for that task; the
// conversion goes on.
TEST_F(PreviewTest, ClosedPreviewWindowStopsPreviewingOnly)
{
    const std::string dir = ScratchDir("preview");
    FakePreviewer::paints = 0;
    SetPreviewerFactory([] { return std::make_unique<FakePreviewer>(3); });
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    engine.SetPreview(true);
    AddWithOutput(engine, "av.avi", dir + "/p.avi");
    engine.Task(0)->PreviewInterval = 0;
    engine.Start(0);
    EXPECT_TRUE(events.Terminates().at(0).info.Finished);
    EXPECT_EQ(FakePreviewer::paints.load(), 3);
    EXPECT_EQ(FakePreviewer::width.load(), 320);
    EXPECT_EQ(engine.Task(0)->PostHooks() & phPreview, 0);
}

TEST_F(PreviewTest, PreviewBitmapsArriveOnTheMainThread)
{
    const std::string dir = ScratchDir("preview-bitmap");
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    std::atomic<int> bitmaps{0};
    std::atomic<bool> offMain{false};
    engine.OnPreviewBitmap = [&](TCustomFFEngine*, const TPreviewInfo& info) {
        ++bitmaps;
        offMain = offMain || !platform::MainThread::IsMainThread();
        EXPECT_EQ(info.Bitmap->Width(), 160);
        EXPECT_EQ(info.TaskIndex, 0);
    };
    AddWithOutput(engine, "av.avi", dir + "/b.avi", [] {
        TOutputOptions o = AviOptions();
        o.FrameSize = "160x120";
        return o;
    }());
    engine.SetPreviewBitmap(true);
    EXPECT_EQ(engine.Task(0)->PostHooks(), phBitmap);
    engine.Task(0)->PreviewInterval = 0;
    EXPECT_EQ(engine.TaskInputProbe(0, 0)->VideoStreamCount(), 1);
    engine.Start(1);
    ASSERT_TRUE(events.WaitForEnd());
    EXPECT_EQ(bitmaps.load(), 50);
    EXPECT_FALSE(offMain.load());
    // The input is closed after the run; its probe lets go of it.
    EXPECT_EQ(engine.TaskInputProbe(0, 0)->FileHandle(), nullptr);
    engine.ClearTasks();
}

}  // namespace

namespace {

TEST_F(EngineComponentTest, OutputRecordMetadataAndTimeStamp)
{
    const std::string dir = ScratchDir("metadata");
    TFFEngine engine;
    const int t = engine.AddTask(Media("av.avi"), static_cast<const TInputOptions*>(nullptr));
    TOutputOptions o = AviOptions();
    o.Info.Title = "标题";
    o.Info.Year = 2010;
    o.Info.Track = 3;
    o.Info.TimeStamp = 40179.5;  // 2010-01-01 12:00 local time
    ASSERT_TRUE(engine.SetOutputFile(t, dir + "/m.mkv", &o)) << engine.LastErrMsg();
    std::tm noon{};
    noon.tm_year = 110;
    noon.tm_mon = 0;
    noon.tm_mday = 1;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    EXPECT_EQ(engine.Task(t)->recording_timestamp, static_cast<int64_t>(std::mktime(&noon)));
    const AVDictionary* meta = engine.Task(t)->OutputFile(0).ctx->metadata;
    auto value = [meta](const char* key) {
        const AVDictionaryEntry* e = AV.av_dict_get(meta, key, nullptr, 0);
        return std::string(e ? e->value : "");
    };
    EXPECT_EQ(value("title"), "标题");
    EXPECT_EQ(value("year"), "2010");
    EXPECT_EQ(value("track"), "3");
    EXPECT_EQ(value("creation_time").substr(0, 10), "2010-01-01");
}

}  // namespace

namespace {

TEST_F(EngineComponentTest, ExchangeAndRemoveTasks)
{
    TFFEngine engine;
    ASSERT_EQ(engine.AddTask(Media("av.avi"), std::string()), 0);
    ASSERT_EQ(engine.AddTask(Media("audio.wav"), std::string()), 1);
    engine.Exchange(0, 1);
    EXPECT_EQ(engine.Task(0)->InputFile(0).file_name, Media("audio.wav"));
    EXPECT_EQ(engine.TaskInputProbe(1, 0)->VideoStreamCount(), 1);
    engine.RemoveTask(0);
    ASSERT_EQ(engine.TasksCount(), 1);
    EXPECT_EQ(engine.Task(0)->InputFile(0).file_name, Media("av.avi"));
    // An index outside the list is refused, not followed into memory.
    EXPECT_EQ(ErrorOf([&] { engine.RemoveTask(1); }), "List index out of bounds (1)");
    EXPECT_EQ(ErrorOf([&] { engine.RemoveTask(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(engine.TasksCount(), 1);
}

// Closing the application stops a run with waiting; an engine destroyed in
// the middle of a run does the same before anything of it is freed.
TEST_F(EngineComponentTest, DestroyingARunningEngineStopsItsTasks)
{
    const std::string dir = ScratchDir("destroy-running");
    EngineEvents events;
    FirstPicture first;
    {
        TFFEngine engine;
        events.Attach(engine);
        first.Connect(engine);
        for (int i = 0; i < 3; ++i)
            AddWithOutput(engine, "long.avi", dir + "/o" + std::to_string(i) + ".avi", Hooked(AviOptions()));
        engine.Start(2);
        ASSERT_TRUE(first.Wait());
    }
    const auto ends = events.Terminates();
    ASSERT_EQ(ends.size(), 4u);
    EXPECT_EQ(ends.back().info.TaskIndex, -1);
    for (size_t i = 0; i + 1 < ends.size(); ++i)
        EXPECT_FALSE(ends[i].info.Exception) << ends[i].info.ExceptionMsg;
}

}  // namespace
