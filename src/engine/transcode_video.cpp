// Video of a conversion: decoding, frame-rate sync, cropping and scaling,
// encoding, and writing packets through the bitstream filters.
#include "engine/custom_ffmpeg.h"

#include "engine/ff_common.h"
#include "media/ffmpeg_logger.h"
#include "platform/error.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <climits>
#include <cmath>

namespace vexa {

namespace {

int64_t FrameDurationUs(const TAVInputStream& ist, const AVFrame* frame)
{
    int64_t d = 0;
    if (frame->pkt_duration > 0)
        d = AV.av_rescale_q(frame->pkt_duration, ist.st->time_base, AV_TIME_BASE_Q);
    else if (ist.st->r_frame_rate.num > 0 && ist.st->r_frame_rate.den > 0)
        d = AV.av_rescale_q(1, av_inv_q(ist.st->r_frame_rate), AV_TIME_BASE_Q);
    if (frame->repeat_pict > 0 && d > 0)
        d += d * frame->repeat_pict / 2;
    return d;
}

}  // namespace

int TCustomFFmpeg::DecodeVideo(TAVInputStream& ist, const AVPacket* pkt)
{
    AVCodecContext* dec = ist.codec->dec_ctx.get();
    TDecodeStep step(dec, pkt);
    int frames = 0;
    for (;;) {
        const int ret = step.Next(FDecoded.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            break;
        if (ret < 0)
            return ret;
        if (++frames == 2 && pkt && ((!ist.showed_multi_packet_warning && verbose > 0) || verbose > 1)) {
            LogMessageFmt(this, llError, "Multiple frames in a packet from stream %d", ist.index);
            ist.showed_multi_packet_warning = true;
        }
        const int64_t ts = FDecoded->best_effort_timestamp;
        const int64_t timeUs = ts != AV_NOPTS_VALUE ? AV.av_rescale_q(ts, ist.st->time_base, AV_TIME_BASE_Q)
                                                    : (ist.next_pts != AV_NOPTS_VALUE ? ist.next_pts : ist.pts);
        ist.pts = timeUs;
        ist.next_pts = timeUs + FrameDurationUs(ist, FDecoded.get());
        if (start_time == 0 || timeUs >= start_time)
            VideoFrameOut(ist, FDecoded.get(), timeUs);
        AV.av_frame_unref(FDecoded.get());
    }
    return 0;
}

void TCustomFFmpeg::VideoFrameOut(TAVInputStream& ist, AVFrame* frame, int64_t frameTimeUs)
{
    AVFrame* picture = PreHooks(ist, frame);
    if (!ist.filter_graph) {
        for (auto& ostp : ost_table) {
            TAVOutputStream& ost = *ostp;
            if (ost.encoding_needed && ist_table[static_cast<size_t>(ost.source_index)].get() == &ist)
                DoVideoOut(ost, ist, picture, frameTimeUs);
        }
        return;
    }
    const int r = AV.av_buffersrc_add_frame_flags(ist.input_video_filter, picture, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (r < 0)
        Raise("Error opening filters: " + LibErrorText(r));
    PullFilteredFrames(ist, frameTimeUs);
}

// Filters that look ahead (deinterlacers, "reverse") hold pictures back
// until they learn that no more will come.
void TCustomFFmpeg::EndVideoFilters(TAVInputStream& ist)
{
    if (!ist.filter_graph || ist.filter_ended)
        return;
    ist.filter_ended = true;
    const int r = AV.av_buffersrc_add_frame_flags(ist.input_video_filter, nullptr, 0);
    if (r < 0 && r != AVERROR_EOF)
        Raise("Error opening filters: " + LibErrorText(r));
    PullFilteredFrames(ist, ist.next_pts != AV_NOPTS_VALUE ? ist.next_pts : ist.pts);
}

void TCustomFFmpeg::PullFilteredFrames(TAVInputStream& ist, int64_t frameTimeUs)
{
    const AVRational tb = AV.av_buffersink_get_time_base(ist.out_video_filter);
    for (;;) {
        const int r = AV.av_buffersink_get_frame(ist.out_video_filter, FFiltered.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            break;
        if (r < 0)
            Raise("Error opening filters: " + LibErrorText(r));
        const int64_t t = FFiltered->pts != AV_NOPTS_VALUE ? AV.av_rescale_q(FFiltered->pts, tb, AV_TIME_BASE_Q)
                                                           : frameTimeUs;
        for (auto& ostp : ost_table) {
            TAVOutputStream& ost = *ostp;
            if (ost.encoding_needed && ist_table[static_cast<size_t>(ost.source_index)].get() == &ist)
                DoVideoOut(ost, ist, FFiltered.get(), t);
        }
        AV.av_frame_unref(FFiltered.get());
    }
}

void TCustomFFmpeg::DoVideoOut(TAVOutputStream& ost, TAVInputStream& ist, AVFrame* in, int64_t frameTimeUs)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    if (!enc)
        return;
    const double sync_ipts =
        static_cast<double>(frameTimeUs - start_time) / AV_TIME_BASE / av_q2d(enc->time_base);
    int64_t nb_frames = 1;
    if (video_sync_method) {
        const AVOutputFormat* fmt = output_files[static_cast<size_t>(ost.file_index)]->ctx->oformat;
        const double vdelta = sync_ipts - static_cast<double>(ost.sync_opts);
        if (vdelta < -1.1) {
            nb_frames = 0;
        } else if (video_sync_method == 2 || (video_sync_method < 0 && (fmt->flags & AVFMT_VARIABLE_FPS))) {
            if (vdelta <= -0.6)
                nb_frames = 0;
            else if (vdelta > 0.6)
                ost.sync_opts = std::llrint(sync_ipts);
        } else if (vdelta > 1.1) {
            nb_frames = std::llrint(vdelta);
        }
        if (nb_frames == 0) {
            ++nb_frames_drop;
            Fdup_drop_since_report = true;
            if (verbose > 2)
                LogMessage(this, llVerbose, "*** drop!");
        } else if (nb_frames > 1) {
            nb_frames_dup += static_cast<int>(nb_frames - 1);
            Fdup_drop_since_report = true;
            if (verbose > 2)
                LogMessageFmt(this, llVerbose, "*** %d dup!", static_cast<int>(nb_frames - 1));
        }
    } else {
        ost.sync_opts = std::llrint(sync_ipts);
    }
    nb_frames = std::min<int64_t>(nb_frames, max_frames[AVMEDIA_TYPE_VIDEO] - ost.frame_number);
    if (nb_frames <= 0)
        return;
    AVFrame* picture = ScaleForEncoder(ost, ist, in);
    if (!picture)
        return;
    for (int64_t i = 0; i < nb_frames && !FBroken.load(); ++i)
        EncodeVideoFrame(ost, picture);
}

AVFrame* TCustomFFmpeg::ScaleForEncoder(TAVOutputStream& ost, TAVInputStream& ist, AVFrame* in)
{
    if (ist.filter_graph)
        return in;
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    if (in->width != ost.original_width || in->height != ost.original_height || in->format != ost.resample_pix_fmt) {
        LogMessageFmt(this, llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", ist.file_index, ist.index,
                      in->width, in->height, AV.av_get_pix_fmt_name(static_cast<AVPixelFormat>(in->format)));
        auto scaleBand = [](int band, int now, int was) { return was > 0 ? (band * now / was) & ~1 : 0; };
        ost.topBand = scaleBand(ost.original_topBand, in->height, ost.original_height);
        ost.bottomBand = scaleBand(ost.original_bottomBand, in->height, ost.original_height);
        ost.leftBand = scaleBand(ost.original_leftBand, in->width, ost.original_width);
        ost.rightBand = scaleBand(ost.original_rightBand, in->width, ost.original_width);
        ost.original_width = in->width;
        ost.original_height = in->height;
        ost.resample_pix_fmt = in->format;
        ost.resample_width = in->width - (ost.leftBand + ost.rightBand);
        ost.resample_height = in->height - (ost.topBand + ost.bottomBand);
        ost.video_crop = ost.topBand || ost.bottomBand || ost.leftBand || ost.rightBand;
        ost.video_resample = ost.resample_width != enc->width || ost.resample_height != enc->height ||
                             in->format != enc->pix_fmt;
        ost.img_resample_ctx.reset();
        if (ost.video_resample) {
            if (!ost.pict_tmp) {
                ost.pict_tmp.reset(AV.av_frame_alloc());
                if (!ost.pict_tmp)
                    Raise("Cannot allocate temp picture, check pix fmt");
            }
            ost.img_resample_ctx.reset(AV.sws_getContext(
                ost.resample_width, ost.resample_height, static_cast<AVPixelFormat>(in->format), enc->width,
                enc->height, enc->pix_fmt, LibraryOptions() ? LibraryOptions()->ScalerFlags() : sws_flags, nullptr,
                nullptr, nullptr));
            if (!ost.img_resample_ctx)
                Raise("Cannot get resampling context");
        }
    }
    AVFrame* src = in;
    if (ost.video_crop) {
        const AVPixFmtDescriptor* desc = AV.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(in->format));
        if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL))) {
            if (exit_on_error)
                Raise("error cropping picture");
            LogMessage(this, llError, "error cropping picture");
            return nullptr;
        }
        if (!ost.crop_frame)
            ost.crop_frame.reset(AV.av_frame_alloc());
        AVFrame* crop = ost.crop_frame.get();
        if (!crop)
            Raise("Not enough memory");
        AV.av_frame_unref(crop);
        if (AV.av_frame_ref(crop, in) < 0)
            Raise("Not enough memory");
        for (int p = 0; p < 4 && crop->data[p]; ++p) {
            int step = 1;
            for (int c = 0; c < desc->nb_components; ++c)
                if (desc->comp[c].plane == p)
                    step = desc->comp[c].step;
            const bool chroma = (p == 1 || p == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
            const int hs = chroma ? desc->log2_chroma_w : 0;
            const int vs = chroma ? desc->log2_chroma_h : 0;
            crop->data[p] += static_cast<ptrdiff_t>(ost.topBand >> vs) * crop->linesize[p] +
                             static_cast<ptrdiff_t>(ost.leftBand >> hs) * step;
        }
        crop->width = in->width - ost.leftBand - ost.rightBand;
        crop->height = in->height - ost.topBand - ost.bottomBand;
        src = crop;
    }
    if (!ost.video_resample)
        return src;
    AVFrame* dst = ost.pict_tmp.get();
    // The encoder may still hold the previous picture: the new one goes into
    // a buffer of its own rather than a copy of that one.
    if (!ost.pict_pool.Get(dst, enc->pix_fmt, enc->width, enc->height))
        Raise("Not enough memory");
    AV.sws_scale(ost.img_resample_ctx.get(), src->data, src->linesize, 0, src->height, dst->data, dst->linesize);
    dst->interlaced_frame = in->interlaced_frame;
    dst->top_field_first = in->top_field_first;
    return dst;
}

