// Setting up a conversion: stream mapping, codec parameters, encoders and
// decoders, metadata, chapters and headers.
#include "engine/custom_ffmpeg.h"

#include "media/ffmpeg_loader.h"

#include "engine/ff_common.h"
#include "media/ffmpeg_logger.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

namespace vexa {

namespace {

const char* KindOf(const AVStream* st)
{
    return MediaKindName(st->codecpar->codec_type);
}

bool InProgram(const AVFormatContext* ic, int programId, int streamIndex)
{
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
        const AVProgram* prog = ic->programs[p];
        if (prog->id != programId)
            continue;
        for (unsigned k = 0; k < prog->nb_stream_indexes; ++k)
            if (static_cast<int>(prog->stream_index[k]) == streamIndex)
                return true;
    }
    return false;
}

}  // namespace

void TCustomFFmpeg::FreeConversionState()
{
    ost_table.clear();
    ist_table.clear();
    file_table.clear();
    Fbit_buffer.reset();
    Fbit_buffer_size = 0;
}

void TCustomFFmpeg::CloseCodecs()
{
    for (TCodecItem& item : open_encoders) {
        if (item.ctx && *item.ctx)
            (*item.ctx)->stats_in = nullptr;
        if (item.stats)
            item.stats->reset();
        if (item.ctx)
            item.ctx->reset();  // closes under the codec lock
    }
    open_encoders.clear();
    for (TCodecItem& item : open_decoders)
        if (item.ctx)
            item.ctx->reset();
    open_decoders.clear();
}

void TCustomFFmpeg::CreateInputStreams()
{
    file_table.assign(input_files.size(), TAVInputFile{});
    ist_table.clear();
    for (size_t i = 0; i < input_files.size(); ++i) {
        AVFormatContext* ic = input_files[i].ctx.get();
        file_table[i].ist_index = static_cast<int>(ist_table.size());
        file_table[i].nb_streams = static_cast<int>(ic->nb_streams);
        for (unsigned k = 0; k < ic->nb_streams; ++k) {
            auto ist = std::make_unique<TAVInputStream>();
            ist->file_index = static_cast<int>(i);
            ist->index = static_cast<int>(k);
            ist->st = ic->streams[k];
            ist->codec = &input_files[i].codecs[k];
            ist->discard = false;
            if (rate_emu)
                ist->start = AV.av_gettime();
            ist_table.push_back(std::move(ist));
        }
    }
}

