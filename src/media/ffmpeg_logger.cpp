#include "media/ffmpeg_logger.h"

#include "media/av_entries.h"
#include "platform/error.h"
#include "platform/main_thread.h"
#include "platform/thread.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <memory>

namespace vexa {

// Outlives the logger when a drain is still queued on the main thread: that
// drain then finds no handler and drops what is left.
struct TFFLogger::TRelay {
    std::mutex lock;  // everything below
    TLogEvent handler;
    std::deque<TLogInfo> lines;
    bool drainQueued = false;  // a drain is posted and has not found the queue empty yet

    // Main thread. One line at a time, so a drain that a handler starts
    // (by serving hand-offs) keeps the order.
    void Drain()
    {
        for (;;) {
            TLogInfo info;
            TLogEvent h;
            {
                std::lock_guard<std::mutex> g(lock);
                if (lines.empty())
                    return;
                info = std::move(lines.front());
                lines.pop_front();
                h = handler;
            }
            if (h)
                h(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
        }
    }

    void PostedDrain()
    {
        for (;;) {
            Drain();
            std::lock_guard<std::mutex> g(lock);
            if (lines.empty()) {
                drainQueued = false;
                return;
            }
        }
    }
};

namespace {

std::atomic<int> g_cachedLibLevel{32};

std::mutex g_instanceLock;
TFFLogger* g_instance = nullptr;
std::unique_ptr<TFFLogger> g_ownedInstance;  // one made on demand, freed at exit

// Unfinished library lines, one per thread that ever logged. Items are never
// removed, so a pointer to one stays valid; each item's text is touched only
// by its own thread.
struct TLogItem {
    uint32_t ThreadID;
    std::string LogMsg;
    TLogItem* Next;
};

struct TLogList {
    std::mutex FLock;
    TLogItem* FHeader = nullptr;
    ~TLogList()
    {
        while (FHeader) {
            TLogItem* n = FHeader->Next;
            delete FHeader;
            FHeader = n;
        }
    }
    TLogItem* ItemFor(uint32_t tid)
    {
        std::lock_guard<std::mutex> g(FLock);
        for (TLogItem* i = FHeader; i; i = i->Next)
            if (i->ThreadID == tid)
                return i;
        FHeader = new TLogItem{tid, {}, FHeader};
        return FHeader;
    }
};

TLogList& LogList()
{
    static TLogList list;
    return list;
}

void AVLogCallback(void* avcl, int level, const char* fmt, va_list vl)
{
    if (level > g_cachedLibLevel.load(std::memory_order_relaxed))
        return;
    const uint32_t tid = platform::CurrentThreadId();
    TLogItem* item = LogList().ItemFor(tid);

    char buf[2048];
    buf[0] = '\0';
    size_t used = 0;
    auto snprintf_ = AV.snprintf ? AV.snprintf : &std::snprintf;
    auto vsnprintf_ = AV.vsnprintf ? AV.vsnprintf : &std::vsnprintf;
    if (avcl && item->LogMsg.empty()) {
        const AVClass* avc = *static_cast<AVClass**>(avcl);
        if (avc) {
            const char* name = avc->item_name ? avc->item_name(avcl) : avc->class_name;
            const int n = snprintf_(buf, sizeof buf, "[%s @ %p]", name ? name : "", avcl);
            used = n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof buf - 1);
        }
    }
    va_list copy;
    va_copy(copy, vl);
    vsnprintf_(buf + used, sizeof buf - used, fmt, copy);
    va_end(copy);
    item->LogMsg += buf;

