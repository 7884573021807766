#pragma once
// What the converter shows while it runs: one live line per converting job
// on a terminal, plain lines otherwise, or one JSON object per event.
// Everything is printed from the main thread.
#include "engine/ff_options.h"

#include <map>
#include <string>
#include <vector>

namespace vexa::cli {

struct TJobState {
    std::string input;
    std::string output;
    enum TState { jsWaiting, jsRunning, jsFinished, jsFailed, jsStopped, jsSkipped } state = jsWaiting;
    std::string message;
    TProgressInfo progress;
    bool inputEndedEarly = false;  // finished, but the input was shorter than it declared
};

const char* StateText(const TJobState& job);

// Columns are padded by display width: a Chinese character takes two cells.
int DisplayWidth(const std::string& utf8);

class TConsole {
public:
    explicit TConsole(bool json);

    // A one-line message on standard error.
    void Error(const std::string& text);
    // Main thread: a progress event of a run task.
    void Progress(int task, const TJobState& job, const std::string& line);
    // Any thread (under the caller's lock): an end event to show later.
    void QueueEnd(const TTerminateInfo& info);
    // Main thread, under the caller's lock: shows the queued end events.
    void FlushEnds(const std::vector<TJobState>& states, const std::vector<int>& taskToState);
    // The table of every job and how it ended.
    void Summary(const std::vector<TJobState>& states);

private:
    void ClearLive();
    void DrawLive();

    bool json_;
    bool tty_;
    std::map<int, std::string> live_;  // task -> its live line
    int drawn_ = 0;                    // live lines on screen
    std::vector<TTerminateInfo> ends_;
};

std::string JsonString(const std::string& text);

}  // namespace vexa::cli
