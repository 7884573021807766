#pragma once
// Per-file and per-stream state of a task: what opening inputs and outputs
// sets up, and what a conversion keeps while it runs.
#include "media/av_ptr.h"
#include "media/picture_pool.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

inline constexpr int kMaxStreams = 20;  // per file: time-stamp scales, stream ids

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// The decoder chosen for one input stream, with its context (parameters of
// the stream plus the remembered decoding options), opened at conversion start.
struct TInputCodec {
    const AVCodec* dec = nullptr;
    CodecContextPtr dec_ctx;
    bool opened = false;
};

struct TInputFile {
    InputContextPtr ctx;
    std::string file_name;  // as the host gave it
    int64_t ts_offset = 0;  // microseconds
    std::array<double, kMaxStreams> ts_scale{};  // 0: none
    std::vector<TInputCodec> codecs;  // one per stream
};

// One output stream as created when the output opens. In join mode every
// segment's output stream refers to the same one.
struct TOutputStreamSetup {
    AVStream* st = nullptr;
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    bool stream_copy = false;
    const AVCodec* enc = nullptr;
    AVCodecID codec_id = AV_CODEC_ID_NONE;  // kept for reopening the encoder
    AVMemPtr<char> stats_in;                // pass-2 statistics; outlives enc_ctx
    CodecContextPtr enc_ctx;                // encoder parameters, opened at conversion start
    std::vector<BsfPtr> bsfs;               // bitstream filter chain, in order
    std::vector<PacketPtr> bsf_out;         // what each filter gives, reused packet to packet
    // What the muxer was given so far; join segments share it.
    double out_time = 0;                    // end of the last packet written, seconds
    int64_t last_dts = AV_NOPTS_VALUE;      // in the stream's time base
    bool drained = false;                   // the encoder gave its delayed packets
    bool bsfs_ended = false;                // the bitstream filters gave what they held
    int64_t packets = 0;                    // given to the muxer
};

struct TOutputFile {
    OutputContextPtr ctx;
    std::string file_name;  // as the host gave it
    std::vector<std::unique_ptr<TOutputStreamSetup>> streams;
    bool header_written = false;
    bool has_file = false;  // this task created the file on disk
    bool discard = false;   // the conversion failed to put anything in it: delete it
};

// One opened codec, so that every codec opened can be closed after an error.
struct TCodecItem {
    CodecContextPtr* ctx = nullptr;  // the owner; closing resets it
    AVStream* st = nullptr;
    AVMemPtr<char>* stats = nullptr;  // pass-2 statistics released with an encoder
};

// Created when a conversion starts, freed when it ends.
struct TAVInputFile {
    bool eof_reached = false;
    int ist_index = 0;  // index of the file's first stream in the input stream table
    int buffer_size = 0;
    int nb_streams = 0;
    bool no_packet = false;  // the last read asked to be tried again later
    int64_t reached = -1;    // end of the last packet read, microseconds of the file's own time
};

struct TAVInputStream {
    int file_index = 0;
    int index = 0;
    AVStream* st = nullptr;
    TInputCodec* codec = nullptr;
    bool discard = false;
    bool mapped = false;  // an output stream takes its packets
    bool decoding_needed = false;
    int64_t sample_index = 0;
    int64_t start = 0;  // wall-clock start for rate emulation, microseconds
    int64_t next_pts = AV_NOPTS_VALUE;
    int64_t pts = 0;
    bool is_start = true;
    bool showed_multi_packet_warning = false;
    bool is_past_recording_time = false;
    bool decoder_flushed = false;
    // The video filter graph of this stream, when a filter chain is in use.
    FilterGraphPtr filter_graph;
    AVFilterContext* out_video_filter = nullptr;
    AVFilterContext* input_video_filter = nullptr;
    FramePtr filter_frame;
    bool has_filter_frame = false;
    bool filter_ended = false;  // the graph was told that no more pictures come
    FramePtr picref;
};

struct TAVOutputStream {
    int file_index = 0;    // output slot
    int index = 0;         // stream index in the output
    int source_index = 0;  // input stream table index
    AVStream* st = nullptr;
    TOutputStreamSetup* setup = nullptr;
    bool encoding_needed = false;
    int64_t frame_number = 0;
    TAVInputStream* sync_ist = nullptr;
    int64_t sync_opts = 0;  // output time in encoder time base units
    // video
    bool video_resample = false;
    FramePtr pict_tmp;
    TPicturePool pict_pool;  // a fresh buffer for every scaled picture
    SwsPtr img_resample_ctx;
    int resample_height = 0;
    int resample_width = 0;
    int resample_pix_fmt = AV_PIX_FMT_NONE;
    int original_height = 0;
    int original_width = 0;
    bool video_crop = false;
    int topBand = 0, bottomBand = 0, leftBand = 0, rightBand = 0;
    int original_topBand = 0, original_bottomBand = 0, original_leftBand = 0, original_rightBand = 0;
    // audio
    bool audio_resample = false;
    SwrPtr resample;
    int reformat_pair = 0;
    SwrPtr reformat_ctx;
    AudioFifoPtr fifo;
    FilePtr logfile;  // pass-1 statistics
    AVCodecID codec_id = AV_CODEC_ID_NONE;
    bool show_fps = true;
    // Work pictures and sample blocks, allocated once and reused.
    FramePtr crop_frame;   // the decoded picture seen through the crop bands
    FramePtr conv_frame;   // samples in the encoder's format, before the FIFO
    FramePtr enc_frame;    // one encoder frame cut from the FIFO
    int conv_capacity = 0; // samples conv_frame holds
    int enc_capacity = 0;
    int swr_in_rate = 0;   // what the resampler was made for
    int swr_in_fmt = -1;
    int swr_in_channels = 0;
    // From the encoder's last packet.
    int quality = 0;       // lambda units
    int64_t error[4] = {0, 0, 0, 0};
    int pict_type = 0;
};

// Feeds one packet (or, without one, the end of the stream) to a decoder
// and hands out the frames it gives. A decoder that still holds frames may
// answer the packet with EAGAIN: its frames are taken first and the packet
// is sent again, so no packet is lost.
class TDecodeStep {
public:
    TDecodeStep(AVCodecContext* dec, const AVPacket* pkt) : dec_(dec), pkt_(pkt) { Send(); }
    // 0 with a frame; EAGAIN or EOF when the packet is used up; or an error.
    int Next(AVFrame* frame)
    {
        for (;;) {
            if (error_ < 0)
                return error_;
            const int r = AV.avcodec_receive_frame(dec_, frame);
            if (r != AVERROR(EAGAIN) || sent_)
                return r;
            Send();
            if (!sent_ && error_ == 0)
                return AVERROR(EAGAIN);  // neither takes nor gives: nothing more to do
        }
    }

private:
    void Send()
    {
        const int r = AV.avcodec_send_packet(dec_, pkt_);
        if (r >= 0 || r == AVERROR_EOF)
            sent_ = true;
        else if (r != AVERROR(EAGAIN))
            error_ = r;
    }

    AVCodecContext* dec_;
    const AVPacket* pkt_;
    bool sent_ = false;
    int error_ = 0;
};

struct TStreamMap {
    int file_index = 0;
    int stream_index = 0;
    int sync_file_index = 0;
    int sync_stream_index = 0;
};

struct TMetaDataMap {
    int out_file = 0;
    int in_file = 0;
};

}  // namespace vexa
