#pragma once
// One playback: the playback state and the threads that share it.
//
// A reading thread demultiplexes the file into three packet queues; a video
// thread decodes pictures through a small filter graph into a queue of two;
// a subtitle thread decodes into a queue of four; SDL's audio thread decodes
// and plays the sound; a refresh thread ticks the display; the player's
// play thread runs the playback's own event queue and shows each picture
// when its time has come. Audio is the master clock by default.
//
// Locking: each queue has its own lock; the picture lock is never held while
// calling out. Values that more than one thread reads are atomics. The
// reading thread alone touches the format context once the playback runs.
#include "media/av_ptr.h"
#include "platform/thread.h"
#include "player/video_sink.h"

#include <cmath>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vexa {

class TCustomPlayer;

// Constants of the pipeline.
inline constexpr int64_t kMaxQueueSize = 15 * 1024 * 1024;
inline constexpr int kMinAudioQueueSize = 327680;  // "enough" audio: more than this
inline constexpr int kMinFrames = 5;               // "enough" video/subtitle packets
inline constexpr int kPictureQueueSize = 2;
inline constexpr int kSubpictureQueueSize = 4;
inline constexpr int kSDLAudioBufferSize = 1024;   // samples
inline constexpr int kSilenceSize = 1024;          // bytes played on underrun
inline constexpr double kAVSyncThreshold = 0.01;
inline constexpr double kAVNoSyncThreshold = 10.0;
inline constexpr int kAudioDiffAvgNb = 20;
inline constexpr int kSampleCorrectionPercentMax = 10;
inline constexpr int kSampleArraySize = 2 * 65536;
inline constexpr int kAudioBufSize = 288000;       // bytes
inline constexpr int kNodeOverhead = 72;           // counted per queued packet

enum Tav_sync_type { AV_SYNC_AUDIO_MASTER, AV_SYNC_VIDEO_MASTER, AV_SYNC_EXTERNAL_CLOCK };

// Microsecond clock the schedule runs on, in seconds.
double PlayNow();

// A queue of packets between the reading thread and a decoder. A queue
// starts with the flush marker, which tells its decoder to forget what it
// holds (after a seek); an empty packet tells it to give out what it has.
class TPacketQueue {
public:
    void Init();  // clears the abort flag, queues the flush marker
    int Put(PacketPtr pkt);
    void PutFlush();
    // 1 with a packet (flush set for the marker), 0 empty (not blocking),
    // -1 aborted.
    int Get(PacketPtr& pkt, bool& flush, bool block);
    void Flush();
    void Abort();
    void End() { Flush(); }
    bool Aborted() const { return abort_request.load(); }
    int Count() const;
    int64_t Size() const;

private:
    struct Node {
        PacketPtr pkt;
        bool flush = false;
    };
    mutable std::mutex mutex;
    std::condition_variable cond;
    std::deque<Node> nodes;
    int nb_packets = 0;
    int64_t size = 0;
    std::atomic<bool> abort_request{false};
};

struct TVideoPicture {
    double pts = 0;           // seconds
    double target_clock = 0;  // when it is due, on PlayNow()'s scale
    int64_t pos = -1;
    FramePtr frame;
    int width = 0;
    int height = 0;
};

struct TSubPicture {
    double pts = 0;
    AVSubtitle sub{};
    bool valid = false;
};

// What the player hands a playback when it opens a file; read-only while the
// playback runs.
struct TPlayOptions {
    std::string filename;
    std::string forcedFormat;
    int wanted_stream[AVMEDIA_TYPE_NB] = {-1, -1, -1, -1, -1};
    int seek_by_bytes = -1;
    int64_t start_time = AV_NOPTS_VALUE;
    Tav_sync_type av_sync_type = AV_SYNC_AUDIO_MASTER;
    bool disableAudio = false;
    bool disableVideo = false;
    bool disableDisplay = false;
    int workaround_bugs = 1;
    int debug_mv = 0;
    bool fast = false;
    bool genpts = false;
    int decoder_reorder_pts = -1;
    bool framedrop = true;
    int rdftspeed = 20;
    int lowres = 0;
    int idct_algo = 0;
    int error_recognition = 1;
    int error_concealment = 3;
    int frameWidth = 0;
    int frameHeight = 0;
    std::string videoFilters;
    bool fullScreen = false;
    int screenWidth = 0;
    int screenHeight = 0;
};

