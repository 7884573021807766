// Audio and subtitles of a conversion: decoding, resampling and sample
// format conversion, drift correction, the sample FIFO cut into encoder
// frames, and subtitle encoding.
#include "engine/custom_ffmpeg.h"

#include "media/ffmpeg_logger.h"
#include "platform/error.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace vexa {

namespace {

template <typename T>
void Scale(uint8_t* data, size_t count, int volume)
{
    T* p = reinterpret_cast<T*>(data);
    for (size_t i = 0; i < count; ++i) {
        if constexpr (std::is_floating_point_v<T>) {
            p[i] = static_cast<T>(p[i] * volume / 256.0);
        } else {
            const int64_t v = static_cast<int64_t>(p[i]) * volume / 256;
            p[i] = static_cast<T>(std::clamp<int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
        }
    }
}

void ApplyVolume(uint8_t** data, int samples, AVSampleFormat fmt, int channels, int volume)
{
    const bool planar = AV.av_sample_fmt_is_planar(fmt);
    const int planes = planar ? channels : 1;
    const size_t count = static_cast<size_t>(samples) * static_cast<size_t>(planar ? 1 : channels);
    for (int p = 0; p < planes; ++p) {
        switch (AV.av_get_packed_sample_fmt(fmt)) {
        case AV_SAMPLE_FMT_S16: Scale<int16_t>(data[p], count, volume); break;
        case AV_SAMPLE_FMT_S32: Scale<int32_t>(data[p], count, volume); break;
        case AV_SAMPLE_FMT_FLT: Scale<float>(data[p], count, volume); break;
        case AV_SAMPLE_FMT_DBL: Scale<double>(data[p], count, volume); break;
        default: break;
        }
    }
}

// A frame of the encoder's format able to hold `samples`, grown only when
// too small. The count is set before anything is copied or written: a block
// the encoder still holds is replaced by a fresh one of the full size, never
// copied at a count that differs from what it was made for.
void EnsureSamples(FramePtr& frame, int& capacity, const AVCodecContext* enc, int samples)
{
    if (frame && capacity >= samples && AV.av_frame_is_writable(frame.get())) {
        frame->nb_samples = samples;
        return;
    }
    const int size = std::max(samples, frame ? capacity : 0);
    frame.reset(AV.av_frame_alloc());
    if (!frame)
        Raise("Out of memory in do_audio_out");
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    frame->nb_samples = size;
    if (AV.av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
        AV.av_frame_get_buffer(frame.get(), 0) < 0)
        Raise("Out of memory in do_audio_out");
    capacity = size;
    frame->nb_samples = samples;
}

}  // namespace

int TCustomFFmpeg::DecodeAudio(TAVInputStream& ist, const AVPacket* pkt)
{
    AVCodecContext* dec = ist.codec->dec_ctx.get();
    TDecodeStep step(dec, pkt);
    for (;;) {
        AVFrame* frame = FDecoded.get();
        const int ret = step.Next(frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0)
            return ret;
        const int64_t ts = frame->best_effort_timestamp;
        const int64_t timeUs = ts != AV_NOPTS_VALUE ? AV.av_rescale_q(ts, ist.st->time_base, AV_TIME_BASE_Q)
                                                    : (ist.next_pts != AV_NOPTS_VALUE ? ist.next_pts : ist.pts);
        ist.pts = timeUs;
        const int64_t durationUs =
            frame->sample_rate > 0 ? static_cast<int64_t>(frame->nb_samples) * AV_TIME_BASE / frame->sample_rate : 0;
        ist.next_pts = timeUs + durationUs;
        // Blocks wholly before the start (a seek lands on the key frame
        // before the asked position) would put the sound ahead of the picture.
        if (timeUs + durationUs > start_time) {
            for (auto& ostp : ost_table) {
                TAVOutputStream& ost = *ostp;
                if (ost.encoding_needed && ist_table[static_cast<size_t>(ost.source_index)].get() == &ist)
                    DoAudioOut(ost, ist, frame, timeUs);
            }
            ist.is_start = false;
        }
        AV.av_frame_unref(frame);
    }
    return 0;
}

void TCustomFFmpeg::SetupAudioConversion(TAVOutputStream& ost, const AVFrame* frame)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    const int inChannels = frame->ch_layout.nb_channels;
    const bool need = frame->format != enc->sample_fmt || frame->sample_rate != enc->sample_rate ||
                      inChannels != enc->ch_layout.nb_channels || audio_sync_method > 1 || audio_volume != 256;
    if (!need) {
        ost.resample.reset();
        ost.swr_in_fmt = -1;
        return;
    }
    if (ost.resample && ost.swr_in_fmt == frame->format && ost.swr_in_rate == frame->sample_rate &&
        ost.swr_in_channels == inChannels)
        return;
    const bool resampling = frame->sample_rate != enc->sample_rate || inChannels != enc->ch_layout.nb_channels;
    ost.audio_resample = resampling || audio_sync_method > 1;
    AVChannelLayout inLayout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        AV.av_channel_layout_default(&inLayout, inChannels);
    else
        AV.av_channel_layout_copy(&inLayout, &frame->ch_layout);
    SwrContext* raw = nullptr;
    int r = AV.swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &inLayout,
                                   static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    AV.av_channel_layout_uninit(&inLayout);
    ost.resample.reset(raw);
    if (r >= 0) {
        AV.av_opt_set_int(raw, "filter_size", 16, 0);
        AV.av_opt_set_int(raw, "phase_shift", 10, 0);
        AV.av_opt_set_int(raw, "linear_interp", 0, 0);
        AV.av_opt_set_double(raw, "cutoff", 0.8, 0);
        r = AV.swr_init(raw);
    }
    if (r < 0) {
        ost.resample.reset();
        if (resampling)
            RaiseFmt("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", inChannels, frame->sample_rate,
                     enc->ch_layout.nb_channels, enc->sample_rate);
        RaiseFmt("Cannot convert %s sample format to %s sample format",
                 AV.av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame->format)),
                 AV.av_get_sample_fmt_name(enc->sample_fmt));
    }
    ost.swr_in_fmt = frame->format;
    ost.swr_in_rate = frame->sample_rate;
    ost.swr_in_channels = inChannels;
}

