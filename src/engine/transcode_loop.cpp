// The packet loop of a conversion: which input to read next, time-stamp
// offsets and discontinuities, recording time, join segments, flushing and
// trailers.
#include "engine/custom_ffmpeg.h"

#include "engine/ff_common.h"
#include "media/ffmpeg_logger.h"
#include "platform/error.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>

namespace vexa {

namespace {

// The output time of a stream in seconds: what the encoder was fed, or for
// stream copy what the muxer was given.
double OutputTime(const TAVOutputStream& ost)
{
    if (ost.encoding_needed && ost.setup->enc_ctx)
        return static_cast<double>(ost.sync_opts) * av_q2d(ost.setup->enc_ctx->time_base);
    return ost.setup->out_time;
}

}  // namespace

int TCustomFFmpeg::ChooseInput(int joinIndex, bool& stop)
{
    size_t first = 0, last = ost_table.size();
    if (FJoinMode && nb_input_files() > 0) {
        const size_t per = ost_table.size() / static_cast<size_t>(nb_input_files());
        first = static_cast<size_t>(joinIndex) * per;
        last = first + per;
    }
    double ipts_min = 1e100, opts_min = 1e100;
    int fileIndex = -1;
    for (size_t i = first; i < last && i < ost_table.size(); ++i) {
        TAVOutputStream& ost = *ost_table[i];
        const TAVInputStream& ist = *ist_table[static_cast<size_t>(ost.source_index)];
        const int type = ost.setup->type;
        if (type >= 0 && type < 4 && ost.frame_number >= max_frames[type]) {
            stop = true;
            return -1;
        }
        const TAVInputFile& f = file_table[static_cast<size_t>(ist.file_index)];
        if (ist.is_past_recording_time || f.no_packet || f.eof_reached)
            continue;
        const double opts = OutputTime(ost);
        const double ipts = static_cast<double>(ist.pts);
        if (ipts < ipts_min) {
            ipts_min = ipts;
            if (input_sync)
                fileIndex = ist.file_index;
        }
        if (opts < opts_min) {
            opts_min = opts;
            if (!input_sync)
                fileIndex = ist.file_index;
        }
    }
    return fileIndex;
}

void TCustomFFmpeg::Transcode()
{
    PrepareTranscode();
    FDecoded.reset(AV.av_frame_alloc());
    FFiltered.reset(AV.av_frame_alloc());
    FEncPacket.reset(AV.av_packet_alloc());
    PacketPtr pkt(AV.av_packet_alloc());
    if (!FDecoded || !FFiltered || !FEncPacket || !pkt)
        Raise("Not enough memory");
    nb_frames_dup = nb_frames_drop = 0;
    Fdup_drop_since_report = false;
    FHookFrameNumber = 0;
    FHooksStopped = false;
    video_size = audio_size = 0;
    for (int& q : qp_histogram)
        q = 0;

    Ftimer_start = AV.av_gettime_relative();
    Flast_report_time = Ftimer_start;
    int joinIndex = 0;
    while (!FBroken.load()) {
        WaitWhilePaused();
        if (FBroken.load())
            break;
        bool stop = false;
        const int fileIndex = ChooseInput(joinIndex, stop);
        if (stop)
            break;
        if (fileIndex < 0) {
            bool anyNoPacket = false;
            for (const TAVInputFile& f : file_table)
                anyNoPacket = anyNoPacket || f.no_packet;
            if (FJoinMode || !anyNoPacket)
                break;
            for (TAVInputFile& f : file_table)
                f.no_packet = false;
            AV.av_usleep(10000);
            continue;
        }
        if (limit_filesize) {
            AVIOContext* pb = output_files[0]->ctx->pb;
            if (pb && AV.avio_seek(pb, 0, SEEK_CUR) >= limit_filesize)
                break;
        }
        const int ret = AV.av_read_frame(input_files[static_cast<size_t>(fileIndex)].ctx.get(), pkt.get());
        if (ret == AVERROR(EAGAIN)) {
            file_table[static_cast<size_t>(fileIndex)].no_packet = true;
            continue;
        }
        if (ret < 0) {
            file_table[static_cast<size_t>(fileIndex)].eof_reached = true;
            NoteInputEnd(fileIndex);
            if (FJoinMode) {
                EndJoinSegment(joinIndex, stop);
                if (stop)
                    break;
                continue;
            }
            if (opt_shortest)
                break;
            continue;
        }
        for (TAVInputFile& f : file_table)
            f.no_packet = false;
        HandlePacket(pkt.get(), fileIndex);
        AV.av_packet_unref(pkt.get());

        const int64_t now = AV.av_gettime_relative();
        if (now - Flast_report_time > ReportInterval.load()) {
            Flast_report_time = now;
            PrintReport(false, fileIndex);
        }
    }
    FJoinSegment = joinIndex;

    for (size_t i = 0; i < ist_table.size(); ++i) {
        TAVInputStream& ist = *ist_table[i];
        if (ist.decoding_needed && !ist.decoder_flushed) {
            OutputPacket(ist, nullptr);
            ist.decoder_flushed = true;
        }
    }
    FlushEncoders();
    for (auto& ostp : ost_table)
        EndBitstreamFilters(*ostp);

    // A file that never got a frame is no conversion: it fails and goes.
    std::string failure;
    if (!FBroken.load()) {
        for (auto& of : output_owned) {
            int64_t packets = 0;
            for (const auto& st : of->streams)
                packets += st->packets;
            if (packets == 0 && !of->streams.empty()) {
                of->discard = true;
                if (failure.empty())
                    failure = "No frame was converted: the start time or the length leaves nothing of the input";
            }
        }
    }
    // The file is complete only when its trailer and its last bytes reached
    // the disk: a full disk or a failed close ends the task as failed.
    for (auto& of : output_owned)
        if (of->header_written) {
            const int r = AV.av_write_trailer(of->ctx.get());
            of->header_written = false;
            if (r < 0 && failure.empty())
                failure = "av_write_trailer(): " + LibErrorText(r);
        }
    PrintReport(true, -1);
    for (auto& of : output_owned) {
        const int r = CloseOutputIO(of->ctx.get());
        if (r < 0 && failure.empty())
            failure = of->file_name + ": " + LibErrorText(r);
    }
    CloseCodecs();
    FreeConversionState();
    if (!failure.empty())
        Raise(failure);
    if (!FBroken.load())
        RemovePassLogs();
    FFinished.store(!FBroken.load());
}

void TCustomFFmpeg::NoteInputEnd(int fileIndex)
{
    const TAVInputFile& f = file_table[static_cast<size_t>(fileIndex)];
    const AVFormatContext* ic = input_files[static_cast<size_t>(fileIndex)].ctx.get();
    // A length guessed from the bit rate is no promise.
    if (f.reached < 0 || ic->duration == AV_NOPTS_VALUE || ic->duration <= 0 ||
        ic->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE || FInputDeclared.load() >= 0)
        return;
    const int64_t start = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    const int64_t reached = std::max<int64_t>(f.reached - start, 0);
    if (ic->duration - reached <= AV_TIME_BASE)
        return;
    FInputReached.store(reached);
    FInputDeclared.store(ic->duration);
    LogMessageFmt(this, llWarning, "%s ended at %.2f s, before its declared length of %.2f s",
                  input_files[static_cast<size_t>(fileIndex)].file_name.c_str(), static_cast<double>(reached) / 1e6,
                  static_cast<double>(ic->duration) / 1e6);
}

void TCustomFFmpeg::HandlePacket(AVPacket* pkt, int fileIndex)
{
    TAVInputFile& f = file_table[static_cast<size_t>(fileIndex)];
    TInputFile& in = input_files[static_cast<size_t>(fileIndex)];
    AVFormatContext* ic = in.ctx.get();
    if (do_pkt_dump)
        AV.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, do_hex_dump, ic->streams[pkt->stream_index]);
    if (pkt->stream_index >= f.nb_streams)
        return;
    const int istIndex = f.ist_index + pkt->stream_index;
    TAVInputStream& ist = *ist_table[static_cast<size_t>(istIndex)];
    if (!ist.mapped || ist.discard)
        return;
    const AVRational tb = ist.st->time_base;
    {
        const int64_t at = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (at != AV_NOPTS_VALUE) {
            const int64_t end = AV.av_rescale_q(at + std::max<int64_t>(pkt->duration, 0), tb, AV_TIME_BASE_Q);
            f.reached = std::max(f.reached, end);
        }
    }