void TCustomFFmpeg::EncodeVideoFrame(TAVOutputStream& ost, AVFrame* picture)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    const int64_t pts = ost.sync_opts;
    picture->pts = pts;
    picture->pict_type = AV_PICTURE_TYPE_NONE;
    picture->quality = 0;
    if (top_field_first != -1) {
        picture->interlaced_frame = 1;
        picture->top_field_first = top_field_first;
    }
    SendFrame(ost, picture, "Video encoding failed");
    ++ost.sync_opts;
    ++ost.frame_number;
    if (ReceivePackets(ost, "Video encoding failed") > 0)
        PostHooks(picture, AV.av_rescale_q(pts, enc->time_base, AV_TIME_BASE_Q));
}

void TCustomFFmpeg::SendFrame(TAVOutputStream& ost, const AVFrame* frame, const char* failure)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    int r = AV.avcodec_send_frame(enc, frame);
    if (r == AVERROR(EAGAIN)) {
        // The encoder wants its packets taken before it takes more.
        ReceivePackets(ost, failure);
        r = AV.avcodec_send_frame(enc, frame);
    }
    if (r < 0 && !(frame == nullptr && r == AVERROR_EOF))
        Raise(failure);
}

int TCustomFFmpeg::ReceivePackets(TAVOutputStream& ost, const char* failure)
{
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    AVPacket* pkt = FEncPacket.get();
    int total = 0;
    for (;;) {
        AV.av_packet_unref(pkt);
        const int r = AV.avcodec_receive_packet(enc, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            break;
        if (r < 0)
            Raise(failure);
        total += pkt->size;
        if (enc->codec_type == AVMEDIA_TYPE_VIDEO) {
            size_t sdSize = 0;
            const uint8_t* sd = AV.av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &sdSize);
            if (sd && sdSize >= 6) {
                ost.quality = static_cast<int>(AV_RL32(sd));
                ost.pict_type = sd[4];
                const int n = std::min<int>(sd[5], 4);
                for (int k = 0; k < n && sdSize >= static_cast<size_t>(8 + 8 * (k + 1)); ++k)
                    ost.error[k] = static_cast<int64_t>(AV_RL64(sd + 8 + 8 * k));
            }
            if (qp_hist) {
                const int q = ost.quality / FF_QP2LAMBDA;
                if (q >= 0 && q < 52)
                    ++qp_histogram[q];
            }
            if (ost.logfile && enc->stats_out)
                std::fputs(enc->stats_out, ost.logfile.get());
            if (!vstats_filename.empty())
                DoVideoStats(ost, pkt->size);
        }
        AV.av_packet_rescale_ts(pkt, enc->time_base, ost.st->time_base);
        WritePacket(ost, pkt);
    }
    return total;
}

