#pragma once
// The player component: plays one file at a time with sound through SDL
// and pictures through a video sink (video_sink.h).
//
// TCustomPlayer holds the logic, TFFPlayer is the form the application
// places. Operations are called from the main thread. Events (OnFileOpen,
// OnPosition, OnState) reach the main thread through the synchronous
// hand-off while TriggerEventInMainThread is on; every wait of the player
// on the main thread (Open, Stop, seeks) serves hand-offs while it waits, and
// nothing else: no window events are pumped, so a user can never re-enter
// Open or Stop from inside one. OnHook runs on the playback's video thread.
//
// Failures are reported by result plus LastErrMsg, and go to the log relay.
#include "media/av_probe.h"
#include "media/ffmpeg_logger.h"
#include "media/rgb_convert.h"
#include "platform/bitmap.h"
#include "platform/thread.h"
#include "player/ff_play.h"
#include "player/video_sink.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vexa {

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };
enum TShowAudio { saNone, saWave, saRDFT };
enum TRepeatType { rtNone, rtStop, rtLoop };
using TAudioVolume = int;  // 0 .. 128

const char* PlayStateName(TPlayState state);  // "psPlay" ...

class TCustomPlayer;
using TFileOpenEvent = std::function<void(TCustomPlayer* Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
using TPositionEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS)>;
using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState AState)>;
using THookEvent = std::function<void(TCustomPlayer* Sender, platform::Bitmap& ABitmap, int64_t APTS)>;

// The ring of position and state events between the playback's threads and
// the event thread: 10 slots, consecutive events of one type collapse into
// the newest, a full ring drops its oldest event.
class TPlayEventRing {
public:
    enum : int { etPosition = 1, etState = 2, etEnd = 3 };
    static constexpr int kSlots = 10;
    struct Item {
        int type = 0;
        int64_t value = 0;
    };
    void Push(int type, int64_t value);
    // Takes the oldest event; false when the ring is empty.
    bool Pop(Item& item);
    // Waits until an event is there (or the timeout passes).
    bool WaitFor(std::chrono::milliseconds timeout) { return Event.WaitFor(timeout); }
    void Clear();

private:
    std::mutex Lock;
    platform::TEvent Event{false};
    int Header = 0;
    int Tailer = 0;
    Item Events[kSlots];
};

class TCustomPlayer {
public:
    TCustomPlayer();
    virtual ~TCustomPlayer();
    TCustomPlayer(const TCustomPlayer&) = delete;
    TCustomPlayer& operator=(const TCustomPlayer&) = delete;

    bool AVLibLoaded() const;
    bool LoadAVLib(const std::string& APath);
    void UnloadAVLib();

    // Plays AFileName into ASink (nullptr: a window of SDL's own, titled
    // "FFPlayer", unless DisableDisplay). With APaused the first picture
    // shows and the playback waits paused. The sink must outlive the
    // playback.
    bool Open(const std::string& AFileName, IVideoSink* ASink = nullptr, bool APaused = false);
    void Stop(bool AWaitForStop);
    void Pause();
    void Resume();
    void TogglePause();
    void StepToNextFrame();
    // Absolute seek to APTS microseconds from the start (a byte position
    // with sfByte).
    void Seek(int64_t APTS, TSeekFlags ASeekFlags, bool AWaitForSeekEnd);
    // Relative seek by ADelta seconds.
    void Seek(double ADelta, TSeekFlags ASeekFlags, bool AWaitForSeekEnd);
    void ToggleAudioDisplay();
    // The picture on screen as a bitmap owned by the player (valid until the
    // next call); 0 x 0 without a picture, APTS -1 without a video stream.
    const platform::Bitmap& CurrentFrame();
    const platform::Bitmap& CurrentFrame(int64_t& APTS);

