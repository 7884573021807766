#pragma once
// One conversion task: the option state a sequence of named options builds,
// the inputs and outputs it opens with that state, and the set-up of
// streams, codecs and filters when the conversion starts.
#include "engine/ff_libopts.h"
#include "engine/transcode_state.h"
#include "media/frame_hook.h"
#include "media/previewer.h"
#include "media/rgb_convert.h"
#include "platform/bitmap.h"
#include "platform/thread.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vexa {

class TCustomFFmpeg;

// What is done with each encoded picture besides writing it.
enum TPostHook : uint8_t { phPreview = 1, phBitmap = 2, phHBITMAP = 4 };
using TPostHooks = uint8_t;
// Guards the post-hook state of every task.
std::mutex& PostHookLock();

// Codec threads: the task's share of the machine unless "threads" said.
inline constexpr int kThreadsChosen = -1;
// The cores this process may run on.
int MachineCores();
// One task's share of `cores` while `tasks` convert at once; at least one.
int ShareOfCores(int cores, int tasks);
// Tasks of this process converting now.
int ConvertingTasks();

using TCustomHookEvent = std::function<void(TCustomFFmpeg* Sender, platform::Bitmap* Bitmap, int FrameNumber,
                                            int64_t PTS, bool& Update, bool& StopHook)>;
using TPreviewBitmapEvent =
    std::function<void(TCustomFFmpeg* Sender, const platform::Bitmap* Bitmap, int FrameNumber, int64_t PTS)>;
using TProgressEvent = std::function<void(TCustomFFmpeg* Sender, int FileIndex, int FrameNumber, int FPS,
                                          float Quality, float BitRate, int64_t CurrentSize,
                                          int64_t CurrentDuration, int64_t TotalDuration)>;
using TTerminateEvent = std::function<void(TCustomFFmpeg* Sender)>;

// The preview state of a task, guarded by PostHookLock() where shared.
struct TPostHookContext {
    TRGBConvertContext Context;
    std::unique_ptr<TPreviewer> Previewer;
    int64_t preview_last_time = 0;  // wall clock, microseconds
    int64_t preview_cur_time = 0;
};

class TCustomFFmpeg {
public:
    explicit TCustomFFmpeg(int maxFiles = 20);
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // Frees inputs, outputs and conversion state and returns every option
    // to its default.
    void Reset();

    // Options (names in lower case); errors raise vexa::Error.
    void SetOption(const std::string& name, const std::string& value);
    bool SetLibraryOption(const std::string& name, const std::string& value);
    bool SetIntLibraryOption(const std::string& name, int64_t value);
    void AddMetadata(const std::string& key, const std::string& value);
    // "apre", "vpre", "spre" or "fpre" with a preset name or file.
    void ApplyPreset(const std::string& option, const std::string& value);
    // type "vcd", "svcd", "dvd", "dv", "dv50"; norm "pal", "ntsc", "film" or
    // anything else to derive it; defaultNorm decides when nothing does.
    void ApplyTarget(const std::string& type, const std::string& norm, const std::string& defaultNorm);

    // Direct setters for values the engine component holds as numbers; the
    // same checks as the options. Unset values (kNoTimestamp, negative or
    // zero as noted) leave the state alone.
    void SetFileFormat(const std::string& format);     // "f"
    void SetStartTime(int64_t us);                     // "ss"; kNoTimestamp: unset
    void SetRecordingTime(int64_t us);                 // "t"; kNoTimestamp: unset
    void SetProgramID(int id);                         // ignored when negative
    void SetSampleRate(int rate);                      // ignored unless above 0
    void SetChannels(int channels);                    // ignored unless above 0
    void SetAudioVolume(int volume);                   // ignored when negative
    void SetMuxDelay(float seconds);                   // ignored unless above 0
    void SetMuxPreload(float seconds);                 // ignored unless above 0
    void SetCrops(int top, int bottom, int left, int right);  // each ignored unless above 0
    void SetSyncMethods(int audio, int video);

    // Set-up.
    bool OpenInput(const std::string& fileName);
    int OpenOutput(const std::string& fileName, bool join);
    void NewVideoStream(TOutputFile& of);
    void NewAudioStream(TOutputFile& of);
    void NewSubtitleStream(TOutputFile& of);
    void PrepareTranscode();
    void CloseCodecs();
    // Frees what PrepareTranscode created (the conversion records).
    void FreeConversionState();