    const int64_t offset = AV.av_rescale_q(in.ts_offset, AV_TIME_BASE_Q, tb);
    if (pkt->dts != AV_NOPTS_VALUE)
        pkt->dts += offset;
    if (pkt->pts != AV_NOPTS_VALUE)
        pkt->pts += offset;
    if (pkt->stream_index < kMaxStreams) {
        const double scale = in.ts_scale[static_cast<size_t>(pkt->stream_index)];
        if (scale != 0) {
            if (pkt->dts != AV_NOPTS_VALUE)
                pkt->dts = static_cast<int64_t>(static_cast<double>(pkt->dts) * scale);
            if (pkt->pts != AV_NOPTS_VALUE)
                pkt->pts = static_cast<int64_t>(static_cast<double>(pkt->pts) * scale);
        }
    }

    if (pkt->dts != AV_NOPTS_VALUE && ist.next_pts != AV_NOPTS_VALUE && (ic->iformat->flags & AVFMT_TS_DISCONT) &&
        !copy_ts) {
        const int64_t pkt_dts = AV.av_rescale_q(pkt->dts, tb, AV_TIME_BASE_Q);
        const int64_t delta = pkt_dts - ist.next_pts;
        if (std::llabs(delta) > static_cast<int64_t>(dts_delta_threshold * AV_TIME_BASE) || pkt_dts + 1 < ist.pts) {
            in.ts_offset -= delta;
            if (verbose > 2)
                LogMessageFmt(this, llVerbose, "timestamp discontinuity %" PRId64 ", new offset= %" PRId64, delta,
                              in.ts_offset);
            const int64_t shift = AV.av_rescale_q(delta, AV_TIME_BASE_Q, tb);
            pkt->dts -= shift;
            if (pkt->pts != AV_NOPTS_VALUE)
                pkt->pts -= shift;
        }
    }

