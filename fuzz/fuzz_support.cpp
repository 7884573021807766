#include "fuzz_support.h"

#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace vexa::fuzz {

void LoadLibraries()
{
    static const bool loaded = [] {
        std::string err;
        if (!LoadAVLibSet(kEngineLibraries, platform::LibraryFolder(), err)) {
            std::fprintf(stderr, "fuzz: cannot load the media libraries: %s\n", err.c_str());
            std::abort();
        }
        TFFLogger::Instance().SetTriggerEventInMainThread(false);
        return true;
    }();
    (void)loaded;
    QuietLog();
}

void QuietLog()
{
    TFFLogger::Instance().SetLogLevel(llQuiet);
}

namespace {

// Removed when the process ends normally.
struct TScratch {
    std::string path;
    ~TScratch()
    {
        if (!path.empty())
            std::remove(path.c_str());
    }
};

}  // namespace

const std::string& WriteScratch(const uint8_t* data, size_t size, const char* suffix)
{
    static TScratch scratch;
    if (scratch.path.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        scratch.path = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexa-fuzz-" + std::to_string(::getpid()) + suffix;
    }
    std::ofstream out(scratch.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return scratch.path;
}

}  // namespace vexa::fuzz
