#pragma once
// Owning handles for library objects. Each deleter calls through the entry
// table, so no path (exceptions included) leaks or frees by hand.
#include "media/av_entries.h"
#include "media/codec_lock.h"
#include "media/unicode_protocol.h"

#include <memory>

namespace vexa {

struct FrameDeleter { void operator()(AVFrame* p) const { AV.av_frame_free(&p); } };
struct PacketDeleter { void operator()(AVPacket* p) const { AV.av_packet_free(&p); } };
struct CodecContextDeleter { void operator()(AVCodecContext* p) const { FreeCodecContext(&p); } };
struct CodecParametersDeleter { void operator()(AVCodecParameters* p) const { AV.avcodec_parameters_free(&p); } };
struct InputContextDeleter { void operator()(AVFormatContext* p) const { CloseInputFile(&p); } };
struct OutputContextDeleter {
    void operator()(AVFormatContext* p) const
    {
        CloseOutputIO(p);
        AV.avformat_free_context(p);
    }
};
struct SwsDeleter { void operator()(SwsContext* p) const { AV.sws_freeContext(p); } };
struct SwrDeleter { void operator()(SwrContext* p) const { AV.swr_free(&p); } };
struct FilterGraphDeleter { void operator()(AVFilterGraph* p) const { AV.avfilter_graph_free(&p); } };
struct FilterInOutDeleter { void operator()(AVFilterInOut* p) const { AV.avfilter_inout_free(&p); } };
struct BsfDeleter { void operator()(AVBSFContext* p) const { AV.av_bsf_free(&p); } };
struct AudioFifoDeleter { void operator()(AVAudioFifo* p) const { AV.av_audio_fifo_free(p); } };
struct DictDeleter { void operator()(AVDictionary* p) const { AV.av_dict_free(&p); } };
struct AVMemDeleter { void operator()(void* p) const { AV.av_free(p); } };

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;
using BsfPtr = std::unique_ptr<AVBSFContext, BsfDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using DictPtr = std::unique_ptr<AVDictionary, DictDeleter>;
template <typename T>
using AVMemPtr = std::unique_ptr<T, AVMemDeleter>;

// Library error code to text ("No such file or directory", ...).
std::string AVErrorText(int code);

}  // namespace vexa