void TCustomFFmpeg::DoAudioOut(TAVOutputStream& ost, TAVInputStream& ist, AVFrame* frame, int64_t frameTimeUs)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    if (!enc || frame->sample_rate <= 0 || frame->nb_samples <= 0)
        return;
    SetupAudioConversion(ost, frame);
    SwrContext* swr = ost.resample.get();
    const int inRate = frame->sample_rate;
    const int outRate = enc->sample_rate;
    int inSamples = frame->nb_samples;
    const uint8_t* inData[AV_NUM_DATA_POINTERS] = {};
    const int inPlanes = AV.av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format))
                             ? frame->ch_layout.nb_channels
                             : 1;
    if (inPlanes > AV_NUM_DATA_POINTERS)
        Raise("Buffer sizes too large in do_audio_out");
    for (int p = 0; p < inPlanes; ++p)
        inData[p] = frame->extended_data[p];
    const int64_t fifoSize = AV.av_audio_fifo_size(ost.fifo.get());
    const int64_t pending = fifoSize + (swr ? AV.swr_get_delay(swr, outRate) : 0);
    const double ipts = static_cast<double>(frameTimeUs - start_time) / AV_TIME_BASE;

    if (audio_sync_method) {
        const double delta = ipts * outRate - static_cast<double>(ost.sync_opts) - static_cast<double>(pending);
        const int idelta = static_cast<int>(delta * inRate / outRate);
        if (std::fabs(delta) > 50) {
            if (ist.is_start || std::fabs(delta) > audio_drift_threshold * outRate) {
                if (idelta < 0) {
                    const int drop = std::min(-idelta, inSamples);
                    if (verbose > 2)
                        LogMessageFmt(this, llVerbose, "discarding %d audio samples", drop);
                    const int bytes = AV.av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame->format)) *
                                      (inPlanes == 1 ? frame->ch_layout.nb_channels : 1);
                    for (int p = 0; p < inPlanes; ++p)
                        inData[p] += static_cast<ptrdiff_t>(drop) * bytes;
                    inSamples -= drop;
                    if (inSamples <= 0)
                        return;
                } else if (delta > 0) {
                    const int add = static_cast<int>(delta);
                    if (verbose > 2)
                        LogMessageFmt(this, llVerbose, "adding %d audio samples of silence", idelta);
                    if (swr) {
                        // Behind the samples the resampler still holds, so
                        // the gap is filled where it is.
                        if (idelta > 0 && AV.swr_inject_silence(swr, idelta) < 0)
                            Raise("av_audio_convert() failed");
                    } else {
                        EnsureSamples(ost.conv_frame, ost.conv_capacity, enc, add);
                        AV.av_samples_set_silence(ost.conv_frame->extended_data, 0, add, enc->ch_layout.nb_channels,
                                                  enc->sample_fmt);
                        if (AV.av_audio_fifo_write(ost.fifo.get(),
                                                   reinterpret_cast<void**>(ost.conv_frame->extended_data), add) < add)
                            Raise("av_fifo_realloc2() failed");
                    }
                }
            } else if (audio_sync_method > 1 && swr) {
                const int comp = std::clamp(static_cast<int>(delta), -audio_sync_method, audio_sync_method);
                if (verbose > 2)
                    LogMessageFmt(this, llVerbose, "compensating audio timestamp drift:%f compensation:%d in:%d",
                                  delta, comp, outRate);
                AV.swr_set_compensation(swr, comp, outRate);
            }
        }
    } else {
        ost.sync_opts = std::llrint(ipts * outRate) - pending;
    }

    uint8_t** data = nullptr;
    int samples = 0;
    if (swr) {
        const int outMax = AV.swr_get_out_samples(swr, inSamples);
        if (outMax < 0 || outMax > INT_MAX / 64)
            Raise("Buffer sizes too large in do_audio_out");
        EnsureSamples(ost.conv_frame, ost.conv_capacity, enc, outMax);
        samples = AV.swr_convert(swr, ost.conv_frame->extended_data, outMax, inData, inSamples);
        if (samples < 0)
            Raise("av_audio_convert() failed");
        data = ost.conv_frame->extended_data;
        if (audio_volume != 256)
            ApplyVolume(data, samples, enc->sample_fmt, enc->ch_layout.nb_channels, audio_volume);
    } else {
        data = const_cast<uint8_t**>(inData);
        samples = inSamples;
    }
    if (samples > 0 && AV.av_audio_fifo_write(ost.fifo.get(), reinterpret_cast<void**>(data), samples) < samples)
        Raise("av_fifo_realloc2() failed");
    EncodeAudioFifo(ost, false);
}

