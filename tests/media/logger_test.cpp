#include "media/av_entries.h"
#include "media/codec_lock.h"
#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "platform/error.h"
#include "platform/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace vexa;
using namespace std::chrono_literals;

namespace {

struct Delivered {
    TLogLevel level;
    std::string text;
    bool onMain;
};

// Collects what the logger delivers.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::MainThread::SetCurrentAsMain();
        TFFLogger::Instance().SetOnLog([this](void*, uint32_t, TLogLevel level, const std::string& msg) {
            std::lock_guard<std::mutex> g(lock_);
            got_.push_back({level, msg, platform::MainThread::IsMainThread()});
        });
    }
    void TearDown() override { TFFLogger::Instance().SetOnLog(nullptr); }
    std::vector<Delivered> Got()
    {
        std::lock_guard<std::mutex> g(lock_);
        return got_;
    }
    static void LoadUtil()
    {
        std::string err;
        ASSERT_TRUE(LoadAVLibSet(TLibraries{avUtil, myUtil}, "", err)) << err;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(lock_);
        got_.clear();
    }
    std::mutex lock_;
    std::vector<Delivered> got_;
};

// Runs fn on a thread of its own and tells whether it ended while this (the
// main) thread served no hand-off. One that did not end in time is released
// by serving, so a failure never hangs the test; one that did leaves its
// hand-offs queued.
bool EndsWithoutServing(const std::function<void()>& fn)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        fn();
        done = true;
        platform::MainThread::NotifyWaiters();
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const bool alone = done.load();
    if (!alone)
        while (!platform::MainThread::WaitServing([&] { return done.load(); }, 10s)) {
        }
    t.join();
    return alone;
}

const char* FakeName(void*) { return "fake"; }
AVClass MakeFakeClass()
{
    AVClass c{};
    c.class_name = "Fake";
    c.item_name = &FakeName;
    c.version = LIBAVUTIL_VERSION_INT;
    return c;
}
const AVClass kFakeClass = MakeFakeClass();
struct FakeContext {
    const AVClass* cls = &kFakeClass;
};

}  // namespace

TEST(LogLevels, BothMappings)
{
    const std::pair<int, TLogLevel> fromLib[] = {{-100, llQuiet}, {-9, llQuiet}, {-8, llQuiet}, {-7, llPanic},
                                                 {0, llPanic},    {7, llPanic},  {8, llFatal},  {20, llError},
                                                 {24, llWarning}, {32, llInfo},  {40, llVerbose}, {48, llDebug},
                                                 {56, llDebug},   {1000, llDebug}};
    for (const auto& [v, level] : fromLib)
        EXPECT_EQ(LogLevelFromLib(v), level) << v;
    for (int n = llQuiet; n <= llDebug; ++n)
        EXPECT_EQ(LogLevelFromLib(LibLogLevel(static_cast<TLogLevel>(n))), n);
    EXPECT_EQ(LibLogLevel(llQuiet), -8);
    EXPECT_EQ(LibLogLevel(llDebug), 48);
}

TEST_F(LoggerTest, OptLogLevelTakesNamesAndNumbers)
{
    TFFLogger& log = TFFLogger::Instance();
    const std::pair<const char*, TLogLevel> cases[] = {
        {"Warning", llWarning}, {"DEBUG", llDebug}, {"quiet", llQuiet}, {"20", llError}, {"-100", llQuiet}, {"32", llInfo}};
    for (const auto& [text, level] : cases) {
        log.OptLogLevel(text);
        EXPECT_EQ(log.LogLevel(), level) << text;
    }
    for (const char* bad : {"loud", "", "12x", " 5"})
        EXPECT_THROW(log.OptLogLevel(bad), Error) << bad;
    log.SetLogLevel(llInfo);
}

TEST_F(LoggerTest, OwnMessagesFollowTheLevelRule)
{
    TFFLogger& log = TFFLogger::Instance();
    log.SetLogLevel(llInfo);
    log.Log(nullptr, llError, "error at info");
    log.Log(nullptr, llVerbose, "verbose at info");  // verbose passes at every level but quiet
    log.Log(nullptr, llDebug, "debug at info");
    log.SetLogLevel(llQuiet);
    log.Log(nullptr, llVerbose, "verbose at quiet");
    log.Log(nullptr, llError, "error at quiet");
    log.SetLogLevel(llInfo);
    log.LogFmt(nullptr, llWarning, "%s %d%%", "formatted", 5);
    const auto got = Got();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].text, "error at info");
    EXPECT_EQ(got[1].text, "verbose at info");
    EXPECT_EQ(got[2].text, "formatted 5%");
}

TEST_F(LoggerTest, LibraryFragmentsBecomeWholeLinesPerThread)
{
    LoadUtil();
    TFFLogger::Instance().SetLogLevel(llInfo);
    FakeContext ctx;
    AV.av_log(&ctx, AV_LOG_INFO, "abc");
    AV.av_log(nullptr, AV_LOG_INFO, "def\n");
    AV.av_log(nullptr, AV_LOG_WARNING, "one\ntwo\n");
    AV.av_log(nullptr, AV_LOG_INFO, "no context");
    AV.av_log(&ctx, AV_LOG_INFO, " later context\n");  // not the start of a line: no prefix
    AV.av_log(nullptr, AV_LOG_DEBUG, "dropped above the level\n");
    AV.av_log(&ctx, AV_LOG_ERROR, "%s has %d\n", "文件", 3);  // UTF-8 passes through unchanged

    const auto got = Got();
    ASSERT_EQ(got.size(), 5u);
    const std::string prefix = "[fake @ " + std::string(Format("%p", static_cast<void*>(&ctx))) + "]";
    EXPECT_EQ(got[0].text, prefix + "abcdef");
    EXPECT_EQ(got[0].level, llInfo);
    EXPECT_EQ(got[1].text, "one");
    EXPECT_EQ(got[1].level, llWarning);
    EXPECT_EQ(got[2].text, "two");
    EXPECT_EQ(got[3].text, "no context later context");
    EXPECT_EQ(got[4].text, prefix + "文件 has 3");
    EXPECT_EQ(got[4].level, llError);
}