    // Conversion. StartConvert returns true when a worker thread was
    // started; without a thread the conversion has run when it returns.
    bool StartConvert(bool AUseThread, platform::TThreadPriority APriority = platform::TThreadPriority::tpNormal);
    // Asks a converting task to stop before its next packet (and waits for
    // its worker when asked, serving main-thread hand-offs meanwhile); ends a
    // task that never started on a short-lived thread of its own.
    void Stop(bool AWaitFor);
    // Holds the worker at the top of its packet loop, where it owns no lock.
    void Pause();
    void Resume();
    bool Paused() const { return FPaused.load(); }
    // How many tasks the host converts at once, so that the first tasks of a
    // run share the cores before the others have started.
    void SetTasksAtOnce(int n) { FTasksAtOnce.store(n > 1 ? n : 1); }
    // Threads of every decoder and encoder of the conversion: "threads" when
    // set (0: the libraries decide), else the share taken when it started.
    int CodecThreads() const;
    // The worker waits at the top of its loop (waiters are notified).
    bool PauseHeld() const { return FPauseHeld.load(); }
    bool Converting() const { return FConverting.load(); }
    bool Terminated() const { return FTerminated.load(); }
    bool Finished() const { return FFinished.load(); }
    bool FatalException() const { return FFatalException.load(); }
    std::string FatalMessage() const;
    // When the last conversion found an input ending clearly (more than a
    // second) before the length its header declares, as a cut-off download
    // does: how far it got and what was declared, microseconds; else -1.
    int64_t InputReached() const { return FInputReached.load(); }
    int64_t InputDeclared() const { return FInputDeclared.load(); }
    // Microseconds between progress reports and between previews.
    std::atomic<int64_t> ReportInterval{500000};
    int64_t PreviewInterval = 100000;

    // State.
    const std::string& LastErrMsg() const { return FLastErrMsg; }
    int nb_input_files() const { return static_cast<int>(input_files.size()); }
    int nb_output_files() const { return static_cast<int>(output_files.size()); }
    int MaxFiles() const { return nb_max_files; }
    int64_t TotalOutputDuration() const { return FTotalOutputDuration; }
    bool JoinMode() const { return FJoinMode; }
    int Verbose() const { return verbose; }
    void SetVerbose(int v) { verbose = v; }
    TFFOptions* LibraryOptions() const { return opts_.get(); }
    TPostHooks PostHooks() const;
    void SetPostHooks(TPostHooks hooks);
    // Adds and removes post-hooks in one step under the post-hook lock.
    void ChangePostHooks(TPostHooks add, TPostHooks remove);

    TInputFile& InputFile(int i) { return input_files[i]; }
    TOutputFile& OutputFile(int slot) { return *output_files[slot]; }

    // Callbacks the engine component connects.
    TCustomHookEvent FOnCustomHook;
    TPreviewBitmapEvent FOnPreviewBitmap;
    TProgressEvent FOnProgress;
    TTerminateEvent FOnTerminate;