void TCustomFFmpeg::MapOutputStreams()
{
    int nb_ostreams = 0;
    for (size_t slot = 0; slot < output_files.size(); ++slot) {
        AVFormatContext* oc = output_files[slot]->ctx.get();
        if (oc->nb_streams == 0) {
            AV.av_dump_format(oc, static_cast<int>(slot), DecodeLibFileName(oc->url ? oc->url : "").c_str(), 1);
            RaiseFmt("Output file #%d does not contain any stream", static_cast<int>(slot));
        }
        nb_ostreams += static_cast<int>(oc->nb_streams);
    }
    if (!stream_maps.empty() && static_cast<int>(stream_maps.size()) != nb_ostreams)
        Raise("Number of stream maps must match number of output streams");

    auto findIst = [this](int file, int stream) -> TAVInputStream* {
        if (file < 0 || file >= static_cast<int>(file_table.size()) || stream < 0 ||
            stream >= file_table[static_cast<size_t>(file)].nb_streams)
            return nullptr;
        return ist_table[static_cast<size_t>(file_table[static_cast<size_t>(file)].ist_index + stream)].get();
    };

    // Within each file, the stream the library ranks first for a kind; it
    // stands for the one that showed the most frames while probing.
    auto bestOfFile = [this](int file, AVMediaType type) {
        return AV.av_find_best_stream(input_files[static_cast<size_t>(file)].ctx.get(), type, -1, -1, nullptr, 0);
    };

    size_t n = 0;
    for (size_t slot = 0; slot < output_files.size(); ++slot) {
        TOutputFile& of = *output_files[slot];
        for (size_t k = 0; k < of.streams.size(); ++k, ++n) {
            auto ost = std::make_unique<TAVOutputStream>();
            ost->file_index = static_cast<int>(slot);
            ost->index = static_cast<int>(k);
            ost->setup = of.streams[k].get();
            ost->st = ost->setup->st;
            ost->codec_id = ost->setup->codec_id;
            const AVMediaType type = ost->setup->type;
            TAVInputStream* ist = nullptr;
            if (!stream_maps.empty()) {
                const TStreamMap& m = stream_maps[n];
                ist = findIst(m.file_index, m.stream_index);
                if (!ist)
                    RaiseFmt("Could not find input stream #%d.%d", m.file_index, m.stream_index);
                TAVInputStream* sync = findIst(m.sync_file_index, m.sync_stream_index);
                if (!sync || sync->st->discard == AVDISCARD_ALL)
                    RaiseFmt("Could not find sync stream #%d.%d", m.sync_file_index, m.sync_stream_index);
                if (ist->st->codecpar->codec_type != type)
                    RaiseFmt("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)", m.file_index,
                             m.stream_index, KindOf(ist->st), static_cast<int>(slot), static_cast<int>(k),
                             MediaKindName(type));
                ost->sync_ist = sync;
            } else {
                int bestScore = -1;
                for (auto& cand : ist_table) {
                    if (cand->mapped || cand->st->discard == AVDISCARD_ALL || cand->st->codecpar->codec_type != type)
                        continue;
                    if (opt_programid &&
                        !InProgram(input_files[static_cast<size_t>(cand->file_index)].ctx.get(), opt_programid,
                                   cand->index))
                        continue;
                    if (FJoinMode && cand->file_index != static_cast<int>(slot))
                        continue;
                    const int score = bestOfFile(cand->file_index, type) == cand->index ? 1 : 0;
                    if (score > bestScore) {
                        bestScore = score;
                        ist = cand.get();
                    }
                }
                if (!ist && !opt_programid && !FJoinMode) {
                    for (auto& cand : ist_table)
                        if (cand->st->discard != AVDISCARD_ALL && cand->st->codecpar->codec_type == type)
                            ist = cand.get();
                }
                if (!ist)
                    RaiseFmt("Could not find input stream matching output stream #%d.%d (%s)", static_cast<int>(slot),
                             static_cast<int>(k), MediaKindName(type));
                ost->sync_ist = ist;
            }
            ist->mapped = true;
            ost->source_index = file_table[static_cast<size_t>(ist->file_index)].ist_index + ist->index;
            ost->show_fps = true;
            ost_table.push_back(std::move(ost));
        }
    }
}

