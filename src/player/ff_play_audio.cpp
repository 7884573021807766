// The sound: SDL's audio callback decodes, converts to signed 16-bit,
// stretches the sound to follow another master clock and mixes it at the
// player's volume. The callback never waits: an empty queue plays silence.
#include "player/ff_play.h"
#include "player/ff_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vexa {

namespace {

const uint8_t kSilence[kSilenceSize] = {};

// Converts the decoded frame to signed 16-bit at the device's rate and
// channels; returns the byte count in audio_buf2, or -1.
int ConvertFrame(TVideoState* is, AVFrame* frame)
{
    const AVSampleFormat fmt = static_cast<AVSampleFormat>(frame->format);
    if (!is->swr || fmt != is->audio_src_fmt || frame->sample_rate != is->audio_src_rate ||
        AV.av_channel_layout_compare(&frame->ch_layout, &is->audio_src_layout) != 0) {
        is->swr.reset();
        AVChannelLayout outLayout{};
        AV.av_channel_layout_default(&outLayout, is->audio_channels);
        SwrContext* swr = nullptr;
        int r = AV.swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, is->audio_rate, &frame->ch_layout, fmt,
                                       frame->sample_rate, 0, nullptr);
        SwrPtr owned(swr);
        if (r >= 0)
            r = AV.swr_init(swr);
        AV.av_channel_layout_uninit(&outLayout);
        if (r < 0) {
            const char* from = AV.av_get_sample_fmt_name(fmt);
            is->Owner->PostError(std::string("Cannot convert ") + (from ? from : "?") + " sample format to s16 sample format",
                                 false);
            return -1;
        }
        is->swr = std::move(owned);
        is->audio_src_fmt = fmt;
        is->audio_src_rate = frame->sample_rate;
        AV.av_channel_layout_uninit(&is->audio_src_layout);
        AV.av_channel_layout_copy(&is->audio_src_layout, &frame->ch_layout);
    }
    const int bytesPerSample = 2 * is->audio_channels;
    const int wanted = AV.swr_get_out_samples(is->swr.get(), frame->nb_samples);
    const size_t need = static_cast<size_t>(std::max(wanted, 0) + 256) * static_cast<size_t>(bytesPerSample) * 11 / 10;
    if (is->audio_buf2.size() < need)
        is->audio_buf2.resize(need);
    uint8_t* out = is->audio_buf2.data();
    const int capacity = static_cast<int>(is->audio_buf2.size() / static_cast<size_t>(bytesPerSample));
    const int n = AV.swr_convert(is->swr.get(), &out, capacity, const_cast<const uint8_t**>(frame->extended_data),
                                 frame->nb_samples);
    if (n < 0) {
        is->Owner->PostError("av_audio_convert() failed", false);
        return -1;
    }
    return n * bytesPerSample;
}

// Decodes one frame of sound into audio_buf2; -1 when there is none now.
int AudioDecodeFrame(TVideoState* is)
{
    AVCodecContext* dec = is->audio_dec.get();
    for (;;) {
        while (is->audio_pkt_pending) {
            const int r = AV.avcodec_receive_frame(dec, is->audio_frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
                is->audio_pkt_pending = false;
                break;
            }
            if (r < 0) {
                is->Owner->PostError("avcodec_decode_audio2() failed", false, llInfo);
                is->audio_pkt_pending = false;
                break;
            }
            AVFrame* frame = is->audio_frame.get();
            const int size = ConvertFrame(is, frame);
            const AVStream* st = is->audio_st.load();
            if (frame->pts != AV_NOPTS_VALUE && st)
                is->audio_clock.store(av_q2d(st->time_base) * static_cast<double>(frame->pts));
            AV.av_frame_unref(frame);
            if (size < 0)
                continue;
            is->audio_clock.store(is->audio_clock.load() +
                                  static_cast<double>(size) / (2.0 * is->audio_channels * is->audio_rate));
            return size;
        }
        if (is->paused.load() || is->audioq.Aborted())
            return -1;
        PacketPtr pkt;
        bool flush = false;
        if (is->audioq.Get(pkt, flush, false) <= 0)
            return -1;
        if (flush) {
            AV.avcodec_flush_buffers(dec);
            is->audio_clock_jump = true;
            continue;
        }
        const AVStream* st = is->audio_st.load();
        if (pkt->pts != AV_NOPTS_VALUE && st)
            is->audio_clock.store(av_q2d(st->time_base) * static_cast<double>(pkt->pts));
        if (AV.avcodec_send_packet(dec, pkt.get()) < 0) {
            is->Owner->PostError("avcodec_decode_audio2() failed", false, llInfo);
            continue;
        }
        is->audio_pkt_pending = true;
    }
}