void TCustomFFmpeg::WritePacket(TAVOutputStream& ost, AVPacket* pkt)
{
    pkt->stream_index = ost.index;
    FilterAndWrite(ost, 0, pkt);
}

// Each bitstream filter may hold packets back or split them; everything it
// gives goes on to the next one, and after the last to the muxer. Without a
// packet, filter k learns that its input ended and gives what it held.
void TCustomFFmpeg::FilterAndWrite(TAVOutputStream& ost, size_t k, AVPacket* pkt)
{
    std::vector<BsfPtr>& chain = ost.setup->bsfs;
    if (k >= chain.size()) {
        if (!pkt)
            return;
        pkt->stream_index = ost.index;
        WriteOnePacket(ost, pkt);
        return;
    }
    AVBSFContext* bsf = chain[k].get();
    // One packet per filter of the chain, reused from packet to packet.
    std::vector<PacketPtr>& outs = ost.setup->bsf_out;
    if (outs.size() < chain.size())
        outs.resize(chain.size());
    PacketPtr& out = outs[k];
    if (!out)
        out.reset(AV.av_packet_alloc());
    if (!out)
        Raise("Not enough memory");
    auto pass = [&] {
        int r;
        while ((r = AV.av_bsf_receive_packet(bsf, out.get())) >= 0) {
            FilterAndWrite(ost, k + 1, out.get());
            AV.av_packet_unref(out.get());
        }
        return r;
    };
    int r = AV.av_bsf_send_packet(bsf, pkt);
    if (r == AVERROR(EAGAIN)) {
        // Full: what it holds goes on first, then the packet is taken.
        r = pass();
        if (r == AVERROR(EAGAIN))
            r = AV.av_bsf_send_packet(bsf, pkt);
    }
    if (r >= 0)
        r = pass();
    if (r != AVERROR(EAGAIN) && r != AVERROR_EOF) {
        const std::string msg = Format("%s failed for stream %d, codec %s", bsf->filter->name, ost.index,
                                       AV.avcodec_get_name(ost.st->codecpar->codec_id)) +
                                ": " + LibErrorText(r);
        if (exit_on_error)
            Raise(msg);
        LogMessage(this, llError, msg);
    }
}

