// The play thread: the playback's event loop, the display refresh and the
// hand-over of pictures to the video sink.
#include "player/ff_play.h"
#include "player/ff_player.h"

#include <algorithm>
#include <cmath>

namespace vexa {

namespace {

// Sets the video area; forced or not, the sink learns the size in use.
void SetVideoMode(TVideoState* is, bool force)
{
    int w = 640, h = 480;
    if (is->opt.screenWidth > 0 && is->opt.screenHeight > 0) {
        w = is->opt.screenWidth;
        h = is->opt.screenHeight;
    } else if (const AVStream* st = is->video_st.load(); st && st->codecpar->width > 0) {
        w = st->codecpar->width & ~1;
        h = st->codecpar->height & ~1;
    }
    if (!is->sink || (!force && is->width > 0 && is->height > 0))
        return;  // nothing is displayed without a sink
    if (!is->sink->SetMode(w, h, is->opt.fullScreen)) {
        is->Owner->PostError("SDL: could not set video mode.", false);
        return;
    }
    is->width = w;
    is->height = h;
}

TVideoRect PictureRect(TVideoState* is, const AVFrame* frame)
{
    const float ratioSetting = is->Owner->AspectRatio();
    double aspect;
    if (ratioSetting > 0) {
        aspect = ratioSetting;
    } else if (ratioSetting < 0 && is->width > 0 && is->height > 0) {
        aspect = static_cast<double>(is->width) / is->height;
    } else {
        double sar = frame->sample_aspect_ratio.num > 0 && frame->sample_aspect_ratio.den > 0
                         ? av_q2d(frame->sample_aspect_ratio)
                         : 1.0;
        if (sar <= 0)
            sar = 1.0;
        aspect = sar * frame->width / std::max(frame->height, 1);
    }
    int h = is->height;
    int w = static_cast<int>(std::lround(h * aspect)) & ~1;
    if (w > is->width) {
        w = is->width;
        h = static_cast<int>(std::lround(w / aspect)) & ~1;
    }
    TVideoRect r;
    r.x = (is->width - w) / 2;
    r.y = (is->height - h) / 2;
    r.w = std::max(w, 1);
    r.h = std::max(h, 1);
    return r;
}

void ShowPicture(TVideoState* is, const TVideoPicture& vp)
{
    if (!vp.frame || !is->sink)
        return;
    FramePtr shown(AV.av_frame_clone(vp.frame.get()));
    if (!shown)
        return;
    {
        std::lock_guard<std::mutex> g(is->subpq_mutex);
        if (is->subpq_size > 0) {
            const TSubPicture& sp = is->subpq[is->subpq_rindex];
            if (vp.pts >= sp.pts + sp.sub.start_display_time / 1000.0 && sp.valid) {
                FramePtr copy(AV.av_frame_alloc());
                copy->format = shown->format;
                copy->width = shown->width;
                copy->height = shown->height;
                if (AV.av_frame_get_buffer(copy.get(), 0) >= 0 && AV.av_frame_copy(copy.get(), shown.get()) >= 0) {
                    AV.av_frame_copy_props(copy.get(), shown.get());
                    BlendSubtitle(copy.get(), sp.sub);
                    shown = std::move(copy);
                }
            }
        }
    }
    {
        std::lock_guard<std::mutex> g(is->current_lock);
        is->current_frame.reset(AV.av_frame_clone(vp.frame.get()));
        is->current_pts = vp.pts;
    }
    const TVideoRect rect = PictureRect(is, shown.get());
    is->sink->Present(std::move(shown), rect);
}

void DropFirstPicture(TVideoState* is)
{
    std::lock_guard<std::mutex> g(is->pictq_mutex);
    is->pictq[is->pictq_rindex].frame.reset();
    is->pictq_rindex = (is->pictq_rindex + 1) % kPictureQueueSize;
    is->pictq_size--;
    is->pictq_count.store(is->pictq_size);
    is->pictq_cond.notify_all();
}

void UpdateSubtitles(TVideoState* is)
{
    std::lock_guard<std::mutex> g(is->subpq_mutex);
    if (is->subtitle_stream_changed.exchange(0)) {
        while (is->subpq_size > 0) {
            FreeSubPicture(is->subpq[is->subpq_rindex]);
            is->subpq_rindex = (is->subpq_rindex + 1) % kSubpictureQueueSize;
            is->subpq_size--;
        }
        is->subpq_cond.notify_all();
        return;
    }
    if (is->subpq_size == 0)
        return;
    const double now = is->video_current_pts.load();
    TSubPicture& sp = is->subpq[is->subpq_rindex];
    const TSubPicture* next = is->subpq_size > 1 ? &is->subpq[(is->subpq_rindex + 1) % kSubpictureQueueSize] : nullptr;
    if (now > sp.pts + sp.sub.end_display_time / 1000.0 ||
        (next && now > next->pts + next->sub.start_display_time / 1000.0)) {
        FreeSubPicture(sp);
        is->subpq_rindex = (is->subpq_rindex + 1) % kSubpictureQueueSize;
        is->subpq_size--;
        is->subpq_cond.notify_all();
    }
}

// One tick of the display. showing: a refresh tick (the picture is consumed);
// otherwise a redraw of what is on screen.
void VideoRefresh(TVideoState* is, bool showing)
{
    bool dropped = false;
    if (is->video_st.load()) {
        for (;;) {
            if (is->pictq_count.load() == 0) {
                if (!showing)
                    VideoDisplay(is);
                break;
            }
            TVideoPicture& vp = is->pictq[is->pictq_rindex];
            const double now = PlayNow();
            const bool afterSeek = is->seek_done.load() != 0;
            if (!afterSeek && now < vp.target_clock) {
                is->next_due.store(vp.target_clock);
                return;
            }
            is->next_due.store(0);
            is->video_current_pts.store(vp.pts);
            is->video_current_pts_drift.store(vp.pts - now);
            is->video_current_pos.store(vp.pos);
            double next_target;
            if (is->pictq_count.load() > 1) {
                next_target = std::max(is->pictq[(is->pictq_rindex + 1) % kPictureQueueSize].target_clock, vp.target_clock);
            } else {
                next_target = vp.target_clock + is->video_clock.load() - vp.pts;
            }
            if ((is->opt.framedrop && now > next_target && !is->IsDevice) || afterSeek) {
                is->skip_frames.store(is->skip_frames.load() * 1.05f);
                if (is->pictq_count.load() > 1 || now > next_target + 0.5 || afterSeek) {
                    DropFirstPicture(is);
                    dropped = true;
                    continue;
                }
            }
            if (is->subtitle_st.load() || is->subtitle_stream_changed.load())
                UpdateSubtitles(is);
            ShowPicture(is, vp);
            if (showing)
                DropFirstPicture(is);
            break;
        }
    } else if (is->audio_st.load()) {
        VideoDisplay(is);
    }
    if (!dropped)
        is->Owner->DoPositionReport(is);
}

}  // namespace

void VideoDisplay(TVideoState* is)
{
    SetVideoMode(is, false);
    if (is->audio_st.load() && is->show_audio.load() && !is->video_st.load()) {
        DrawVisualisation(is);
        return;
    }
    std::lock_guard<std::mutex> g(is->current_lock);
    if (is->current_frame && is->sink) {
        FramePtr shown(AV.av_frame_clone(is->current_frame.get()));
        const TVideoRect rect = PictureRect(is, shown.get());
        is->sink->Present(std::move(shown), rect);
    }
}

void EventLoop(TVideoState* is, std::mutex& dataLock)
{
    for (;;) {
        TPlayEventKind kind;
        const bool got = is->events.Wait(kind, 20);
        if (is->sink && !is->sink->Pump()) {
            kind = TPlayEventKind::Quit;
        } else if (!got) {
            continue;
        }
        std::lock_guard<std::mutex> g(dataLock);
        switch (kind) {
        case TPlayEventKind::Quit:
            return;
        case TPlayEventKind::Refresh:
            VideoRefresh(is, true);
            is->refresh.store(0);
            break;
        case TPlayEventKind::ResetMode:
            SetVideoMode(is, true);
            VideoDisplay(is);
            break;
        case TPlayEventKind::Expose:
            if (is->paused.load())
                VideoRefresh(is, false);
            else
                VideoDisplay(is);
            break;
        }
    }
}

void StreamClose(TVideoState* is)
{
    is->abort_request.store(1);
    // The video thread may wait for room in the picture queue.
    is->videoq.Abort();
    is->subtitleq.Abort();
    is->audioq.Abort();
    {
        std::lock_guard<std::mutex> g(is->pictq_mutex);
        is->pictq_cond.notify_all();
    }
    is->parse_tid.Join();
    is->refresh_tid.Join();
    is->video_tid.Join();
    is->subtitle_tid.Join();
    for (auto& p : is->pictq)
        p.frame.reset();
    for (auto& s : is->subpq)
        FreeSubPicture(s);
    std::lock_guard<std::mutex> g(is->current_lock);
    is->current_frame.reset();
}

}  // namespace vexa