void UpdateSampleDisplay(TVideoState* is, const int16_t* samples, int count)
{
    std::lock_guard<std::mutex> g(is->sample_lock);
    if (is->sample_array.empty())
        is->sample_array.assign(kSampleArraySize, 0);
    while (count > 0) {
        const int len = std::min(kSampleArraySize - is->sample_array_index, count);
        std::memcpy(is->sample_array.data() + is->sample_array_index, samples, static_cast<size_t>(len) * 2);
        samples += len;
        is->sample_array_index += len;
        if (is->sample_array_index >= kSampleArraySize)
            is->sample_array_index = 0;
        count -= len;
    }
}

// Stretches or shrinks the sound by up to 10 % so that it follows a master
// clock that is not the sound itself; added bytes repeat the last sample.
int SynchronizeAudio(TVideoState* is, uint8_t* samples, int size)
{
    const bool follows = (is->av_sync_type == AV_SYNC_VIDEO_MASTER && is->video_st.load()) ||
                         is->av_sync_type == AV_SYNC_EXTERNAL_CLOCK;
    if (!follows)
        return size;
    const int n = 2 * is->audio_channels;
    const double diff = GetAudioClock(is) - GetMasterClock(is);
    if (diff >= kAVNoSyncThreshold) {
        is->audio_diff_avg_count = 0;
        is->audio_diff_cum = 0;
        return size;
    }
    is->audio_diff_cum = diff + is->audio_diff_avg_coef * is->audio_diff_cum;
    if (is->audio_diff_avg_count < kAudioDiffAvgNb) {
        is->audio_diff_avg_count++;
        return size;
    }
    const double avg = is->audio_diff_cum * (1.0 - is->audio_diff_avg_coef);
    if (std::fabs(avg) < is->audio_diff_threshold)
        return size;
    int wanted = size + static_cast<int>(std::lround(diff * is->audio_rate)) * n;
    const int lo = (size / n * (100 - kSampleCorrectionPercentMax) / 100) * n;
    const int hi = (size / n * (100 + kSampleCorrectionPercentMax) / 100) * n;
    wanted = std::clamp(wanted, lo, hi);
    if (wanted > size) {
        if (static_cast<size_t>(wanted) > is->audio_buf2.size())
            wanted = static_cast<int>(is->audio_buf2.size()) / n * n;
        const uint8_t* last = samples + size - n;
        for (uint8_t* q = samples + size; q + n <= samples + wanted; q += n)
            std::memcpy(q, last, static_cast<size_t>(n));
    }
    return wanted;
}

}  // namespace

void SDLAudioCallback(void* opaque, Uint8* stream, int len)
{
    auto* is = static_cast<TVideoState*>(opaque);
    TCustomPlayer* player = is->Owner;
    // SDL2 hands a buffer of undefined content: mixing adds to it.
    std::memset(stream, 0, static_cast<size_t>(len));
    const int wanted = len;
    while (len > 0) {
        if (is->audio_buf_index >= is->audio_buf_size) {
            const int size = AudioDecodeFrame(is);
            if (is->audioq.Aborted())
                break;
            if (size < 0) {
                is->audio_buf = kSilence;
                is->audio_buf_size = kSilenceSize;
            } else {
                if (is->show_audio.load())
                    UpdateSampleDisplay(is, reinterpret_cast<const int16_t*>(is->audio_buf2.data()), size / 2);
                is->audio_buf = is->audio_buf2.data();
                is->audio_buf_size = SynchronizeAudio(is, is->audio_buf2.data(), size);
            }
            is->audio_buf_index = 0;
        }
        const int len1 = std::min(is->audio_buf_size - is->audio_buf_index, len);
        if (!player->Mute())
            AV.SDL_MixAudioFormat(stream, is->audio_buf + is->audio_buf_index, AUDIO_S16SYS,
                                  static_cast<Uint32>(len1), std::clamp(player->AudioVolume(), 0, SDL_MIX_MAXVOLUME));
        len -= len1;
        stream += len1;
        is->audio_buf_index += len1;
    }
    // What leaves the device from now on: the end of the decoded sound less
    // what is still unplayed here, in the device's buffer and in the
    // resampler.
    const double bps = 2.0 * is->audio_channels * is->audio_rate;
    const int unplayed = is->audio_buf == kSilence ? 0 : is->audio_buf_size - is->audio_buf_index;
    double delay = static_cast<double>(unplayed + wanted) / bps;
    if (is->swr)
        delay += static_cast<double>(AV.swr_get_delay(is->swr.get(), 1000000)) / 1000000.0;
    double pts = is->audio_clock.load() - delay;
    // Silence played on an underrun holds the sound's time while the clock
    // readers ran on by up to a buffer: never step back from what they may
    // have read, except after a flush.
    if (!is->audio_clock_jump)
        pts = std::max(pts, GetAudioClock(is));
    is->audio_clock_jump = false;
    is->audio_clock_pts.store(pts);
    is->audio_clock_time.store(PlayNow());
}

}  // namespace vexa
