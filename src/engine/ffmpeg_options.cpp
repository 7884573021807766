// Option state of a task: reset, and the option vocabulary.
#include "engine/custom_ffmpeg.h"

#include "engine/ff_common.h"
#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace vexa {

namespace {

bool OneOf(const std::string& name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

}  // namespace

std::mutex& PostHookLock()
{
    static std::mutex lock;
    return lock;
}

TCustomFFmpeg::TCustomFFmpeg(int maxFiles) : nb_max_files(maxFiles > 0 ? maxFiles : 20)
{
    Reset();
}

TCustomFFmpeg::~TCustomFFmpeg()
{
    StopAndJoin();
    FreeConversionState();
    CloseCodecs();
    FreeFiles();
}

TPostHooks TCustomFFmpeg::PostHooks() const
{
    std::lock_guard<std::mutex> g(PostHookLock());
    return FPostHooks;
}

void TCustomFFmpeg::SetPostHooks(TPostHooks hooks)
{
    std::lock_guard<std::mutex> g(PostHookLock());
    FPostHooks = hooks;
}

void TCustomFFmpeg::ChangePostHooks(TPostHooks add, TPostHooks remove)
{
    std::lock_guard<std::mutex> g(PostHookLock());
    FPostHooks = static_cast<TPostHooks>((FPostHooks | add) & ~remove);
}

void TCustomFFmpeg::FreeFiles()
{
    // Outputs first: their streams may point at nothing of the inputs, but
    // their codecs must be gone before the inputs' decoders are.
    output_files.clear();
    for (auto& of : output_owned) {
        if (!of || !of->ctx)
            continue;
        of->streams.clear();
        of->ctx.reset();
        // Nothing was ever written: no empty file is left behind.
        if (of->has_file && (of->discard || platform::FileSize(of->file_name) == 0))
            std::remove(of->file_name.c_str());
    }
    output_owned.clear();
    input_files.clear();
}

void TCustomFFmpeg::ResetOptionState()
{
    last_asked_format.clear();
    pgmyuv_compatibility_hack = false;
    frame_width = frame_height = 0;
    frame_aspect_ratio = 0;
    frame_pix_fmt = AV_PIX_FMT_NONE;
    audio_sample_fmt = AV_SAMPLE_FMT_NONE;
    frame_topBand = frame_bottomBand = frame_leftBand = frame_rightBand = 0;
    for (int& m : max_frames)
        m = INT_MAX;
    frame_rate = AVRational{0, 0};
    video_qscale = 0;
    intra_matrix.clear();
    inter_matrix.clear();
    video_rc_override_string.clear();
    video_disable = audio_disable = subtitle_disable = false;
    video_discard = 0;
    video_codec_name.clear();
    audio_codec_name.clear();
    subtitle_codec_name.clear();
    video_codec_tag = audio_codec_tag = subtitle_codec_tag = 0;
    video_language.clear();
    audio_language.clear();
    subtitle_language.clear();
    same_quality = do_deinterlace = false;
    top_field_first = -1;
    me_threshold = 0;
    intra_dc_precision = 8;
    loop_input = false;
    loop_output = -1;
    qp_hist = false;
    vfilters.clear();
    intra_only = false;
    audio_sample_rate = 44100;
    channel_layout = 0;
    audio_qscale = -99999.0f;
    audio_channels = 2;
    mux_preload = 0.5f;
    mux_max_delay = 0.7f;
    recording_time = INT64_MAX;
    start_time = recording_timestamp = input_ts_offset = 0;
    metadata.clear();
    do_benchmark = do_hex_dump = do_pkt_dump = do_psnr = false;
    do_pass = 0;
    pass_logfilename_prefix.clear();
    audio_stream_copy = video_stream_copy = subtitle_stream_copy = 0;
    video_sync_method = -1;
    audio_sync_method = 0;
    audio_drift_threshold = 0.1f;
    copy_ts = opt_shortest = false;
    video_global_header = 0;
    vstats_filename.clear();
    opt_programid = 0;
    copy_initial_nonkeyframes = 0;
    rate_emu = false;
    video_channel = 0;
    video_standard.clear();
    audio_volume = 256;
    exit_on_error = false;
    verbose = 1;
    thread_count = kThreadsChosen;
    limit_filesize = 0;
    force_fps = false;
    input_sync = false;
    dts_delta_threshold = 10.0f;
    sws_flags = SWS_BICUBIC;
    for (int& id : streamid_map)
        id = 0;
    stream_maps.clear();
    meta_data_maps.clear();
    input_files_ts_scale.assign(static_cast<size_t>(nb_max_files), std::array<double, kMaxStreams>{});
    video_bitstream_filters.clear();
    audio_bitstream_filters.clear();
    subtitle_bitstream_filters.clear();
    frame_hooks.Release();

    FTotalOutputDuration = -1;
    FLastErrMsg.clear();
    FJoinMode = false;
    enable_filter = false;
    video_size = audio_size = extra_size = 0;
}

void TCustomFFmpeg::CreateOptionContexts()
{
    opts_.reset();
    if (AVLibSetLoaded(kEngineLibraries))
        opts_ = std::make_unique<TFFOptions>(sws_flags);
}

void TCustomFFmpeg::Reset()
{
    // A reset task is idle again: nothing of an earlier run remains.
    StopAndJoin();
    FThread.reset();
    FTermThread.reset();
    FTerminated.store(false);
    FTerminating.store(false);
    FFinished.store(false);
    FFatalException.store(false);
    FPaused.store(false);
    {
        std::lock_guard<std::mutex> g(FStateLock);
        FFatalMessage.clear();
    }
    FreeConversionState();
    CloseCodecs();
    FreeFiles();
    ResetOptionState();
    CreateOptionContexts();
}

const std::string* TCustomFFmpeg::CodecNames(std::string (&names)[kCodecSetCount]) const
{
    names[AVMEDIA_TYPE_VIDEO] = video_codec_name;
    names[AVMEDIA_TYPE_AUDIO] = audio_codec_name;
    names[AVMEDIA_TYPE_SUBTITLE] = subtitle_codec_name;
    return names;
}

bool TCustomFFmpeg::SetLibraryOption(const std::string& name, const std::string& value)
{
    if (!opts_)
        return false;
    std::string names[kCodecSetCount];
    return opts_->Set(name, value, CodecNames(names));
}

bool TCustomFFmpeg::SetIntLibraryOption(const std::string& name, int64_t value)
{
    return SetLibraryOption(name, std::to_string(value));
}

void TCustomFFmpeg::AddMetadata(const std::string& key, const std::string& value)
{
    metadata.emplace_back(key, value);
}

TOutputFile& TCustomFFmpeg::LastOutput()
{
    if (output_files.empty())
        Raise("At least one output file must be specified");
    return *output_files.back();
}

void TCustomFFmpeg::SetCodecTag(uint32_t& tag, const std::string& value, const char* kind)
{
    if (value.size() != 4)
        RaiseFmt("%s tag parameter must be 4 chars", kind);
    tag = FourCC(value);
}

void TCustomFFmpeg::AddBitstreamFilter(std::vector<BsfPtr>& chain, const std::string& value)
{
    if (!value.empty() && value[0] == '=')
        return;
    const size_t eq = value.find('=');
    const std::string name = eq == std::string::npos ? value : value.substr(0, eq);
    const AVBitStreamFilter* f = AV.av_bsf_get_by_name(name.c_str());
    AVBSFContext* ctx = nullptr;
    if (!f || AV.av_bsf_alloc(f, &ctx) < 0)
        RaiseFmt("Unknown bitstream filter %s", TrimText(value).c_str());
    BsfPtr owned(ctx);
    // Arguments after "=" are the filter's options, "key=value:key=value".
    if (eq != std::string::npos && owned->priv_data) {
        AVDictionary* raw = nullptr;
        AV.av_dict_parse_string(&raw, value.substr(eq + 1).c_str(), "=", ":", 0);
        AV.av_opt_set_dict2(owned->priv_data, &raw, 0);
        DictPtr unused(raw);
    }
    chain.push_back(std::move(owned));
}

void TCustomFFmpeg::ParseMatrix(std::vector<uint16_t>& matrix, const std::string& value)
{
    matrix.assign(64, 0);
    const char* p = value.c_str();
    int i = 0;
    for (; i < 64; ++i) {
        // Encoders divide by every coefficient: 0 and values past 8 bits are refused.
        const long v = std::strtol(p, nullptr, 10);
        if (v < 1 || v > 255)
            RaiseFmt("Invalid coefficient %ld in matrix \"%s\" at coeff %d: it must be from 1 to 255", v,
                     value.c_str(), i);
        matrix[static_cast<size_t>(i)] = static_cast<uint16_t>(v);
        p = std::strchr(p, ',');
        if (!p)
            break;
        ++p;
    }
    if (i < 63)
        RaiseFmt("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i);
}

void TCustomFFmpeg::SetCrop(int& band, const std::string& value, bool vertical)
{
    const int v = StrToIntStrict(value);
    if (v <= 0)
        return;
    int& size = vertical ? frame_height : frame_width;
    if (v >= size)
        Raise(vertical ? "Vertical crop dimensions are outside the range of the original image.\n"
                         "Remember to crop first and scale second."
                       : "Horizontal crop dimensions are outside the range of the original image.\n"
                         "Remember to crop first and scale second.");
    LogMessage(this, llWarning, "CropXXX is deprecated in favor of the crop avfilter");
    band = v;
    size -= v;
}

void TCustomFFmpeg::ListPixelFormats()
{
    LogMessage(this, llInfo, "Pixel formats:");
    const AVPixFmtDescriptor* d = nullptr;
    while ((d = AV.av_pix_fmt_desc_next(d)) != nullptr)
        LogMessageFmt(this, llInfo, "%s %d %d", d->name, d->nb_components, AV.av_get_bits_per_pixel(d));
}

void TCustomFFmpeg::ListSampleFormats()
{
    LogMessage(this, llInfo, "name   depth");
    for (int f = 0; f < AV_SAMPLE_FMT_NB; ++f) {
        const char* n = AV.av_get_sample_fmt_name(static_cast<AVSampleFormat>(f));
        if (n)
            LogMessageFmt(this, llInfo, "%-6s %2d", n, AV.av_get_bytes_per_sample(static_cast<AVSampleFormat>(f)) * 8);
    }
}

bool TCustomFFmpeg::ApplyGeneralOption(const std::string& name, const std::string& value)
{
    if (name == "loglevel") {
        TFFLogger::Instance().OptLogLevel(value);
    } else if (name == "f") {
        last_asked_format = value;
        if (value == "pgmyuv") {
            last_asked_format = "image2";
            pgmyuv_compatibility_hack = true;
            LogMessage(this, llInfo, "pgmyuv format is deprecated, use image2");
        }
    } else if (name == "map") {
        if (static_cast<int>(stream_maps.size()) >= kMaxStreams * nb_max_files)
            RaiseFmt("Too many stream maps (at most %d)", kMaxStreams * nb_max_files);
        TStreamMap m;
        char* p = nullptr;
        m.file_index = static_cast<int>(std::strtol(value.c_str(), &p, 0));
        if (*p)
            ++p;
        m.stream_index = static_cast<int>(std::strtol(p, &p, 0));
        if (*p) {
            ++p;
            m.sync_file_index = static_cast<int>(std::strtol(p, &p, 0));
            if (*p)
                ++p;
            m.sync_stream_index = static_cast<int>(std::strtol(p, &p, 0));
        } else {
            m.sync_file_index = m.file_index;
            m.sync_stream_index = m.stream_index;
        }
        stream_maps.push_back(m);
    } else if (name == "map_meta_data") {
        if (static_cast<int>(meta_data_maps.size()) >= nb_max_files)
            RaiseFmt("Too many metadata maps (at most %d)", nb_max_files);
        TMetaDataMap m;
        char* p = nullptr;
        m.out_file = static_cast<int>(std::strtol(value.c_str(), &p, 0));
        if (*p)
            ++p;
        m.in_file = static_cast<int>(std::strtol(p, &p, 0));
        meta_data_maps.push_back(m);
    } else if (name == "t") {
        recording_time = ParseTimeOption(name, value, true);
        FTotalOutputDuration = recording_time;
    } else if (name == "fs") {
        limit_filesize = StrToInt64Strict(value);
    } else if (name == "ss") {
        start_time = ParseTimeOption(name, value, true);
    } else if (name == "itsoffset") {
        input_ts_offset = ParseTimeOption(name, value, true);
    } else if (name == "itsscale") {
        char* p = nullptr;
        const long stream = std::strtol(value.c_str(), &p, 0);
        if (*p)
            ++p;
        const double scale = std::strtod(p, &p);
        if (stream < 0 || stream >= kMaxStreams)
            RaiseFmt("stream index over MAX_STREAMS(%d)", kMaxStreams);
        // Time stamps are multiplied by it: only a finite, positive scale makes sense.
        if (!std::isfinite(scale) || scale <= 0)
            RaiseFmt("Invalid time stamp scale \"%s\" for option itsscale: it must be a positive number",
                     value.c_str());
        if (nb_input_files() >= nb_max_files)
            RaiseFmt("max input files %d reached", nb_max_files);
        input_files_ts_scale[static_cast<size_t>(nb_input_files())][static_cast<size_t>(stream)] = scale;
    } else if (name == "timestamp") {
        recording_timestamp = ParseTimeOption(name, value, false) / 1000000;
    } else if (name == "metadata") {
        const size_t eq = value.find('=');
        if (eq == std::string::npos)
            Raise("Missing =");
        AddMetadata(value.substr(0, eq), value.substr(eq + 1));
    } else if (name == "dframes") {
        max_frames[AVMEDIA_TYPE_DATA] = StrToIntStrict(value);
    } else if (name == "vframes") {
        max_frames[AVMEDIA_TYPE_VIDEO] = StrToIntStrict(value);
    } else if (name == "aframes") {
        max_frames[AVMEDIA_TYPE_AUDIO] = StrToIntStrict(value);
    } else if (name == "dump") {
        do_pkt_dump = OptBool(value);
    } else if (name == "hex") {
        do_hex_dump = OptBool(value);
    } else if (name == "re") {
        rate_emu = OptBool(value);
    } else if (name == "loop_input") {
        loop_input = OptBool(value);
    } else if (name == "loop_output") {
        loop_output = StrToIntStrict(value);
    } else if (name == "v") {
        verbose = StrToIntStrict(value);
    } else if (name == "target") {
        std::string type = TrimText(value);
        std::string norm = "auto";
        for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
            const size_t n = std::strlen(prefix);
            if (type.compare(0, n, prefix) == 0) {
                norm = std::string(prefix, n - 1);
                type = type.substr(n);
                break;
            }
        }
        ApplyTarget(type, norm, "ntsc");
    } else if (name == "vsync") {
        video_sync_method = StrToIntStrict(value);
    } else if (name == "async") {
        audio_sync_method = StrToIntStrict(value);
    } else if (name == "adrift_threshold") {
        audio_drift_threshold = static_cast<float>(StrToFloatStrict(value));
    } else if (name == "vglobal") {
        video_global_header = StrToIntStrict(value);
    } else if (name == "copyts") {
        copy_ts = true;
    } else if (name == "shortest") {
        opt_shortest = OptBool(value);
    } else if (name == "dts_delta_threshold") {
        dts_delta_threshold = static_cast<float>(StrToFloatStrict(value));
    } else if (name == "programid") {
        opt_programid = StrToIntStrict(value);
    } else if (name == "xerror") {
        exit_on_error = true;
    } else if (name == "copyinkf") {
        copy_initial_nonkeyframes = StrToIntStrict(value);
    } else if (name == "isync") {
        input_sync = OptBool(value);
    } else if (name == "muxdelay") {
        mux_max_delay = static_cast<float>(StrToFloatStrict(value));
    } else if (name == "muxpreload") {
        mux_preload = static_cast<float>(StrToFloatStrict(value));
    } else if (name == "streamid") {
        const size_t colon = value.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
            RaiseFmt("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"", value.c_str(),
                     name.c_str());
        const int index = StrToIntStrict(value.substr(0, colon));
        const int id = StrToIntStrict(value.substr(colon + 1));
        if (index < 0 || index >= kMaxStreams)
            RaiseFmt("stream index over MAX_STREAMS(%d)", kMaxStreams);
        streamid_map[index] = id;
    } else if (OneOf(name, {"apre", "vpre", "spre", "fpre"})) {
        ApplyPreset(name, value);
    } else {
        return false;
    }
    return true;
}

void TCustomFFmpeg::ApplyVideoOption(const std::string& name, const std::string& value)
{
    if (name == "b" || name == "vb") {
        // The library's "b" serves audio too now; this option is the video one.
        SetLibraryOption("vb", value);
        int64_t b = 0;
        if (opts_)
            AV.av_opt_get_int(opts_->CodecSet(AVMEDIA_TYPE_VIDEO), "b", 0, &b);
        if (b < 1000)
            LogMessage(this, llWarning,
                       "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
    } else if (name == "r") {
        AVRational r{0, 0};
        if (AV.av_parse_video_rate(&r, value.c_str()) < 0)
            Raise("Incorrect frame rate");
        frame_rate = r;
    } else if (name == "s") {
        int w = 0, h = 0;
        if (AV.av_parse_video_size(&w, &h, value.c_str()) < 0)
            Raise("Incorrect frame size");
        frame_width = w;
        frame_height = h;
    } else if (name == "aspect") {
        double ar = 0;
        const size_t colon = value.find(':');
        if (colon != std::string::npos) {
            const double x = std::strtod(value.substr(0, colon).c_str(), nullptr);
            const double y = std::strtod(value.substr(colon + 1).c_str(), nullptr);
            ar = y > 0 ? x / y : 0;
        } else {
            ar = std::strtod(value.c_str(), nullptr);
        }
        // A negative ratio is as meaningless as none.
        if (!(ar > 0))
            Raise("Incorrect aspect ratio specification.");
        frame_aspect_ratio = static_cast<float>(ar);
    } else if (name == "pix_fmt") {
        if (value == "list") {
            ListPixelFormats();
        } else {
            const AVPixelFormat f = AV.av_get_pix_fmt(value.c_str());
            if (f == AV_PIX_FMT_NONE)
                RaiseFmt("Unknown pixel format requested: %s", value.c_str());
            frame_pix_fmt = f;
        }
    } else if (name == "croptop") {
        SetCrop(frame_topBand, value, true);
    } else if (name == "cropbottom") {
        SetCrop(frame_bottomBand, value, true);
    } else if (name == "cropleft") {
        SetCrop(frame_leftBand, value, false);
    } else if (name == "cropright") {
        SetCrop(frame_rightBand, value, false);
    } else if (name == "intra") {
        intra_only = OptBool(value);
    } else if (name == "vn") {
        video_disable = OptBool(value);
    } else if (name == "vdt") {
        video_discard = StrToIntStrict(value);
    } else if (name == "qscale") {
        const double q = StrToFloatStrict(value);
        if (!(q > 0 && q <= 255))
            Raise("qscale must be > 0.0 and <= 255");
        video_qscale = static_cast<float>(q);
    } else if (name == "rc_override") {
        video_rc_override_string = value;
    } else if (name == "vcodec") {
        if (value == "copy")
            video_stream_copy = 1;
        else if (!value.empty())
            video_codec_name = value;
    } else if (name == "me_threshold") {
        me_threshold = StrToIntStrict(value);
    } else if (name == "sameq") {
        same_quality = OptBool(value);
    } else if (name == "pass") {
        const int pass = StrToIntStrict(value);
        if (pass != 1 && pass != 2)
            Raise("pass number can be only 1 or 2");
        do_pass = pass;
    } else if (name == "passlogfile") {
        pass_logfilename_prefix = value;
    } else if (name == "deinterlace") {
        do_deinterlace = OptBool(value);
    } else if (name == "psnr") {
        do_psnr = OptBool(value);
    } else if (name == "vstats") {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        char hms[16];
        if (!localtime_r(&now, &tm) || std::strftime(hms, sizeof hms, "%H%M%S", &tm) == 0)
            Raise("Cannot tell the current time for the statistics file name");
        vstats_filename =
            Format("%svstats_%s.log", platform::IncludeTrailingPathDelimiter(platform::ApplicationFolder()).c_str(), hms);
    } else if (name == "vstats_file") {
        vstats_filename = value;
    } else if (name == "vhook") {
        if (frame_hooks.Add(SplitHookArguments(value)) != 0)
            Raise("Failed to add video hook function: " + value);
    } else if (name == "vfilters" || name == "vf") {
        if (!value.empty())
            vfilters = value;
    } else if (name == "intra_matrix") {
        ParseMatrix(intra_matrix, value);
    } else if (name == "inter_matrix") {
        ParseMatrix(inter_matrix, value);
    } else if (name == "top") {
        top_field_first = StrToIntStrict(value);
    } else if (name == "dc") {
        intra_dc_precision = StrToIntStrict(value);
    } else if (name == "vtag") {
        SetCodecTag(video_codec_tag, value, "video");
    } else if (name == "newvideo") {
        NewVideoStream(LastOutput());
    } else if (name == "vlang") {
        video_language = value;
    } else if (name == "qphist") {
        qp_hist = OptBool(value);
    } else if (name == "force_fps") {
        force_fps = OptBool(value);
    } else if (name == "vc") {
        video_channel = StrToIntStrict(value);
    } else if (name == "tvstd") {
        video_standard = value;
    } else if (name == "vbsf") {
        AddBitstreamFilter(video_bitstream_filters, value);
    }
}

bool TCustomFFmpeg::ApplyAudioSubtitleOption(const std::string& name, const std::string& value)
{
    if (name == "ab") {
        SetLibraryOption(name, value);
        int64_t b = 0;
        if (opts_)
            AV.av_opt_get_int(opts_->CodecSet(AVMEDIA_TYPE_AUDIO), "b", 0, &b);
        if (b < 1000)
            LogMessage(this, llWarning,
                       "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
    } else if (name == "aq") {
        audio_qscale = static_cast<float>(StrToFloatStrict(value));
    } else if (name == "ar") {
        const int v = StrToIntStrict(value);
        if (v > 0)
            audio_sample_rate = v;
    } else if (name == "ac") {
        const int v = StrToIntStrict(value);
        if (v > 0)
            audio_channels = v;
    } else if (name == "an") {
        audio_disable = OptBool(value);
    } else if (name == "acodec") {
        if (value == "copy")
            audio_stream_copy = 1;
        else if (!value.empty())
            audio_codec_name = value;
    } else if (name == "atag") {
        SetCodecTag(audio_codec_tag, value, "audio");
    } else if (name == "vol") {
        audio_volume = StrToIntStrict(value);
    } else if (name == "newaudio") {
        NewAudioStream(LastOutput());
    } else if (name == "alang") {
        audio_language = value;
    } else if (name == "sample_fmt") {
        if (value == "list")
            ListSampleFormats();
        else
            audio_sample_fmt = AV.av_get_sample_fmt(value.c_str());
    } else if (name == "absf") {
        AddBitstreamFilter(audio_bitstream_filters, value);
    } else if (name == "sn") {
        subtitle_disable = OptBool(value);
    } else if (name == "scodec") {
        if (value == "copy")
            subtitle_stream_copy = 1;
        else if (!value.empty())
            subtitle_codec_name = value;
    } else if (name == "newsubtitle") {
        NewSubtitleStream(LastOutput());
    } else if (name == "slang") {
        subtitle_language = value;
    } else if (name == "stag") {
        SetCodecTag(subtitle_codec_tag, value, "subtitle");
    } else if (name == "sbsf") {
        AddBitstreamFilter(subtitle_bitstream_filters, value);
    } else {
        return false;
    }
    return true;
}

void TCustomFFmpeg::SetOption(const std::string& rawName, const std::string& rawValue)
{
    CheckAVLibSet(kEngineLibraries);
    const std::string name = ToSystemCodePage(rawName);
    const std::string value = ToSystemCodePage(rawValue);

    if (OneOf(name, {"l", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y",
                     "benchmark"}) ||
        rawName == "L") {
        LogMessage(this, llInfo, "Do nothing: option - " + name);
        return;
    }
    if (name == "timelimit") {
        LogMessage(this, llWarning, "Warning: -timelimit not implemented on Windows");
        return;
    }
    if (name == "threads") {
        const std::string v = LowerCase(TrimText(value));
        const int n = v == "auto" ? 0 : StrToIntStrict(v);
        // Every codec thread holds a codec context of its own: a huge count
        // would exhaust the memory rather than go faster.
        constexpr int kMaxCodecThreads = 64;
        if (n < 0 || n > kMaxCodecThreads)
            Raise("Invalid value \"" + value + "\" for option \"threads\", required a count from 0 to 64 or auto");
        thread_count = n;
        return;
    }
    if (OneOf(name, {"padtop", "padbottom", "padleft", "padright", "padcolor"}))
        Raise("Please use vfilters=pad");

    if (ApplyGeneralOption(name, value) || ApplyAudioSubtitleOption(name, value))
        return;
    static const char* const videoNames[] = {
        "b", "vb", "r", "s", "aspect", "pix_fmt", "croptop", "cropbottom", "cropleft", "cropright", "intra",
        "vn", "vdt", "qscale", "rc_override", "vcodec", "me_threshold", "sameq", "pass", "passlogfile",
        "deinterlace", "psnr", "vstats", "vstats_file", "vhook", "vfilters", "vf", "intra_matrix", "inter_matrix",
        "top", "dc", "vtag", "newvideo", "vlang", "qphist", "force_fps", "vc", "tvstd", "vbsf"};
    for (const char* v : videoNames) {
        if (name == v) {
            ApplyVideoOption(name, value);
            return;
        }
    }
    // Anything else may be an option of the libraries; unknown names are
    // ignored.
    SetLibraryOption(name, value);
}

}  // namespace vexa
