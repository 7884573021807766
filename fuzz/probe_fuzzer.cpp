// The probe on damaged files: any bytes as a file are either refused with a
// message or described, and the first pictures decode and convert to a
// bitmap without a crash.
#include "fuzz_support.h"

#include "media/av_probe.h"
#include "platform/bitmap.h"

#include <exception>

using namespace vexa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::LoadLibraries();
    const std::string& path = fuzz::WriteScratch(data, size, ".media");
    TAVProbe probe;
    if (!probe.LoadFile(path))
        return 0;
    probe.GetFileStreamInfo();
    for (int i = 0; i < probe.StreamCount(); ++i) {
        if (probe.IsAudioStream(i))
            probe.AudioStreamInfo(i);
        else if (probe.IsVideoStream(i))
            probe.VideoStreamInfo(i);
        else if (probe.IsSubtitleStream(i))
            probe.SubtitleStreamInfo(i);
    }
    probe.GetFileInfoText();
    if (probe.VideoStreamCount() > 0) {
        platform::Bitmap bitmap;
        for (int n = 0; n < 3 && probe.Decode(); ++n)
            probe.CopyToBitmap(bitmap);
        probe.Seek(0);
        probe.DecodeNextKeyFrame();
    }
    fuzz::QuietLog();
    return 0;
}
