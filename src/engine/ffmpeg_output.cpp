// Opening the outputs of a task and creating their streams.
#include "engine/custom_ffmpeg.h"

#include "media/ffmpeg_loader.h"

#include "engine/ff_common.h"
#include "media/ffmpeg_logger.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <ctime>

namespace vexa {

namespace {

// The sample aspect ratio that gives the frame aspect ratio at this size.
AVRational SampleAspect(float frameAspect, int width, int height)
{
    const double ratio = width && height ? frameAspect * static_cast<double>(height) / width : frameAspect * 3.0 / 4.0;
    return AV.av_d2q(ratio, 255);
}

TOutputStreamSetup& NewStream(TOutputFile& of, AVMediaType type, const int* streamidMap)
{
    AVStream* st = AV.avformat_new_stream(of.ctx.get(), nullptr);
    if (!st)
        Raise("Could not alloc stream");
    const unsigned index = of.ctx->nb_streams - 1;
    if (index < static_cast<unsigned>(kMaxStreams))
        st->id = streamidMap[index];
    auto setup = std::make_unique<TOutputStreamSetup>();
    setup->st = st;
    setup->type = type;
    st->codecpar->codec_type = type;
    of.streams.push_back(std::move(setup));
    return *of.streams.back();
}

// The encoder context, with the encoder's own defaults when there is one;
// its thread count is set when the conversion starts.
void CreateEncoderContext(TOutputStreamSetup& s, const AVCodec* codec, AVMediaType type)
{
    s.enc = codec;
    s.enc_ctx.reset(AV.avcodec_alloc_context3(codec));
    if (!s.enc_ctx)
        Raise("Could not alloc stream");
    s.enc_ctx->codec_type = type;
    if (codec)
        s.enc_ctx->codec_id = codec->id;
}

// The encoder's own layout nearest to `want`: the same channels in another
// order, else the most channels below (a down-mix), else the fewest above.
// Null when the encoder takes `want` as it is or lists no layouts.
const AVChannelLayout* NearestLayout(const AVCodec* codec, const AVChannelLayout& want)
{
    if (!codec || !codec->ch_layouts)
        return nullptr;
    const AVChannelLayout* same = nullptr;
    const AVChannelLayout* below = nullptr;
    const AVChannelLayout* above = nullptr;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels > 0; ++l) {
        if (AV.av_channel_layout_compare(l, &want) == 0)
            return nullptr;
        if (l->nb_channels == want.nb_channels) {
            if (!same)
                same = l;
        } else if (l->nb_channels < want.nb_channels) {
            if (!below || l->nb_channels > below->nb_channels)
                below = l;
        } else if (!above || l->nb_channels < above->nb_channels) {
            above = l;
        }
    }
    return same ? same : below ? below : above;
}

std::string LayoutText(const AVChannelLayout& layout)
{
    char text[128] = "";
    if (AV.av_channel_layout_describe(&layout, text, sizeof text) < 0)
        return Format("%d channels", layout.nb_channels);
    return text;
}

const AVCodec* DefaultEncoder(const AVFormatContext* oc, const std::string& url, AVMediaType type)
{
    const AVCodecID id = AV.av_guess_codec(oc->oformat, nullptr, url.c_str(), nullptr, type);
    return id == AV_CODEC_ID_NONE ? nullptr : AV.avcodec_find_encoder(id);
}

}  // namespace