void TCustomFFmpeg::EndBitstreamFilters(TAVOutputStream& ost)
{
    TOutputStreamSetup& s = *ost.setup;
    if (s.bsfs_ended)
        return;
    s.bsfs_ended = true;
    for (size_t k = 0; k < s.bsfs.size(); ++k)
        FilterAndWrite(ost, k, nullptr);
}

void TCustomFFmpeg::WriteOnePacket(TAVOutputStream& ost, AVPacket* pkt)
{
    TOutputStreamSetup& s = *ost.setup;
    AVFormatContext* oc = output_files[static_cast<size_t>(ost.file_index)]->ctx.get();
    // Muxers refuse decode times that do not grow.
    if (!(oc->oformat->flags & AVFMT_NOTIMESTAMPS) && pkt->dts != AV_NOPTS_VALUE) {
        if (s.last_dts != AV_NOPTS_VALUE && pkt->dts <= s.last_dts) {
            const int64_t fixed = s.last_dts + 1;
            if (pkt->pts != AV_NOPTS_VALUE && pkt->pts < fixed)
                pkt->pts = fixed;
            pkt->dts = fixed;
        }
        s.last_dts = pkt->dts;
    }
    const int64_t at = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (at != AV_NOPTS_VALUE) {
        const double end = static_cast<double>(at + std::max<int64_t>(pkt->duration, 0)) * av_q2d(ost.st->time_base);
        if (end > s.out_time)
            s.out_time = end;
    }
    const int size = pkt->size;
    const int r = AV.av_interleaved_write_frame(oc, pkt);
    if (r < 0)
        Raise("av_interleaved_write_frame(): " + LibErrorText(r));
    ++s.packets;
    if (s.type == AVMEDIA_TYPE_VIDEO)
        video_size += size;
    else if (s.type == AVMEDIA_TYPE_AUDIO)
        audio_size += size;
}