    // ---- option state (names of the command-line tools) ----
    std::string last_asked_format;
    bool pgmyuv_compatibility_hack = false;
    int frame_width = 0, frame_height = 0;
    float frame_aspect_ratio = 0;
    AVPixelFormat frame_pix_fmt = AV_PIX_FMT_NONE;
    AVSampleFormat audio_sample_fmt = AV_SAMPLE_FMT_NONE;
    int frame_topBand = 0, frame_bottomBand = 0, frame_leftBand = 0, frame_rightBand = 0;
    int max_frames[4] = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};  // video, audio, data, subtitle
    AVRational frame_rate{0, 0};
    float video_qscale = 0;
    std::vector<uint16_t> intra_matrix, inter_matrix;  // empty: none, else 64 entries
    std::string video_rc_override_string;
    bool video_disable = false, audio_disable = false, subtitle_disable = false;
    int video_discard = 0;
    std::string video_codec_name, audio_codec_name, subtitle_codec_name;
    uint32_t video_codec_tag = 0, audio_codec_tag = 0, subtitle_codec_tag = 0;
    std::string video_language, audio_language, subtitle_language;
    bool same_quality = false, do_deinterlace = false;
    int top_field_first = -1;
    int me_threshold = 0;
    int intra_dc_precision = 8;
    bool loop_input = false;
    int loop_output = -1;
    bool qp_hist = false;
    std::string vfilters;
    bool intra_only = false;
    int audio_sample_rate = 44100;
    int64_t channel_layout = 0;
    float audio_qscale = -99999.0f;
    int audio_channels = 2;
    float mux_preload = 0.5f, mux_max_delay = 0.7f;
    int64_t recording_time = INT64_MAX;
    int64_t start_time = 0, recording_timestamp = 0, input_ts_offset = 0;
    std::vector<std::pair<std::string, std::string>> metadata;
    bool do_benchmark = false, do_hex_dump = false, do_pkt_dump = false, do_psnr = false;
    int do_pass = 0;
    std::string pass_logfilename_prefix;
    int audio_stream_copy = 0, video_stream_copy = 0, subtitle_stream_copy = 0;
    int video_sync_method = -1, audio_sync_method = 0;
    float audio_drift_threshold = 0.1f;
    bool copy_ts = false, opt_shortest = false;
    int video_global_header = 0;
    std::string vstats_filename;
    int opt_programid = 0;
    int copy_initial_nonkeyframes = 0;
    bool rate_emu = false;
    int video_channel = 0;
    std::string video_standard;
    int audio_volume = 256;
    bool exit_on_error = false;
    int verbose = 1;
    int thread_count = kThreadsChosen;
    int64_t limit_filesize = 0;
    bool force_fps = false;
    bool input_sync = false;
    float dts_delta_threshold = 10.0f;
    int sws_flags = 4;  // bicubic
    int streamid_map[kMaxStreams] = {};
    std::vector<TStreamMap> stream_maps;
    std::vector<TMetaDataMap> meta_data_maps;
    std::vector<std::array<double, kMaxStreams>> input_files_ts_scale;  // per input slot
    std::vector<BsfPtr> video_bitstream_filters, audio_bitstream_filters, subtitle_bitstream_filters;
    TFrameHookList frame_hooks;

    // ---- set-up state ----
    int nb_max_files = 20;
    std::vector<TInputFile> input_files;
    std::vector<std::unique_ptr<TOutputFile>> output_owned;  // one per output file
    std::vector<TOutputFile*> output_files;                  // one per slot (join repeats one)
    int64_t FTotalOutputDuration = -1;
    std::string FLastErrMsg;
    bool FJoinMode = false;
    bool enable_filter = false;
    std::list<TCodecItem> open_encoders, open_decoders;
    int64_t video_size = 0, audio_size = 0, extra_size = 0;

    // ---- conversion records (PrepareTranscode to the end of a conversion) ----
    std::vector<TAVInputFile> file_table;
    std::vector<std::unique_ptr<TAVInputStream>> ist_table;
    std::vector<std::unique_ptr<TAVOutputStream>> ost_table;
    AVMemPtr<uint8_t> Fbit_buffer;
    int Fbit_buffer_size = 0;