void TCustomFFmpeg::NewVideoStream(TOutputFile& of)
{
    AVFormatContext* oc = of.ctx.get();
    TOutputStreamSetup& s = NewStream(of, AVMEDIA_TYPE_VIDEO, streamid_map);
    AVStream* st = s.st;
    s.bsfs = std::move(video_bitstream_filters);
    video_bitstream_filters.clear();

    const AVCodec* codec = nullptr;
    if (!video_stream_copy) {
        if (!video_codec_name.empty()) {
            codec = FindCodec(video_codec_name, AVMEDIA_TYPE_VIDEO, true);
            if (!codec)
                Raise(FLastErrMsg);
        } else {
            codec = DefaultEncoder(oc, oc->url ? oc->url : "", AVMEDIA_TYPE_VIDEO);
        }
    }
    CreateEncoderContext(s, codec, AVMEDIA_TYPE_VIDEO);
    AVCodecContext* enc = s.enc_ctx.get();
    if (!codec && !video_stream_copy)
        enc->codec_id = AV.av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_VIDEO);
    s.codec_id = enc->codec_id;
    enc->codec_tag = video_codec_tag;
    AVCodecContext* videoSet = opts_ ? opts_->CodecSet(AVMEDIA_TYPE_VIDEO) : nullptr;
    if ((video_global_header & 1) || (video_global_header == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER))) {
        // Also on the parameter set, so that a remembered "flags" option
        // copied below keeps the bit.
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (videoSet)
            videoSet->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (video_global_header & 2) {
        enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        if (videoSet)
            videoSet->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }

    const AVRational sar = SampleAspect(frame_aspect_ratio, frame_width, frame_height);
    if (video_stream_copy) {
        s.stream_copy = true;
        st->sample_aspect_ratio = sar;
        enc->sample_aspect_ratio = sar;
    } else {
        AVRational fps = frame_rate.num && frame_rate.den ? frame_rate : AVRational{25, 1};
        if (opts_)
            opts_->ApplyCodecOptions(AVMEDIA_TYPE_VIDEO, enc, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
        if (codec && codec->supported_framerates && !force_fps)
            fps = codec->supported_framerates[AV.av_find_nearest_q_idx(fps, codec->supported_framerates)];
        enc->time_base = av_inv_q(fps);
        enc->framerate = fps;
        enc->width = frame_width;
        enc->height = frame_height;
        enc->sample_aspect_ratio = sar;
        st->sample_aspect_ratio = sar;
        enc->pix_fmt = frame_pix_fmt;
        if (codec && codec->pix_fmts) {
            const AVPixelFormat* p = codec->pix_fmts;
            while (*p != AV_PIX_FMT_NONE && *p != enc->pix_fmt)
                ++p;
            const bool mjpegKeeps = codec->id == AV_CODEC_ID_MJPEG && enc->strict_std_compliance < FF_COMPLIANCE_NORMAL &&
                                    (enc->pix_fmt == AV_PIX_FMT_YUV420P || enc->pix_fmt == AV_PIX_FMT_YUV422P);
            if (*p == AV_PIX_FMT_NONE && !mjpegKeeps)
                enc->pix_fmt = codec->pix_fmts[0];
        }
        if (intra_only)
            enc->gop_size = 0;
        if (video_qscale || same_quality) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(FF_QP2LAMBDA * video_qscale);
        }
        // A matrix left half-filled by a refused option still holds zeros,
        // and the encoder divides by every coefficient.
        for (const auto* m : {&intra_matrix, &inter_matrix})
            for (const uint16_t q : *m)
                if (q < 1 || q > 255)
                    RaiseFmt("Invalid %s: every coefficient must be from 1 to 255",
                             m == &intra_matrix ? "intra_matrix" : "inter_matrix");
        if (!intra_matrix.empty()) {
            enc->intra_matrix = static_cast<uint16_t*>(AV.av_malloc(64 * sizeof(uint16_t)));
            if (!enc->intra_matrix)
                Raise("Not enough memory");
            std::copy(intra_matrix.begin(), intra_matrix.end(), enc->intra_matrix);
        }
        if (!inter_matrix.empty()) {
            enc->inter_matrix = static_cast<uint16_t*>(AV.av_malloc(64 * sizeof(uint16_t)));
            if (!enc->inter_matrix)
                Raise("Not enough memory");
            std::copy(inter_matrix.begin(), inter_matrix.end(), enc->inter_matrix);
        }
        enc->intra_dc_precision = intra_dc_precision - 8;
        ParseRcOverride(enc);
        if (do_psnr)
            enc->flags |= AV_CODEC_FLAG_PSNR;
        if (do_pass == 1)
            enc->flags |= AV_CODEC_FLAG_PASS1;
        else if (do_pass == 2)
            enc->flags |= AV_CODEC_FLAG_PASS2;
    }
    if (!video_language.empty())
        AV.av_dict_set(&st->metadata, "language", video_language.c_str(), 0);

    video_disable = false;
    video_codec_name.clear();
    video_stream_copy = 0;
    frame_pix_fmt = AV_PIX_FMT_NONE;
}

void TCustomFFmpeg::ParseRcOverride(AVCodecContext* enc)
{
    if (video_rc_override_string.empty())
        return;
    const char* p = video_rc_override_string.c_str();
    for (int i = 0; p; ++i) {
        int start = 0, end = 0, q = 0;
        char* next = nullptr;
        start = static_cast<int>(std::strtol(p, &next, 10));
        if (*next != ',')
            Raise("error parsing rc_override");
        end = static_cast<int>(std::strtol(next + 1, &next, 10));
        if (*next != ',')
            Raise("error parsing rc_override");
        q = static_cast<int>(std::strtol(next + 1, &next, 10));
        auto* grown = static_cast<RcOverride*>(
            AV.av_realloc(enc->rc_override, sizeof(RcOverride) * static_cast<size_t>(i + 1)));
        if (!grown)
            Raise("Not enough memory");
        enc->rc_override = grown;
        enc->rc_override_count = i + 1;
        RcOverride& o = grown[i];
        o.start_frame = start;
        o.end_frame = end;
        if (q > 0) {
            o.qscale = q;
            o.quality_factor = 1.0f;
        } else {
            o.qscale = 0;
            o.quality_factor = -q / 100.0f;
        }
        p = std::strchr(next, '/');
        if (p)
            ++p;
    }
}