    if (recording_time != INT64_MAX) {
        const int64_t when = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (when != AV_NOPTS_VALUE &&
            AV.av_compare_ts(when, tb, recording_time + start_time, AV_TIME_BASE_Q) >= 0) {
            ist.is_past_recording_time = true;
            return;
        }
    }

    if (!OutputPacket(ist, pkt)) {
        const std::string msg =
            Format("Error while decoding stream #%d.%d (%s)", ist.file_index, ist.index, MediaKindName(ist.st->codecpar->codec_type));
        if (exit_on_error)
            Raise(msg);
        if (verbose >= 0)
            LogMessage(this, llVerbose, msg);
    }
}

bool TCustomFFmpeg::OutputPacket(TAVInputStream& ist, const AVPacket* pkt)
{
    if (pkt) {
        if (ist.next_pts == AV_NOPTS_VALUE)
            ist.next_pts = ist.pts;
        if (pkt->dts != AV_NOPTS_VALUE)
            ist.next_pts = ist.pts = AV.av_rescale_q(pkt->dts, ist.st->time_base, AV_TIME_BASE_Q);
        if (rate_emu) {
            const int64_t now = AV.av_gettime() - ist.start;
            if (ist.pts > now + 1000)
                AV.av_usleep(static_cast<unsigned>((ist.pts - now) / 1000 * 1000));
        }
    }
    int ret = 0;
    if (ist.decoding_needed) {
        switch (ist.st->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            ret = DecodeVideo(ist, pkt);
            if (!pkt)
                EndVideoFilters(ist);
            break;
        case AVMEDIA_TYPE_AUDIO: ret = DecodeAudio(ist, pkt); break;
        case AVMEDIA_TYPE_SUBTITLE: ret = DecodeSubtitle(ist, pkt); break;
        default: break;
        }
    }
    if (pkt)
        CopyPacket(ist, pkt);
    return ret >= 0;
}

void TCustomFFmpeg::CopyPacket(TAVInputStream& ist, const AVPacket* pkt)
{
    for (auto& ostp : ost_table) {
        TAVOutputStream& ost = *ostp;
        if (ost.encoding_needed || ist_table[static_cast<size_t>(ost.source_index)].get() != &ist)
            continue;
        if (FJoinMode && ost.file_index != ist.file_index)
            continue;
        if (!ost.frame_number && !(pkt->flags & AV_PKT_FLAG_KEY) && !copy_initial_nonkeyframes)
            continue;
        if (start_time != 0 && ist.pts < start_time)
            continue;
        AVPacket* opkt = FEncPacket.get();
        AV.av_packet_unref(opkt);
        if (AV.av_packet_ref(opkt, pkt) < 0)
            Raise("Not enough memory");
        const AVRational itb = ist.st->time_base;
        const AVRational otb = ost.st->time_base;
        const int64_t startTb = AV.av_rescale_q(start_time, AV_TIME_BASE_Q, otb);
        opkt->pts = pkt->pts != AV_NOPTS_VALUE ? AV.av_rescale_q(pkt->pts, itb, otb) - startTb : AV_NOPTS_VALUE;
        opkt->dts = pkt->dts == AV_NOPTS_VALUE ? AV.av_rescale_q(ist.pts, AV_TIME_BASE_Q, otb)
                                               : AV.av_rescale_q(pkt->dts, itb, otb);
        opkt->dts -= startTb;
        opkt->duration = AV.av_rescale_q(pkt->duration, itb, otb);
        ++ost.frame_number;
        WritePacket(ost, opkt);
    }
}

