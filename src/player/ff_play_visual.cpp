// Pictures the playback draws itself: the sound's wave or spectrum for files
// without a picture stream, and bitmap subtitles blended into a picture.
// Both draw into 4:2:0 frames, which go to the sink like any picture.
#include "player/ff_play.h"
#include "player/ff_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vexa {

namespace {

FramePtr BlackFrame(int w, int h)
{
    FramePtr f(AV.av_frame_alloc());
    f->format = AV_PIX_FMT_YUV420P;
    f->width = w;
    f->height = h;
    if (AV.av_frame_get_buffer(f.get(), 0) < 0)
        return nullptr;
    for (int y = 0; y < h; y++)
        std::memset(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0], 16, static_cast<size_t>(w));
    for (int p = 1; p < 3; p++)
        for (int y = 0; y < (h + 1) / 2; y++)
            std::memset(f->data[p] + static_cast<ptrdiff_t>(y) * f->linesize[p], 128, static_cast<size_t>((w + 1) / 2));
    return f;
}

void PutLuma(AVFrame* f, int x, int y, uint8_t v)
{
    if (x >= 0 && y >= 0 && x < f->width && y < f->height)
        f->data[0][static_cast<ptrdiff_t>(y) * f->linesize[0] + x] = v;
}

// Naive real transform of a short window; the window is at most a few
// hundred samples per refresh, so this stays cheap.
void Spectrum(const std::vector<float>& in, std::vector<float>& out)
{
    const size_t n = in.size();
    out.assign(n / 2, 0.0f);
    for (size_t k = 0; k < n / 2; k++) {
        double re = 0, im = 0;
        const double w = 2 * M_PI * static_cast<double>(k) / static_cast<double>(n);
        for (size_t t = 0; t < n; t++) {
            re += in[t] * std::cos(w * static_cast<double>(t));
            im -= in[t] * std::sin(w * static_cast<double>(t));
        }
        out[k] = static_cast<float>(std::sqrt(re * re + im * im));
    }
}

}  // namespace

void DrawVisualisation(TVideoState* is)
{
    if (!is->sink || is->width <= 0 || is->height <= 0)
        return;
    const int w = is->width & ~1, h = is->height & ~1;
    const int channels = std::max(is->audio_channels, 1);
    const int mode = is->show_audio.load();
    std::vector<int16_t> samples;
    {
        std::lock_guard<std::mutex> g(is->sample_lock);
        if (is->sample_array.empty())
            return;
        // The newest samples, enough for the width (wave) or the transform.
        int count = mode == saWave ? w * channels : 2 * std::min(h, 256) * channels;
        count = std::min(count + 1000 * channels, kSampleArraySize);
        samples.resize(static_cast<size_t>(count));
        int start = is->sample_array_index - count;
        if (start < 0)
            start += kSampleArraySize;
        for (int i = 0; i < count; i++)
            samples[static_cast<size_t>(i)] = is->sample_array[static_cast<size_t>((start + i) % kSampleArraySize)];
    }
    FramePtr frame = BlackFrame(w, h);
    if (!frame)
        return;
    if (mode == saWave) {
        // Align on a zero crossing within the first 1000 samples so the
        // trace stands still for a steady tone.
        int offset = 0;
        for (int i = 1; i < 1000 && (i + 1) * channels < static_cast<int>(samples.size()); i++) {
            if (samples[static_cast<size_t>((i - 1) * channels)] < 0 && samples[static_cast<size_t>(i * channels)] >= 0) {
                offset = i;
                break;
            }
        }
        const int band = h / channels;
        for (int ch = 0; ch < channels; ch++) {
            const int mid = band * ch + band / 2;
            for (int x = 0; x < w; x++) {
                const size_t idx = static_cast<size_t>((offset + x) * channels + ch);
                if (idx >= samples.size())
                    break;
                const int y = mid - samples[idx] * (band / 2) / 32768;
                const int y0 = std::min(y, mid), y1 = std::max(y, mid);
                for (int yy = y0; yy <= y1; yy++)
                    PutLuma(frame.get(), x, yy, 235);
            }
        }
    } else {
        // A scrolling spectrum: one column per refresh, low frequencies at
        // the bottom, brighter where louder.
        const int n = 2 * std::min(h, 256);
        std::vector<float> window(static_cast<size_t>(n)), mag;
        std::lock_guard<std::mutex> g(is->current_lock);
        if (!is->current_frame || is->current_frame->width != w || is->current_frame->height != h)
            is->current_frame = BlackFrame(w, h);
        if (!is->current_frame)
            return;
        for (int i = 0; i < n; i++)
            window[static_cast<size_t>(i)] = samples[static_cast<size_t>(i * channels)] / 32768.0f;
        Spectrum(window, mag);
        AVFrame* canvas = is->current_frame.get();
        const int x = is->xpos;
        for (int y = 0; y < h; y++) {
            const size_t bin = static_cast<size_t>((h - 1 - y) * static_cast<int>(mag.size()) / h);
            const int v = std::min(255, static_cast<int>(std::sqrt(mag[bin]) * 64));
            PutLuma(canvas, x, y, static_cast<uint8_t>(16 + v * 219 / 255));
        }
        is->xpos = (is->xpos + 1) % w;
        AV.av_frame_copy(frame.get(), canvas);
    }
    is->sink->Present(std::move(frame), TVideoRect{0, 0, w, h});
}

void BlendSubtitle(AVFrame* frame, const AVSubtitle& sub)
{
    for (unsigned r = 0; r < sub.num_rects; r++) {
        const AVSubtitleRect* rect = sub.rects[r];
        if (rect->type != SUBTITLE_BITMAP || !rect->data[0] || !rect->data[1])
            continue;
        const uint32_t* palette = reinterpret_cast<const uint32_t*>(rect->data[1]);
        for (int y = 0; y < rect->h; y++) {
            const int fy = rect->y + y;
            if (fy < 0 || fy >= frame->height)
                continue;
            for (int x = 0; x < rect->w; x++) {
                const int fx = rect->x + x;
                if (fx < 0 || fx >= frame->width)
                    continue;
                const uint32_t c = palette[rect->data[0][y * rect->linesize[0] + x]];
                const int a = (c >> 24) & 0xff, rr = (c >> 16) & 0xff, gg = (c >> 8) & 0xff, bb = c & 0xff;
                if (!a)
                    continue;
                // Studio-range conversion of the palette colour.
                const int Y = 16 + ((66 * rr + 129 * gg + 25 * bb + 128) >> 8);
                const int U = 128 + ((-38 * rr - 74 * gg + 112 * bb + 128) >> 8);
                const int V = 128 + ((112 * rr - 94 * gg - 18 * bb + 128) >> 8);
                uint8_t* py = frame->data[0] + static_cast<ptrdiff_t>(fy) * frame->linesize[0] + fx;
                *py = static_cast<uint8_t>((*py * (255 - a) + Y * a) / 255);
                if (!(fx & 1) && !(fy & 1)) {
                    uint8_t* pu = frame->data[1] + static_cast<ptrdiff_t>(fy / 2) * frame->linesize[1] + fx / 2;
                    uint8_t* pv = frame->data[2] + static_cast<ptrdiff_t>(fy / 2) * frame->linesize[2] + fx / 2;
                    *pu = static_cast<uint8_t>((*pu * (255 - a) + U * a) / 255);
                    *pv = static_cast<uint8_t>((*pv * (255 - a) + V * a) / 255);
                }
            }
        }
    }
}

}  // namespace vexa