void TCustomFFmpeg::DoVideoStats(TAVOutputStream& ost, int frameSize)
{
    if (!Fvstats_file) {
        Fvstats_file.reset(std::fopen(vstats_filename.c_str(), "w"));
        if (!Fvstats_file)
            Raise("fopen fail: " + vstats_filename);
    }
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    std::FILE* f = Fvstats_file.get();
    std::fprintf(f, "frame= %5d q= %2.1f ", static_cast<int>(ost.frame_number),
                 static_cast<double>(ost.quality) / FF_QP2LAMBDA);
    if (enc->flags & AV_CODEC_FLAG_PSNR)
        std::fprintf(f, "PSNR= %6.2f ",
                     -10.0 * std::log10(static_cast<double>(ost.error[0]) /
                                        (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0)));
    std::fprintf(f, "f_size= %6d ", frameSize);
    double ti1 = static_cast<double>(ost.sync_opts) * av_q2d(enc->time_base);
    if (ti1 < 0.01)
        ti1 = 0.01;
    const double bitrate = frameSize * 8 / av_q2d(enc->time_base) / 1000.0;
    const double avg = static_cast<double>(video_size) * 8 / ti1 / 1000.0;
    std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 static_cast<double>(video_size) / 1024, ti1, bitrate, avg);
    std::fprintf(f, "type= %c\n", AV.av_get_picture_type_char(static_cast<AVPictureType>(ost.pict_type)));
}

}  // namespace vexa