void TCustomFFmpeg::DrainResampler(TAVOutputStream& ost)
{
    SwrContext* swr = ost.resample.get();
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    if (!swr || !enc)
        return;
    const int outMax = AV.swr_get_out_samples(swr, 0);
    if (outMax <= 0)
        return;
    EnsureSamples(ost.conv_frame, ost.conv_capacity, enc, outMax);
    const int samples = AV.swr_convert(swr, ost.conv_frame->extended_data, outMax, nullptr, 0);
    if (samples > 0 &&
        AV.av_audio_fifo_write(ost.fifo.get(), reinterpret_cast<void**>(ost.conv_frame->extended_data), samples) <
            samples)
        Raise("av_fifo_realloc2() failed");
}

void TCustomFFmpeg::PadAudioTo(TAVOutputStream& ost, double endSeconds)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    if (!enc || enc->sample_rate <= 0)
        return;
    const int64_t have = ost.sync_opts + AV.av_audio_fifo_size(ost.fifo.get());
    int64_t missing = std::llround(endSeconds * enc->sample_rate) - have;
    while (missing > 0) {
        const int n = static_cast<int>(std::min<int64_t>(missing, 8192));
        EnsureSamples(ost.conv_frame, ost.conv_capacity, enc, n);
        AV.av_samples_set_silence(ost.conv_frame->extended_data, 0, n, enc->ch_layout.nb_channels, enc->sample_fmt);
        if (AV.av_audio_fifo_write(ost.fifo.get(), reinterpret_cast<void**>(ost.conv_frame->extended_data), n) < n)
            Raise("av_fifo_realloc2() failed");
        missing -= n;
    }
}

