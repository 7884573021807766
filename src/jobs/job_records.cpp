#include "jobs/job_records.h"

#include "jobs/job_texts.h"
#include "catalogue/job_columns.h"
#include "platform/paths.h"

namespace vexa::app {

using namespace catalogue;

namespace {

constexpr std::string_view kX264 = "libx264";
constexpr std::string_view kX264Preset = "libx264-default";

void SetVideoCodec(std::string_view codec, TOutputOptions& output)
{
    output.VideoCodec = codec;
    output.VideoPreset = codec == kX264 ? std::string(kX264Preset) : std::string();
}

// A VCD is MPEG-1 at the constant 1150 kbit/s its target sets (minimum and
// maximum rate alike); any other video rate makes the encoder refuse the
// disc's rate, so the format's picker rate does not apply to it.
bool KeepsTargetRate(TOptionTargetType target)
{
    return target == ttVCD;
}

const std::string& Col(const TJobRow& row, TJobColumn column)
{
    return row[static_cast<size_t>(column)];
}

}  // namespace

TOptionTargetType TargetTypeFromText(std::string_view text)
{
    if (text == "vcd")
        return ttVCD;
    if (text == "svcd")
        return ttSVCD;
    if (text == "dvd")
        return ttDVD;
    return ttIgnore;
}

TOptionNormType NormTypeFromText(std::string_view text)
{
    if (text == "PAL")
        return ntPAL;
    if (text == "NTSC")
        return ntNTSC;
    return ntAuto;
}

void FillOutputFromDefaults(const TJobDefaults& d, TOutputOptions& output)
{
    if (!d.Video_VideoCodec.empty())
        SetVideoCodec(d.Video_VideoCodec, output);
    if (!d.Video_AudioCodec.empty() && d.Video_AudioCodec != "AUTO")
        output.AudioCodec = d.Video_AudioCodec;
    if (!d.Video_FrameRate.empty())
        output.FrameRate = d.Video_FrameRate;
    output.DisableVideo = d.Video_DisableVideo;
    if (!d.Video_AudioChannels.empty())
        output.AudioChannels = StrToInt(d.Video_AudioChannels);
    if (!d.Video_AudioSampleRate.empty() && d.Video_AudioSampleRate != "AUTO")
        output.AudioSampleRate = StrToInt(d.Video_AudioSampleRate);
    if (!d.Video_FrameSize.empty())
        output.FrameSize = d.Video_FrameSize;
    if (!d.Video_TargetType.empty())
        output.TargetType = TargetTypeFromText(d.Video_TargetType);
    output.NormType = NormTypeFromText(d.Video_NormType);
    output.AudioVolume = d.Video_AudioVolume == "256" ? 256 : StrToInt(d.Video_AudioVolume);
    if (!d.Video_FrameAspectRatio.empty())
        output.FrameAspectRatio = d.Video_FrameAspectRatio;
    if (d.Video_AudioBitrate != -1000 && d.Video_AudioBitrate != -2000)
        output.AudioBitrate = d.Video_AudioBitrate;
    if (!d.Video_FileFormat.empty())
        output.FileFormat = d.Video_FileFormat;
    if (!d.Video_VideoFilters.empty())
        output.VideoFilters = d.Video_VideoFilters;
    if (!d.Video_VideoTag.empty())
        output.VideoTag = d.Video_VideoTag;
    if (d.Video_VideoBitrate != -1000 && !KeepsTargetRate(output.TargetType))
        output.VideoBitrate = d.Video_VideoBitrate;
}

TJobRow MakeJobRow(const TNewJob& job)
{
    const TOutputOptions& o = job.Output;
    TJobRow row;
    row[jcInputFile] = job.InputFile;
    row[jcDuration] = job.DurationUs > 0 ? DurationTextUs(job.DurationUs) : "N/A";
    row[jcFileSize] = SizeText(job.FileSize);
    row[jcOutputFile] = platform::ExtractFileName(o.FileName);
    row[jcTaskNumber] = std::to_string(job.TaskIndex + 1);
    row[jcPresetKey] = std::to_string(job.PresetKey);
    row[jcOptionIndex] = job.OptionIndexString;
    row[jcVideoCodec] = o.VideoCodec;
    row[jcAudioCodec] = o.AudioCodec;
    row[jcAudioChannels] = std::to_string(o.AudioChannels);
    row[jcVideoTag] = o.VideoTag;
    // The extension column stays empty for a new job: the output name already
    // carries the extension.
    row[jcFrameSize] = o.FrameSize;
    row[jcVideoBitrate] = std::to_string(o.VideoBitrate);
    row[jcFrameRate] = o.FrameRate;
    row[jcAudioBitrate] = std::to_string(o.AudioBitrate);
    row[jcSampleRate] = std::to_string(o.AudioSampleRate);
    row[jcAspect] = o.FrameAspectRatio;
    row[jcDisableVideo] = job.Defaults.Video_DisableVideo ? "True" : "False";
    row[jcTargetType] = job.Defaults.Video_TargetType;
    row[jcNormType] = job.Defaults.Video_NormType;
    return row;
}

void UpdateOutputFromRow(const TJobRow& row, TOutputOptions& output)
{
    // Every number is read before the record changes.
    const std::string& channels = Col(row, jcAudioChannels);
    const std::string& videoBitrate = Col(row, jcVideoBitrate);
    const std::string& audioBitrate = Col(row, jcAudioBitrate);
    const std::string& sampleRate = Col(row, jcSampleRate);
    const int channelsValue = channels.empty() ? -1 : StrToInt(channels);
    const int videoBitrateValue = videoBitrate.empty() ? -1 : StrToInt(videoBitrate);
    const int audioBitrateValue = audioBitrate == "-1000" || audioBitrate == "-2000" || audioBitrate.empty()
                                      ? -1
                                      : StrToInt(audioBitrate);
    const int sampleRateValue = sampleRate == "AUTO" || sampleRate.empty() ? -1 : StrToInt(sampleRate);

    const std::string& videoCodec = Col(row, jcVideoCodec);
    SetVideoCodec(videoCodec, output);
    const std::string& audioCodec = Col(row, jcAudioCodec);
    output.AudioCodec = audioCodec == "AUTO" ? std::string() : audioCodec;
    output.AudioChannels = channelsValue;
    output.VideoTag = videoCodec == kX264 ? std::string() : Col(row, jcVideoTag);
    output.FileExt = Col(row, jcFileExt);
    output.FrameSize = Col(row, jcFrameSize);
    output.VideoBitrate = videoBitrateValue;
    output.FrameRate = Col(row, jcFrameRate);
    output.AudioBitrate = audioBitrateValue;
    output.AudioSampleRate = sampleRateValue;
    output.FrameAspectRatio = Col(row, jcAspect);
    output.DisableVideo = Col(row, jcDisableVideo) == "True";
    output.TargetType = TargetTypeFromText(Col(row, jcTargetType));
    output.NormType = NormTypeFromText(Col(row, jcNormType));
    if (KeepsTargetRate(output.TargetType))
        output.VideoBitrate = -1;
}

std::vector<TRunTask> BuildRunTasks(const TJobList& jobs, std::string_view outputFolder)
{
    std::vector<TRunTask> tasks;
    tasks.reserve(static_cast<size_t>(jobs.Count()));
    for (int i = 0; i < jobs.Count(); ++i) {
        const TJobRow& row = jobs.Row(i);
        TRunTask task;
        task.InputFile = row[jcInputFile];
        task.Input = jobs.InputSlot(i);
        task.Input.FileName = row[jcInputFile];
        task.Output = jobs.OutputSlot(i);
        UpdateOutputFromRow(row, task.Output);
        task.OutputFile = std::string(outputFolder) + "/" + row[jcOutputFile];
        tasks.push_back(std::move(task));
    }
    return tasks;
}

}  // namespace vexa::app
