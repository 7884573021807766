#pragma once
// The log relay: whole lines from the media libraries and from our own
// components, delivered to one OnLog handler, on the main thread by default.
//
// Lines of other threads are queued and handed to the main loop without
// waiting (a worker may log while it holds the codec lock, which the main
// thread may be waiting for); they keep the order they were logged in. A line
// logged on the main thread is delivered at once, after the queued ones.
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vexa {

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// TLogLevel n <-> the libraries' levels -8, 0, 8, ... 48.
int LibLogLevel(TLogLevel level);
TLogLevel LogLevelFromLib(int libLevel);
const char* LogLevelName(TLogLevel level);

using TLogEvent = std::function<void(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel,
                                     const std::string& ALogMsg)>;

struct TLogInfo {
    void* Sender = nullptr;
    uint32_t ThreadID = 0;
    TLogLevel LogLevel = llInfo;
    std::string LogMsg;
};

class TFFLogger {
public:
    // Only one logger may exist; a second raises
    // "Allow creating only one instance of TFFLogger.".
    TFFLogger();
    ~TFFLogger();
    TFFLogger(const TFFLogger&) = delete;
    TFFLogger& operator=(const TFFLogger&) = delete;

    // The logger in use; creates one owned by the process when none exists.
    static TFFLogger& Instance();
    static bool Exists();

    void InstallAVLogCallback();
    static void UninstallAVLogCallback();

    TLogLevel LogLevel() const { return logLevel_.load(); }
    void SetLogLevel(TLogLevel level);
    // "quiet" ... "debug" (any case) or a decimal library level.
    void OptLogLevel(const std::string& text);

    bool TriggerEventInMainThread() const { return triggerInMain_.load(); }
    void SetTriggerEventInMainThread(bool on) { triggerInMain_.store(on); }

    void SetOnLog(TLogEvent handler);
    bool HasOnLog() const;

    void Log(void* Sender, TLogLevel ALogLevel, const std::string& ALogMsg);
    void LogFmt(void* Sender, TLogLevel ALogLevel, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
    void LogV(void* Sender, TLogLevel ALogLevel, const char* fmt, va_list args);

    // Entry for lines assembled from the libraries' messages.
    void DeliverLibraryLine(uint32_t threadId, TLogLevel level, const std::string& line);

    // The level below which library messages are formatted at all.
    static int CachedLibLevel();

    // Main thread: delivers the lines other threads queued so far.
    void DeliverQueued();

    struct TRelay;  // the handler and the queue, shared with posted hand-offs

private:
    void Fire(TLogInfo info);

    std::atomic<TLogLevel> logLevel_{llInfo};
    std::atomic<bool> triggerInMain_{true};
    std::shared_ptr<TRelay> relay_;
    std::mutex fireLock_;  // one direct delivery at a time
};

// Process-wide helpers for components that log through whichever logger exists.
void LogMessage(void* Sender, TLogLevel level, const std::string& message);
void LogMessageFmt(void* Sender, TLogLevel level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

}  // namespace vexa
