#include "cli/console.h"

#include "platform/paths.h"

#include <cstdio>
#include <unistd.h>

namespace vexa::cli {

const char* StateText(const TJobState& j)
{
    switch (j.state) {
    case TJobState::jsWaiting: return "waiting";
    case TJobState::jsRunning: return "running";
    case TJobState::jsFinished: return j.inputEndedEarly ? "finished, input ended early" : "finished";
    case TJobState::jsFailed: return "failed";
    case TJobState::jsStopped: return "stopped";
    case TJobState::jsSkipped: return "skipped";
    }
    return "";
}

int DisplayWidth(const std::string& s)
{
    int width = 0;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        size_t len = 1;
        if (c >= 0xF0) { cp = c & 0x07; len = 4; }
        else if (c >= 0xE0) { cp = c & 0x0F; len = 3; }
        else if (c >= 0xC0) { cp = c & 0x1F; len = 2; }
        for (size_t k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                          (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                          (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                          (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
}

namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when the byte there
// starts none (stray continuation bytes, overlong forms, surrogates, values
// beyond U+10FFFF, cut sequences).
size_t Utf8SequenceAt(const std::string& s, size_t i)
{
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    if (at(i + 1) < lo || at(i + 1) > hi)
        return 0;
    for (size_t k = 2; k < len; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    return len;
}

}  // namespace

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t len = Utf8SequenceAt(text, i);
        if (len == 0) {
            // A file name is bytes; JSON text is Unicode. Each byte that is
            // not part of UTF-8 shows as the replacement character.
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text, i, len);
            i += len;
            continue;
        }
        ++i;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

TConsole::TConsole(bool json) : json_(json), tty_(!json && ::isatty(STDOUT_FILENO)) {}

void TConsole::ClearLive()
{
    for (; drawn_ > 0; --drawn_)
        std::fputs("\033[1A\033[2K", stdout);
}

void TConsole::DrawLive()
{
    for (const auto& [task, line] : live_)
        std::printf("%s\n", line.c_str());
    drawn_ = static_cast<int>(live_.size());
    std::fflush(stdout);
}

void TConsole::Error(const std::string& text)
{
    if (tty_) {
        ClearLive();
        std::fflush(stdout);
    }
    std::fprintf(stderr, "vexa-cli: %s\n", text.c_str());
    if (tty_)
        DrawLive();
}

void TConsole::Progress(int task, const TJobState& job, const std::string& line)
{
    const TProgressInfo& p = job.progress;
    if (json_) {
        std::printf("{\"event\":\"progress\",\"task\":%d,\"input\":%s,\"output\":%s,\"frame\":%d,\"fps\":%d,"
                    "\"quality\":%.2f,\"bitrate_kbps\":%.1f,\"size\":%lld,\"time_us\":%lld,\"total_us\":%lld}\n",
                    task, JsonString(job.input).c_str(), JsonString(job.output).c_str(), p.FrameNumber, p.FPS,
                    static_cast<double>(p.Quality), static_cast<double>(p.BitRate),
                    static_cast<long long>(p.CurrentSize), static_cast<long long>(p.CurrentDuration),
                    static_cast<long long>(p.TotalDuration));
        std::fflush(stdout);
        return;
    }
    if (!tty_) {
        std::printf("[%d] %s\n", task + 1, line.c_str());
        std::fflush(stdout);
        return;
    }
    ClearLive();
    live_[task] = "[" + std::to_string(task + 1) + "] " + line;
    DrawLive();
}

void TConsole::QueueEnd(const TTerminateInfo& info)
{
    ends_.push_back(info);
}

void TConsole::FlushEnds(const std::vector<TJobState>& states, const std::vector<int>& taskToState)
{
    if (ends_.empty())
        return;
    if (tty_)
        ClearLive();
    for (const TTerminateInfo& e : ends_) {
        const TJobState* job = e.TaskIndex >= 0 && e.TaskIndex < static_cast<int>(taskToState.size())
                                   ? &states[static_cast<size_t>(taskToState[static_cast<size_t>(e.TaskIndex)])]
                                   : nullptr;
        if (json_) {
            std::printf("{\"event\":\"end\",\"task\":%d,\"input\":%s,\"output\":%s,\"finished\":%s,"
                        "\"exception\":%s,\"message\":%s}\n",
                        e.TaskIndex, JsonString(job ? job->input : "").c_str(),
                        JsonString(job ? job->output : "").c_str(), e.Finished ? "true" : "false",
                        e.Exception ? "true" : "false", JsonString(e.ExceptionMsg).c_str());
            continue;
        }
        live_.erase(e.TaskIndex);
        if (!job)
            continue;
        std::printf("[%d] %s: %s%s%s\n", e.TaskIndex + 1, platform::ExtractFileName(job->input).c_str(),
                    StateText(*job), e.ExceptionMsg.empty() ? "" : ": ", e.ExceptionMsg.c_str());
    }
    ends_.clear();
    if (tty_)
        DrawLive();
    std::fflush(stdout);
}

void TConsole::Summary(const std::vector<TJobState>& states)
{
    FILE* out = json_ ? stderr : stdout;
    if (tty_)
        ClearLive();
    const char* heads[] = {"input", "output", "status", "message"};
    int widths[3] = {DisplayWidth(heads[0]), DisplayWidth(heads[1]), DisplayWidth(heads[2])};
    for (const TJobState& s : states) {
        widths[0] = std::max(widths[0], DisplayWidth(s.input));
        widths[1] = std::max(widths[1], DisplayWidth(s.output));
        widths[2] = std::max(widths[2], DisplayWidth(StateText(s)));
    }
    auto cell = [&](const std::string& text, int width) {
        std::fputs(text.c_str(), out);
        for (int pad = width - DisplayWidth(text); pad > 0; --pad)
            std::fputc(' ', out);
        std::fputs("  ", out);
    };
    std::fputc('\n', out);
    cell(heads[0], widths[0]);
    cell(heads[1], widths[1]);
    cell(heads[2], widths[2]);
    std::fprintf(out, "%s\n", heads[3]);
    for (const TJobState& s : states) {
        cell(s.input, widths[0]);
        cell(s.output, widths[1]);
        cell(StateText(s), widths[2]);
        std::fprintf(out, "%s\n", s.message.c_str());
    }
    std::fflush(out);
}

}  // namespace vexa::cli