void TCustomFFmpeg::EncodeAudioFifo(TAVOutputStream& ost, bool flush)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    AVAudioFifo* fifo = ost.fifo.get();
    const bool variable = (enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) ||
                          enc->frame_size <= 1;
    const int frameSize = variable ? 0 : enc->frame_size;
    const int channels = enc->ch_layout.nb_channels;
    auto encodeOne = [&](int take, int total) {
        EnsureSamples(ost.enc_frame, ost.enc_capacity, enc, total);
        AVFrame* f = ost.enc_frame.get();
        if (AV.av_audio_fifo_read(fifo, reinterpret_cast<void**>(f->extended_data), take) != take)
            Raise("Internal error, buffer size too small");
        if (total > take)
            AV.av_samples_set_silence(f->extended_data, take, total - take, channels, enc->sample_fmt);
        f->pts = ost.sync_opts;
        ost.sync_opts += total;
        SendFrame(ost, f, "Audio encoding failed");
        ++ost.frame_number;
        ReceivePackets(ost, "Audio encoding failed");
    };
    if (frameSize == 0) {
        // Encoders that take any block size get what there is.
        const int n = AV.av_audio_fifo_size(fifo);
        if (n > 0)
            encodeOne(n, n);
        return;
    }
    while (AV.av_audio_fifo_size(fifo) >= frameSize)
        encodeOne(frameSize, frameSize);
    const int left = AV.av_audio_fifo_size(fifo);
    if (!flush || left <= 0)
        return;
    if (enc->codec && (enc->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
        encodeOne(left, left);
        return;
    }
    // The last samples are completed with silence up to a full frame.
    if (frameSize < left)
        Raise("frame_bytes invalid.");
    encodeOne(left, frameSize);
}

int TCustomFFmpeg::DecodeSubtitle(TAVInputStream& ist, const AVPacket* pkt)
{
    if (!pkt)
        return 0;
    AVSubtitle sub{};
    int got = 0;
    const int r = AV.avcodec_decode_subtitle2(ist.codec->dec_ctx.get(), &sub, &got, const_cast<AVPacket*>(pkt));
    if (r < 0)
        return r;
    if (!got)
        return 0;
    struct Guard {
        AVSubtitle* s;
        ~Guard() { AV.avsubtitle_free(s); }
    } guard{&sub};
    int64_t pts = AV_NOPTS_VALUE;
    if (pkt->pts != AV_NOPTS_VALUE)
        pts = AV.av_rescale_q(pkt->pts, ist.st->time_base, AV_TIME_BASE_Q);
    for (auto& ostp : ost_table) {
        TAVOutputStream& ost = *ostp;
        if (ost.encoding_needed && ist_table[static_cast<size_t>(ost.source_index)].get() == &ist)
            DoSubtitleOut(ost, ist, &sub, pts);
    }
    return 0;
}

void TCustomFFmpeg::DoSubtitleOut(TAVOutputStream& ost, TAVInputStream& ist, AVSubtitle* sub, int64_t pts)
{
    (void)ist;
    if (pts == AV_NOPTS_VALUE) {
        if (exit_on_error)
            Raise("Subtitle packets must have a pts");
        LogMessage(this, llError, "Subtitle packets must have a pts");
        return;
    }
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    const int nb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
    const unsigned rects = sub->num_rects;
    AVPacket* pkt = FEncPacket.get();
    // A picture subtitle may show some time after its packet: that delay
    // moves into the time stamp, so no encoder or muxer can lose it.
    const int64_t shown =
        pts - start_time + AV.av_rescale_q(sub->start_display_time, AVRational{1, 1000}, AV_TIME_BASE_Q);
    sub->end_display_time -= sub->start_display_time;
    sub->start_display_time = 0;
    for (int i = 0; i < nb; ++i) {
        sub->pts = shown;
        // The second DVB packet clears the screen.
        if (i == 1)
            sub->num_rects = 0;
        const int size = AV.avcodec_encode_subtitle(enc, Fbit_buffer.get(), Fbit_buffer_size, sub);
        sub->num_rects = rects;
        if (size < 0)
            Raise("Subtitle encoding failed");
        AV.av_packet_unref(pkt);
        if (AV.av_new_packet(pkt, size) < 0)
            Raise("Not enough memory");
        std::memcpy(pkt->data, Fbit_buffer.get(), static_cast<size_t>(size));
        const AVRational tb = ost.st->time_base;
        pkt->pts = AV.av_rescale_q(sub->pts, AV_TIME_BASE_Q, tb);
        pkt->duration = AV.av_rescale_q(sub->end_display_time - sub->start_display_time, AVRational{1, 1000}, tb);
        if (nb == 2)
            pkt->pts += AV.av_rescale_q(i == 0 ? sub->start_display_time : sub->end_display_time,
                                        AVRational{1, 1000}, tb);
        pkt->dts = pkt->pts;
        WritePacket(ost, pkt);
    }
}

}  // namespace vexa