void TCustomFFmpeg::NewAudioStream(TOutputFile& of)
{
    AVFormatContext* oc = of.ctx.get();
    TOutputStreamSetup& s = NewStream(of, AVMEDIA_TYPE_AUDIO, streamid_map);
    AVStream* st = s.st;
    s.bsfs = std::move(audio_bitstream_filters);
    audio_bitstream_filters.clear();

    const AVCodec* codec = nullptr;
    if (!audio_stream_copy) {
        if (!audio_codec_name.empty()) {
            codec = FindCodec(audio_codec_name, AVMEDIA_TYPE_AUDIO, true);
            if (!codec)
                Raise(FLastErrMsg);
        } else {
            codec = DefaultEncoder(oc, oc->url ? oc->url : "", AVMEDIA_TYPE_AUDIO);
        }
    }
    CreateEncoderContext(s, codec, AVMEDIA_TYPE_AUDIO);
    AVCodecContext* enc = s.enc_ctx.get();
    if (!codec && !audio_stream_copy)
        enc->codec_id = AV.av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, AVMEDIA_TYPE_AUDIO);
    s.codec_id = enc->codec_id;
    enc->codec_tag = audio_codec_tag;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (opts_)
            opts_->CodecSet(AVMEDIA_TYPE_AUDIO)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (audio_stream_copy) {
        s.stream_copy = true;
    } else {
        if (opts_)
            opts_->ApplyCodecOptions(AVMEDIA_TYPE_AUDIO, enc, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
        if (audio_qscale > -99999.0f) {
            enc->flags |= AV_CODEC_FLAG_QSCALE;
            enc->global_quality = static_cast<int>(FF_QP2LAMBDA * audio_qscale);
        }
        AV.av_channel_layout_uninit(&enc->ch_layout);
        AVChannelLayout fromMask{};
        if (channel_layout && AV.av_channel_layout_from_mask(&fromMask, static_cast<uint64_t>(channel_layout)) == 0 &&
            fromMask.nb_channels == audio_channels)
            enc->ch_layout = fromMask;
        else
            AV.av_channel_layout_default(&enc->ch_layout, audio_channels);
        if (const AVChannelLayout* near = NearestLayout(codec, enc->ch_layout)) {
            LogMessageFmt(this, llInfo, "Channel layout %s unsupported by encoder %s, using %s",
                          LayoutText(enc->ch_layout).c_str(), codec->name, LayoutText(*near).c_str());
            AV.av_channel_layout_uninit(&enc->ch_layout);
            if (AV.av_channel_layout_copy(&enc->ch_layout, near) < 0)
                Raise("Not enough memory");
        }
        enc->sample_fmt = audio_sample_fmt;
        if (codec && codec->sample_fmts) {
            const AVSampleFormat* p = codec->sample_fmts;
            while (*p != AV_SAMPLE_FMT_NONE && *p != enc->sample_fmt)
                ++p;
            if (*p == AV_SAMPLE_FMT_NONE)
                enc->sample_fmt = codec->sample_fmts[0];
        }
        enc->sample_rate = audio_sample_rate;
        if (codec && codec->supported_samplerates) {
            int best = 0;
            long bestDist = -1;
            for (const int* r = codec->supported_samplerates; *r; ++r) {
                const long dist = std::labs(static_cast<long>(*r) - enc->sample_rate);
                if (bestDist < 0 || dist < bestDist) {
                    bestDist = dist;
                    best = *r;
                }
            }
            if (best && best != enc->sample_rate) {
                LogMessageFmt(this, llWarning, "Requested sampling rate unsupported using closest supported (%d)", best);
                enc->sample_rate = best;
            }
        }
        enc->time_base = AVRational{1, enc->sample_rate > 0 ? enc->sample_rate : 1};
    }
    if (!audio_language.empty())
        AV.av_dict_set(&st->metadata, "language", audio_language.c_str(), 0);

    audio_disable = false;
    audio_codec_name.clear();
    audio_stream_copy = 0;
}

