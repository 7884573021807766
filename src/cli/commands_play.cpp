// vexa-cli play: plays a file with the player component, in a plain SDL
// window or, with --no-video, without one.
#include "cli/cli.h"
#include "cli/console.h"
#include "media/ffmpeg_loader.h"
#include "platform/main_thread.h"
#include "platform/paths.h"
#include "player/ff_player.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace vexa::cli {

namespace {

std::atomic<bool> gInterrupted{false};

void OnPlayInterrupt(int)
{
    gInterrupted.store(true);
    platform::MainThread::NotifyWaiters();
}

struct TPlayArgs {
    std::string file;
    bool noVideo = false;
    bool noAudio = false;
    bool json = false;
    double seek = -1;
    std::string logLevel = "error";
};

TPlayArgs ParsePlayArgs(const std::vector<std::string>& args)
{
    TPlayArgs a;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--no-video") {
            a.noVideo = true;
        } else if (arg == "--no-audio") {
            a.noAudio = true;
        } else if (arg == "--json") {
            a.json = true;
        } else if (arg == "--seek" || arg == "--log-level") {
            if (i + 1 >= args.size())
                throw UsageError{arg + " needs a value"};
            const std::string& value = args[++i];
            if (arg == "--log-level") {
                a.logLevel = value;
                continue;
            }
            char* end = nullptr;
            errno = 0;
            a.seek = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || errno != 0 || a.seek < 0)
                throw UsageError{"--seek wants seconds from the start, not '" + value + "'"};
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            throw UsageError{"unknown option '" + arg + "'"};
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            throw UsageError{"play takes one file"};
        }
    }
    if (a.file.empty())
        throw UsageError{"play needs a file"};
    return a;
}

}  // namespace

int RunPlay(const std::vector<std::string>& args)
{
    const TPlayArgs a = ParsePlayArgs(args);
    SetupLogging(a.logLevel);
    // Without a sound card (or when asked) the sound still drives the
    // clock, through SDL's silent driver.
    if (a.noAudio)
        setenv("SDL_AUDIODRIVER", "dummy", 1);

    if (!a.noVideo && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "vexa-cli: no display to show the pictures on; use --no-video\n");
        return kExitFailed;
    }

    TFFPlayer player;
    if (!player.AVLibLoaded() && !player.LoadAVLib(platform::LibraryFolder())) {
        std::fprintf(stderr, "vexa-cli: %s\n", player.LastErrMsg().c_str());
        return kExitFailed;
    }
    player.SetDisableDisplay(a.noVideo);
    if (a.seek >= 0)
        player.start_time = static_cast<int64_t>(a.seek * 1000000.0);

    int64_t duration = -1;
    std::atomic<bool> ended{false};
    player.OnFileOpen = [&](TCustomPlayer*, int64_t d, int, int, int&, int&) { duration = d; };
    player.OnState = [&](TCustomPlayer*, TPlayState state) {
        if (a.json)
            std::printf("{\"event\":\"state\",\"state\":\"%s\"}\n", PlayStateName(state));
        if (state == psEnd || state == psStop)
            ended.store(true);
        std::fflush(stdout);
    };
    if (a.json) {
        player.OnPosition = [&](TCustomPlayer*, int64_t pts) {
            std::printf("{\"event\":\"position\",\"position\":%.3f,\"duration\":%.3f}\n", pts / 1000000.0,
                        duration / 1000000.0);
            std::fflush(stdout);
        };
    }

    if (!player.Open(a.file, nullptr, false)) {
        std::string msg = player.LastErrMsg();
        if (msg.find(a.file) == std::string::npos)
            msg = a.file + ": " + msg;
        std::fprintf(stderr, "vexa-cli: %s\n", msg.c_str());
        return kExitFailed;
    }
    if (a.json)
        std::printf("{\"event\":\"open\",\"file\":%s,\"duration\":%.3f}\n", JsonString(a.file).c_str(),
                    duration / 1000000.0);

    gInterrupted.store(false);
    std::signal(SIGINT, &OnPlayInterrupt);
    while (!ended.load() && !gInterrupted.load())
        platform::MainThread::WaitServing([&] { return ended.load() || gInterrupted.load(); },
                                          std::chrono::milliseconds(200));
    std::signal(SIGINT, SIG_DFL);
    // The end, or the user closed the window: done. Ctrl-C: stopped.
    const bool interrupted = gInterrupted.load() && player.PlayState() != psEnd;
    player.OnPosition = nullptr;
    player.Stop(true);
    return interrupted ? kExitFailed : kExitOk;
}

}  // namespace vexa::cli
