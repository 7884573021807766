// Direct setters: what the engine component passes as numbers, checked as
// the corresponding options check their texts.
#include "engine/custom_ffmpeg.h"

#include "engine/ff_options.h"

namespace vexa {

void TCustomFFmpeg::SetFileFormat(const std::string& format)
{
    SetOption("f", format);
}

void TCustomFFmpeg::SetStartTime(int64_t us)
{
    if (us != kNoTimestamp)
        start_time = us;
}

void TCustomFFmpeg::SetRecordingTime(int64_t us)
{
    if (us == kNoTimestamp)
        return;
    recording_time = us;
    FTotalOutputDuration = us;
}

void TCustomFFmpeg::SetProgramID(int id)
{
    if (id >= 0)
        opt_programid = id;
}

void TCustomFFmpeg::SetSampleRate(int rate)
{
    if (rate > 0)
        audio_sample_rate = rate;
}

void TCustomFFmpeg::SetChannels(int channels)
{
    if (channels > 0)
        audio_channels = channels;
}

void TCustomFFmpeg::SetAudioVolume(int volume)
{
    if (volume >= 0)
        audio_volume = volume;
}

void TCustomFFmpeg::SetMuxDelay(float seconds)
{
    if (seconds > 0)
        mux_max_delay = seconds;
}

void TCustomFFmpeg::SetMuxPreload(float seconds)
{
    if (seconds > 0)
        mux_preload = seconds;
}

void TCustomFFmpeg::SetCrops(int top, int bottom, int left, int right)
{
    const std::pair<const char*, int> crops[] = {
        {"croptop", top}, {"cropbottom", bottom}, {"cropleft", left}, {"cropright", right}};
    for (const auto& [name, value] : crops)
        if (value > 0)
            SetOption(name, std::to_string(value));
}

void TCustomFFmpeg::SetSyncMethods(int audio, int video)
{
    audio_sync_method = audio;
    video_sync_method = video;
}

}  // namespace vexa
