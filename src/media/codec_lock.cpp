#include "media/codec_lock.h"

#include "media/av_entries.h"

namespace vexa {

std::mutex& CodecLock()
{
    static std::mutex lock;
    return lock;
}

int OpenCodec(AVCodecContext* ctx, const AVCodec* codec, AVDictionary** options)
{
    std::lock_guard<std::mutex> g(CodecLock());
    return AV.avcodec_open2(ctx, codec, options);
}

void FreeCodecContext(AVCodecContext** ctx)
{
    if (!ctx || !*ctx)
        return;
    std::lock_guard<std::mutex> g(CodecLock());
    AV.avcodec_free_context(ctx);
}

int FindStreamInfo(AVFormatContext* ctx, AVDictionary** options)
{
    std::lock_guard<std::mutex> g(CodecLock());
    return AV.avformat_find_stream_info(ctx, options);
}

}  // namespace vexa