// The playback's own event queue (never SDL's: that one is process-wide,
// and events of one playback must not reach the next).
enum class TPlayEventKind { Refresh, Quit, ResetMode, Expose };

class TPlayEventQueue {
public:
    void Push(TPlayEventKind kind);
    // Waits up to timeoutMs; false when nothing came.
    bool Wait(TPlayEventKind& kind, int timeoutMs);

private:
    std::mutex lock;
    std::condition_variable cond;
    std::deque<TPlayEventKind> events;
};

// Owning handle of an SDL audio device (an integer id, hence the pointer
// wrapper that unique_ptr needs).
struct AudioDeviceDeleter {
    struct pointer {
        SDL_AudioDeviceID id = 0;
        pointer() = default;
        pointer(std::nullptr_t) {}
        explicit pointer(SDL_AudioDeviceID v) : id(v) {}
        explicit operator bool() const { return id != 0; }
        bool operator==(const pointer& o) const { return id == o.id; }
        bool operator!=(const pointer& o) const { return id != o.id; }
    };
    void operator()(pointer p) const { AV.SDL_CloseAudioDevice(p.id); }
};
using AudioDevicePtr = std::unique_ptr<void, AudioDeviceDeleter>;

struct TVideoState {
    TCustomPlayer* Owner = nullptr;
    TPlayOptions opt;
    IVideoSink* sink = nullptr;

    platform::TThread parse_tid, video_tid, refresh_tid, subtitle_tid;
    TPlayEventQueue events;

    std::atomic<int> abort_request{0};
    std::atomic<int> paused{0};
    int last_paused = 0;  // reading thread only
    std::atomic<int> read_pause_return{0};

    // Pending seek; the request fields are written before seek_req is raised.
    std::atomic<int> seek_req{0};
    int seek_flags = 0;
    int64_t seek_pos = 0;
    int64_t seek_rel = 0;

    InputContextPtr ic;  // reading thread only, once Opened is 1

    std::atomic<int> audio_stream{-1};
    std::atomic<int> video_stream{-1};
    std::atomic<int> subtitle_stream{-1};
    std::atomic<AVStream*> audio_st{nullptr};
    std::atomic<AVStream*> video_st{nullptr};
    std::atomic<AVStream*> subtitle_st{nullptr};
    TPacketQueue audioq, videoq, subtitleq;
    CodecContextPtr audio_dec, video_dec, subtitle_dec;

    Tav_sync_type av_sync_type = AV_SYNC_AUDIO_MASTER;
    std::atomic<double> external_clock{0};
    std::atomic<int64_t> external_clock_time{0};

    // Sound (audio thread, except where atomic).
    AudioDevicePtr audio_dev;
    int audio_hw_buf_size = 0;
    int audio_rate = 0;
    int audio_channels = 0;
    std::atomic<double> audio_clock{0};       // end of the sound decoded so far
    std::atomic<double> audio_clock_pts{0};   // sound at the device's output at audio_clock_time
    std::atomic<double> audio_clock_time{0};
    double audio_clock_resume = std::nan("");  // where a switched-to sound stream's clock begins (reading thread)
    bool audio_clock_jump = true;  // the next publication may go back (start, seek)
    double audio_diff_cum = 0;
    double audio_diff_avg_coef = 0;
    double audio_diff_threshold = 0;
    int audio_diff_avg_count = 0;
    std::vector<uint8_t> audio_buf2;  // sound converted to signed 16-bit
    const uint8_t* audio_buf = nullptr;
    int audio_buf_size = 0;
    int audio_buf_index = 0;
    bool audio_pkt_pending = false;  // the decoder holds sound of a sent packet
    FramePtr audio_frame;
    SwrPtr swr;
    AVSampleFormat audio_src_fmt = AV_SAMPLE_FMT_S16;
    int audio_src_rate = 0;
    AVChannelLayout audio_src_layout{};

    std::atomic<int> show_audio{0};
    std::mutex sample_lock;
    std::vector<int16_t> sample_array;
    int sample_array_index = 0;
    int xpos = 0;  // spectrum column (play thread)

    // Subtitles.
    std::atomic<int> subtitle_stream_changed{0};
    TSubPicture subpq[kSubpictureQueueSize];
    int subpq_size = 0, subpq_rindex = 0, subpq_windex = 0;
    std::mutex subpq_mutex;
    std::condition_variable subpq_cond;