    // Properties.
    float AspectRatio() const { return FAspectRatio.load(); }
    void SetAspectRatio(float Value);
    TAudioDriver AudioDriver() const { return FAudioDriver; }
    void SetAudioDriver(TAudioDriver Value) { FAudioDriver = Value; }
    TVideoDriver VideoDriver() const { return FVideoDriver; }
    void SetVideoDriver(TVideoDriver Value) { FVideoDriver = Value; }
    TAudioVolume AudioVolume() const { return FAudioVolume.load(); }
    void SetAudioVolume(TAudioVolume Value);
    bool Mute() const { return FMute.load(); }
    void SetMute(bool Value) { FMute.store(Value); }
    bool DisableAudio() const { return FDisableAudio; }
    void SetDisableAudio(bool Value) { FDisableAudio = Value; }
    bool DisableVideo() const { return FDisableVideo; }
    void SetDisableVideo(bool Value) { FDisableVideo = Value; }
    bool DisableDisplay() const { return FDisableDisplay; }
    void SetDisableDisplay(bool Value) { FDisableDisplay = Value; }
    int FrameWidth() const { return FFrameWidth; }
    void SetFrameWidth(int Value) { FFrameWidth = Value; }
    int FrameHeight() const { return FFrameHeight; }
    void SetFrameHeight(int Value) { FFrameHeight = Value; }
    int ScreenWidth() const { return FScreenWidth; }
    void SetScreenWidth(int Value) { FScreenWidth = Value; }
    int ScreenHeight() const { return FScreenHeight; }
    void SetScreenHeight(int Value) { FScreenHeight = Value; }
    bool FullScreen() const { return FFullScreen; }
    void SetFullScreen(bool Value) { FFullScreen = Value; }
    bool Hook() const { return FHook.load(); }
    void SetHook(bool Value) { FHook.store(Value); }
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
    void SetTriggerEventInMainThread(bool Value) { FTriggerEventInMainThread.store(Value); }
    bool VerticalFlip() const { return FVerticalFlip.load(); }
    void SetVerticalFlip(bool Value) { FVerticalFlip.store(Value); }
    TShowAudio ShowAudio() const { return FShowAudio; }
    void SetShowAudio(TShowAudio Value);
    int64_t PlayTime() const { return FPlayTime.load(); }
    void SetPlayTime(int64_t Value) { FPlayTime.store(Value); }
    TRepeatType RepeatType() const { return FRepeatType.load(); }
    void SetRepeatType(TRepeatType Value) { FRepeatType.store(Value); }
    const std::string& VideoFilters() const { return FVideoFilters; }
    void SetVideoFilters(const std::string& Value) { FVideoFilters = Value; }
    const std::string& Format() const { return FFormat; }
    // Raises "Unknown input format: %s" for a name the libraries do not know.
    void SetFormat(const std::string& Value);
    const std::string& FileName() const { return FFileName; }
    IVideoSink* ScreenHandle() const { return FScreenHandle; }
    std::string LastErrMsg() const;
    int64_t CurrentPTS() const { return FCurrentPTS.load(); }
    bool Paused() const;
    TPlayState PlayState() const { return FPlayState.load(); }
    bool Seeking() const { return FSeeking.load(); }
    int AudioStreamIndex() const;
    void SetAudioStreamIndex(int Value);
    int VideoStreamIndex() const;
    void SetVideoStreamIndex(int Value);
    int SubtitleStreamIndex() const;
    void SetSubtitleStreamIndex(int Value);
    // The player's own probe, loaded with the playing file on first use (its
    // own handle, so asking it never races the reading thread).
    TAVProbe& AVProbe();
    static const char* Version() { return "2.3"; }

    // Expert settings, taken at the next Open.
    int wanted_audio_stream = -1;
    int wanted_video_stream = -1;
    int wanted_subtitle_stream = -1;
    int seek_by_bytes = -1;
    int64_t start_time = AV_NOPTS_VALUE;
    Tav_sync_type av_sync_type = AV_SYNC_AUDIO_MASTER;
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

