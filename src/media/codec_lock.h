#pragma once
// One process-wide lock around every codec open and close and every
// stream-information read: the libraries' codec set-up is not safe to run
// from several threads at once. Nothing else is called under it and no other
// lock is taken while it is held.
#include <mutex>

struct AVCodecContext;
struct AVCodec;
struct AVDictionary;
struct AVFormatContext;

namespace vexa {

std::mutex& CodecLock();

int OpenCodec(AVCodecContext* ctx, const AVCodec* codec, AVDictionary** options);
// Closes and frees a codec context; safe on null.
void FreeCodecContext(AVCodecContext** ctx);
int FindStreamInfo(AVFormatContext* ctx, AVDictionary** options);

}  // namespace vexa