    // The picture schedule.
    std::atomic<double> frame_timer{0};
    double frame_last_pts = 0;    // video thread
    double frame_last_delay = 0;  // video thread
    std::atomic<double> video_clock{0};
    double frame_duration = 0.04;
    std::atomic<double> video_current_pts{0};
    std::atomic<double> video_current_pts_drift{0};
    std::atomic<int64_t> video_current_pos{-1};

    TVideoPicture pictq[kPictureQueueSize];
    int pictq_size = 0, pictq_rindex = 0, pictq_windex = 0;  // under pictq_mutex
    std::mutex pictq_mutex;
    std::condition_variable pictq_cond;
    std::atomic<int> pictq_count{0};  // pictq_size, readable without the lock

    int width = 0, height = 0;  // the video area (play thread)
    int64_t faulty_pts = 0, faulty_dts = 0, last_dts_for_fault_detection = AV_NOPTS_VALUE,
            last_pts_for_fault_detection = AV_NOPTS_VALUE;
    std::atomic<float> skip_frames{1};
    float skip_frames_index = 0;
    std::atomic<int> refresh{0};
    // When the next queued picture is due (0: not known); lets the refresh
    // thread sleep until then instead of ticking.
    std::atomic<double> next_due{0};

    // The picture on screen (for CurrentFrame).
    std::mutex current_lock;
    FramePtr current_frame;
    double current_pts = 0;

    std::atomic<int> Opened{0};
    int64_t StartTime = 0;
    int64_t Duration = -1;
    std::atomic<int64_t> AudioDuration{-1};
    int64_t BitRate = 0;
    std::atomic<int64_t> read_pos{0};  // byte position of the input
    bool IsImage2 = false;
    bool IsDevice = false;
    std::atomic<int> ErrorEOF{0};
    std::atomic<int> EventEOF{0};
    std::atomic<int> ReachEOF{0};
    std::atomic<int> Reading{0};
    std::atomic<int> open_paused{0};
    std::atomic<int> seek_paused{0};
    std::atomic<int> seek_done{0};
    std::atomic<int> seek_flushed{0};
    // Held by the reader while it flushes for a seek and by the video thread
    // while it decides whether a picture ends a seek: a picture decoded
    // before the flush must never wake a seek's waiter.
    std::mutex seek_lock;
    std::atomic<bool> display_started{false};
    std::string LastErrMsg;  // written by the reading thread before Opened changes
    std::vector<int> stream_types;  // codec kind per stream, fixed at open
    std::vector<int> stream_audio_ok;  // audio streams with a rate and channels

    // A stream switch asked by the player, performed by the reading thread
    // (which alone touches the format context): kind, new index, and the
    // outcome (1 done, -1 failed) once switch_req drops to 0.
    std::atomic<int> switch_req{0};
    int switch_type = 0;
    int switch_index = -1;
    std::atomic<int> switch_result{0};
};

// Names the calling thread for debuggers and profilers ("vx-read", ...).
void NameThread(const char* name);

// The clocks, in seconds.
double GetAudioClock(TVideoState* is);
double GetVideoClock(TVideoState* is);
double GetExternalClock(TVideoState* is);
double GetMasterClock(TVideoState* is);

// Playback operations used by the player.
bool StreamOpen(TVideoState* is);  // starts the reading thread; Opened tells the outcome
void StreamClose(TVideoState* is);  // ends every thread but the play thread
void StreamTogglePause(TVideoState* is);
void StreamSeek(TVideoState* is, int64_t pos, int64_t rel, int flags);
// Closes the stream in use of a kind and opens another (or none for
// subtitles, index -1). Runs on the caller's thread.
bool StreamComponentSwitch(TVideoState* is, AVMediaType type, int index);
// The play thread's loop; returns when the playback ends.
void EventLoop(TVideoState* is, std::mutex& dataLock);

// Internal to the pipeline's files.
void ReadThread(TVideoState* is);
void VideoThread(TVideoState* is);
void SubtitleThread(TVideoState* is);
void RefreshThread(TVideoState* is);
int StreamComponentOpen(TVideoState* is, int stream_index);
void StreamComponentClose(TVideoState* is, int stream_index);
void SDLAudioCallback(void* opaque, Uint8* stream, int len);
void VideoDisplay(TVideoState* is);
void DrawVisualisation(TVideoState* is);
void FreeSubPicture(TSubPicture& sp);
void BlendSubtitle(AVFrame* frame, const AVSubtitle& sub);

}  // namespace vexa