protected:
    // The conversion of one task, start to end, on the calling thread.
    void Run();
    void Transcode();
    void EndTask();
    // Closes everything a task holds (deleting outputs left at 0 bytes).
    void CleanUp();
    // Called before the inputs close, so that users of them can let go.
    virtual void BeforeCloseInputs() {}
    void Fatal(const std::string& message);
    // Stops a converting task, waiting for it, and joins every thread the
    // task started; derived destructors call it before they free anything.
    void StopAndJoin();

    // The loop's steps.
    int ChooseInput(int joinIndex, bool& stop);
    void HandlePacket(AVPacket* pkt, int fileIndex);
    // Decodes and writes one packet, or flushes the decoder without one;
    // false when decoding failed.
    bool OutputPacket(TAVInputStream& ist, const AVPacket* pkt);
    int DecodeVideo(TAVInputStream& ist, const AVPacket* pkt);
    int DecodeAudio(TAVInputStream& ist, const AVPacket* pkt);
    int DecodeSubtitle(TAVInputStream& ist, const AVPacket* pkt);
    void CopyPacket(TAVInputStream& ist, const AVPacket* pkt);
    void VideoFrameOut(TAVInputStream& ist, AVFrame* frame, int64_t frameTimeUs);
    void PullFilteredFrames(TAVInputStream& ist, int64_t frameTimeUs);
    void EndVideoFilters(TAVInputStream& ist);
    void DoVideoOut(TAVOutputStream& ost, TAVInputStream& ist, AVFrame* in, int64_t frameTimeUs);
    AVFrame* ScaleForEncoder(TAVOutputStream& ost, TAVInputStream& ist, AVFrame* in);
    void EncodeVideoFrame(TAVOutputStream& ost, AVFrame* picture);
    void DoAudioOut(TAVOutputStream& ost, TAVInputStream& ist, AVFrame* frame, int64_t frameTimeUs);
    void SetupAudioConversion(TAVOutputStream& ost, const AVFrame* frame);
    void EncodeAudioFifo(TAVOutputStream& ost, bool flush);
    void DrainResampler(TAVOutputStream& ost);
    void DoSubtitleOut(TAVOutputStream& ost, TAVInputStream& ist, AVSubtitle* sub, int64_t pts);
    // Hands a frame (null: the end) to the encoder; raises `failure`.
    void SendFrame(TAVOutputStream& ost, const AVFrame* frame, const char* failure);
    int ReceivePackets(TAVOutputStream& ost, const char* failure);
    void WritePacket(TAVOutputStream& ost, AVPacket* pkt);
    void FilterAndWrite(TAVOutputStream& ost, size_t k, AVPacket* pkt);
    void EndBitstreamFilters(TAVOutputStream& ost);
    void WriteOnePacket(TAVOutputStream& ost, AVPacket* pkt);
    void FlushEncoders();
    void NoteInputEnd(int fileIndex);
    // Silence into the sample FIFO up to `endSeconds` of output time.
    void PadAudioTo(TAVOutputStream& ost, double endSeconds);
    void EndJoinSegment(int& joinIndex, bool& stop);
    AVFrame* PreHooks(TAVInputStream& ist, AVFrame* frame);
    void PostHooks(const AVFrame* picture, int64_t ptsUs);
    void DoVideoStats(TAVOutputStream& ost, int frameSize);
    void PrintReport(bool isLastReport, int fileIndex);
    void WaitWhilePaused();

    // Checks a codec name for an input or output: "Unknown ...", "Invalid
    // ... type ...", experimental codecs. Returns null with FLastErrMsg set.
    const AVCodec* FindCodec(const std::string& name, AVMediaType type, bool encoder);
    void ApplyVideoOption(const std::string& name, const std::string& value);
    bool ApplyAudioSubtitleOption(const std::string& name, const std::string& value);
    bool ApplyGeneralOption(const std::string& name, const std::string& value);
    void SetCodecTag(uint32_t& tag, const std::string& value, const char* kind);
    void AddBitstreamFilter(std::vector<BsfPtr>& chain, const std::string& value);
    void ParseMatrix(std::vector<uint16_t>& matrix, const std::string& value);
    void SetCrop(int& band, const std::string& value, bool vertical);
    void ListPixelFormats();
    void ListSampleFormats();
    void ApplyPresetText(const std::string& presetName, const std::string& text);
    const std::string* CodecNames(std::string (&names)[kCodecSetCount]) const;
    TOutputFile& LastOutput();
    void ParseRcOverride(AVCodecContext* enc);

    void CreateOptionContexts();
    void ResetOptionState();
    void FreeFiles();

    // PrepareTranscode steps.
    void CreateInputStreams();
    void MapOutputStreams();
    void SetupOutputCodecs();
    void ConfigureFilters(TAVInputStream& ist, TAVOutputStream& ost);
    std::string PassLogPrefix() const;
    void SetupPassLog(TAVOutputStream& ost, int index);
    // Deletes the statistics a finished second pass has used.
    void RemovePassLogs();
    void OpenEncodersAndDecoders();
    void OpenDecoder(TAVInputStream& ist);
    void TakeSubtitleHeader(TAVInputStream& ist, AVCodecContext& enc);
    void CopyMetadataAndChapters();
    void WriteHeaders();
    void DumpStreamMapping();
    void FailAfterDump(const std::string& message);

    // ---- conversion control and loop state ----
    std::unique_ptr<platform::TThread> FThread;
    std::unique_ptr<platform::TThread> FTermThread;
    platform::TEvent FStopEvent{true};
    platform::TEvent FTermEvent{true};
    std::atomic<bool> FConverting{false};
    std::atomic<bool> FBroken{false};
    std::atomic<bool> FFinished{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFatalException{false};
    std::atomic<bool> FTerminating{false};  // a terminate thread was started
    std::atomic<bool> FPaused{false};
    std::atomic<bool> FPauseHeld{false};
    std::atomic<bool> FSynchronous{false};  // converting on the caller's thread
    std::atomic<int> FTasksAtOnce{1};
    std::atomic<int> FCoreShare{1};          // decided when the conversion starts
    std::atomic<int64_t> FInputReached{-1};
    std::atomic<int64_t> FInputDeclared{-1};
    mutable std::mutex FStateLock;  // FFatalMessage, pause wake-up
    std::condition_variable FPauseChanged;
    std::string FFatalMessage;

    TPostHookContext FPostContext;
    TRGBConvertContext FHookContext;
    bool FHooksStopped = false;
    int FHookFrameNumber = 0;
    FramePtr FHookFrame;
    TPicturePool FHookPool;
    FramePtr FDecoded;
    FramePtr FFiltered;
    PacketPtr FEncPacket;
    int64_t Ftimer_start = 0;
    int64_t Flast_report_time = 0;
    int nb_frames_dup = 0, nb_frames_drop = 0;
    bool Fdup_drop_since_report = false;
    FilePtr Fvstats_file;
    int qp_histogram[52] = {};
    int FJoinSegment = 0;
    std::vector<std::string> FPassLogs;  // statistics a second pass reads

private:
    std::unique_ptr<TFFOptions> opts_;
    std::atomic<TPostHooks> FPostHooks{0};  // changed under PostHookLock(), read without it
};

}  // namespace vexa
