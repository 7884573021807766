// The reading thread: opens the file and its streams, then demultiplexes
// packets into the queues, performs seeks and meets the end of the file.
#include "media/codec_lock.h"
#include "media/lib_error_text.h"
#include "media/unicode_protocol.h"
#include "player/ff_play.h"
#include "player/ff_player.h"
#include "platform/main_thread.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace vexa {

namespace {

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string FormatWithName(const char* fmt, const std::string& a)
{
    char buf[2048];
    std::snprintf(buf, sizeof buf, fmt, a.c_str());
    return buf;
}

int DecodeInterruptCB(void* opaque)
{
    return static_cast<TVideoState*>(opaque)->abort_request.load() ? 1 : 0;
}

bool StreamHasEnough(TVideoState* is)
{
    const bool audioEnough = is->audio_stream.load() < 0 || is->audioq.Size() > kMinAudioQueueSize;
    const bool videoEnough = is->video_stream.load() < 0 || is->videoq.Count() > kMinFrames;
    const bool subEnough = is->subtitle_stream.load() < 0 || is->subtitleq.Count() > kMinFrames;
    return audioEnough && videoEnough && subEnough;
}

bool AllQueuesEmpty(TVideoState* is)
{
    return is->audioq.Count() == 0 && is->videoq.Count() == 0 && is->subtitleq.Count() == 0;
}

}  // namespace

int StreamComponentOpen(TVideoState* is, int stream_index)
{
    AVFormatContext* ic = is->ic.get();
    if (stream_index < 0 || stream_index >= static_cast<int>(ic->nb_streams))
        return -1;
    AVStream* st = ic->streams[stream_index];
    const AVCodecParameters* par = st->codecpar;

    CodecContextPtr dec(AV.avcodec_alloc_context3(nullptr));
    if (!dec || AV.avcodec_parameters_to_context(dec.get(), par) < 0)
        return -1;
    dec->pkt_timebase = st->time_base;
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        // At most two channels reach the device.
        const int channels = par->ch_layout.nb_channels;
        if (channels < 1 || channels > 2) {
            AV.av_channel_layout_uninit(&dec->ch_layout);
            AV.av_channel_layout_default(&dec->ch_layout, 2);
        }
    }
    const AVCodec* codec = AV.avcodec_find_decoder(par->codec_id);
    const TPlayOptions& o = is->opt;
    if (o.debug_mv)
        AV.av_opt_set_int(dec.get(), "debug_mv", o.debug_mv, AV_OPT_SEARCH_CHILDREN);
    dec->workaround_bugs = o.workaround_bugs;
    if (codec && o.lowres > 0)
        dec->lowres = std::min(o.lowres, static_cast<int>(codec->max_lowres));
    dec->idct_algo = o.idct_algo;
    if (o.fast)
        dec->flags2 |= AV_CODEC_FLAG2_FAST;
    dec->err_recognition = o.error_recognition > 0 ? AV_EF_CRCCHECK : 0;
    dec->error_concealment = o.error_concealment;
    dec->thread_count = 1;
    if (!codec || OpenCodec(dec.get(), codec, nullptr) < 0) {
        is->Owner->PostError("avcodec_open() failed.", false);
        return -1;
    }

    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        SDL_AudioSpec wanted{};
        SDL_AudioSpec spec{};
        wanted.freq = dec->sample_rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = static_cast<Uint8>(std::clamp(dec->ch_layout.nb_channels, 1, 2));
        wanted.silence = 0;
        wanted.samples = kSDLAudioBufferSize;
        wanted.callback = SDLAudioCallback;
        wanted.userdata = is;
        if (wanted.freq <= 0) {
            is->Owner->PostError(std::string("SDL_OpenAudio() failed: ") + "invalid sample rate", false);
            return -1;
        }
        is->audio_rate = wanted.freq;
        is->audio_channels = wanted.channels;
        is->audio_hw_buf_size = kSDLAudioBufferSize * 2 * wanted.channels;
        is->audio_buf2.assign(kAudioBufSize, 0);
        is->audio_frame.reset(AV.av_frame_alloc());
        is->audio_src_fmt = AV_SAMPLE_FMT_S16;
        is->audio_buf_size = 0;
        is->audio_buf_index = 0;
        is->audio_pkt_pending = false;
        is->audio_diff_avg_coef = std::exp(std::log(0.01) / kAudioDiffAvgNb);
        is->audio_diff_avg_count = 0;
        is->audio_diff_cum = 0;
        is->audio_diff_threshold = 2.0 * kSDLAudioBufferSize / wanted.freq;
        // Until the first sound is decoded the clock stands where playback
        // begins (the start position on open, the current time on a stream
        // switch), so no position report says 0 for a playback that starts later.
        const double begin =
            !std::isnan(is->audio_clock_resume)
                ? is->audio_clock_resume
                : static_cast<double>((is->opt.start_time != AV_NOPTS_VALUE ? is->opt.start_time : 0) + is->StartTime) /
                      1000000.0;
        is->audio_clock_resume = std::nan("");
        is->audio_clock.store(begin);
        is->audio_clock_pts.store(begin);
        is->audio_clock_time.store(PlayNow());
        is->audio_dec = std::move(dec);
        is->audioq.Init();
        const SDL_AudioDeviceID id = AV.SDL_OpenAudioDevice(nullptr, 0, &wanted, &spec, 0);
        if (id == 0) {
            is->Owner->PostError(std::string("SDL_OpenAudio() failed: ") + AV.SDL_GetError(), false);
            is->audio_dec.reset();
            is->audioq.Abort();
            is->audioq.End();
            return -1;
        }
        is->audio_hw_buf_size = static_cast<int>(spec.size);
        is->audio_dev.reset(AudioDeviceDeleter::pointer(id));
        st->discard = AVDISCARD_DEFAULT;
        is->AudioDuration.store(st->duration != AV_NOPTS_VALUE
                                    ? AV.av_rescale_q(st->duration, st->time_base, AVRational{1, 1000000})
                                    : -1);
        is->audio_st.store(st);
        is->audio_stream.store(stream_index);
        AV.SDL_PauseAudioDevice(id, 0);
        return 0;
    }

    st->discard = AVDISCARD_DEFAULT;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        const AVRational rate = AV.av_guess_frame_rate(ic, st, nullptr);
        is->frame_duration = (rate.num && rate.den) ? av_q2d(AVRational{rate.den, rate.num}) : 0.04;
        is->video_dec = std::move(dec);
        is->video_st.store(st);
        is->video_stream.store(stream_index);
        is->videoq.Init();
        is->video_tid.Start([is] { VideoThread(is); });
        return 0;
    }
    if (par->codec_type == AVMEDIA_TYPE_SUBTITLE) {
        is->subtitle_dec = std::move(dec);
        is->subtitle_stream_changed.store(0);
        is->subtitle_st.store(st);
        is->subtitle_stream.store(stream_index);
        is->subtitleq.Init();
        is->subtitle_tid.Start([is] { SubtitleThread(is); });
        return 0;
    }
    st->discard = AVDISCARD_ALL;
    return -1;
}

