// What happens to pictures around encoding (custom hook, frame hooks,
// deinterlacing before; previews after) and the progress report.
#include "engine/custom_ffmpeg.h"

#include "media/ffmpeg_logger.h"
#include "platform/error.h"

#include <cmath>
#include <cstring>
#include <exception>

namespace vexa {

namespace {

// Each odd line becomes the mean of its neighbours; 8-bit planar pictures only.
bool Deinterlace(AVFrame* pic)
{
    const AVPixFmtDescriptor* desc = AV.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(pic->format));
    if (!desc || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || (desc->flags & AV_PIX_FMT_FLAG_RGB) ||
        desc->comp[0].depth != 8 || pic->height < 3)
        return false;
    const int planes = AV.av_pix_fmt_count_planes(static_cast<AVPixelFormat>(pic->format));
    for (int p = 0; p < planes; ++p) {
        const bool chroma = p == 1 || p == 2;
        const int w = chroma ? -((-pic->width) >> desc->log2_chroma_w) : pic->width;
        const int h = chroma ? -((-pic->height) >> desc->log2_chroma_h) : pic->height;
        uint8_t* d = pic->data[p];
        const int ls = pic->linesize[p];
        for (int y = 1; y + 1 < h; y += 2) {
            uint8_t* row = d + static_cast<ptrdiff_t>(y) * ls;
            const uint8_t* above = row - ls;
            const uint8_t* below = row + ls;
            for (int x = 0; x < w; ++x)
                row[x] = static_cast<uint8_t>((above[x] + below[x] + 1) >> 1);
        }
    }
    return true;
}

}  // namespace

AVFrame* TCustomFFmpeg::PreHooks(TAVInputStream& ist, AVFrame* frame)
{
    ++FHookFrameNumber;
    const bool custom = FOnCustomHook && !FHooksStopped;
    const bool modules = !frame_hooks.Empty() && !FHooksStopped;
    if (!do_deinterlace && !custom && !modules)
        return frame;
    if (!FHookFrame)
        FHookFrame.reset(AV.av_frame_alloc());
    AVFrame* pic = FHookFrame.get();
    // The copy is written whole, so it takes a fresh buffer: the encoder may
    // still hold the previous one.
    if (!pic || !FHookPool.Get(pic, static_cast<AVPixelFormat>(frame->format), frame->width, frame->height)) {
        LogMessage(this, llError, "hook buf malloc error.");
        return frame;
    }
    AV.av_frame_copy(pic, frame);
    pic->pts = frame->pts;
    pic->interlaced_frame = frame->interlaced_frame;
    pic->top_field_first = frame->top_field_first;
    pic->sample_aspect_ratio = frame->sample_aspect_ratio;
    if (do_deinterlace && !Deinterlace(pic))
        LogMessage(this, llError, "Deinterlacing failed.");

    if (custom) {
        if (!FHookContext.ToBitmap(pic)) {
            LogMessage(this, llError, "Cannot initialize the toRGB conversion context");
            FHooksStopped = true;
            return pic;
        }
        bool update = true, stop = false;
        try {
            FOnCustomHook(this, &FHookContext.Bitmap, FHookFrameNumber, ist.pts, update, stop);
        } catch (const std::exception& e) {
            LogMessage(this, llError, std::string("Error occurs OnCustomHook: ") + e.what());
            update = false;
        } catch (...) {
            // Whatever a host throws, the conversion goes on with the picture.
            LogMessage(this, llError, "Error occurs OnCustomHook: unknown exception");
            update = false;
        }
        if (update && !FHookContext.FromBitmap(pic)) {
            LogMessage(this, llError, "Cannot initialize the fromRGB conversion context");
            stop = true;
        }
        // A stopped hook is not called again, and the frame hooks go with it.
        if (stop)
            FHooksStopped = true;
    } else if (modules) {
        VexaHookPicture hp{};
        for (int p = 0; p < 4; ++p) {
            hp.data[p] = pic->data[p];
            hp.linesize[p] = pic->linesize[p];
        }
        frame_hooks.Process(&hp, pic->format, pic->width, pic->height, ist.pts);
    }
    return pic;
}

