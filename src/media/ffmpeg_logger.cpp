#include "media/ffmpeg_logger.h"

#include "media/av_entries.h"
#include "platform/error.h"
#include "platform/main_thread.h"
#include "platform/thread.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace vexa {
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

TFFLogger::TFFLogger()
{
    std::lock_guard<std::mutex> g(g_instanceLock);
    if (g_instance)
        throw Error("Allow creating only one instance of TFFLogger.");
    logLevel_.store(LogLevelFromLib(g_cachedLibLevel.load()));
    g_instance = this;
}

TFFLogger::~TFFLogger()
{
    std::lock_guard<std::mutex> g(g_instanceLock);
    if (g_instance == this)
        g_instance = nullptr;
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
    std::lock_guard<std::mutex> g(handlerLock_);
    onLog_ = std::move(handler);
}

bool TFFLogger::HasOnLog() const
{
    std::lock_guard<std::mutex> g(handlerLock_);
    return static_cast<bool>(onLog_);
}

void TFFLogger::Fire(const TLogInfo& info)
{
    TLogEvent handler;
    {
        std::lock_guard<std::mutex> g(handlerLock_);
        handler = onLog_;
    }
    if (!handler)
        return;
    // The hand-off carries its own copy of the values, so no lock is held
    // while the worker waits for the main thread: a main thread that logs at
    // that moment must not block on it. On the main thread the hand-off runs
    // the handler at once, and all deliveries run there, one at a time.
    if (triggerInMain_.load()) {
        platform::MainThread::Synchronize([&] { handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg); });
        return;
    }
    std::lock_guard<std::mutex> g(fireLock_);
    handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg);
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