void TCustomFFmpeg::NewSubtitleStream(TOutputFile& of)
{
    AVFormatContext* oc = of.ctx.get();
    TOutputStreamSetup& s = NewStream(of, AVMEDIA_TYPE_SUBTITLE, streamid_map);
    AVStream* st = s.st;
    s.bsfs = std::move(subtitle_bitstream_filters);
    subtitle_bitstream_filters.clear();

    const AVCodec* codec = nullptr;
    if (!subtitle_stream_copy) {
        if (!subtitle_codec_name.empty()) {
            codec = FindCodec(subtitle_codec_name, AVMEDIA_TYPE_SUBTITLE, true);
            if (!codec)
                Raise(FLastErrMsg);
        } else {
            // Without a name the format's own subtitle encoder serves, as it
            // does for video and audio.
            codec = DefaultEncoder(oc, oc->url ? oc->url : "", AVMEDIA_TYPE_SUBTITLE);
        }
    }
    CreateEncoderContext(s, codec, AVMEDIA_TYPE_SUBTITLE);
    AVCodecContext* enc = s.enc_ctx.get();
    s.codec_id = enc->codec_id;
    enc->codec_tag = subtitle_codec_tag;
    // Subtitle times are kept in microseconds.
    enc->time_base = AVRational{1, AV_TIME_BASE};
    if (subtitle_stream_copy)
        s.stream_copy = true;
    else if (opts_)
        opts_->ApplyCodecOptions(AVMEDIA_TYPE_SUBTITLE, enc, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_SUBTITLE_PARAM);
    if (!subtitle_language.empty())
        AV.av_dict_set(&st->metadata, "language", subtitle_language.c_str(), 0);

    subtitle_disable = false;
    subtitle_codec_name.clear();
    subtitle_stream_copy = 0;
}