void StreamComponentClose(TVideoState* is, int stream_index)
{
    AVFormatContext* ic = is->ic.get();
    if (!ic || stream_index < 0 || stream_index >= static_cast<int>(ic->nb_streams))
        return;
    AVStream* st = ic->streams[stream_index];
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        is->audioq.Abort();
        is->audio_dev.reset();  // waits for a running callback
        is->swr.reset();
        is->audioq.End();
        break;
    case AVMEDIA_TYPE_VIDEO:
        is->videoq.Abort();
        {
            std::lock_guard<std::mutex> g(is->pictq_mutex);
            is->pictq_cond.notify_all();
        }
        is->video_tid.Join();
        is->videoq.End();
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        is->subtitle_stream_changed.store(1);
        is->subtitleq.Abort();
        {
            std::lock_guard<std::mutex> g(is->subpq_mutex);
            is->subpq_cond.notify_all();
        }
        is->subtitle_tid.Join();
        is->subtitleq.End();
        break;
    default:
        break;
    }
    st->discard = AVDISCARD_ALL;
    switch (st->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        is->audio_dec.reset();
        is->audio_st.store(nullptr);
        is->audio_stream.store(-1);
        is->AudioDuration.store(-1);
        break;
    case AVMEDIA_TYPE_VIDEO:
        is->video_dec.reset();
        is->video_st.store(nullptr);
        is->video_stream.store(-1);
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        is->subtitle_dec.reset();
        is->subtitle_st.store(nullptr);
        is->subtitle_stream.store(-1);
        break;
    default:
        break;
    }
}

