// Building tasks: option texts, input and output records turned into option
// calls in their fixed order, and opening the files.
#include "engine/ff_engine.h"

#include "engine/ff_common.h"
#include "platform/error.h"

#include <cmath>
#include <ctime>
#include <exception>
#include <optional>

namespace vexa {

namespace {

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

std::optional<int64_t> ReadInt64(const std::string& value)
{
    try {
        return StrToInt64Strict(TrimText(value));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string* Find(std::vector<std::pair<std::string, std::string>>& list, const std::string& name)
{
    for (auto& [n, v] : list)
        if (n == name)
            return &v;
    return nullptr;
}

// Days since 1899-12-30 in local time to seconds since 1970 in UTC.
int64_t LocalDaysToUnix(double days)
{
    const std::time_t approx = static_cast<std::time_t>(std::llround((days - 25569.0) * 86400.0));
    std::tm tm{};
    localtime_r(&approx, &tm);
    const double biasMinutes = static_cast<double>(tm.tm_gmtoff) / 60.0;
    return std::llround((days - 25569.0 - biasMinutes / 1440.0) * 86400.0);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseExtOptions(const std::string& text)
{
    std::string t = TrimText(text);
    std::string normal;
    normal.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') {
            normal += '\n';
            if (i + 1 < t.size() && t[i + 1] == '\n')
                ++i;
        } else if (t.compare(i, 6, "<CRLF>") == 0) {
            normal += '\n';
            i += 5;
        } else {
            normal += t[i];
        }
    }
    std::vector<std::pair<std::string, std::string>> lines;
    size_t start = 0;
    while (start <= normal.size()) {
        size_t end = normal.find('\n', start);
        if (end == std::string::npos)
            end = normal.size();
        const std::string line = normal.substr(start, end - start);
        if (!line.empty()) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos)
                lines.emplace_back(line, "");
            else
                lines.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
        start = end + 1;
    }
    return lines;
}

void TCustomFFEngine::ApplyExtOptions(TFFmpeg& task, const std::string& text, bool forInput)
{
    for (const auto& [rawName, value] : ParseExtOptions(text)) {
        const std::string name = LowerCase(rawName);
        if (IsOneOf(name, {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"}))
            continue;
        if (!forInput && IsOneOf(name, {"acodec", "vcodec", "scodec", "s"}))
            continue;
        task.SetOption(name, value);
    }
}

void TCustomFFEngine::ConnectTask(TFFmpeg& task)
{
    task.FOnProgress = [this](TCustomFFmpeg* t, int fi, int fn, int fps, float q, float br, int64_t size, int64_t cur,
                              int64_t total) { DoProgress(t, fi, fn, fps, q, br, size, cur, total); };
    task.FOnTerminate = [this](TCustomFFmpeg* t) { DoTerminate(t); };
}

bool TCustomFFEngine::OpenTaskInput(TFFmpeg& task, const std::string& AFileName, const TInputOptions* AOptions)
{
    const int slot = task.nb_input_files();
    if (AOptions) {
        TInputOptions copy = *AOptions;
        if (copy.FileName.empty())
            copy.FileName = AFileName;
        task.StoreInputOptions(slot, copy);
        ApplyExtOptions(task, copy.ExtOptions, true);
        if (!copy.FileFormat.empty())
            task.SetFileFormat(copy.FileFormat);
        task.SetStartTime(copy.TimeStart);
        if (copy.ProgramID >= 0)
            task.SetProgramID(copy.ProgramID);
    } else {
        task.ResetInputOptions(slot);
    }
    if (!task.OpenInput(AFileName)) {
        task.ResetInputOptions(slot);
        SetLastErrMsg(task.LastErrMsg());
        return false;
    }
    task.AttachProbe(slot);
    return true;
}

int TCustomFFEngine::AddTask(const std::string& AFileName, const TInputOptions* AOptions)
{
    CheckWorking("AddTask");
    try {
        auto task = std::make_unique<TFFmpeg>(FCustomMaxFiles);
        task->SetVerbose(FVerbose);
        task->SetPostHooks(static_cast<TPostHooks>((FPreview.load() ? phPreview : 0) |
                                                   (FPreviewBitmap.load() ? phBitmap : 0)));
        task->FOnPreviewBitmap = [this](TCustomFFmpeg* t, const platform::Bitmap* b, int fn, int64_t pts) {
            DoPreviewBitmap(t, b, fn, pts);
        };
        if (!OpenTaskInput(*task, AFileName, AOptions))
            return -1;
        ConnectTask(*task);
        return FFFmpegList.Add(std::move(task));
    } catch (const std::exception& e) {
        SetLastErrMsg(e.what());
        return -1;
    }
}

int TCustomFFEngine::AddTask(const std::string& AFileName, const std::string& AExtOptions)
{
    TInputOptions options;
    for (const auto& [name, value] : ParseExtOptions(AExtOptions)) {
        if (LowerCase(name) == "timestart")
            options.TimeStart = ReadInt64(value).value_or(kNoTimestamp);
        else
            options.ExtOptions += name + "=" + value + "\n";
    }
    return AddTask(AFileName, &options);
}

int TCustomFFEngine::AddTask(const void* AStream, const std::string& APrivateData, const TInputOptions* AOptions)
{
    (void)AOptions;
    CheckWorking("AddTask");
    SetLastErrMsg(Format("stream:%lld:%s: Protocol not found", static_cast<long long>(reinterpret_cast<intptr_t>(AStream)),
                         APrivateData.c_str()));
    return -1;
}

bool TCustomFFEngine::AddInputFile(int ATaskIndex, const std::string& AFileName, const TInputOptions* AOptions)
{
    CheckWorking("AddInputFile");
    TFFmpeg& task = *FFFmpegList.Get(ATaskIndex);
    if (task.nb_input_files() >= task.MaxFiles()) {
        SetLastErrMsg(Format("max input files %d reached", task.MaxFiles()));
        return false;
    }
    const int slot = task.nb_input_files();
    try {
        return OpenTaskInput(task, AFileName, AOptions);
    } catch (const std::exception& e) {
        task.ResetInputOptions(slot);
        SetLastErrMsg(e.what());
        return false;
    }
}

bool TCustomFFEngine::AddInputFile(int ATaskIndex, const std::string& AFileName, const std::string& AExtOptions)
{
    TInputOptions options;
    for (const auto& [name, value] : ParseExtOptions(AExtOptions)) {
        if (LowerCase(name) == "timestart")
            options.TimeStart = ReadInt64(value).value_or(kNoTimestamp);
        else
            options.ExtOptions += name + "=" + value + "\n";
    }
    return AddInputFile(ATaskIndex, AFileName, &options);
}

void TCustomFFEngine::BuildCodecDefaults(TOptionList& list, const TOutputOptions& o)
{
    list = {{"def_acodec", o.AudioCodec}, {"def_vcodec", o.VideoCodec},    {"def_scodec", o.SubtitleCodec},
            {"def_apre", o.AudioPreset},  {"def_vpre", o.VideoPreset},     {"def_spre", o.SubtitlePreset},
            {"def_s", o.FrameSize},       {"def_vf", o.VideoFilters}};
    for (const auto& [rawName, value] : ParseExtOptions(o.ExtOptions)) {
        std::string name = LowerCase(rawName);
        if (value.empty() || !IsOneOf(name, {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"}))
            continue;
        if (name == "vfilters")
            name = "vf";
        std::string* def = Find(list, "def_" + name);
        if (def && def->empty())
            *def = value;
        list.emplace_back(name, value);
    }
}

void TCustomFFEngine::ApplyTarget(TFFmpeg& task, const TOutputOptions& o)
{
    const char* type = o.TargetType == ttVCD ? "vcd" : o.TargetType == ttSVCD ? "svcd" : o.TargetType == ttDVD ? "dvd" : nullptr;
    if (!type)
        return;
    const char* norm = o.NormType == ntPAL ? "pal" : o.NormType == ntNTSC ? "ntsc" : "auto";
    task.ApplyTarget(type, norm, o.NormDefault == ntPAL ? "pal" : "ntsc");
}

void OverrideOutputOptions(TOutputOptions& o, const std::string& lines)
{
    // Keep in step with BuildCodecDefaults and ApplyOutputOptions: a field
    // that reaches the same option either takes the line's value or is unset,
    // so that the option keeps the value its line gave it.
    for (const auto& [rawName, value] : ParseExtOptions(lines)) {
        const std::string name = LowerCase(rawName);
        std::string* text = nullptr;
        if (name == "acodec") text = &o.AudioCodec;
        else if (name == "vcodec") text = &o.VideoCodec;
        else if (name == "scodec") text = &o.SubtitleCodec;
        else if (name == "apre") text = &o.AudioPreset;
        else if (name == "vpre") text = &o.VideoPreset;
        else if (name == "spre") text = &o.SubtitlePreset;
        else if (name == "s") text = &o.FrameSize;
        else if (name == "vf" || name == "vfilters") text = &o.VideoFilters;
        else if (name == "alang") text = &o.AudioLanguage;
        else if (name == "vlang") text = &o.VideoLanguage;
        else if (name == "slang") text = &o.SubtitleLanguage;
        if (text) {
            *text = value;
            continue;
        }
        const std::pair<const char*, int32_t*> numbers[] = {
            {"packetsize", &o.PacketSize}, {"muxrate", &o.MuxRate}, {"vol", &o.AudioVolume},
            {"ac", &o.AudioChannels}, {"ar", &o.AudioSampleRate}, {"ab", &o.AudioBitrate},
            {"abt", &o.AudioBitRateTolerance}, {"croptop", &o.CropTop}, {"cropbottom", &o.CropBottom},
            {"cropleft", &o.CropLeft}, {"cropright", &o.CropRight}, {"g", &o.GroupPictureSize},
            {"b", &o.VideoBitrate}, {"vb", &o.VideoBitrate}, {"maxrate", &o.VideoMaxRate},
            {"minrate", &o.VideoMinRate}, {"bt", &o.VideoBitRateTolerance}, {"bufsize", &o.VideoBufSize}};
        for (const auto& [n, field] : numbers)
            if (name == n)
                *field = -1;
        if (name == "f") o.FileFormat.clear();
        else if (name == "muxdelay") o.MuxDelay = -1.0f;
        else if (name == "muxpreload") o.MuxPreload = -1.0f;
        else if (name == "an") o.DisableAudio = false;
        else if (name == "vn") o.DisableVideo = false;
        else if (name == "sn") o.DisableSubtitle = false;
        else if (name == "atag") o.AudioTag.clear();
        else if (name == "vtag") o.VideoTag.clear();
        else if (name == "r") o.FrameRate.clear();
        else if (name == "aspect") o.FrameAspectRatio.clear();
        else if (name == "copyts") o.CopyTimestamp = false;
        else if (name == "ss") o.TimeStart = kNoTimestamp;
        else if (name == "t") o.TimeLength = kNoTimestamp;
        else if (name == "timestamp") o.Info.TimeStamp = -1.0;
        // Copied whatever they hold: take the line's value, or leave the
        // field when the line's value is no number (the line then fails).
        else if (name == "async") o.AudioSyncMethod = static_cast<int32_t>(ReadInt64(value).value_or(o.AudioSyncMethod));
        else if (name == "vsync") o.VideoSyncMethod = static_cast<int32_t>(ReadInt64(value).value_or(o.VideoSyncMethod));
        else if (name == "isync") o.InputSync = OptBool(value);
    }
    o.ExtOptions += lines;
    if (!o.ExtOptions.empty() && o.ExtOptions.back() != '\n')
        o.ExtOptions += '\n';
}

void TCustomFFEngine::ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& o)
{
    auto positive = [&task](const char* name, int32_t value) {
        if (value > 0)
            task.SetOption(name, std::to_string(value));
    };
    auto text = [&task](const char* name, const std::string& value) {
        if (!value.empty())
            task.SetOption(name, value);
    };
    text("f", o.FileFormat);
    positive("packetsize", o.PacketSize);
    positive("muxrate", o.MuxRate);
    task.SetMuxDelay(o.MuxDelay);
    task.SetMuxPreload(o.MuxPreload);
    if (o.DisableAudio)
        task.SetOption("an", "");
    task.SetAudioVolume(o.AudioVolume);
    task.SetChannels(o.AudioChannels);
    task.SetSampleRate(o.AudioSampleRate);
    positive("ab", o.AudioBitrate);
    positive("abt", o.AudioBitRateTolerance);
    task.SetOption("alang", o.AudioLanguage);
    task.SetOption("async", std::to_string(o.AudioSyncMethod));
    text("atag", o.AudioTag);
    if (o.DisableVideo)
        task.SetOption("vn", "");
    text("r", o.FrameRate);
    text("aspect", o.FrameAspectRatio);
    task.SetCrops(o.CropTop, o.CropBottom, o.CropLeft, o.CropRight);
    positive("g", o.GroupPictureSize);
    positive("vb", o.VideoBitrate);
    positive("maxrate", o.VideoMaxRate);
    positive("minrate", o.VideoMinRate);
    positive("bt", o.VideoBitRateTolerance);
    positive("bufsize", o.VideoBufSize);
    task.SetOption("vsync", std::to_string(o.VideoSyncMethod));
    text("vtag", o.VideoTag);
    task.SetOption("vlang", o.VideoLanguage);
    if (o.DisableSubtitle)
        task.SetOption("sn", "");
    task.SetOption("slang", o.SubtitleLanguage);
    task.SetOption("isync", o.InputSync ? "1" : "0");
    if (o.CopyTimestamp)
        task.SetOption("copyts", "");
    task.SetStartTime(o.TimeStart);
    task.SetRecordingTime(o.TimeLength);
    const TStreamInfo& info = o.Info;
    if (info.TimeStamp == 0)
        task.recording_timestamp = static_cast<int64_t>(std::time(nullptr));
    else if (info.TimeStamp > 0)
        task.recording_timestamp = LocalDaysToUnix(info.TimeStamp);
    if (info.Year > 0)
        task.AddMetadata("year", std::to_string(info.Year));
    if (info.Track > 0)
        task.AddMetadata("track", std::to_string(info.Track));
    const std::pair<const char*, const std::string*> texts[] = {{"title", &info.Title},       {"author", &info.Author},
                                                                 {"copyright", &info.Copyright}, {"comment", &info.Comment},
                                                                 {"album", &info.Album},       {"genre", &info.Genre}};
    for (const auto& [key, value] : texts)
        if (!value->empty())
            task.AddMetadata(key, *value);
}

void TCustomFFEngine::ApplyNewStreamOptions(TFFmpeg& task, const std::string& text, TOutputOptions* options,
                                            TOptionList& list)
{
    (void)options;
    auto take = [&task, &list](const std::string& name) {
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->first == name) {
                const std::string value = it->second;
                list.erase(it);
                task.SetOption(name, value);
                return;
            }
        }
        const std::string* def = Find(list, "def_" + name);
        if (def && !def->empty())
            task.SetOption(name, *def);
    };
    for (const auto& [rawName, value] : ParseExtOptions(text)) {
        const std::string name = LowerCase(rawName);
        if (name == "newaudio") {
            take("acodec");
            take("apre");
        } else if (name == "newvideo") {
            take("vcodec");
            take("vpre");
            take("s");
            take("vf");
        } else if (name == "newsubtitle") {
            take("scodec");
            take("spre");
        } else {
            continue;
        }
        task.SetOption(name, value);
    }
}

bool TCustomFFEngine::SetOutputFile(int ATaskIndex, const std::string& AFileName, const TOutputOptions* AOptions)
{
    CheckWorking("SetOutputFile");
    TFFmpeg& task = *FFFmpegList.Get(ATaskIndex);
    if (task.nb_output_files() >= task.MaxFiles()) {
        SetLastErrMsg(Format("max output files %d reached", task.MaxFiles()));
        return false;
    }
    const int slot = task.nb_output_files();
    try {
        TOptionList list;
        bool join = false;
        TOutputOptions copy;
        if (AOptions) {
            copy = *AOptions;
            if (copy.FileName.empty())
                copy.FileName = AFileName;
            task.StoreOutputOptions(slot, copy);
            BuildCodecDefaults(list, copy);
            ApplyTarget(task, copy);
            for (const char* kind : {"acodec", "vcodec", "scodec"}) {
                const std::string* v = Find(list, std::string("def_") + kind);
                if (v && !v->empty())
                    task.SetOption(kind, *v);
            }
            for (const char* pre : {"apre", "vpre", "spre"}) {
                const std::string* v = Find(list, std::string("def_") + pre);
                if (v && !v->empty())
                    task.ApplyPreset(pre, *v);
            }
            ApplyExtOptions(task, copy.ExtOptions, false);
            ApplyOutputOptions(task, copy);
            if (const std::string* s = Find(list, "def_s"); s && !s->empty())
                task.SetOption("s", *s);
            if (const std::string* vf = Find(list, "def_vf"); vf && !vf->empty())
                task.SetOption("vf", *vf);
            if (copy.CustomHook)
                task.FOnCustomHook = [this](TCustomFFmpeg* t, platform::Bitmap* b, int fn, int64_t pts, bool& update,
                                            bool& stop) { DoCustomHook(t, b, fn, pts, update, stop); };
            join = copy.Join;
        } else {
            task.ResetOutputOptions(slot);
        }
        if (task.OpenOutput(AFileName, join) < 0) {
            SetLastErrMsg(task.LastErrMsg());
            task.ResetOutputOptions(slot);
            return false;
        }
        if (AOptions)
            ApplyNewStreamOptions(task, copy.ExtOptions, &copy, list);
        return true;
    } catch (const std::exception& e) {
        SetLastErrMsg(e.what());
        return false;
    }
}

bool TCustomFFEngine::SetOutputFile(int ATaskIndex, const std::string& AFileName, const std::string& AExtOptions)
{
    TOutputOptions options;
    for (const auto& [rawName, value] : ParseExtOptions(AExtOptions)) {
        const std::string name = LowerCase(rawName);
        if (name == "hook" || name == "customhook")
            options.CustomHook = true;
        else if (name == "join")
            options.Join = true;
        else if (name == "timestart")
            options.TimeStart = ReadInt64(value).value_or(kNoTimestamp);
        else if (name == "timelength")
            options.TimeLength = ReadInt64(value).value_or(kNoTimestamp);
        else
            options.ExtOptions += rawName + "=" + value + "\n";
    }
    return SetOutputFile(ATaskIndex, AFileName, &options);
}

bool TCustomFFEngine::SetOutputStream(int ATaskIndex, const void* AStream, const TOutputOptions* AOptions,
                                      const std::string& APrivateData)
{
    (void)ATaskIndex;
    (void)AOptions;
    CheckWorking("SetOutputFile");
    SetLastErrMsg(Format("stream:%lld:%s: Protocol not found", static_cast<long long>(reinterpret_cast<intptr_t>(AStream)),
                         APrivateData.c_str()));
    return false;
}

}  // namespace vexa
