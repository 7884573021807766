// Option lines as a user writes them (--option, ExtOptions of a job): the
// text is split the way the engine splits it and every line is applied to a
// task. A refused value is an error with a message; anything else that goes
// wrong (a crash, a sanitizer report, a hang) is a fault.
#include "fuzz_support.h"

#include "engine/custom_ffmpeg.h"
#include "engine/ff_common.h"
#include "engine/ff_engine.h"

#include <exception>
#include <string>

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::LoadLibraries();
    static TCustomFFmpeg task;
    task.Reset();
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const auto& [name, value] : ParseExtOptions(text)) {
        try {
            task.SetOption(LowerCase(name), value);
        } catch (const std::exception&) {
            // Refused with a message: the option state stays as it was left.
        }
    }
    fuzz::QuietLog();
    return 0;
}