    size_t eol;
    while ((eol = item->LogMsg.find('\n')) != std::string::npos) {
        std::string line = item->LogMsg.substr(0, eol);
        item->LogMsg.erase(0, eol + 1);
        std::unique_lock<std::mutex> g(g_instanceLock);
        TFFLogger* logger = g_instance;
        g.unlock();
        if (logger)
            logger->DeliverLibraryLine(tid, LogLevelFromLib(level), line);
    }
}

}  // namespace

int LibLogLevel(TLogLevel level)
{
    return 8 * static_cast<int>(level) - 8;
}

TLogLevel LogLevelFromLib(int v)
{
    if (v < -8)
        return llQuiet;
    const int n = v / 8 + 1;
    if (n >= static_cast<int>(llDebug))
        return llDebug;
    return static_cast<TLogLevel>(n);
}

const char* LogLevelName(TLogLevel level)
{
    static const char* const names[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};
    return names[level];
}

TFFLogger::TFFLogger() : relay_(std::make_shared<TRelay>())
{
    std::lock_guard<std::mutex> g(g_instanceLock);
    if (g_instance)
        throw Error("Allow creating only one instance of TFFLogger.");
    logLevel_.store(LogLevelFromLib(g_cachedLibLevel.load()));
    g_instance = this;
}

TFFLogger::~TFFLogger()
{
    {
        std::lock_guard<std::mutex> g(g_instanceLock);
        if (g_instance == this)
            g_instance = nullptr;
    }
    // A drain still queued on the main thread drops the rest.
    std::lock_guard<std::mutex> g(relay_->lock);
    relay_->handler = nullptr;
    relay_->lines.clear();
}

TFFLogger& TFFLogger::Instance()
{
    static std::mutex createLock;  // makes check-and-create one step
    std::lock_guard<std::mutex> c(createLock);
    {
        std::lock_guard<std::mutex> g(g_instanceLock);
        if (g_instance)
            return *g_instance;
    }
    g_ownedInstance = std::make_unique<TFFLogger>();
    return *g_ownedInstance;
}

bool TFFLogger::Exists()
{
    std::lock_guard<std::mutex> g(g_instanceLock);
    return g_instance != nullptr;
}

void TFFLogger::InstallAVLogCallback()
{
    if (!AV.av_log_set_callback)
        return;
    AV.av_log_set_callback(&AVLogCallback);
    // Apply the level unconditionally: the library starts at its own default.
    const TLogLevel level = logLevel_.load();
    g_cachedLibLevel.store(LibLogLevel(level));
    if (AV.av_log_set_level)
        AV.av_log_set_level(LibLogLevel(level));
}

void TFFLogger::UninstallAVLogCallback()
{
    if (AV.av_log_set_callback && AV.av_log_default_callback)
        AV.av_log_set_callback(AV.av_log_default_callback);
}

void TFFLogger::SetLogLevel(TLogLevel level)
{
    if (logLevel_.exchange(level) == level)
        return;
    if (AV.av_log_set_level) {
        g_cachedLibLevel.store(LibLogLevel(level));
        AV.av_log_set_level(LibLogLevel(level));
    }
}

void TFFLogger::OptLogLevel(const std::string& text)
{
    static const char* const names[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};
    for (int i = 0; i < 8; ++i) {
        if (text.size() == std::strlen(names[i])) {
            bool same = true;
            for (size_t k = 0; k < text.size() && same; ++k)
                same = std::tolower(static_cast<unsigned char>(text[k])) == names[i][k];
            if (same) {
                SetLogLevel(LogLevelFromLib(8 * i - 8));
                return;
            }
        }
    }
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX ||
        std::isspace(static_cast<unsigned char>(text[0])))
        throw Error(Format("'%s' is not a valid integer value", text.c_str()));
    SetLogLevel(LogLevelFromLib(static_cast<int>(v)));
}

void TFFLogger::SetOnLog(TLogEvent handler)
{
    std::lock_guard<std::mutex> g(relay_->lock);
    relay_->handler = std::move(handler);
}

bool TFFLogger::HasOnLog() const
{
    std::lock_guard<std::mutex> g(relay_->lock);
    return static_cast<bool>(relay_->handler);
}

void TFFLogger::DeliverQueued()
{
    if (platform::MainThread::IsMainThread())
        relay_->Drain();
}

void TFFLogger::Fire(TLogInfo info)
{
    if (!triggerInMain_.load()) {
        TLogEvent handler;
        {
            std::lock_guard<std::mutex> g(relay_->lock);
            handler = relay_->handler;
        }
        if (!handler)
            return;
        std::lock_guard<std::mutex> g(fireLock_);
        handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
        return;
    }
    if (platform::MainThread::IsMainThread()) {
        // What other threads logged earlier goes first.
        relay_->Drain();
        TLogEvent handler;
        {
            std::lock_guard<std::mutex> g(relay_->lock);
            handler = relay_->handler;
        }
        if (handler)
            handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
        return;
    }
    // Never wait for the main thread here: the caller may hold the codec
    // lock, and the main thread may be waiting for it.
    bool post = false;
    {
        std::lock_guard<std::mutex> g(relay_->lock);
        if (!relay_->handler)
            return;
        relay_->lines.push_back(std::move(info));
        post = !relay_->drainQueued;
        relay_->drainQueued = true;
    }
    if (post)
        platform::MainThread::Post([relay = relay_] { relay->PostedDrain(); });
}

void TFFLogger::DeliverLibraryLine(uint32_t threadId, TLogLevel level, const std::string& line)
{
    if (!HasOnLog())
        return;
    Fire(TLogInfo{this, threadId, level, line});
}

void TFFLogger::Log(void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg)
{
    if (!HasOnLog())
        return;
    const TLogLevel current = logLevel_.load();
    if (ALogLevel <= current || (ALogLevel == llVerbose && current != llQuiet))
        Fire(TLogInfo{Sender, platform::CurrentThreadId(), ALogLevel, ALogMsg});
}

void TFFLogger::LogV(void* Sender, TLogLevel ALogLevel, const char* fmt, va_list args)
{
    Log(Sender, ALogLevel, FormatV(fmt, args));
}

void TFFLogger::LogFmt(void* Sender, TLogLevel ALogLevel, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    LogV(Sender, ALogLevel, fmt, args);
    va_end(args);
}

int TFFLogger::CachedLibLevel()
{
    return g_cachedLibLevel.load();
}

void LogMessage(void* Sender, TLogLevel level, const std::string& message)
{
    TFFLogger::Instance().Log(Sender, level, message);
}

void LogMessageFmt(void* Sender, TLogLevel level, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    TFFLogger::Instance().LogV(Sender, level, fmt, args);
    va_end(args);
}

}  // namespace vexa