// The host's preview callbacks may hand work to the main thread, which may
// itself be waiting for the post-hook lock (changing the preview flags), so
// the lock guards only changes of the flags, never a callback. Reading them
// takes no lock: this runs for every encoded picture.
void TCustomFFmpeg::PostHooks(const AVFrame* picture, int64_t ptsUs)
{
    const TPostHooks hooks = FPostHooks.load();
    if (!hooks && !FPostContext.Previewer)
        return;
    // Preview switched off from outside: the window goes.
    if (!(hooks & phPreview) && FPostContext.Previewer)
        FPostContext.Previewer.reset();
    const bool bitmap = (hooks & phBitmap) && FOnPreviewBitmap;
    if (!bitmap && !(hooks & phPreview))
        return;
    FPostContext.preview_cur_time = AV.av_gettime_relative();
    if (FPostContext.preview_cur_time - FPostContext.preview_last_time <= PreviewInterval)
        return;
    FPostContext.preview_last_time = FPostContext.preview_cur_time;
    TPostHooks removed = 0;
    if (bitmap) {
        if (FPostContext.Context.ToBitmap(picture)) {
            FOnPreviewBitmap(this, &FPostContext.Context.Bitmap, FHookFrameNumber, ptsUs);
        } else {
            LogMessage(this, llError, "Cannot initialize the toRGB conversion context");
            removed = phBitmap;
        }
    } else {
        if (!FPostContext.Previewer)
            FPostContext.Previewer = CreatePreviewer();
        if (!FPostContext.Previewer || !FPostContext.Context.ToBitmap(picture) ||
            !FPostContext.Previewer->PaintFrame(FPostContext.Context.Bitmap, FHookFrameNumber, ptsUs)) {
            removed = phPreview;
            FPostContext.Previewer.reset();
        }
    }
    if (removed) {
        std::lock_guard<std::mutex> g(PostHookLock());
        FPostHooks.store(static_cast<TPostHooks>(FPostHooks.load() & ~removed));
    }
}

void TCustomFFmpeg::PrintReport(bool isLastReport, int fileIndex)
{
    int64_t totalSize = 0;
    if (!output_files.empty() && output_files[0]->ctx) {
        AVIOContext* pb = output_files[0]->ctx->pb;
        if (pb) {
            totalSize = AV.avio_size(pb);
            if (totalSize <= 0)
                totalSize = AV.avio_seek(pb, 0, SEEK_CUR);
            if (totalSize < 0)
                totalSize = 0;
        }
    }
    int frameNumber = -1, fps = -1;
    float q = -1.0f;
    const TAVOutputStream* video = nullptr;
    for (const auto& ost : ost_table)
        if (ost->setup->type == AVMEDIA_TYPE_VIDEO && ost->show_fps) {
            video = ost.get();
            break;
        }
    if (video) {
        frameNumber = static_cast<int>(video->frame_number);
        if (frameNumber < 1)
            return;
        const double t = static_cast<double>(AV.av_gettime_relative() - Ftimer_start) / 1000000.0;
        fps = t > 1 ? static_cast<int>(frameNumber / t + 0.5) : 0;
        q = video->encoding_needed ? static_cast<float>(video->quality) / FF_QP2LAMBDA : -1.0f;
    }
    double ti1 = 1e10;
    for (const auto& ost : ost_table) {
        const double ti = ost->setup->out_time;
        if (ti < ti1 && ti > 0)
            ti1 = ti;
    }
    if (ti1 < 0.01)
        ti1 = 0.01;
    const double bitrate = static_cast<double>(totalSize) * 8 / ti1 / 1000.0;

    const bool haveCallback = static_cast<bool>(FOnProgress);
    std::string line;
    if (haveCallback || verbose > 0 || isLastReport) {
        if (video) {
            line = Format("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, static_cast<double>(q));
            if (isLastReport)
                line += "L";
            if (qp_hist) {
                line += "qphist";
                for (int h : qp_histogram)
                    line += Format("%X", static_cast<int>(std::lrint(std::log2(h + 1))));
                line += " ";
            }
            if (video->encoding_needed && (video->setup->enc_ctx->flags & AV_CODEC_FLAG_PSNR)) {
                const AVCodecContext* enc = video->setup->enc_ctx.get();
                const double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0;
                const char planes[3] = {'Y', 'U', 'V'};
                double errSum = 0, scaleSum = 0;
                line += "PSNR=";
                for (int j = 0; j < 3; ++j) {
                    const double s = j ? scale / 4 : scale;
                    const double e = static_cast<double>(video->error[j]);
                    line += Format("%c:%2.2f ", planes[j], e > 0 ? -10.0 * std::log10(e / s) : 99.99);
                    errSum += e;
                    scaleSum += s;
                }
                line += Format("*:%2.2f ", errSum > 0 ? -10.0 * std::log10(errSum / scaleSum) : 99.99);
            }
        }
        line += Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", static_cast<double>(totalSize) / 1024, ti1,
                       bitrate);
        if (nb_frames_dup || nb_frames_drop)
            line += Format(" dup=%d drop=%d", nb_frames_dup, nb_frames_drop);
    }
    if (haveCallback) {
        FOnProgress(this, fileIndex, frameNumber, fps, q, static_cast<float>(bitrate), totalSize,
                    static_cast<int64_t>(ti1 * 1000000), FTotalOutputDuration);
        if (Fdup_drop_since_report && verbose >= 0)
            LogMessage(this, llVerbose, line);
    } else if (verbose >= 0) {
        LogMessage(this, llVerbose, line);
    }
    Fdup_drop_since_report = false;

    if (isLastReport && verbose >= 0) {
        const double sum = static_cast<double>(video_size + audio_size + extra_size);
        const double overhead = sum > 0 ? (static_cast<double>(totalSize) - sum) * 100.0 / sum : 0.0;
        LogMessageFmt(this, llVerbose, "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
                      static_cast<double>(video_size) / 1024.0, static_cast<double>(audio_size) / 1024.0,
                      static_cast<double>(extra_size) / 1024.0, overhead);
    }
}

}  // namespace vexa
