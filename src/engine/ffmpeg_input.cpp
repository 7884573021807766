// Opening the inputs of a task.
#include "engine/custom_ffmpeg.h"

#include "media/ffmpeg_loader.h"

#include "engine/ff_common.h"
#include "engine/ff_translate.h"
#include "media/ffmpeg_logger.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"

namespace vexa {

const AVCodec* TCustomFFmpeg::FindCodec(const std::string& rawName, AVMediaType type, bool encoder)
{
    const char* kind = encoder ? "encoder" : "decoder";
    const std::string name = encoder ? TranslateEncoderName(rawName) : rawName;
    const AVCodec* codec =
        encoder ? AV.avcodec_find_encoder_by_name(name.c_str()) : AV.avcodec_find_decoder_by_name(name.c_str());
    if (!codec) {
        FLastErrMsg = Format("Unknown %s '%s'", kind, rawName.c_str());
        return nullptr;
    }
    if (codec->type != type) {
        FLastErrMsg = Format("Invalid %s type '%s'", kind, rawName.c_str());
        return nullptr;
    }
    if (codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL) {
        int64_t strict = FF_COMPLIANCE_NORMAL;
        if (opts_ && type >= 0 && type < kCodecSetCount)
            AV.av_opt_get_int(opts_->CodecSet(type), "strict", 0, &strict);
        if (strict > FF_COMPLIANCE_EXPERIMENTAL) {
            FLastErrMsg = Format("%s '%s' is experimental and might produce bad results.\r\n"
                                 "Add '-strict experimental' if you want to use it.",
                                 kind, codec->name);
            const AVCodec* other =
                encoder ? AV.avcodec_find_encoder(codec->id) : AV.avcodec_find_decoder(codec->id);
            if (other && !(other->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
                FLastErrMsg += Format("\r\nOr use the non experimental %s '%s'.", kind, other->name);
            return nullptr;
        }
    }
    return codec;
}

bool TCustomFFmpeg::OpenInput(const std::string& fileName)
{
    CheckAVLibSet(kEngineLibraries);
    FLastErrMsg.clear();
    if (nb_input_files() >= nb_max_files) {
        FLastErrMsg = Format("max input files %d reached", nb_max_files);
        return false;
    }
    auto releaseNames = [this] {
        video_codec_name.clear();
        audio_codec_name.clear();
        subtitle_codec_name.clear();
    };

    // 1. The asked format.
    const AVInputFormat* fileFormat = nullptr;
    if (!last_asked_format.empty()) {
        fileFormat = AV.av_find_input_format(last_asked_format.c_str());
        if (!fileFormat)
            RaiseFmt("Unknown input format: \"%s\"", last_asked_format.c_str());
        last_asked_format.clear();
    }

    // 2. Input parameters for formats that cannot tell them themselves.
    FormatContextPtr pending(AV.avformat_alloc_context());
    if (!pending)
        Raise("avformat_alloc_context failed");
    AVDictionary* rawOpts = nullptr;
    DictPtr openOpts;
    auto put = [&rawOpts](const char* key, const std::string& value) { AV.av_dict_set(&rawOpts, key, value.c_str(), 0); };
    put("sample_rate", std::to_string(audio_sample_rate));
    put("channels", std::to_string(audio_channels));
    if (frame_rate.num > 0 && frame_rate.den > 0)
        put("framerate", Format("%d/%d", frame_rate.num, frame_rate.den));
    if (frame_width > 0 && frame_height > 0)
        put("video_size", Format("%dx%d", frame_width, frame_height));
    if (frame_pix_fmt != AV_PIX_FMT_NONE)
        put("pixel_format", AV.av_get_pix_fmt_name(frame_pix_fmt));
    if (video_channel)
        put("channel", std::to_string(video_channel));
    if (!video_standard.empty())
        put("standard", video_standard);
    if (loop_input)
        put("loop", "1");
    if (opts_)
        opts_->CollectFormatOptions(&rawOpts, AV_OPT_FLAG_DECODING_PARAM);
    openOpts.reset(rawOpts);

    // 3. The named decoders.
    const AVCodec* forced[3] = {nullptr, nullptr, nullptr};
    const std::string* names[3] = {&video_codec_name, &audio_codec_name, &subtitle_codec_name};
    const AVMediaType types[3] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE};
    for (int k = 0; k < 3; ++k) {
        if (names[k]->empty())
            continue;
        forced[k] = FindCodec(*names[k], types[k], false);
        if (!forced[k]) {
            releaseNames();
            return false;
        }
    }

    // 4.
    AVFormatContext* raw = pending.get();
    raw->flags |= AVFMT_FLAG_NONBLOCK;
    if (forced[0])
        raw->video_codec_id = forced[0]->id;
    if (forced[1])
        raw->audio_codec_id = forced[1]->id;
    if (forced[2])
        raw->subtitle_codec_id = forced[2]->id;
    if (pgmyuv_compatibility_hack)
        raw->video_codec_id = AV_CODEC_ID_PGMYUV;

    // 5. Open.
    // The open call owns the context from here on and frees it on failure.
    pending.release();
    AVDictionary* o = openOpts.release();
    const int err = OpenInputFile(&raw, EncodeLibFileName(fileName), fileFormat, &o);
    openOpts.reset(o);
    if (err < 0) {
        FLastErrMsg = fileName + ": " + LibErrorText(err);
        releaseNames();
        return false;
    }
    TInputFile in;
    in.ctx.reset(raw);
    in.file_name = fileName;
    AVFormatContext* ic = in.ctx.get();

    // 6. Program selection.
    if (opt_programid) {
        bool found = false;
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            ic->streams[i]->discard = AVDISCARD_ALL;
        for (unsigned i = 0; i < ic->nb_programs; ++i) {
            AVProgram* p = ic->programs[i];
            if (p->id != opt_programid) {
                p->discard = AVDISCARD_ALL;
                continue;
            }
            found = true;
            for (unsigned j = 0; j < p->nb_stream_indexes; ++j)
                ic->streams[p->stream_index[j]]->discard = AVDISCARD_DEFAULT;
        }
        if (!found) {
            FLastErrMsg = "Specified program id not found";
            releaseNames();
            return false;
        }
        opt_programid = 0;
    }

    // 7. Stream information.
    if (FindStreamInfo(ic, nullptr) < 0 && verbose >= 0) {
        FLastErrMsg = Format("%s: could not find codec parameters", fileName.c_str());
        LogMessage(this, llVerbose, FLastErrMsg);
        releaseNames();
        return false;
    }

    // 8. Seek.
    int64_t timestamp = start_time;
    if (ic->start_time != AV_NOPTS_VALUE)
        timestamp += ic->start_time;
    if (start_time != 0) {
        if (AV.av_seek_frame(ic, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && verbose > 0)
            LogMessageFmt(this, llVerbose, "%s: could not seek to position %0.3f", fileName.c_str(),
                          static_cast<double>(timestamp) / AV_TIME_BASE);
        start_time = 0;
    }

    // 9. Streams.
    in.codecs.resize(ic->nb_streams);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        AVStream* st = ic->streams[i];
        const AVCodecParameters* par = st->codecpar;
        TInputCodec& ic_codec = in.codecs[i];
        const int kindIndex = par->codec_type == AVMEDIA_TYPE_VIDEO      ? 0
                              : par->codec_type == AVMEDIA_TYPE_AUDIO    ? 1
                              : par->codec_type == AVMEDIA_TYPE_SUBTITLE ? 2
                                                                         : -1;
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
        case AVMEDIA_TYPE_AUDIO:
        case AVMEDIA_TYPE_SUBTITLE:
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
            break;
        default:
            Raise("invalid codec_type");
        }
        if (kindIndex >= 0) {
            ic_codec.dec = forced[kindIndex] ? forced[kindIndex] : AV.avcodec_find_decoder(par->codec_id);
            ic_codec.dec_ctx.reset(AV.avcodec_alloc_context3(ic_codec.dec));
            if (!ic_codec.dec_ctx)
                Raise("avcodec_alloc_context3 failed");
            AV.avcodec_parameters_to_context(ic_codec.dec_ctx.get(), par);
            ic_codec.dec_ctx->pkt_timebase = st->time_base;
        }
        AVCodecContext* dec = ic_codec.dec_ctx.get();
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO: {
            if (opts_)
                opts_->ApplyCodecOptions(AVMEDIA_TYPE_VIDEO, dec, AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
            frame_width = par->width;
            frame_height = par->height;
            const AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
            double ratio = sar.num && sar.den ? av_q2d(sar) : 0.0;
            if (frame_width && frame_height)
                frame_aspect_ratio = static_cast<float>((ratio ? ratio : 1.0) * frame_width / frame_height);
            else if (ratio == 0)
                frame_aspect_ratio = 4.0f / 3.0f;
            frame_pix_fmt = par->format == AV_PIX_FMT_NONE ? static_cast<AVPixelFormat>(0)
                                                           : static_cast<AVPixelFormat>(par->format);
            if (dec->lowres) {
                frame_width >>= dec->lowres;
                frame_height >>= dec->lowres;
            }
            if (me_threshold)
                dec->export_side_data |= AV_CODEC_EXPORT_DATA_MVS;
            const AVRational rfps = st->r_frame_rate;
            const AVRational cfps = st->avg_frame_rate;
            if (cfps.num && cfps.den && rfps.den && av_cmp_q(cfps, rfps) != 0 && verbose >= 0)
                LogMessageFmt(this, llInfo,
                              "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> "
                              "%2.2f (%d/%d)",
                              static_cast<int>(i), av_q2d(cfps), cfps.num, cfps.den, av_q2d(rfps), rfps.num, rfps.den);
            frame_rate = rfps;
            st->discard = video_disable ? AVDISCARD_ALL : static_cast<AVDiscard>(video_discard);
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            if (opts_)
                opts_->ApplyCodecOptions(AVMEDIA_TYPE_AUDIO, dec, AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
            channel_layout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                                 ? static_cast<int64_t>(par->ch_layout.u.mask)
                                 : 0;
            audio_channels = par->ch_layout.nb_channels;
            audio_sample_rate = par->sample_rate;
            audio_sample_fmt = static_cast<AVSampleFormat>(par->format);
            if (audio_disable)
                st->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (subtitle_disable)
                st->discard = AVDISCARD_ALL;
            break;
        default:
            break;
        }
    }

    // 10. Expected duration.
    if (ic->duration != AV_NOPTS_VALUE && ic->duration > FTotalOutputDuration)
        FTotalOutputDuration = ic->duration;

    // 11.
    in.ts_offset = input_ts_offset - (copy_ts ? 0 : timestamp);
    in.ts_scale = input_files_ts_scale[static_cast<size_t>(nb_input_files())];
    if (verbose >= 0)
        AV.av_dump_format(ic, nb_input_files(), fileName.c_str(), 0);
    input_files.push_back(std::move(in));
    video_channel = 0;
    releaseNames();
    return true;
}

}  // namespace vexa