TEST_F(LoggerTest, WorkerLinesArriveOnTheMainThreadUnlessToldOtherwise)
{
    LoadUtil();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        AV.av_log(nullptr, AV_LOG_INFO, "from ");
        AV.av_log(nullptr, AV_LOG_INFO, "worker\n");
        TFFLogger::Instance().Log(nullptr, llError, "own message");
        done = true;
        platform::MainThread::NotifyWaiters();
    });
    // A line half-written by the main thread must not mix with the worker's.
    AV.av_log(nullptr, AV_LOG_INFO, "main ");
    ASSERT_TRUE(platform::MainThread::WaitServing([&] { return done.load(); }, 10s));
    worker.join();
    AV.av_log(nullptr, AV_LOG_INFO, "line\n");

    TFFLogger::Instance().SetTriggerEventInMainThread(false);
    std::thread direct([] { TFFLogger::Instance().Log(nullptr, llError, "direct"); });
    direct.join();
    TFFLogger::Instance().SetTriggerEventInMainThread(true);

    const auto got = Got();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].text, "from worker");
    EXPECT_TRUE(got[0].onMain);
    EXPECT_EQ(got[1].text, "own message");
    EXPECT_TRUE(got[1].onMain);
    EXPECT_EQ(got[2].text, "main line");
    EXPECT_EQ(got[3].text, "direct");
    EXPECT_FALSE(got[3].onMain);
}

TEST_F(LoggerTest, WorkerLinesAreQueuedInOrderAndMainThreadLinesComeAfterThem)
{
    LoadUtil();
    const auto worker = [] {
        AV.av_log(nullptr, AV_LOG_INFO, "worker one\n");
        TFFLogger::Instance().Log(nullptr, llError, "worker two");
        AV.av_log(nullptr, AV_LOG_INFO, "worker ");
        AV.av_log(nullptr, AV_LOG_INFO, "three\n");
    };
    ASSERT_TRUE(EndsWithoutServing(worker)) << "the worker waited for the main thread";
    EXPECT_TRUE(Got().empty());
    TFFLogger::Instance().Log(nullptr, llError, "main");
    ASSERT_TRUE(EndsWithoutServing([] { TFFLogger::Instance().Log(nullptr, llError, "worker four"); }));
    platform::MainThread::CheckSynchronize();

    const auto got = Got();
    std::vector<std::string> texts;
    for (const Delivered& d : got) {
        texts.push_back(d.text);
        EXPECT_TRUE(d.onMain) << d.text;
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"worker one", "worker two", "worker three", "main", "worker four"}));
}

// An encoder logs inside its open, under the codec lock. A main thread that
// needs the codec lock at that moment must get it: the worker's line is
// queued, never waited for.
TEST_F(LoggerTest, WorkerLoggingUnderTheCodecLockNeverFreezesTheMainThread)
{
    LoadUtil();
    std::atomic<bool> holding{false}, done{false};
    std::thread worker([&] {
        {
            std::lock_guard<std::mutex> g(CodecLock());
            holding = true;
            AV.av_log(nullptr, AV_LOG_INFO, "inside the open\n");
            TFFLogger::Instance().Log(nullptr, llWarning, "own line under the lock");
        }
        done = true;
        platform::MainThread::NotifyWaiters();
    });
    while (!holding.load())
        std::this_thread::yield();

    // The main thread's own codec open: bounded here, so a freeze fails the
    // test instead of hanging it.
    std::unique_lock<std::mutex> lock(CodecLock(), std::defer_lock);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!lock.try_lock() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    const bool gotLock = lock.owns_lock();
    if (gotLock)
        lock.unlock();
    EXPECT_TRUE(gotLock) << "the main thread froze waiting for the codec lock";

    // Serving hand-offs releases a worker stuck in a synchronous delivery.
    ASSERT_TRUE(platform::MainThread::WaitServing([&] { return done.load(); }, 10s));
    worker.join();
    const auto got = Got();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].text, "inside the open");
    EXPECT_EQ(got[1].text, "own line under the lock");
    EXPECT_TRUE(got[0].onMain && got[1].onMain);
}

TEST_F(LoggerTest, QueuedLinesAreDroppedOnceTheRelayIsDisconnected)
{
    ASSERT_TRUE(EndsWithoutServing([] { TFFLogger::Instance().Log(nullptr, llError, "too late"); }));
    ASSERT_GT(platform::MainThread::Pending(), 0u);
    TFFLogger::Instance().SetOnLog(nullptr);  // the window goes
    platform::MainThread::CheckSynchronize();
    EXPECT_TRUE(Got().empty());
    // Lines logged afterwards go nowhere either.
    ASSERT_TRUE(EndsWithoutServing([] { TFFLogger::Instance().Log(nullptr, llError, "later still"); }));
    platform::MainThread::CheckSynchronize();
    EXPECT_TRUE(Got().empty());
    EXPECT_EQ(platform::MainThread::Pending(), 0u);
}

TEST(LoggerInstance, OnlyOneMayExist)
{
    TFFLogger::Instance();
    try {
        TFFLogger second;
        FAIL() << "a second logger was created";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
    }
    EXPECT_TRUE(TFFLogger::Exists());
}