void TCustomFFmpeg::SetupOutputCodecs()
{
    Fbit_buffer_size = 1024 * 256;
    for (size_t i = 0; i < ost_table.size(); ++i) {
        TAVOutputStream& ost = *ost_table[i];
        TAVInputStream& ist = *ist_table[static_cast<size_t>(ost.source_index)];
        TOutputStreamSetup& s = *ost.setup;
        AVStream* st = ost.st;
        AVFormatContext* oc = output_files[static_cast<size_t>(ost.file_index)]->ctx.get();
        const AVCodecParameters* ipar = ist.st->codecpar;
        // Join segments share one output stream: the first segment sets it up.
        const bool firstSegment = !FJoinMode || ost.file_index == 0;
        if (firstSegment)
            AV.av_dict_copy(&st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);

        if (s.stream_copy) {
            if (s.type == AVMEDIA_TYPE_AUDIO && audio_volume != 256)
                Raise("-acodec copy and -vol are incompatible (frames are not decoded)");
            if (s.type == AVMEDIA_TYPE_VIDEO) {
                if (FOnCustomHook)
                    Raise("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
                if (!frame_hooks.Empty())
                    Raise("-vcodec copy and -vhook are incompatible (frames are not decoded)");
                if (PostHooks() != 0)
                    Raise("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
            }
            if (!firstSegment)
                continue;
            if (static_cast<uint64_t>(ipar->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT_MAX)
                Raise("icodec.extradata_size is invalid (too large)");
            const AVRational keepSar = st->sample_aspect_ratio;
            if (AV.avcodec_parameters_copy(st->codecpar, ipar) < 0)
                Raise("Not enough memory");
            // The input's tag only when the output format maps it to the same codec.
            const AVCodecTag* const* tags = oc->oformat->codec_tag;
            if (tags && AV.av_codec_get_id(tags, ipar->codec_tag) != ipar->codec_id &&
                AV.av_codec_get_tag(tags, ipar->codec_id) > 0)
                st->codecpar->codec_tag = 0;
            AVRational ctb = ist.st->time_base;
            if (ipar->codec_type == AVMEDIA_TYPE_VIDEO && ist.st->r_frame_rate.num > 0) {
                const AVRational frameTb = av_inv_q(ist.st->r_frame_rate);
                if (av_q2d(frameTb) > av_q2d(ist.st->time_base) && av_q2d(ist.st->time_base) < 1.0 / 1000)
                    ctb = frameTb;
            }
            st->time_base = ctb;
            if (s.type == AVMEDIA_TYPE_VIDEO) {
                const AVRational sar = keepSar.num ? keepSar : ist.st->sample_aspect_ratio;
                st->sample_aspect_ratio = sar;
                st->codecpar->sample_aspect_ratio = sar;
                st->avg_frame_rate = ist.st->avg_frame_rate;
            }
            continue;
        }

        AVCodecContext* enc = s.enc_ctx.get();
        AVCodecContext* dec = ist.codec->dec_ctx.get();
        ost.encoding_needed = true;
        ist.decoding_needed = true;
        if (s.type == AVMEDIA_TYPE_AUDIO) {
            ost.fifo.reset(AV.av_audio_fifo_alloc(enc->sample_fmt == AV_SAMPLE_FMT_NONE ? AV_SAMPLE_FMT_S16 : enc->sample_fmt,
                                                  enc->ch_layout.nb_channels > 0 ? enc->ch_layout.nb_channels : 1,
                                                  1024));
            if (!ost.fifo)
                Raise("Not enough memory");
            ost.audio_resample = (dec && dec->sample_rate != enc->sample_rate) || audio_sync_method > 1;
        } else if (s.type == AVMEDIA_TYPE_VIDEO) {
            // A stream whose pictures were never seen (a file holding its
            // headers only) has no format to scale or filter from.
            if (enc->pix_fmt == AV_PIX_FMT_NONE || ipar->format == AV_PIX_FMT_NONE || ipar->width <= 0 ||
                ipar->height <= 0)
                Raise("Video pixel format is unknown, stream cannot be encoded");
            ost.topBand = ost.original_topBand = frame_topBand;
            ost.bottomBand = ost.original_bottomBand = frame_bottomBand;
            ost.leftBand = ost.original_leftBand = frame_leftBand;
            ost.rightBand = ost.original_rightBand = frame_rightBand;
            ost.video_crop = frame_topBand || frame_bottomBand || frame_leftBand || frame_rightBand;
            const int srcW = ipar->width - (frame_leftBand + frame_rightBand);
            const int srcH = ipar->height - (frame_topBand + frame_bottomBand);
            ost.video_resample = enc->width != srcW || enc->height != srcH || enc->pix_fmt != ipar->format;
            ost.original_width = ipar->width;
            ost.original_height = ipar->height;
            ost.resample_width = srcW;
            ost.resample_height = srcH;
            ost.resample_pix_fmt = ipar->format;
            // The filter graph crops and scales itself.
            if (ost.video_resample && !enable_filter) {
                ost.pict_tmp.reset(AV.av_frame_alloc());
                if (!ost.pict_tmp || !ost.pict_pool.Get(ost.pict_tmp.get(), enc->pix_fmt, enc->width, enc->height))
                    Raise("Cannot allocate temp picture, check pix fmt");
                ost.img_resample_ctx.reset(AV.sws_getContext(srcW, srcH, static_cast<AVPixelFormat>(ipar->format),
                                                             enc->width, enc->height, enc->pix_fmt,
                                                             opts_ ? opts_->ScalerFlags() : sws_flags, nullptr,
                                                             nullptr, nullptr));
                if (!ost.img_resample_ctx)
                    Raise("Cannot get resampling context");
            }
            if (enable_filter)
                ConfigureFilters(ist, ost);
        }

        if (firstSegment && (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
            SetupPassLog(ost, static_cast<int>(i));
        if (s.type == AVMEDIA_TYPE_VIDEO) {
            const int64_t need = static_cast<int64_t>(enc->width) * enc->height * 6 + 200;
            if (need > Fbit_buffer_size)
                Fbit_buffer_size = need > INT_MAX ? INT_MAX : static_cast<int>(need);
        }
    }
    // Only subtitle encoding writes into a buffer of ours.
    bool subtitles = false;
    for (const auto& ost : ost_table)
        subtitles = subtitles || (ost->encoding_needed && ost->setup->type == AVMEDIA_TYPE_SUBTITLE);
    if (!subtitles) {
        Fbit_buffer_size = 0;
        return;
    }
    Fbit_buffer.reset(static_cast<uint8_t*>(AV.av_malloc(static_cast<size_t>(Fbit_buffer_size))));
    if (!Fbit_buffer)
        RaiseFmt("Cannot allocate %d bytes output buffer", Fbit_buffer_size);
}

// Without a "passlogfile" prefix the statistics go to a private folder
// under the temporary folder, named after the task's inputs and output: a
// second pass over the same files finds the first pass's statistics, and
// tasks converting other files at the same time never share them.
std::string TCustomFFmpeg::PassLogPrefix() const
{
    if (!pass_logfilename_prefix.empty())
        return pass_logfilename_prefix;
    std::string key;
    std::error_code ec;
    for (const TInputFile& in : input_files)
        key += std::filesystem::absolute(in.file_name, ec).string() + '\n';
    for (const auto& of : output_owned)
        key += std::filesystem::absolute(of->file_name, ec).string() + '\n';
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = Format("%s/vexa-2pass-%u", tmp && *tmp ? tmp : "/tmp", static_cast<unsigned>(::getuid()));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        RaiseFmt("Cannot write log file %s for pass-1 encoding", folder.c_str());
    // Only a folder of our own: not a link, nor one someone else made.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        RaiseFmt("Cannot write log file %s for pass-1 encoding", folder.c_str());
    return Format("%s/%016llx-ffmpeg2pass", folder.c_str(),
                  static_cast<unsigned long long>(std::hash<std::string>{}(key)));
}

void TCustomFFmpeg::SetupPassLog(TAVOutputStream& ost, int index)
{
    TOutputStreamSetup& s = *ost.setup;
    AVCodecContext* enc = s.enc_ctx.get();
    const bool pass1 = (enc->flags & AV_CODEC_FLAG_PASS1) != 0;
    std::string logname = Format("%s-%d.log", PassLogPrefix().c_str(), index);
    if (logname.size() > 1023)
        logname.resize(1023);
    // Encoders that keep their statistics themselves take the name as an
    // option; left alone they write to the current folder.
    if (enc->priv_data && AV.av_opt_find(enc->priv_data, "stats", nullptr, 0, 0)) {
        if (AV.av_opt_set(enc->priv_data, "stats", logname.c_str(), 0) < 0)
            RaiseFmt("Cannot write log file %s for pass-1 encoding", logname.c_str());
        if (!pass1 && !platform::FileExists(logname))
            RaiseFmt("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", logname.c_str());
        if (!pass1) {
            FPassLogs.push_back(logname);
            FPassLogs.push_back(logname + ".mbtree");
        }
        return;
    }
    if (pass1) {
        ost.logfile.reset(std::fopen(logname.c_str(), "wb"));
        if (!ost.logfile)
            RaiseFmt("Cannot write log file %s for pass-1 encoding", logname.c_str());
        return;
    }
    FilePtr f(std::fopen(logname.c_str(), "rb"));
    if (!f)
        RaiseFmt("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", logname.c_str());
    std::fseek(f.get(), 0, SEEK_END);
    const long size = std::ftell(f.get());
    std::fseek(f.get(), 0, SEEK_SET);
    AVMemPtr<char> buf(static_cast<char*>(AV.av_malloc(static_cast<size_t>(size < 0 ? 0 : size) + 1)));
    if (!buf || size < 0)
        RaiseFmt("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
                 logname.c_str());
    if (std::fread(buf.get(), 1, static_cast<size_t>(size), f.get()) != static_cast<size_t>(size))
        RaiseFmt("Cannot read file: Error reading log file \"%s\" for pass-2 encoding", logname.c_str());
    buf.get()[size] = '\0';
    s.stats_in = std::move(buf);
    enc->stats_in = s.stats_in.get();
    FPassLogs.push_back(logname);
}

void TCustomFFmpeg::RemovePassLogs()
{
    // Only statistics in our own folder: a "passlogfile" the user named
    // stays for the user.
    if (pass_logfilename_prefix.empty())
        for (const std::string& name : FPassLogs)
            std::remove(name.c_str());
    FPassLogs.clear();
}

void TCustomFFmpeg::ConfigureFilters(TAVInputStream& ist, TAVOutputStream& ost)
{
    const std::string before = FLastErrMsg;
    auto fail = [this, &before](const std::string& why) {
        FLastErrMsg = why.empty() ? before : why;
        if (FLastErrMsg.empty())
            Raise("Error opening filters!");
        Raise("Error opening filters: " + FLastErrMsg);
    };
    AVCodecContext* enc = ost.setup->enc_ctx.get();
    const AVCodecParameters* ipar = ist.st->codecpar;
    ist.filter_graph.reset(AV.avfilter_graph_alloc());
    AVFilterGraph* graph = ist.filter_graph.get();
    if (!graph)
        fail("Not enough memory");

    const AVRational tb = ist.st->time_base.num ? ist.st->time_base : AVRational{1, AV_TIME_BASE};
    const AVRational sar = ipar->sample_aspect_ratio.num ? ipar->sample_aspect_ratio : AVRational{0, 1};
    const std::string srcArgs = Format("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", ipar->width,
                                       ipar->height, ipar->format, tb.num, tb.den, sar.num, sar.den);
    AVFilterContext* src = nullptr;
    int r = AV.avfilter_graph_create_filter(&src, AV.avfilter_get_by_name("buffer"), "src", srcArgs.c_str(), nullptr,
                                            graph);
    if (r < 0)
        fail(LibErrorText(r));
    AVFilterContext* sink = AV.avfilter_graph_alloc_filter(graph, AV.avfilter_get_by_name("buffersink"), "ffmpeg_output");
    if (!sink)
        fail("Not enough memory");
    const AVPixelFormat fmts[] = {enc->pix_fmt};
    r = AV.av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(fmts), sizeof fmts,
                          AV_OPT_SEARCH_CHILDREN);
    if (r >= 0)
        r = AV.avfilter_init_str(sink, nullptr);
    if (r < 0)
        fail(LibErrorText(r));

    AVFilterContext* last = src;
    const int cropW = ipar->width - (ost.leftBand + ost.rightBand);
    const int cropH = ipar->height - (ost.topBand + ost.bottomBand);
    if (ost.video_crop) {
        AVFilterContext* crop = nullptr;
        const std::string args = Format("x=%d:y=%d:w=%d:h=%d", ost.leftBand, ost.topBand, cropW, cropH);
        r = AV.avfilter_graph_create_filter(&crop, AV.avfilter_get_by_name("crop"), "crop", args.c_str(), nullptr, graph);
        if (r >= 0)
            r = AV.avfilter_link(last, 0, crop, 0);
        if (r < 0)
            fail(LibErrorText(r));
        last = crop;
    }
    const int scalerFlags = opts_ ? opts_->ScalerFlags() : sws_flags;
    if (cropW != enc->width || cropH != enc->height) {
        AVFilterContext* scale = nullptr;
        const std::string args = Format("w=%d:h=%d:flags=0x%X", enc->width, enc->height, static_cast<unsigned>(scalerFlags));
        r = AV.avfilter_graph_create_filter(&scale, AV.avfilter_get_by_name("scale"), "scale", args.c_str(), nullptr,
                                            graph);
        if (r >= 0)
            r = AV.avfilter_link(last, 0, scale, 0);
        if (r < 0)
            fail(LibErrorText(r));
        last = scale;
    }
    const std::string swsOpts = Format("flags=0x%X", static_cast<unsigned>(scalerFlags));
    graph->scale_sws_opts = AV.av_strdup(swsOpts.c_str());

    FilterInOutPtr outputs(AV.avfilter_inout_alloc());
    FilterInOutPtr inputs(AV.avfilter_inout_alloc());
    if (!outputs || !inputs)
        fail("Not enough memory");
    outputs->name = AV.av_strdup("in");
    outputs->filter_ctx = last;
    outputs->pad_idx = 0;
    inputs->name = AV.av_strdup("out");
    inputs->filter_ctx = sink;
    inputs->pad_idx = 0;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    r = AV.avfilter_graph_parse_ptr(graph, vfilters.c_str(), &in, &out, nullptr);
    inputs.reset(in);
    outputs.reset(out);
    if (r < 0)
        fail(LibErrorText(r));
    r = AV.avfilter_graph_config(graph, nullptr);
    if (r < 0)
        fail(LibErrorText(r));
    ist.input_video_filter = src;
    ist.out_video_filter = sink;
    enc->width = AV.av_buffersink_get_w(sink);
    enc->height = AV.av_buffersink_get_h(sink);
    ist.filter_frame.reset(AV.av_frame_alloc());
}

void TCustomFFmpeg::DumpStreamMapping()
{
    if (verbose < 0)
        return;
    LogMessage(this, llVerbose, "Stream mapping:");
    for (const auto& ost : ost_table) {
        const TAVInputStream& ist = *ist_table[static_cast<size_t>(ost->source_index)];
        std::string line = Format("  Stream #%d.%d -> #%d.%d (%s)", ist.file_index, ist.index, ost->file_index,
                                  ost->index, KindOf(ist.st));
        if (ost->sync_ist && ost->sync_ist != &ist)
            line += Format(" [sync #%d.%d (%s)]", ost->sync_ist->file_index, ost->sync_ist->index,
                           KindOf(ost->sync_ist->st));
        LogMessage(this, llVerbose, line);
    }
}

void TCustomFFmpeg::FailAfterDump(const std::string& message)
{
    DumpStreamMapping();
    Raise(message);
}

// Text subtitle encoders need the style header their decoder makes when it
// opens, so that decoder opens ahead of the others.
void TCustomFFmpeg::TakeSubtitleHeader(TAVInputStream& ist, AVCodecContext& enc)
{
    if (!ist.codec->opened)
        OpenDecoder(ist);
    const AVCodecContext* dec = ist.codec->dec_ctx.get();
    if (!dec->subtitle_header || dec->subtitle_header_size <= 0)
        return;
    enc.subtitle_header = static_cast<uint8_t*>(AV.av_mallocz(static_cast<size_t>(dec->subtitle_header_size) + 1));
    if (!enc.subtitle_header)
        Raise("Not enough memory");
    std::memcpy(enc.subtitle_header, dec->subtitle_header, static_cast<size_t>(dec->subtitle_header_size));
    enc.subtitle_header_size = dec->subtitle_header_size;
}

void TCustomFFmpeg::OpenDecoder(TAVInputStream& ist)
{
    TInputCodec& c = *ist.codec;
    const AVCodec* codec = c.dec ? c.dec : AV.avcodec_find_decoder(ist.st->codecpar->codec_id);
    if (!codec || !c.dec_ctx) {
        const std::string msg =
            Format("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                   static_cast<int>(ist.st->codecpar->codec_id), ist.file_index, ist.index, KindOf(ist.st));
        LogMessage(this, llError, msg);
        FailAfterDump(msg);
    }
    c.dec_ctx->thread_count = CodecThreads();
    if (OpenCodec(c.dec_ctx.get(), codec, nullptr) < 0) {
        const std::string msg = Format("Error while opening decoder for input stream #%d.%d (%s)", ist.file_index,
                                       ist.index, KindOf(ist.st));
        LogMessage(this, llError, msg);
        FailAfterDump(msg);
    }
    c.opened = true;
    open_decoders.push_back(TCodecItem{&c.dec_ctx, ist.st, nullptr});
}

void TCustomFFmpeg::OpenEncodersAndDecoders()
{
    for (auto& ostp : ost_table) {
        TAVOutputStream& ost = *ostp;
        if (!ost.encoding_needed)
            continue;
        // Join segments share the streams; the first segment opens them.
        if (FJoinMode && ost.file_index > 0)
            continue;
        TOutputStreamSetup& s = *ost.setup;
        if (s.type == AVMEDIA_TYPE_SUBTITLE && !s.enc_ctx->subtitle_header)
            TakeSubtitleHeader(*ist_table[static_cast<size_t>(ost.source_index)], *s.enc_ctx);
        const AVCodec* codec = s.enc ? s.enc : AV.avcodec_find_encoder(s.enc_ctx->codec_id);
        if (!codec) {
            const std::string msg = Format("Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                                           static_cast<int>(s.enc_ctx->codec_id), ost.file_index, ost.index,
                                           MediaKindName(s.type));
            LogMessage(this, llError, msg);
            FailAfterDump(msg);
        }
        s.enc_ctx->thread_count = CodecThreads();
        if (OpenCodec(s.enc_ctx.get(), codec, nullptr) < 0) {
            const std::string msg = Format(
                "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters such as "
                "bit_rate, rate, width or height. Please check error log message to find out more detail "
                "information.",
                ost.file_index, ost.index, MediaKindName(s.type));
            LogMessage(this, llError, msg);
            FailAfterDump(msg);
        }
        open_encoders.push_back(TCodecItem{&s.enc_ctx, s.st, &s.stats_in});
        s.enc = codec;
        s.codec_id = codec->id;
        AV.avcodec_parameters_from_context(s.st->codecpar, s.enc_ctx.get());
        s.st->time_base = s.enc_ctx->time_base;
        if (s.type == AVMEDIA_TYPE_VIDEO)
            s.st->avg_frame_rate = s.enc_ctx->framerate;
        extra_size += s.enc_ctx->extradata_size;
    }
    for (auto& istp : ist_table)
        if (istp->decoding_needed && !istp->codec->opened)
            OpenDecoder(*istp);
    // Bitstream filters take the stream's final parameters.
    for (size_t f = 0; f < output_owned.size(); ++f) {
        for (size_t k = 0; k < output_owned[f]->streams.size(); ++k) {
            TOutputStreamSetup* s = output_owned[f]->streams[k].get();
            AVCodecParameters* par = s->st->codecpar;
            AVRational tb = s->st->time_base;
            for (BsfPtr& bsf : s->bsfs) {
                AV.avcodec_parameters_copy(bsf->par_in, par);
                bsf->time_base_in = tb;
                if (AV.av_bsf_init(bsf.get()) < 0)
                    FailAfterDump(Format("Error initializing bitstream filter %s for output stream #%d.%d (%s)",
                                         bsf->filter->name, static_cast<int>(f), static_cast<int>(k),
                                         MediaKindName(s->type)));
                par = bsf->par_out;
                tb = bsf->time_base_out;
            }
        }
    }
}

void TCustomFFmpeg::CopyMetadataAndChapters()
{
    for (auto& istp : ist_table) {
        istp->pts = 0;
        istp->next_pts = AV_NOPTS_VALUE;
        istp->is_start = true;
    }
    for (const TMetaDataMap& m : meta_data_maps) {
        if (m.out_file < 0 || m.out_file >= nb_output_files()) {
            const std::string msg = Format("Invalid output file index %d map_meta_data(%d,%d)", m.out_file,
                                           m.out_file, m.in_file);
            LogMessage(this, llError, msg);
            FailAfterDump(msg);
        }
        if (m.in_file < 0 || m.in_file >= nb_input_files()) {
            const std::string msg =
                Format("Invalid input file index %d map_meta_data(%d,%d)", m.in_file, m.out_file, m.in_file);
            LogMessage(this, llError, msg);
            FailAfterDump(msg);
        }
        AVFormatContext* out = output_files[static_cast<size_t>(m.out_file)]->ctx.get();
        AVFormatContext* in = input_files[static_cast<size_t>(m.in_file)].ctx.get();
        AV.av_dict_copy(&out->metadata, in->metadata, AV_DICT_DONT_OVERWRITE);
    }
    for (size_t i = 0; i < input_files.size(); ++i) {
        const AVFormatContext* is = input_files[i].ctx.get();
        if (!is->nb_chapters)
            continue;
        for (auto& ofp : output_owned) {
            AVFormatContext* os = ofp->ctx.get();
            for (unsigned c = 0; c < is->nb_chapters; ++c) {
                const AVChapter* in_ch = is->chapters[c];
                const int64_t ts_off =
                    AV.av_rescale_q(start_time - input_files[i].ts_offset, AV_TIME_BASE_Q, in_ch->time_base);
                const int64_t rt = recording_time == INT64_MAX
                                       ? INT64_MAX
                                       : AV.av_rescale_q(recording_time, AV_TIME_BASE_Q, in_ch->time_base);
                if (in_ch->end < ts_off)
                    continue;
                if (rt != INT64_MAX && in_ch->start > rt + ts_off)
                    break;
                auto* out_ch = static_cast<AVChapter*>(AV.av_mallocz(sizeof(AVChapter)));
                if (!out_ch)
                    FailAfterDump("av_mallocz fail");
                auto** grown = static_cast<AVChapter**>(
                    AV.av_realloc(os->chapters, sizeof(AVChapter*) * (os->nb_chapters + 1)));
                if (!grown) {
                    AV.av_free(out_ch);
                    FailAfterDump("av_realloc fail");
                }
                os->chapters = grown;
                out_ch->id = in_ch->id;
                out_ch->time_base = in_ch->time_base;
                out_ch->start = in_ch->start - ts_off > 0 ? in_ch->start - ts_off : 0;
                out_ch->end = in_ch->end - ts_off < rt ? in_ch->end - ts_off : rt;
                os->chapters[os->nb_chapters++] = out_ch;
                AV.av_dict_copy(&out_ch->metadata, in_ch->metadata, 0);
            }
        }
    }
}

void TCustomFFmpeg::WriteHeaders()
{
    for (size_t i = 0; i < output_owned.size(); ++i) {
        TOutputFile& of = *output_owned[i];
        if (AV.avformat_write_header(of.ctx.get(), nullptr) < 0)
            FailAfterDump(Format("Could not write header for output file #%d (incorrect codec parameters ?)",
                                 static_cast<int>(i)));
        of.header_written = true;
        if (std::string(of.ctx->oformat->name) == "rtp") {
            char sdp[16384];
            AVFormatContext* ctxs[] = {of.ctx.get()};
            if (AV.av_sdp_create(ctxs, 1, sdp, sizeof sdp) >= 0)
                LogMessage(this, llInfo, std::string("SDP:\r\n") + sdp);
        }
    }
}

void TCustomFFmpeg::PrepareTranscode()
{
    CheckAVLibSet(kEngineLibraries);
    FreeConversionState();
    FPassLogs.clear();
    CreateInputStreams();
    MapOutputStreams();
    SetupOutputCodecs();
    OpenEncodersAndDecoders();
    CopyMetadataAndChapters();
    WriteHeaders();
    DumpStreamMapping();
}

}  // namespace vexa