namespace {

// Opens the file and its streams; false with LastErrMsg set on failure.
bool ReadOpen(TVideoState* is)
{
    TCustomPlayer* player = is->Owner;
    const TPlayOptions& o = is->opt;
    AVFormatContext* ic = AV.avformat_alloc_context();
    if (!ic) {
        player->SetLastErrMsg("av_mallocz() failed.");
        return false;
    }
    ic->interrupt_callback.callback = DecodeInterruptCB;
    ic->interrupt_callback.opaque = is;

    DictPtr options;
    {
        AVDictionary* d = nullptr;
        if (o.frameWidth > 0 && o.frameHeight > 0)
            AV.av_dict_set(&d, "video_size", (std::to_string(o.frameWidth) + "x" + std::to_string(o.frameHeight)).c_str(), 0);
        AV.av_dict_set(&d, "framerate", "25", 0);
        options.reset(d);
    }
    const AVInputFormat* fmt = o.forcedFormat.empty() ? nullptr : AV.av_find_input_format(o.forcedFormat.c_str());
    AVDictionary* d = options.release();
    const int err = OpenInputFile(&ic, EncodeLibFileName(o.filename), fmt, &d);
    options.reset(d);
    if (err < 0) {
        player->SetLastErrMsg(o.filename + ": " + LibErrorText(err));
        return false;
    }
    is->ic.reset(ic);
    if (o.genpts)
        ic->flags |= AVFMT_FLAG_GENPTS;
    if (FindStreamInfo(ic, nullptr) < 0) {
        player->SetLastErrMsg(FormatWithName("%s: could not find codec parameters", o.filename));
        return false;
    }
    if (ic->pb)
        ic->pb->eof_reached = 0;
    is->opt.seek_by_bytes = o.seek_by_bytes < 0 ? ((ic->iformat->flags & AVFMT_TS_DISCONT) ? 1 : 0) : o.seek_by_bytes;
    const std::string shortName = ic->iformat->name ? ic->iformat->name : "";
    is->IsImage2 = shortName == "image2";
    is->IsDevice = shortName == "video4linux2,v4l2" || shortName == "x11grab";
    is->StartTime = ic->start_time != AV_NOPTS_VALUE ? ic->start_time : 0;
    is->Duration = ic->duration != AV_NOPTS_VALUE ? ic->duration : -1;
    is->BitRate = ic->bit_rate;
    for (unsigned i = 0; i < ic->nb_streams; i++) {
        const AVCodecParameters* par = ic->streams[i]->codecpar;
        is->stream_types.push_back(par->codec_type);
        is->stream_audio_ok.push_back(par->sample_rate > 0 && par->ch_layout.nb_channels > 0);
    }

    if (o.start_time != AV_NOPTS_VALUE) {
        int64_t timestamp = o.start_time;
        if (ic->start_time != AV_NOPTS_VALUE)
            timestamp += ic->start_time;
        if (AV.avformat_seek_file(ic, -1, INT64_MIN, timestamp, INT64_MAX, 0) < 0) {
            char buf[2048];
            std::snprintf(buf, sizeof buf, "%s: could not seek to position %0.3f", o.filename.c_str(),
                          static_cast<double>(timestamp) / 1000000.0);
            player->PostError(buf, false);
        }
    }

    // The stream of each kind that needed the most frames to analyse wins;
    // a wanted index picks the n-th stream of its kind instead.
    int best[AVMEDIA_TYPE_NB];
    int counts[AVMEDIA_TYPE_NB] = {0};
    int bestFrames[AVMEDIA_TYPE_NB];
    for (int k = 0; k < AVMEDIA_TYPE_NB; k++) {
        best[k] = -1;
        bestFrames[k] = -1;
    }
    for (unsigned i = 0; i < ic->nb_streams; i++) {
        AVStream* st = ic->streams[i];
        st->discard = AVDISCARD_ALL;
        const int type = st->codecpar->codec_type;
        if (type < 0 || type >= AVMEDIA_TYPE_NB)
            continue;
        const int n = counts[type]++;
        if (o.wanted_stream[type] != -1 && o.wanted_stream[type] != n)
            continue;
        if ((type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_SUBTITLE) && o.disableVideo)
            continue;
        if (type == AVMEDIA_TYPE_AUDIO && o.disableAudio)
            continue;
        // Analysed frame counts are private to the library now; the codec's
        // known frame count or, failing that, the first stream stands in.
        const int frames = static_cast<int>(std::min<int64_t>(st->nb_frames, INT32_MAX));
        if (best[type] < 0 || frames > bestFrames[type]) {
            best[type] = static_cast<int>(i);
            bestFrames[type] = frames;
        }
    }

    if (best[AVMEDIA_TYPE_AUDIO] >= 0)
        StreamComponentOpen(is, best[AVMEDIA_TYPE_AUDIO]);
    if (best[AVMEDIA_TYPE_VIDEO] >= 0)
        StreamComponentOpen(is, best[AVMEDIA_TYPE_VIDEO]);
    if (is->video_stream.load() < 0 && !o.disableDisplay)
        is->show_audio.store(saRDFT);
    if (best[AVMEDIA_TYPE_SUBTITLE] >= 0)
        StreamComponentOpen(is, best[AVMEDIA_TYPE_SUBTITLE]);

    if (is->video_stream.load() < 0 && is->audio_stream.load() < 0) {
        player->SetLastErrMsg(FormatWithName("%s: could not open codecs, no stream to play.", o.filename));
        return false;
    }
    return true;
}

void PerformSeek(TVideoState* is, bool& eof)
{
    AVFormatContext* ic = is->ic.get();
    TCustomPlayer* player = is->Owner;
    const int64_t target = is->seek_pos;
    const int64_t rel = is->seek_rel;
    const int flags = is->seek_flags;
    const int64_t lo = rel > 0 ? target - rel + 2 : INT64_MIN;
    const int64_t hi = rel < 0 ? target - rel - 2 : INT64_MAX;
    int ret = AV.avformat_seek_file(ic, -1, lo, target, hi, flags);
    if (ret < 0)
        ret = AV.av_seek_frame(ic, -1, target, flags);
    if (ret < 0)
        ret = AV.av_seek_frame(ic, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
    std::unique_lock<std::mutex> g(is->seek_lock);
    if (ret < 0) {
        player->PostError(FormatWithName("%s: error while seeking", is->opt.filename), false);
        if (is->video_stream.load() >= 0)
            player->PictureEvent().SetEvent();
    } else {
        if (is->audio_stream.load() >= 0) {
            is->audioq.Flush();
            is->audioq.PutFlush();
        }
        if (is->subtitle_stream.load() >= 0) {
            is->subtitleq.Flush();
            is->subtitleq.PutFlush();
        }
        if (is->video_stream.load() >= 0) {
            is->videoq.Flush();
            is->seek_flushed.store(0);
            player->PictureEvent().ResetEvent();
            is->videoq.PutFlush();
        }
    }
    is->ErrorEOF.store(0);
    is->ReachEOF.store(0);
    is->seek_done.store(1);
    is->seek_req.store(0);
    g.unlock();
    player->SeekEvent().SetEvent();
    if (is->video_stream.load() < 0)
        player->SetSeeking(false);
    eof = false;
}

void PerformSwitch(TVideoState* is)
{
    std::atomic<int>* current = is->switch_type == AVMEDIA_TYPE_AUDIO   ? &is->audio_stream
                                : is->switch_type == AVMEDIA_TYPE_VIDEO ? &is->video_stream
                                                                        : &is->subtitle_stream;
    if (is->switch_type == AVMEDIA_TYPE_AUDIO && is->audio_st.load())
        is->audio_clock_resume = GetAudioClock(is);
    StreamComponentClose(is, current->load());
    int result = 1;
    if (is->switch_index >= 0 && StreamComponentOpen(is, is->switch_index) < 0)
        result = -1;
    // A picture queue waiting for the play thread may start at once: the
    // play thread runs already.
    is->switch_result.store(result);
    is->switch_req.store(0);
    platform::MainThread::NotifyWaiters();
}

void ReadLoop(TVideoState* is)
{
    AVFormatContext* ic = is->ic.get();
    TCustomPlayer* player = is->Owner;
    bool eof = false;
    PacketPtr pkt(AV.av_packet_alloc());
    while (!is->abort_request.load()) {
        const int paused = is->paused.load();
        if (paused != is->last_paused) {
            is->last_paused = paused;
            is->read_pause_return.store(paused ? AV.av_read_pause(ic) : AV.av_read_play(ic));
        }
        if (is->seek_req.load()) {
            PerformSeek(is, eof);
            continue;
        }
        if (is->switch_req.load()) {
            PerformSwitch(is);
            continue;
        }
        if (is->audioq.Size() + is->videoq.Size() + is->subtitleq.Size() > kMaxQueueSize || StreamHasEnough(is)) {
            SleepMs(10);
            continue;
        }
        if ((ic->pb && AV.avio_feof(ic->pb)) || eof) {
            const int vs = is->video_stream.load();
            if (vs >= 0) {
                PacketPtr empty(AV.av_packet_alloc());
                empty->stream_index = vs;
                is->videoq.Put(std::move(empty));
                // A seek waits for its first picture; when the stream ends
                // before one comes, the video thread ends the wait.
                if (!is->seek_done.load())
                    player->PictureEvent().SetEvent();
            }
            SleepMs(10);
            if (AllQueuesEmpty(is))
                is->ReachEOF.store(1);
            continue;
        }
        is->Reading.store(1);
        const int ret = AV.av_read_frame(ic, pkt.get());
        is->Reading.store(0);
        if (is->abort_request.load())
            break;
        if (ret < 0) {
            if (ret == AVERROR(EAGAIN)) {
                SleepMs(10);
                continue;
            }
            if (is->video_stream.load() >= 0 && !is->seek_done.load())
                player->PictureEvent().SetEvent();
            if (!is->IsImage2 && !is->ErrorEOF.load()) {
                is->ErrorEOF.store(1);
                if (ret == AVERROR_EOF) {
                    player->PostError(FormatWithName("reach end of file: %s", is->opt.filename), false, llInfo);
                } else {
                    char buf[2048];
                    std::snprintf(buf, sizeof buf, "error #%d while reading file: %s", ret, is->opt.filename.c_str());
                    player->PostError(buf, false);
                }
            }
            if (ret == AVERROR_EOF) {
                eof = true;
                continue;
            }
            if (ic->pb && ic->pb->error)
                break;
            SleepMs(100);
            continue;
        }
        if (ic->pb)
            is->read_pos.store(AV.avio_seek(ic->pb, 0, SEEK_CUR));
        PacketPtr mine(AV.av_packet_alloc());
        AV.av_packet_move_ref(mine.get(), pkt.get());
        if (mine->stream_index == is->audio_stream.load())
            is->audioq.Put(std::move(mine));
        else if (mine->stream_index == is->video_stream.load())
            is->videoq.Put(std::move(mine));
        else if (mine->stream_index == is->subtitle_stream.load())
            is->subtitleq.Put(std::move(mine));
    }
    while (!is->abort_request.load())
        SleepMs(100);
}

}  // namespace

void ReadThread(TVideoState* is)
{
    NameThread("vx-read");
    bool ok = false;
    try {
        ok = ReadOpen(is);
        if (ok) {
            is->Opened.store(1);
            platform::MainThread::NotifyWaiters();
            ReadLoop(is);
        }
    } catch (const std::exception& e) {
        is->Owner->PostError(std::string("reading thread: ") + e.what(), !ok);
    }
    if (is->Opened.load() != 1)
        is->Opened.store(-1);
    // Every stream the open or the loop left running is closed here, by the
    // thread that owns the context.
    try {
        if (is->ic) {
            StreamComponentClose(is, is->audio_stream.load());
            StreamComponentClose(is, is->video_stream.load());
            StreamComponentClose(is, is->subtitle_stream.load());
        }
    } catch (...) {
    }
    is->ic.reset();
    if (!ok)
        is->events.Push(TPlayEventKind::Quit);
    if (is->Opened.load() == -1)
        is->Opened.store(-2);
    platform::MainThread::NotifyWaiters();
}

bool StreamOpen(TVideoState* is)
{
    is->av_sync_type = is->opt.av_sync_type;
    is->parse_tid.Start([is] { ReadThread(is); });
    return true;
}

void StreamSeek(TVideoState* is, int64_t pos, int64_t rel, int flags)
{
    if (is->seek_req.load())
        return;
    is->seek_pos = pos;
    is->seek_rel = rel;
    is->seek_flags = flags;
    is->seek_req.store(1);
}

}  // namespace vexa
