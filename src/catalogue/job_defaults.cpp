#include "catalogue/job_defaults.h"

#include "catalogue/extensions.h"
#include "catalogue/job_columns.h"
#include "platform/paths.h"

namespace vexa::catalogue {

namespace {

void AssignAudio(TJobDefaults& d, std::string_view codec, std::string_view channels,
                 std::string_view sampleRate, int bitrate)
{
    d.Video_AudioCodec = codec;
    d.Video_AudioChannels = channels;
    d.Video_AudioSampleRate = sampleRate;
    d.Video_AudioBitrate = bitrate;
}

// A folder of that name blocks the output file as surely as a file does.
bool NameTaken(const std::string& path)
{
    return platform::FileExists(path) || platform::DirectoryExists(path);
}

}  // namespace

void ResetJobDefaults(TJobDefaults& defaults)
{
    std::string addFileName = std::move(defaults.Video_AddFileName);
    defaults = TJobDefaults{};
    defaults.Video_AddFileName = std::move(addFileName);
}

void AssignPreset(TJobDefaults& d, const TPresetEntry& e)
{
    switch (e.Kind) {
    case pkVideo:
        d.Video_FileExt = e.FileExt;
        d.Video_VideoCodec = e.VideoCodec;
        d.Video_VideoTag = e.VideoTag;
        d.Video_FrameRate = e.FrameRate;
        d.Video_FrameSize = e.FrameSize;
        d.Video_FrameAspectRatio = e.FrameAspectRatio;
        d.Video_VideoBitrate = e.VideoBitrate;
        if (e.OwnAudio) {
            AssignAudio(d, e.AudioCodec, e.AudioChannels, e.AudioSampleRate, e.AudioBitrate);
        } else if (const TContainerAudio* audio = FindContainerAudio(e.OutputExt)) {
            AssignAudio(d, audio->AudioCodec, audio->AudioChannels, audio->AudioSampleRate,
                        audio->AudioBitrate);
        }
        d.Video_AudioVolume = "256";
        d.Video_TargetType.clear();
        d.Video_NormType.clear();
        d.Video_VideoFilters.clear();
        d.Video_FileFormat.clear();
        d.Video_CopyTimestamp.clear();
        d.Video_TimeStart = -1;
        d.Video_TimeLength = -1;
        d.Video_DisableVideo = false;
        break;
    case pkAudioOnly:
        d.Video_FileExt = e.FileExt;
        AssignAudio(d, e.AudioCodec, e.AudioChannels, e.AudioSampleRate, e.AudioBitrate);
        d.Video_DisableVideo = true;
        d.Video_NormType.clear();
        d.Video_TargetType.clear();
        d.Video_FileFormat.clear();
        d.Video_CopyTimestamp.clear();
        break;
    case pkDiscTarget:
        d.Video_TargetType = e.TargetType;
        d.Video_NormType = e.NormType;
        d.Video_VideoCodec.clear();
        d.Video_AudioCodec.clear();
        d.Video_VideoTag.clear();
        d.Video_AudioChannels.clear();
        d.Video_AudioSampleRate.clear();
        d.Video_FrameRate.clear();
        d.Video_FrameSize.clear();
        d.Video_FrameAspectRatio.clear();
        d.Video_FileFormat.clear();
        d.Video_VideoBitrate = e.VideoBitrate;
        d.Video_AudioBitrate = e.AudioBitrate;
        break;
    case pkRealMedia:
        d.Video_VideoCodec = e.VideoCodec;
        d.Video_FrameSize = e.FrameSize;
        d.Video_NormType.clear();
        d.Video_CopyTimestamp.clear();
        d.Video_FileFormat.clear();
        d.Video_TargetType.clear();
        break;
    }
}

std::string OutputFileName(std::string_view folder, std::string_view inputFile,
                           std::string_view ext)
{
    std::string path(folder);
    path += '/';
    path += ChangeNameExtension(platform::ExtractFileName(std::string(inputFile)), ext);
    return path;
}

std::string UniqueOutputFileName(std::string_view path, std::string_view folder, bool overwrite)
{
    const std::string name = platform::ExtractFileName(std::string(path));
    const std::string ext = platform::ExtractFileExt(name);
    std::string stem(folder);
    stem += '/';
    stem += name.substr(0, name.size() - ext.size());
    const std::string candidate = stem + ext;
    if (overwrite || !NameTaken(candidate))
        return candidate;
    for (long long n = 1;; ++n) {
        std::string numbered = stem + "_" + std::to_string(n) + ext;
        if (!NameTaken(numbered))
            return numbered;
    }
}

bool LoadPreset(TJobDefaults& defaults, int key, std::string_view folder, bool overwrite)
{
    ResetJobDefaults(defaults);
    defaults.Video_DisableVideo = false;
    const TPresetEntry* entry = FindPreset(key);
    if (!entry)
        return false;
    const std::string path = OutputFileName(folder, defaults.Video_AddFileName, entry->OutputExt);
    AssignPreset(defaults, *entry);
    defaults.Video_OutPutFileName = UniqueOutputFileName(path, folder, overwrite);
    return true;
}

std::vector<std::pair<int, std::string>> PresetRowColumns(const TJobDefaults& d)
{
    return {
        {jcVideoCodec, d.Video_VideoCodec},
        {jcAudioCodec, d.Video_AudioCodec},
        {jcAudioChannels, d.Video_AudioChannels},
        {jcVideoTag, d.Video_VideoTag},
        {jcFileExt, d.Video_FileExt},
        {jcFrameSize, d.Video_FrameSize},
        {jcVideoBitrate, std::to_string(d.Video_VideoBitrate)},
        {jcFrameRate, d.Video_FrameRate},
        {jcAudioBitrate, std::to_string(d.Video_AudioBitrate)},
        {jcSampleRate, d.Video_AudioSampleRate},
        {jcAspect, d.Video_FrameAspectRatio},
        {jcDisableVideo, d.Video_DisableVideo ? "True" : "False"},
        {jcTargetType, d.Video_TargetType},
        {jcNormType, d.Video_NormType},
    };
}

void ApplyOptionText(TJobDefaults& d, TOptionKind kind, std::string_view text)
{
    switch (kind) {
    case okFrameSize: d.Video_FrameSize = FrameSizeFromText(text); break;
    case okVideoBitrate: d.Video_VideoBitrate = VideoBitrateFromText(text); break;
    case okFrameRate: d.Video_FrameRate = FrameRateFromText(text); break;
    case okAudioBitrate: d.Video_AudioBitrate = AudioBitrateFromText(text); break;
    case okSampleRate: d.Video_AudioSampleRate = SampleRateFromText(text); break;
    case okAspect: d.Video_FrameAspectRatio = AspectFromText(text); break;
    }
}

std::string OptionColumnText(const TJobDefaults& d, TOptionKind kind)
{
    switch (kind) {
    case okFrameSize: return d.Video_FrameSize;
    case okVideoBitrate: return std::to_string(d.Video_VideoBitrate);
    case okFrameRate: return d.Video_FrameRate;
    case okAudioBitrate: return std::to_string(d.Video_AudioBitrate);
    case okSampleRate: return d.Video_AudioSampleRate;
    case okAspect: return d.Video_FrameAspectRatio;
    }
    return {};
}

int OptionColumn(TOptionKind kind)
{
    switch (kind) {
    case okFrameSize: return jcFrameSize;
    case okVideoBitrate: return jcVideoBitrate;
    case okFrameRate: return jcFrameRate;
    case okAudioBitrate: return jcAudioBitrate;
    case okSampleRate: return jcSampleRate;
    case okAspect: return jcAspect;
    }
    return -1;
}

}  // namespace vexa::catalogue