void TCustomFFmpeg::EndJoinSegment(int& joinIndex, bool& stop)
{
    const TAVInputFile& f = file_table[static_cast<size_t>(joinIndex)];
    for (int k = 0; k < f.nb_streams; ++k) {
        const int istIndex = f.ist_index + k;
        TAVInputStream& ist = *ist_table[static_cast<size_t>(istIndex)];
        if (!ist.decoding_needed || ist.decoder_flushed)
            continue;
        OutputPacket(ist, nullptr);
        if (ist.codec->dec_ctx)
            AV.avcodec_flush_buffers(ist.codec->dec_ctx.get());
        ist.decoder_flushed = true;
    }
    const size_t per = ost_table.size() / static_cast<size_t>(nb_input_files());
    const size_t first = static_cast<size_t>(joinIndex) * per;
    double end = 0;
    for (size_t k = 0; k < per; ++k) {
        TAVOutputStream& ost = *ost_table[first + k];
        if (ost.setup->type == AVMEDIA_TYPE_AUDIO && ost.encoding_needed)
            DrainResampler(ost);
        double t = OutputTime(ost);
        if (ost.fifo && ost.encoding_needed && ost.setup->enc_ctx->sample_rate > 0)
            t += static_cast<double>(AV.av_audio_fifo_size(ost.fifo.get())) / ost.setup->enc_ctx->sample_rate;
        if (t > end)
            end = t;
        ost.show_fps = false;
    }
    // Sound that ends before the picture is followed by silence up to the
    // segment's end: formats whose sound carries no time stamps would
    // otherwise play the next segment's sound that much early.
    for (size_t k = 0; k < per; ++k) {
        TAVOutputStream& ost = *ost_table[first + k];
        if (ost.setup->type == AVMEDIA_TYPE_AUDIO && ost.encoding_needed && ost.fifo)
            PadAudioTo(ost, end);
    }
    if (joinIndex + 1 >= nb_input_files()) {
        stop = true;
        return;
    }
    // The encoders stay open: the next segment continues the same streams,
    // so its frames keep the numbering, the sync positions and the samples
    // waiting for a full encoder frame.
    for (size_t k = 0; k < per; ++k) {
        TAVOutputStream& cur = *ost_table[first + k];
        TAVOutputStream& next = *ost_table[first + per + k];
        next.frame_number = cur.frame_number;
        next.sync_opts = cur.sync_opts;
        next.quality = cur.quality;
        if (cur.fifo && next.fifo)
            std::swap(cur.fifo, next.fifo);
    }
    input_files[static_cast<size_t>(joinIndex) + 1].ts_offset += std::llround(end * 1000000);
    ++joinIndex;
}

void TCustomFFmpeg::FlushEncoders()
{
    size_t first = 0, last = ost_table.size();
    if (FJoinMode && nb_input_files() > 0) {
        const size_t per = ost_table.size() / static_cast<size_t>(nb_input_files());
        first = static_cast<size_t>(FJoinSegment) * per;
        last = first + per;
    }
    for (size_t i = first; i < last && i < ost_table.size(); ++i) {
        TAVOutputStream& ost = *ost_table[i];
        TOutputStreamSetup& s = *ost.setup;
        if (!ost.encoding_needed || s.drained || !s.enc_ctx)
            continue;
        s.drained = true;
        const char* failure = nullptr;
        if (s.type == AVMEDIA_TYPE_AUDIO) {
            DrainResampler(ost);
            EncodeAudioFifo(ost, true);
            failure = "Audio encoding failed";
        } else if (s.type == AVMEDIA_TYPE_VIDEO) {
            failure = "Video encoding failed";
        } else {
            continue;
        }
        SendFrame(ost, nullptr, failure);
        ReceivePackets(ost, failure);
    }
}

}  // namespace vexa
