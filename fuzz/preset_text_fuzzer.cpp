// Preset texts: key=value lines of a preset file ("fpre") with the
// translation of earlier encoder options, and a built-in preset named by the
// first line ("vpre" after a video codec, as the x264 presets are used).
#include "fuzz_support.h"

#include "engine/custom_ffmpeg.h"
#include "engine/ff_presets.h"

#include <exception>
#include <string>

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::LoadLibraries();
    static TCustomFFmpeg task;
    task.Reset();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t firstEnd = text.find('\n');
    const std::string first = text.substr(0, firstEnd);
    size_t fileStart = 0;
    try {
        task.SetOption("vcodec", "libx264");
        // Only names of the built-in table: any other name would be read as a
        // file of that name. The lines after it form the preset file.
        if (FindBuiltinPreset(first) || FindBuiltinPreset("libx264-" + first)) {
            fileStart = firstEnd == std::string::npos ? size : firstEnd + 1;
            task.SetOption("vpre", first);
        }
    } catch (const std::exception&) {
    }
    try {
        task.SetOption("fpre", fuzz::WriteScratch(data + fileStart, size - fileStart, ".ffpreset"));
    } catch (const std::exception&) {
        // "Invalid syntax", "Invalid option or argument": refused with a message.
    }
    fuzz::QuietLog();
    return 0;
}
