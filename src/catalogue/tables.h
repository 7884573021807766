#pragma once
// The raw tables and the helpers they are written with; read through the
// lookup functions of the public headers.
#include "catalogue/option_lists.h"
#include "catalogue/presets.h"

#include <span>
#include <string_view>
#include <vector>

namespace vexa::catalogue::tables {

struct TFormatRow {
    int Key;
    std::string_view Title;
    std::string_view Caption;
};

std::span<const std::string_view> CategoryCaptions();
std::span<const TFormatRow> FormatRowsA();
std::span<const TFormatRow> FormatRowsB();
std::span<const TFormatRow> FormatRowsC();
std::span<const TPresetEntry> PresetRowsA();
std::span<const TPresetEntry> PresetRowsB();
std::span<const TContainerAudio> ContainerAudioRows();
const std::vector<TOptionList>& OptionListRows();
std::span<const TFormatOptions> FormatOptionRowsA();
std::span<const TFormatOptions> FormatOptionRowsB();

// Bit rates are written in kbit/s as in 7.4 or 816.
constexpr int Kbps(double kbps) { return static_cast<int>(kbps * 1000.0 + 0.5); }

struct TPresetRow : TPresetEntry {
    constexpr TPresetRow Audio(std::string_view codec, std::string_view channels,
                               std::string_view sampleRate, double kbps) const
    {
        TPresetRow r = *this;
        r.OwnAudio = true;
        r.AudioCodec = codec;
        r.AudioChannels = channels;
        r.AudioSampleRate = sampleRate;
        r.AudioBitrate = Kbps(kbps);
        return r;
    }
    // For entries whose engine extension differs from the output name's.
    constexpr TPresetRow WithFileExt(std::string_view fileExt) const
    {
        TPresetRow r = *this;
        r.FileExt = fileExt;
        return r;
    }
};

constexpr TPresetRow Video(int key, std::string_view ext, std::string_view codec,
                           std::string_view tag, std::string_view frameRate,
                           std::string_view frameSize, std::string_view aspect, double kbps)
{
    TPresetRow r;
    r.Key = key;
    r.Kind = pkVideo;
    r.OutputExt = ext;
    r.FileExt = ext;
    r.VideoCodec = codec;
    r.VideoTag = tag;
    r.FrameRate = frameRate;
    r.FrameSize = frameSize;
    r.FrameAspectRatio = aspect;
    r.VideoBitrate = Kbps(kbps);
    return r;
}

constexpr TPresetRow AudioOnly(int key, std::string_view ext, std::string_view codec,
                               std::string_view channels, std::string_view sampleRate,
                               double kbps)
{
    TPresetRow r;
    r.Key = key;
    r.Kind = pkAudioOnly;
    r.OutputExt = ext;
    r.FileExt = ext;
    return r.Audio(codec, channels, sampleRate, kbps);
}

// The engine gets no extension and no rates: the target decides.
constexpr TPresetRow Disc(int key, std::string_view ext, std::string_view target,
                          std::string_view norm)
{
    TPresetRow r;
    r.Key = key;
    r.Kind = pkDiscTarget;
    r.OutputExt = ext;
    r.VideoBitrate = -1000;
    r.AudioBitrate = -1000;
    r.TargetType = target;
    r.NormType = norm;
    return r;
}

constexpr TPresetRow RealMedia(int key, std::string_view ext, std::string_view codec,
                               std::string_view frameSize)
{
    TPresetRow r;
    r.Key = key;
    r.Kind = pkRealMedia;
    r.OutputExt = ext;
    r.VideoCodec = codec;
    r.FrameSize = frameSize;
    return r;
}

constexpr TFormatOptions Options(int key, std::array<std::string_view, kOptionKindCount> lists,
                                 std::array<std::string_view, kOptionKindCount> defaults)
{
    return TFormatOptions{key, false, lists, defaults};
}

// The four video pickers show only "no video" and are disabled.
constexpr TFormatOptions AudioOnlyOptions(int key, std::string_view audioBitrateList,
                                          std::string_view audioBitrate,
                                          std::string_view sampleRateList,
                                          std::string_view sampleRate)
{
    return TFormatOptions{key, true,
                          {"R3", "B6", "F3", audioBitrateList, sampleRateList, "M3"},
                          {kNoVideoSize, kNoVideo, kNoVideo, audioBitrate, sampleRate, kNoVideo}};
}

}  // namespace vexa::catalogue::tables
