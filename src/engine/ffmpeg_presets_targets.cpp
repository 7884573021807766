// Presets ("apre", "vpre", "spre", "fpre") and DVD/VCD targets.
#include "engine/custom_ffmpeg.h"

#include "engine/ff_common.h"
#include "engine/ff_presets.h"
#include "media/ffmpeg_logger.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace vexa {

void TCustomFFmpeg::ApplyPreset(const std::string& option, const std::string& value)
{
    if (value.empty())
        return;
    std::string presetName = value;
    const TOptionsPreset* preset = nullptr;
    if (option != "fpre") {
        preset = FindBuiltinPreset(value);
        if (!preset) {
            const std::string* codec = nullptr;
            if (option == "vpre" && !video_codec_name.empty())
                codec = &video_codec_name;
            else if (option == "apre" && !audio_codec_name.empty())
                codec = &audio_codec_name;
            else if (!subtitle_codec_name.empty())
                codec = &subtitle_codec_name;
            if (codec) {
                presetName = *codec + "-" + value;
                preset = FindBuiltinPreset(presetName);
            }
        }
    }
    std::string text;
    if (preset) {
        text = preset->Value;
    } else {
        if (!platform::FileExists(value))
            RaiseFmt("Preset \"%s\" not found", value.c_str());
        std::ifstream in(value, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    ApplyPresetText(presetName, text);
}

void TCustomFFmpeg::ApplyPresetText(const std::string& presetName, const std::string& rawText)
{
    std::string text;
    const std::string trimmed = TrimText(rawText);
    for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == '\r') {
            text += '\n';
            if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n')
                ++i;
        } else {
            text += trimmed[i];
        }
    }
    std::istringstream lines(text);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::string line = TrimText(raw);
        if (line.empty())
            continue;
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string val = eq == std::string::npos ? std::string() : line.substr(eq + 1);
        if (key.empty() || val.empty())
            RaiseFmt("%s: Invalid syntax: \"%s\"", presetName.c_str(), line.c_str());
        const std::string lower = LowerCase(key);
        if (lower == "acodec")
            audio_codec_name = val;
        else if (lower == "vcodec")
            video_codec_name = val;
        else if (lower == "scodec")
            subtitle_codec_name = val;
        else if (!SetLibraryOption(key, val))
            RaiseFmt("%s: Invalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"", presetName.c_str(),
                     line.c_str(), key.c_str(), val.c_str());
    }
}

namespace {

bool NormOfRate(double fps1000, TNorm& norm)
{
    const long r = std::lround(fps1000);
    if (r == 23976 || r == 29970) {
        norm = nmNTSC;
        return true;
    }
    if (r == 25000) {
        norm = nmPAL;
        return true;
    }
    return false;
}

}  // namespace

void TCustomFFmpeg::ApplyTarget(const std::string& type, const std::string& normText, const std::string& defaultNorm)
{
    TNorm norm = nmPAL;
    if (normText == "pal") {
        norm = nmPAL;
    } else if (normText == "ntsc") {
        norm = nmNTSC;
    } else if (normText == "film") {
        norm = nmFILM;
    } else {
        if (frame_rate.den == 0)
            Raise("frame_rate is invalid.");
        bool found = NormOfRate(static_cast<double>(frame_rate.num) * 1000.0 / frame_rate.den, norm);
        for (size_t i = 0; !found && i < input_files.size(); ++i) {
            const AVFormatContext* ic = input_files[i].ctx.get();
            for (unsigned j = 0; !found && j < ic->nb_streams; ++j) {
                const AVStream* st = ic->streams[j];
                if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
                    continue;
                // The stream's frame rate is what the codec time base told
                // in the earlier library generation.
                const AVRational fr = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
                if (fr.den > 0)
                    found = NormOfRate(fr.num * 1000.0 / fr.den, norm);
            }
        }
        if (!found)
            norm = defaultNorm == "ntsc" ? nmNTSC : nmPAL;
        if (verbose > 0)
            LogMessageFmt(this, llVerbose, "Assuming %s for target.", norm == nmPAL ? "PAL" : "NTSC");
    }

    const bool pal = norm == nmPAL;
    auto setRate = [this, norm] { SetOption("r", TargetFrameRate(norm)); };
    auto lib = [this](const char* n, int64_t v) { SetIntLibraryOption(n, v); };
    auto defaultAspect = [this](float ar, const char* msg) {
        if (frame_aspect_ratio == 0) {
            frame_aspect_ratio = ar;
            LogMessage(this, llInfo, msg);
        }
    };

    if (type == "vcd") {
        video_codec_name = "mpeg1video";
        audio_codec_name = "mp2";
        last_asked_format = "vcd";
        SetOption("s", pal ? "352x288" : "352x240");
        setRate();
        lib("g", pal ? 15 : 18);
        lib("b", 1150000);
        lib("maxrate", 1150000);
        lib("minrate", 1150000);
        lib("bufsize", 327680);
        lib("ab", 224000);
        audio_sample_rate = 44100;
        audio_channels = 2;
        lib("packetsize", 2324);
        lib("muxrate", 1411200);
        // The VCD standard wants the initial delay at 0.44 s.
        mux_preload = 0.44f;
        defaultAspect(4.0f / 3.0f, "Assuming 4:3 for aspect ratio");
    } else if (type == "svcd") {
        video_codec_name = "mpeg2video";
        audio_codec_name = "mp2";
        last_asked_format = "svcd";
        SetOption("s", pal ? "480x576" : "480x480");
        setRate();
        lib("g", pal ? 15 : 18);
        lib("b", 2040000);
        lib("maxrate", 2516000);
        lib("minrate", 0);
        lib("bufsize", 1835008);
        SetLibraryOption("flags", "+scan_offset");
        lib("ab", 224000);
        audio_sample_rate = 44100;
        if (audio_channels == 1)
            audio_channels = 2;
        lib("packetsize", 2324);
        defaultAspect(4.0f / 3.0f, "Assuming 4:3 for aspect ratio");
    } else if (type == "dvd") {
        video_codec_name = "mpeg2video";
        audio_codec_name = "ac3";
        last_asked_format = "dvd";
        SetOption("s", pal ? "720x576" : "720x480");
        setRate();
        lib("g", pal ? 15 : 18);
        lib("b", 6000000);
        lib("maxrate", 9000000);
        lib("minrate", 0);
        lib("bufsize", 1835008);
        lib("ab", 448000);
        audio_sample_rate = 48000;
        if (audio_channels == 1)
            audio_channels = 2;
        lib("packetsize", 2048);
        lib("muxrate", 10080000);
        defaultAspect(16.0f / 9.0f, "Assuming 16:9 for aspect ratio");
    } else if (type == "dv" || type == "dv50") {
        last_asked_format = "dv";
        SetOption("s", pal ? "720x576" : "720x480");
        SetOption("pix_fmt", type == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
        setRate();
        audio_sample_rate = 48000;
        audio_channels = 2;
    } else {
        Raise("Unknown target type");
    }
}

}  // namespace vexa
