// The two read-only commands: the preset list and the file description.
#include "catalogue/catalogue.h"
#include "cli/cli.h"
#include "media/av_probe.h"
#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>

namespace vexa::cli {

int ParseInt(const std::string& text, const char* option, int lo, int hi)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < lo || v > hi)
        throw UsageError{std::string(option) + " takes a number from " + std::to_string(lo) + " to " +
                         std::to_string(hi)};
    return static_cast<int>(v);
}

bool LoadLibraries(bool forConversion)
{
    std::string err;
    if (LoadAVLibSet(forConversion ? kEngineLibraries : kProbeLibraries, platform::LibraryFolder(), err))
        return true;
    std::fprintf(stderr, "vexa-cli: %s\n", err.c_str());
    return false;
}

void SetupLogging(const std::string& level)
{
    TFFLogger& logger = TFFLogger::Instance();
    try {
        logger.OptLogLevel(level);
    } catch (const std::exception&) {
        throw UsageError{"bad log level '" + level + "'"};
    }
    // Lines go straight to standard error from whichever thread logs.
    logger.SetTriggerEventInMainThread(false);
    // The relay passes verbose lines at every level but quiet; a terminal
    // user asked for a level, so hold to it. A task's failure is logged at
    // the quiet level and shown again in its end line: once is enough.
    logger.SetOnLog([&logger](void*, uint32_t, TLogLevel lvl, const std::string& msg) {
        const TLogLevel level = logger.LogLevel();
        if (lvl <= level && (lvl != llQuiet || level >= llVerbose))
            std::fprintf(stderr, "[%s] %s\n", LogLevelName(lvl), msg.c_str());
    });
}

int RunPresets(const std::vector<std::string>& args)
{
    int only = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--category" && i + 1 < args.size()) {
            only = ParseInt(args[++i], "--category", 1, catalogue::kCategoryCount);
        } else {
            throw UsageError{"presets: unexpected '" + args[i] + "'"};
        }
    }
    const auto categories = catalogue::Categories();
    for (int c = 0; c < static_cast<int>(categories.size()); ++c) {
        if (only && only != c + 1)
            continue;
        std::printf("%d %.*s\n", c + 1, static_cast<int>(categories[c].Caption.size()), categories[c].Caption.data());
        for (const catalogue::TFormatItem& f : catalogue::FormatsOf(c))
            std::printf("  %4d  %.*s\n", f.Key, static_cast<int>(f.Title.size()), f.Title.data());
    }
    return kExitOk;
}

int RunProbe(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    std::string logLevel = "quiet";
    bool filesOnly = false;  // after "--" every argument is a file
    for (size_t i = 0; i < args.size(); ++i) {
        if (filesOnly)
            files.push_back(args[i]);
        else if (args[i] == "--")
            filesOnly = true;
        else if (args[i] == "--log-level" && i + 1 < args.size())
            logLevel = args[++i];
        else if (!args[i].empty() && args[i][0] == '-' && args[i] != "-")
            throw UsageError{"probe: unknown option '" + args[i] + "' (put file names that begin with '-' after '--')"};
        else
            files.push_back(args[i]);
    }
    if (files.empty())
        throw UsageError{"probe: no file given"};
    SetupLogging(logLevel);
    if (!LoadLibraries(false))
        return kExitFailed;
    int status = kExitOk;
    for (size_t i = 0; i < files.size(); ++i) {
        TAVProbe probe;
        if (!probe.LoadFile(files[i])) {
            const std::string& msg = probe.LastErrMsg();
            if (msg.find(files[i]) == std::string::npos)
                std::fprintf(stderr, "vexa-cli: %s: %s\n", files[i].c_str(), msg.c_str());
            else
                std::fprintf(stderr, "vexa-cli: %s\n", msg.c_str());
            status = kExitFailed;
            continue;
        }
        std::string text = probe.FileInfoText();
        // The description's lines end in CR LF; a terminal wants LF.
        std::string out;
        for (char ch : text)
            if (ch != '\r')
                out += ch;
        std::fputs(out.c_str(), stdout);
        if (i + 1 < files.size())
            std::fputs("\n", stdout);
    }
    return status;
}

}  // namespace vexa::cli
