// Pictures: the video thread decodes through the filter graph into the
// picture queue; the play thread's refresh shows each picture when its
// target clock has come, repeating or dropping pictures to follow the master
// clock.
#include "player/ff_play.h"
#include "player/ff_player.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <cmath>
#include <thread>

namespace vexa {

namespace {

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct TPictureGraph {
    FilterGraphPtr graph;
    AVFilterContext* src = nullptr;
    AVFilterContext* out = nullptr;
    int width = 0, height = 0, format = -1;
};

bool ConfigureGraph(TVideoState* is, TPictureGraph& g, const AVFrame* frame)
{
    g.graph.reset(AV.avfilter_graph_alloc());
    g.src = g.out = nullptr;
    if (!g.graph)
        return false;
    g.graph->scale_sws_opts = AV.av_strdup("flags=bicubic");
    g.graph->nb_threads = 1;
    const AVStream* st = is->video_st.load();
    AVRational tb = st ? st->time_base : AVRational{1, 25};
    AVRational sar = frame->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{0, 1};
    char args[256];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", frame->width,
                  frame->height, frame->format, tb.num, tb.den, sar.num, sar.den);
    if (AV.avfilter_graph_create_filter(&g.src, AV.avfilter_get_by_name("buffer"), "src", args, nullptr,
                                        g.graph.get()) < 0)
        return false;
    if (AV.avfilter_graph_create_filter(&g.out, AV.avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                        g.graph.get()) < 0)
        return false;
    const AVPixelFormat fmts[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
    if (AV.av_opt_set_bin(g.out, "pix_fmts", reinterpret_cast<const uint8_t*>(fmts), sizeof(AVPixelFormat),
                          AV_OPT_SEARCH_CHILDREN) < 0)
        return false;
    // A "format" stage in front of the sink makes the graph convert when
    // the filters give anything else.
    if (!is->opt.videoFilters.empty()) {
        FilterInOutPtr outputs(AV.avfilter_inout_alloc());
        FilterInOutPtr inputs(AV.avfilter_inout_alloc());
        if (!outputs || !inputs)
            return false;
        outputs->name = AV.av_strdup("in");
        outputs->filter_ctx = g.src;
        inputs->name = AV.av_strdup("out");
        inputs->filter_ctx = g.out;
        AVFilterInOut* o = outputs.release();
        AVFilterInOut* i = inputs.release();
        const int r = AV.avfilter_graph_parse_ptr(g.graph.get(), is->opt.videoFilters.c_str(), &i, &o, nullptr);
        outputs.reset(o);
        inputs.reset(i);
        if (r < 0)
            return false;
    } else if (AV.avfilter_link(g.src, 0, g.out, 0) < 0) {
        return false;
    }
    if (AV.avfilter_graph_config(g.graph.get(), nullptr) < 0)
        return false;
    g.width = frame->width;
    g.height = frame->height;
    g.format = frame->format;
    return true;
}

// Resets the schedule after the flush marker; waits until the picture queue
// has been shown or dropped, so no picture from before the seek survives.
void HandleFlush(TVideoState* is)
{
    AV.avcodec_flush_buffers(is->video_dec.get());
    std::unique_lock<std::mutex> g(is->pictq_mutex);
    is->pictq_cond.wait(g, [is] { return is->pictq_size == 0 || is->videoq.Aborted(); });
    is->video_current_pos.store(-1);
    is->faulty_pts = is->faulty_dts = 0;
    is->last_dts_for_fault_detection = is->last_pts_for_fault_detection = AV_NOPTS_VALUE;
    is->frame_last_pts = static_cast<double>(AV_NOPTS_VALUE);
    is->frame_last_delay = 0;
    is->frame_timer.store(PlayNow());
    is->skip_frames.store(1);
    is->skip_frames_index = 0;
    is->seek_flushed.store(1);
}

double ComputeTargetClock(TVideoState* is, double frame_current_pts)
{
    double delay = frame_current_pts - is->frame_last_pts;
    if (is->frame_last_pts == static_cast<double>(AV_NOPTS_VALUE) || delay <= 0 || delay >= 10.0)
        delay = is->frame_last_delay;
    else
        is->frame_last_delay = delay;
    is->frame_last_pts = frame_current_pts;
    const bool follows = (is->av_sync_type == AV_SYNC_AUDIO_MASTER && is->audio_st.load()) ||
                         is->av_sync_type == AV_SYNC_EXTERNAL_CLOCK;
    if (follows) {
        const double diff = GetVideoClock(is) - GetMasterClock(is);
        const double threshold = std::max(kAVSyncThreshold, delay);
        if (std::fabs(diff) < kAVNoSyncThreshold) {
            if (diff <= -threshold)
                delay = 0;
            else if (diff >= threshold)
                delay = 2 * delay;
        }
    }
    is->frame_timer.store(is->frame_timer.load() + delay);
    return is->frame_timer.load();
}

FramePtr FlippedCopy(const AVFrame* src)
{
    FramePtr dst(AV.av_frame_alloc());
    dst->format = src->format;
    dst->width = src->width;
    dst->height = src->height;
    if (AV.av_frame_get_buffer(dst.get(), 0) < 0)
        return nullptr;
    AV.av_frame_copy_props(dst.get(), src);
    for (int plane = 0; plane < 3; plane++) {
        const int h = plane == 0 ? src->height : (src->height + 1) / 2;
        const int w = plane == 0 ? src->width : (src->width + 1) / 2;
        for (int y = 0; y < h; y++)
            std::memcpy(dst->data[plane] + static_cast<ptrdiff_t>(y) * dst->linesize[plane],
                        src->data[plane] + static_cast<ptrdiff_t>(h - 1 - y) * src->linesize[plane],
                        static_cast<size_t>(w));
    }
    return dst;
}

int QueuePicture(TVideoState* is, FramePtr frame, double pts, int64_t pos)
{
    {
        std::unique_lock<std::mutex> g(is->pictq_mutex);
        if (is->pictq_size >= kPictureQueueSize && !is->refresh.load())
            is->skip_frames.store(std::max(0.95f, is->skip_frames.load() * 0.95f));
        // The first picture waits for the play thread, so that psPlay is
        // always reported before anything a picture causes.
        is->pictq_cond.wait(g, [is] {
            return (is->pictq_size < kPictureQueueSize && is->display_started.load()) || is->videoq.Aborted();
        });
        if (is->videoq.Aborted())
            return -1;
    }
    TCustomPlayer* player = is->Owner;
    if (player->VerticalFlip()) {
        FramePtr flipped = FlippedCopy(frame.get());
        if (flipped)
            frame = std::move(flipped);
    }
    if (player->Hook() && player->OnHook && AV.av_frame_make_writable(frame.get()) >= 0)
        player->DoFrameHook(is, frame.get(), pts);

    TVideoPicture& vp = is->pictq[is->pictq_windex];
    vp.width = frame->width & ~1;
    vp.height = frame->height & ~1;
    vp.frame = std::move(frame);
    vp.pts = pts;
    vp.pos = pos;
    is->pictq_windex = (is->pictq_windex + 1) % kPictureQueueSize;
    std::lock_guard<std::mutex> g(is->pictq_mutex);
    vp.target_clock = ComputeTargetClock(is, pts);
    is->pictq_size++;
    is->pictq_count.store(is->pictq_size);
    return 0;
}

int OutputPicture(TVideoState* is, FramePtr frame, double pts, int64_t pos)
{
    if (pts != 0)
        is->video_clock.store(pts);
    else
        pts = is->video_clock.load();
    is->video_clock.store(is->video_clock.load() + is->frame_duration * (1.0 + 0.5 * frame->repeat_pict));
    return QueuePicture(is, std::move(frame), pts, pos);
}

// The picture's time from the decoder's stamps, as the reordering setting
// and the record of faulty stamps decide.
int64_t PictureStamp(TVideoState* is, const AVFrame* frame)
{
    if (frame->pkt_dts != AV_NOPTS_VALUE) {
        if (frame->pkt_dts <= is->last_dts_for_fault_detection && is->last_dts_for_fault_detection != AV_NOPTS_VALUE)
            is->faulty_dts++;
        is->last_dts_for_fault_detection = frame->pkt_dts;
    }
    if (frame->pts != AV_NOPTS_VALUE) {
        if (frame->pts <= is->last_pts_for_fault_detection && is->last_pts_for_fault_detection != AV_NOPTS_VALUE)
            is->faulty_pts++;
        is->last_pts_for_fault_detection = frame->pts;
    }
    const int reorder = is->opt.decoder_reorder_pts;
    if ((reorder == 1 || (reorder && is->faulty_pts < is->faulty_dts) || frame->pkt_dts == AV_NOPTS_VALUE) &&
        frame->pts != AV_NOPTS_VALUE)
        return frame->pts;
    if (frame->pkt_dts != AV_NOPTS_VALUE)
        return frame->pkt_dts;
    return 0;
}

}  // namespace

void VideoThread(TVideoState* is)
{
    NameThread("vx-video");
    try {
        TPictureGraph graph;
        FramePtr frame(AV.av_frame_alloc());
        FramePtr filtered(AV.av_frame_alloc());
        AVCodecContext* dec = is->video_dec.get();
        TCustomPlayer* player = is->Owner;
        for (;;) {
            while (is->paused.load() && !is->videoq.Aborted() && !is->seek_paused.load() && !is->open_paused.load())
                SleepMs(10);
            PacketPtr pkt;
            bool flush = false;
            if (is->videoq.Get(pkt, flush, true) < 0)
                break;
            if (flush) {
                HandleFlush(is);
                continue;
            }
            // An empty packet asks for the pictures the decoder still holds.
            int r = AV.avcodec_send_packet(dec, pkt->data ? pkt.get() : nullptr);
            if (r < 0 && r != AVERROR_EOF && r != AVERROR(EAGAIN))
                continue;
            for (;;) {
                r = AV.avcodec_receive_frame(dec, frame.get());
                if (r == AVERROR_EOF) {
                    // Drained at the end: no picture will come, so a seek
                    // that found none after its flush ends here.
                    std::lock_guard<std::mutex> g(is->seek_lock);
                    if (!is->seek_req.load() && (!is->seek_done.load() || is->seek_flushed.load())) {
                        if (player->Seeking())
                            player->SetSeeking(false);
                        player->PictureEvent().SetEvent();
                    }
                }
                if (r < 0)
                    break;
                const int64_t stamp = PictureStamp(is, frame.get());
                const int64_t pos = frame->pkt_pos;
                float index = is->skip_frames_index + 1;
                const float skip = is->skip_frames.load();
                if (index < skip) {
                    is->skip_frames_index = index;
                    AV.av_frame_unref(frame.get());
                    continue;
                }
                is->skip_frames_index = index - std::max(skip, 1.0f);
                frame->pts = stamp;
                if (frame->sample_aspect_ratio.num == 0)
                    frame->sample_aspect_ratio = dec->sample_aspect_ratio;
                if (!graph.graph || frame->width != graph.width || frame->height != graph.height ||
                    frame->format != graph.format) {
                    if (!ConfigureGraph(is, graph, frame.get()))
                        throw std::runtime_error("cannot configure the picture filters");
                }
                if (AV.av_buffersrc_add_frame_flags(graph.src, frame.get(), 0) < 0) {
                    AV.av_frame_unref(frame.get());
                    continue;
                }
                while (AV.av_buffersink_get_frame(graph.out, filtered.get()) >= 0) {
                    bool firstAfterSeek = false;
                    {
                        std::lock_guard<std::mutex> g(is->seek_lock);
                        if (is->seek_done.load() && is->seek_flushed.load()) {
                            is->seek_done.store(0);
                            is->seek_paused.store(0);
                            firstAfterSeek = true;
                        }
                    }
                    const AVRational tb = AV.av_buffersink_get_time_base(graph.out);
                    const double pts =
                        filtered->pts == AV_NOPTS_VALUE ? 0 : static_cast<double>(filtered->pts) * av_q2d(tb);
                    FramePtr picture(AV.av_frame_alloc());
                    AV.av_frame_move_ref(picture.get(), filtered.get());
                    if (OutputPicture(is, std::move(picture), pts, pos) < 0)
                        return;
                    // Only a picture from after the flush ends a seek, and
                    // Seeking ends before the picture event wakes the waiter.
                    is->EventEOF.store(0);
                    {
                        std::lock_guard<std::mutex> g(is->seek_lock);
                        if (firstAfterSeek || (!is->seek_req.load() && !is->seek_done.load())) {
                            if (player->Seeking() && !is->seek_req.load())
                                player->SetSeeking(false);
                            player->PictureEvent().SetEvent();
                        }
                    }
                    if (is->open_paused.load()) {
                        if (is->open_paused.load() >= 2) {
                            is->open_paused.store(0);
                            player->SetPlayState(psPause);
                        } else {
                            is->open_paused.fetch_add(1);
                        }
                    }
                    if (player->StepFlag() && !is->paused.load())
                        StreamTogglePause(is);
                }
            }
        }
    } catch (const std::exception& e) {
        is->Owner->PostError(std::string("video thread: ") + e.what(), false);
    }
}

void SubtitleThread(TVideoState* is)
{
    NameThread("vx-subtitle");
    try {
        AVCodecContext* dec = is->subtitle_dec.get();
        for (;;) {
            while (is->paused.load() && !is->subtitleq.Aborted() && !is->seek_paused.load())
                SleepMs(10);
            PacketPtr pkt;
            bool flush = false;
            if (is->subtitleq.Get(pkt, flush, true) < 0)
                break;
            if (flush) {
                AV.avcodec_flush_buffers(dec);
                continue;
            }
            {
                std::unique_lock<std::mutex> g(is->subpq_mutex);
                is->subpq_cond.wait(g, [is] { return is->subpq_size < kSubpictureQueueSize || is->subtitleq.Aborted(); });
                if (is->subtitleq.Aborted())
                    break;
            }
            TSubPicture& sp = is->subpq[is->subpq_windex];
            int got = 0;
            const AVStream* st = is->subtitle_st.load();
            sp.pts = (pkt->pts != AV_NOPTS_VALUE && st) ? av_q2d(st->time_base) * static_cast<double>(pkt->pts) : 0;
            if (AV.avcodec_decode_subtitle2(dec, &sp.sub, &got, pkt.get()) < 0 || !got)
                continue;
            if (sp.sub.format != 0) {  // text: nothing to blend
                AV.avsubtitle_free(&sp.sub);
                continue;
            }
            sp.valid = true;
            is->subpq_windex = (is->subpq_windex + 1) % kSubpictureQueueSize;
            std::lock_guard<std::mutex> g(is->subpq_mutex);
            is->subpq_size++;
        }
    } catch (const std::exception& e) {
        is->Owner->PostError(std::string("subtitle thread: ") + e.what(), false);
    }
}

void FreeSubPicture(TSubPicture& sp)
{
    if (sp.valid)
        AV.avsubtitle_free(&sp.sub);
    sp.valid = false;
}

void RefreshThread(TVideoState* is)
{
    NameThread("vx-refresh");
    while (!is->abort_request.load()) {
        if (!is->refresh.exchange(1))
            is->events.Push(TPlayEventKind::Refresh);
        const bool visual = is->show_audio.load() && !is->video_st.load();
        if (visual) {
            SleepMs(std::max(is->opt.rdftspeed, 1));
            continue;
        }
        // A tick every 5 ms, or one when the picture waiting on screen is
        // due: between pictures nothing else changes (a picture that comes
        // into an empty queue resets next_due at the next tick).
        int ms = 5;
        if (const double due = is->next_due.load(); due > 0 && !is->paused.load())
            ms = static_cast<int>(std::clamp((due - PlayNow()) * 1000.0, 5.0, 40.0));
        SleepMs(ms);
    }
}

void StreamTogglePause(TVideoState* is)
{
    TCustomPlayer* player = is->Owner;
    if (!player->SeekEvent().WaitFor(std::chrono::milliseconds(250)))
        player->SeekEvent().SetEvent();
    if (is->paused.load()) {
        const double now = PlayNow();
        is->frame_timer.store(is->frame_timer.load() + now + is->video_current_pts_drift.load() -
                              is->video_current_pts.load());
        if (is->read_pause_return.load() != AVERROR(ENOSYS))
            is->video_current_pts.store(is->video_current_pts_drift.load() + now);
        is->video_current_pts_drift.store(is->video_current_pts.load() - now);
        is->paused.store(0);
    } else {
        if (is->video_stream.load() >= 0 && !player->PictureEvent().WaitFor(std::chrono::milliseconds(250)))
            player->PictureEvent().SetEvent();
        is->paused.store(1);
    }
}

}  // namespace vexa
