#include "catalogue/tables.h"

namespace vexa::catalogue::tables {

// Audio a video entry gets from its output container unless it names its own.
constexpr TContainerAudio kContainerAudio[] = {
    {".avi", "libmp3lame", "2", "44100", Kbps(128)},
    {".mkv", "libmp3lame", "2", "44100", Kbps(128)},
    {".mp4", "libfaac", "2", "48000", Kbps(128)},
    {".mov", "libfaac", "2", "44100", Kbps(128)},
    {".wmv", "wmav2", "2", "44100", Kbps(128)},
    {".asf", "wmav2", "2", "44100", Kbps(128)},
    {".mpg", "", "2", "44100", Kbps(128)},
    {".mpeg", "", "2", "44100", Kbps(128)},
    // Program streams carry MPEG audio, AC-3, DTS or PCM only; AC-3 as on a DVD.
    {".vob", "ac3", "2", "48000", Kbps(128)},
    {".flv", "libmp3lame", "2", "22050", Kbps(128)},
    {".swf", "libmp3lame", "2", "22050", Kbps(128)},
    {".3gp", "libopencore_amrnb", "1", "8000", Kbps(10.2)},
    {".3g2", "libopencore_amrnb", "1", "8000", Kbps(10.2)},
};

std::span<const TContainerAudio> ContainerAudioRows()
{
    return kContainerAudio;
}

}  // namespace vexa::catalogue::tables