int TCustomFFmpeg::OpenOutput(const std::string& fileName, bool join)
{
    CheckAVLibSet(kEngineLibraries);
    FLastErrMsg.clear();
    // 1.
    if (FJoinMode) {
        FLastErrMsg = "Cannot join more than one output file.";
        return -1;
    }
    if (nb_output_files() >= nb_max_files) {
        FLastErrMsg = Format("max output files %d reached", nb_max_files);
        return -1;
    }
    // 2, 3.
    enable_filter = !vfilters.empty();
    const std::string libName = EncodeLibFileName(fileName);
    const AVOutputFormat* fmt = nullptr;
    if (!last_asked_format.empty()) {
        fmt = AV.av_guess_format(last_asked_format.c_str(), nullptr, nullptr);
        const std::string asked = last_asked_format;
        last_asked_format.clear();
        if (!fmt) {
            FLastErrMsg = Format("Requested output format '%s' is not a suitable output format", asked.c_str());
            return -1;
        }
    } else {
        fmt = AV.av_guess_format(nullptr, libName.c_str(), nullptr);
        if (!fmt) {
            FLastErrMsg = Format("Unable to find a suitable output format for '%s'", fileName.c_str());
            return -1;
        }
    }
    // 4. The whole name is kept: muxers that write further files build
    // their names from it, so a shortened one would write elsewhere.
    AVFormatContext* raw = nullptr;
    if (AV.avformat_alloc_output_context2(&raw, fmt, nullptr, libName.c_str()) < 0 || !raw) {
        FLastErrMsg = "avformat_alloc_context failed";
        return -1;
    }
    auto of = std::make_unique<TOutputFile>();
    of->ctx.reset(raw);
    // Muxers that write files of their own (image sequences) open them
    // through the same hooks as ours.
    InstallUnicodeIO(raw);
    of->file_name = fileName;
    AVFormatContext* oc = raw;

    // 5. Which kinds of stream. Audio formats of the current libraries name
    // PNG as their video codec for cover art; that is no video to convert.
    const bool coverArtOnly = fmt->video_codec == AV_CODEC_ID_PNG && fmt->audio_codec != AV_CODEC_ID_NONE;
    bool useVideo = (fmt->video_codec != AV_CODEC_ID_NONE && !coverArtOnly) || !video_codec_name.empty() || video_stream_copy;
    bool useAudio = fmt->audio_codec != AV_CODEC_ID_NONE || !audio_codec_name.empty() || audio_stream_copy;
    bool useSubtitle = fmt->subtitle_codec != AV_CODEC_ID_NONE || !subtitle_codec_name.empty() || subtitle_stream_copy;
    if (!input_files.empty()) {
        bool hasVideo = false, hasAudio = false, hasSubtitle = false;
        const size_t examined = join && input_files.size() > 1 ? 1 : input_files.size();
        for (size_t i = 0; i < examined; ++i) {
            const AVFormatContext* ic = input_files[i].ctx.get();
            for (unsigned j = 0; j < ic->nb_streams; ++j) {
                switch (ic->streams[j]->codecpar->codec_type) {
                case AVMEDIA_TYPE_VIDEO: hasVideo = true; break;
                case AVMEDIA_TYPE_AUDIO: hasAudio = true; break;
                case AVMEDIA_TYPE_SUBTITLE: hasSubtitle = true; break;
                case AVMEDIA_TYPE_DATA:
                case AVMEDIA_TYPE_ATTACHMENT: break;
                default:
                    FLastErrMsg = "check_audio_video_sub_inputs fail: invalid codec_type of input file";
                    return -1;
                }
            }
        }
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    if (video_disable)
        useVideo = false;
    if (audio_disable)
        useAudio = false;
    if (subtitle_disable)
        useSubtitle = false;

    // 6.
    struct TStep {
        bool use;
        void (TCustomFFmpeg::*make)(TOutputFile&);
        const char* what;
    };
    const TStep steps[] = {{useVideo, &TCustomFFmpeg::NewVideoStream, "new_video_stream fail: %s"},
                           {useAudio, &TCustomFFmpeg::NewAudioStream, "new_audio_stream fail: %s"},
                           {useSubtitle, &TCustomFFmpeg::NewSubtitleStream, "new_subtitle_stream fail: %s"}};
    for (const TStep& step : steps) {
        if (!step.use)
            continue;
        try {
            (this->*step.make)(*of);
        } catch (const Error& e) {
            FLastErrMsg = Format(step.what, e.what());
            return -1;
        }
    }

    // 7. Recording time stamp and metadata, the last pair first.
    if (recording_timestamp) {
        const std::time_t t = static_cast<std::time_t>(recording_timestamp);
        std::tm tm{};
        char iso[64];
        // A moment the calendar cannot write (years past 9999 and the like)
        // is refused rather than written as whatever the buffer held.
        if (!gmtime_r(&t, &tm) || std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S.000000Z", &tm) == 0 ||
            tm.tm_year + 1900 > 9999 || tm.tm_year + 1900 < 0) {
            FLastErrMsg = Format("Invalid recording time stamp: %lld", static_cast<long long>(recording_timestamp));
            return -1;
        }
        AV.av_dict_set(&oc->metadata, "creation_time", iso, 0);
    }
    for (auto it = metadata.rbegin(); it != metadata.rend(); ++it)
        AV.av_dict_set(&oc->metadata, it->first.c_str(), it->second.c_str(), 0);
    metadata.clear();

    // 8. The file; an existing one is replaced without asking.
    if ((fmt->flags & AVFMT_NEEDNUMBER) && !AV.av_filename_number_test(oc->url)) {
        FLastErrMsg = Format("%s: %s", fileName.c_str(), "Number syntax expected in filename");
        return -1;
    }
    if (!(fmt->flags & AVFMT_NOFILE)) {
        const int err = OpenOutputIO(oc, libName);
        if (err < 0) {
            FLastErrMsg = fileName + ": " + LibErrorText(err);
            return -1;
        }
        of->has_file = true;
    }

    // 9. Muxing parameters.
    oc->max_delay = static_cast<int>(mux_max_delay * 1000000);
    if (oc->priv_data && AV.av_opt_find(oc->priv_data, "preload", nullptr, 0, 0))
        AV.av_opt_set_int(oc->priv_data, "preload", static_cast<int64_t>(mux_preload * 1000000), 0);
    if (oc->priv_data && AV.av_opt_find(oc->priv_data, "loop", nullptr, 0, 0))
        AV.av_opt_set_int(oc->priv_data, "loop", loop_output, 0);
    oc->flags |= AVFMT_FLAG_NONBLOCK;
    if (opts_)
        opts_->ApplyFormatOptions(oc, AV_OPT_FLAG_ENCODING_PARAM);
    for (int& id : streamid_map)
        id = 0;

    // 10. Join: one output slot per input, all naming this output.
    output_owned.push_back(std::move(of));
    TOutputFile* added = output_owned.back().get();
    output_files.push_back(added);
    if (join && input_files.size() > 1) {
        FJoinMode = true;
        int64_t sum = 0;
        for (const TInputFile& in : input_files)
            if (in.ctx->duration != AV_NOPTS_VALUE && in.ctx->duration > 0)
                sum += in.ctx->duration;
        FTotalOutputDuration = sum == 0 ? -1 : sum;
        while (output_files.size() < input_files.size())
            output_files.push_back(added);
    }
    return nb_output_files();
}

}  // namespace vexa