    TFileOpenEvent OnFileOpen;
    TPositionEvent OnPosition;
    TPlayStateEvent OnState;
    THookEvent OnHook;

    // Used by the playback's threads.
    void SetPlayState(TPlayState AState);
    void DoPositionReport(TVideoState* is);
    void DoFrameHook(TVideoState* is, AVFrame* frame, double pts);
    bool StepFlag() const { return FStep.load(); }
    void SetSeeking(bool Value) { FSeeking.store(Value); }
    platform::TEvent& SeekEvent() { return FSeekEvent; }
    platform::TEvent& PictureEvent() { return FPictureEvent; }
    void PostError(const std::string& AMsg, bool ASetLastErr, TLogLevel ALevel = llError);
    void SetLastErrMsg(const std::string& AMsg);

protected:
    void FileOpenStep();
    void ClosePlayback();  // play thread or stop wait, under the data lock
    void PlayThreadBody();
    void EventThreadBody();
    void WaitForStop();
    void RequestSeek(int64_t pos, int64_t rel, int flags, bool wait);
    bool SwitchStream(AVMediaType type, int Value);
    void JoinFinishedThreads();
    bool StartSDL(bool needVideo);
    void QuitSDL();

    std::atomic<float> FAspectRatio{0};
    TAudioDriver FAudioDriver = adDefault;
    TVideoDriver FVideoDriver = vdDefault;
    std::atomic<int> FAudioVolume{128};
    std::atomic<bool> FMute{false};
    bool FDisableAudio = false;
    bool FDisableVideo = false;
    bool FDisableDisplay = false;
    int FFrameWidth = 0;
    int FFrameHeight = 0;
    int FScreenWidth = 0;
    int FScreenHeight = 0;
    bool FFullScreen = false;
    std::atomic<bool> FHook{false};
    std::atomic<bool> FTriggerEventInMainThread{true};
    std::atomic<bool> FVerticalFlip{false};
    TShowAudio FShowAudio = saWave;
    std::atomic<int64_t> FPlayTime{AV_NOPTS_VALUE};
    std::atomic<TRepeatType> FRepeatType{rtStop};
    std::string FVideoFilters;
    std::string FFormat;
    std::string FFileName;
    IVideoSink* FScreenHandle = nullptr;
    mutable std::mutex FErrLock;
    std::string FLastErrMsg;
    std::atomic<int64_t> FCurrentPTS{-1};
    std::atomic<TPlayState> FPlayState{psStop};
    std::atomic<bool> FSeeking{false};
    std::atomic<bool> FStep{false};

    std::unique_ptr<TAVProbe> FProbe;
    std::string FProbeFile;

    // The playback; replaced and read under FDataLock, and by the main
    // thread (which alone replaces it).
    std::unique_ptr<TVideoState> FState;
    std::mutex FDataLock;
    std::unique_ptr<IVideoSink> FOwnSink;  // the SDL window without a host
    uint32_t FSDLFlags = 0;                // subsystems this player started
    platform::TEvent FSeekEvent{true};
    platform::TEvent FPictureEvent{true};
    platform::TEvent FStopEvent{true};
    TPlayEventRing FRing;
    std::atomic<bool> FEventThreadEnd{false};
    std::unique_ptr<platform::TThread> FPlayThread;
    std::unique_ptr<platform::TThread> FEventThread;
    int64_t FLastPTS = AV_NOPTS_VALUE;  // play thread
    bool FEventEOFAnnounced = false;
    std::atomic<int64_t> FEventPosition{-1};
    std::atomic<int> FEventState{psStop};

    std::mutex FHookLock;
    TRGBConvertContext FHookConvert;
    TRGBConvertContext FFrameConvert;
};

class TFFPlayer : public TCustomPlayer {
public:
    TFFPlayer() = default;
    ~TFFPlayer() override;
};

}  // namespace vexa
