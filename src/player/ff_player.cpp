// The player component: opening, stopping, pausing, seeking, stream choice,
// picture capture, the frame hook and the delivery of events.
#include "player/ff_player.h"

#include "media/ffmpeg_loader.h"
#include "platform/error.h"
#include "platform/main_thread.h"
#include "player/sdl_window_sink.h"

#include <cmath>
#include <cstdio>

namespace vexa {

namespace {

using std::chrono::milliseconds;

// Waits on the main thread (serving hand-offs) or elsewhere until done().
void WaitUntil(const std::function<bool()>& done)
{
    while (!done())
        platform::MainThread::WaitServing(done, milliseconds(100));
}

const char* AudioDriverName(TAudioDriver d)
{
    switch (d) {
    case adDirectSound: return "pulseaudio";
    case adWaveOut: return "alsa";
    default: return nullptr;
    }
}

const char* VideoDriverName(TVideoDriver d)
{
    switch (d) {
    case vdDirectDraw: return "x11";
    case vdGDI: return "wayland";
    default: return nullptr;
    }
}

}  // namespace

const char* PlayStateName(TPlayState state)
{
    static const char* const names[] = {"psPlay", "psPause", "psResume", "psStep", "psStop", "psEnd"};
    return state >= psPlay && state <= psEnd ? names[state] : "?";
}

void TPlayEventRing::Push(int type, int64_t value)
{
    std::lock_guard<std::mutex> g(Lock);
    const int last = (Tailer + kSlots - 1) % kSlots;
    if (Header == Tailer || Events[last].type != type) {
        const int next = (Tailer + 1) % kSlots;
        if (next == Header)
            Header = (Header + 1) % kSlots;  // full: the oldest goes
        Events[Tailer] = Item{type, value};
        Tailer = next;
    } else {
        Events[last].value = value;  // the newest of a run of one type wins
    }
    Event.SetEvent();
}

bool TPlayEventRing::Pop(Item& item)
{
    std::lock_guard<std::mutex> g(Lock);
    if (Header == Tailer)
        return false;
    item = Events[Header];
    Header = (Header + 1) % kSlots;
    if (Header == Tailer)
        Event.ResetEvent();
    return true;
}

void TPlayEventRing::Clear()
{
    std::lock_guard<std::mutex> g(Lock);
    Header = Tailer = 0;
    Event.ResetEvent();
}

TCustomPlayer::TCustomPlayer() = default;

TCustomPlayer::~TCustomPlayer()
{
    OnFileOpen = nullptr;
    OnPosition = nullptr;
    OnState = nullptr;
    OnHook = nullptr;
    Stop(true);
    JoinFinishedThreads();
}

TFFPlayer::~TFFPlayer() = default;

bool TCustomPlayer::AVLibLoaded() const
{
    return AVLibSetLoaded(kPlayerLibraries);
}

bool TCustomPlayer::LoadAVLib(const std::string& APath)
{
    std::string err;
    if (LoadAVLibSet(kPlayerLibraries, APath, err))
        return true;
    SetLastErrMsg(err);
    return false;
}

void TCustomPlayer::UnloadAVLib()
{
    UnloadAVLibSet(kPlayerLibraries);
}

std::string TCustomPlayer::LastErrMsg() const
{
    std::lock_guard<std::mutex> g(FErrLock);
    return FLastErrMsg;
}

void TCustomPlayer::SetLastErrMsg(const std::string& AMsg)
{
    std::lock_guard<std::mutex> g(FErrLock);
    FLastErrMsg = AMsg;
}

void TCustomPlayer::PostError(const std::string& AMsg, bool ASetLastErr, TLogLevel ALevel)
{
    if (ASetLastErr)
        SetLastErrMsg(AMsg);
    LogMessage(this, ALevel, AMsg);
}

bool TCustomPlayer::StartSDL(bool needVideo)
{
    // Subsystems are counted by SDL: every one started here is stopped once
    // by QuitSDL, and SDL_Quit is never called (it would also stop the
    // sound of others, such as the completion sound).
    const Uint32 flags = SDL_INIT_AUDIO | SDL_INIT_TIMER | (needVideo ? SDL_INIT_VIDEO : 0u);
    if (AV.SDL_InitSubSystem(flags) != 0)
        return false;
    FSDLFlags = flags;
    return true;
}

void TCustomPlayer::QuitSDL()
{
    if (FSDLFlags && AV.SDL_QuitSubSystem)
        AV.SDL_QuitSubSystem(FSDLFlags);
    FSDLFlags = 0;
}

bool TCustomPlayer::Open(const std::string& AFileName, IVideoSink* ASink, bool APaused)
{
    if (!AVLibLoaded()) {
        PostError("libav or libsdl not loaded.", true);
        return false;
    }
    Stop(true);
    JoinFinishedThreads();

    if (const char* name = AudioDriverName(FAudioDriver))
        AV.SDL_SetHint(SDL_HINT_AUDIODRIVER, name);
    if (const char* name = VideoDriverName(FVideoDriver))
        AV.SDL_SetHint(SDL_HINT_VIDEODRIVER, name);

    const bool disableVideo = FDisableVideo || FDisableDisplay;
    const bool ownWindow = !ASink && !FDisableDisplay && !disableVideo;
    if (!StartSDL(ownWindow)) {
        char buf[1024];
        std::snprintf(buf, sizeof buf, "Could not initialize SDL with ScreenHandle(%u): %s",
                      static_cast<unsigned>(reinterpret_cast<uintptr_t>(ASink)), AV.SDL_GetError());
        PostError(buf, true);
        return false;
    }
    IVideoSink* sink = ASink;
    if (ownWindow) {
        FOwnSink = std::make_unique<TSDLWindowSink>();
        sink = FOwnSink.get();
    }

    FRing.Clear();
    FLastPTS = AV_NOPTS_VALUE;
    FCurrentPTS.store(-1);
    FSeeking.store(false);
    FSeekEvent.SetEvent();
    FPictureEvent.SetEvent();

    auto is = std::make_unique<TVideoState>();
    is->Owner = this;
    is->sink = FDisableDisplay ? nullptr : sink;
    TPlayOptions& o = is->opt;
    o.filename = AFileName;
    o.forcedFormat = FFormat;
    o.wanted_stream[AVMEDIA_TYPE_AUDIO] = wanted_audio_stream;
    o.wanted_stream[AVMEDIA_TYPE_VIDEO] = wanted_video_stream;
    o.wanted_stream[AVMEDIA_TYPE_SUBTITLE] = wanted_subtitle_stream;
    o.seek_by_bytes = seek_by_bytes;
    o.start_time = start_time;
    o.av_sync_type = av_sync_type;
    o.disableAudio = FDisableAudio;
    o.disableVideo = disableVideo;
    o.disableDisplay = FDisableDisplay;
    o.workaround_bugs = workaround_bugs;
    o.debug_mv = debug_mv;
    o.fast = fast;
    o.genpts = genpts;
    o.decoder_reorder_pts = decoder_reorder_pts;
    o.framedrop = framedrop;
    o.rdftspeed = rdftspeed;
    o.lowres = lowres;
    o.idct_algo = idct_algo;
    o.error_recognition = error_recognition;
    o.error_concealment = error_concealment;
    o.frameWidth = FFrameWidth;
    o.frameHeight = FFrameHeight;
    o.videoFilters = FVideoFilters;
    o.fullScreen = FFullScreen;
    if (APaused) {
        is->paused.store(1);
        is->open_paused.store(1);
        FStep.store(false);
    }
    is->external_clock_time.store(AV.av_gettime_relative());

    TVideoState* state = is.get();
    StreamOpen(state);
    WaitUntil([state] { return state->Opened.load() != 0; });
    if (state->Opened.load() != 1) {
        WaitUntil([state] { return state->Opened.load() != -1; });
        StreamClose(state);
        is.reset();
        FOwnSink.reset();
        QuitSDL();
        return false;
    }
    if (!state->video_st.load() && !FDisableDisplay)
        state->show_audio.store(FShowAudio);

    FFileName = AFileName;
    FScreenHandle = ASink;
    FEventThreadEnd.store(false);
    FStopEvent.ResetEvent();
    {
        std::lock_guard<std::mutex> g(FDataLock);
        FState = std::move(is);
    }
    state->refresh_tid.Start([state] { RefreshThread(state); });

    if (FTriggerEventInMainThread.load())
        platform::MainThread::Synchronize([this] { FileOpenStep(); });
    else
        FileOpenStep();
    state->opt.screenWidth = FScreenWidth;
    state->opt.screenHeight = FScreenHeight;

    // Playing from here on; the play thread reports it when it starts.
    FPlayState.store(psPlay);
    FEventThread = std::make_unique<platform::TThread>();
    FEventThread->Start([this] { EventThreadBody(); });
    FPlayThread = std::make_unique<platform::TThread>();
    FPlayThread->Start([this] { PlayThreadBody(); });
    return true;
}

void TCustomPlayer::FileOpenStep()
{
    {
        std::lock_guard<std::mutex> g(FHookLock);
        FHookConvert.Reset();
    }
    FFrameConvert.Reset();
    TVideoState* is = FState.get();
    if (!is || !OnFileOpen)
        return;
    int w = -1, h = -1;
    if (const AVStream* st = is->video_st.load(); st && st->codecpar->width > 0) {
        w = st->codecpar->width;
        h = st->codecpar->height;
    }
    const int64_t duration = is->IsImage2 ? 0 : is->Duration;
    OnFileOpen(this, duration, w, h, FScreenWidth, FScreenHeight);
}

void TCustomPlayer::PlayThreadBody()
{
    NameThread("vx-play");
    TVideoState* is = FState.get();
    SetPlayState(psPlay);
    {
        std::lock_guard<std::mutex> g(is->pictq_mutex);
        is->display_started.store(true);
        is->pictq_cond.notify_all();
    }
    try {
        EventLoop(is, FDataLock);
    } catch (const std::exception& e) {
        PostError(std::string("PlayThread Exception: ") + e.what(), false, llFatal);
    }
    {
        std::lock_guard<std::mutex> g(FDataLock);
        StreamClose(is);
        if (auto* own = dynamic_cast<TSDLWindowSink*>(is->sink))
            own->Release();  // the window belongs to this thread
    }
    SetPlayState(psStop);
    FStopEvent.SetEvent();
}

void TCustomPlayer::EventThreadBody()
{
    NameThread("vx-event");
    for (;;) {
        TPlayEventRing::Item item;
        while (FRing.Pop(item)) {
            if (item.type == TPlayEventRing::etEnd)
                return;
            const bool inMain = FTriggerEventInMainThread.load();
            try {
                if (item.type == TPlayEventRing::etPosition) {
                    FEventPosition.store(item.value);
                    if (OnPosition) {
                        auto fire = [this, v = item.value] { if (OnPosition) OnPosition(this, v); };
                        inMain ? platform::MainThread::Synchronize(fire) : fire();
                    }
                } else if (item.type == TPlayEventRing::etState) {
                    const auto state = static_cast<TPlayState>(item.value);
                    FEventState.store(state);
                    if (OnState) {
                        auto fire = [this, state] { if (OnState) OnState(this, state); };
                        inMain ? platform::MainThread::Synchronize(fire) : fire();
                    }
                    if (state == psStop)
                        return;
                }
            } catch (const std::exception& e) {
                PostError(std::string("Error occurs in an event handler: ") + e.what(), false);
            }
        }
        FRing.WaitFor(milliseconds(100));
    }
}

void TCustomPlayer::SetPlayState(TPlayState AState)
{
    FPlayState.store(AState);
    if (OnState)
        FRing.Push(TPlayEventRing::etState, AState);
    else if (AState == psStop)
        FRing.Push(TPlayEventRing::etEnd, 0);
}

void TCustomPlayer::JoinFinishedThreads()
{
    if (FPlayThread) {
        FPlayThread->Join();
        FPlayThread.reset();
    }
    if (FEventThread) {
        platform::TThread* t = FEventThread.get();
        WaitUntil([t] { return t->Finished(); });
        FEventThread->Join();
        FEventThread.reset();
    }
    FState.reset();
    FOwnSink.reset();
}

void TCustomPlayer::Stop(bool AWaitForStop)
{
    TVideoState* is = FState.get();
    if (is && !is->abort_request.load()) {
        if (is->paused.load()) {
            StreamTogglePause(is);
            FStep.store(false);
        }
        is->events.Push(TPlayEventKind::Quit);
        if (AWaitForStop)
            WaitForStop();
    }
    if (AWaitForStop) {
        if (platform::MainThread::IsMainThread() || !FPlayThread)
            JoinFinishedThreads();
        QuitSDL();
    }
}

void TCustomPlayer::WaitForStop()
{
    // Waits serve hand-offs (the event thread may be delivering an event
    // to the main thread) and nothing else.
    int attempts = 0;
    while (!FStopEvent.IsSet()) {
        platform::MainThread::WaitServing([this] { return FStopEvent.IsSet(); }, milliseconds(100));
        if (FStopEvent.IsSet() || !FState)
            return;
        if (++attempts <= 20)
            FState->events.Push(TPlayEventKind::Quit);
    }
}

void TCustomPlayer::Pause()
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load() || is->paused.load())
        return;
    StreamTogglePause(is);
    FStep.store(false);
    SetPlayState(psPause);
}

void TCustomPlayer::Resume()
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load() || !is->paused.load())
        return;
    StreamTogglePause(is);
    FStep.store(false);
    SetPlayState(psResume);
}

void TCustomPlayer::TogglePause()
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load())
        return;
    StreamTogglePause(is);
    FStep.store(false);
    SetPlayState(is->paused.load() ? psPause : psResume);
}

void TCustomPlayer::StepToNextFrame()
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load())
        return;
    if (is->paused.load())
        StreamTogglePause(is);
    if (!FStep.exchange(true))
        SetPlayState(psStep);
}

bool TCustomPlayer::Paused() const
{
    const TVideoState* is = FState.get();
    return !is || is->abort_request.load() || is->paused.load();
}

void TCustomPlayer::RequestSeek(int64_t pos, int64_t rel, int flags, bool wait)
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load() || is->seek_req.load())
        return;
    FSeeking.store(true);
    is->seek_paused.store(is->paused.load());
    FSeekEvent.ResetEvent();
    StreamSeek(is, pos, rel, flags);
    if (!wait)
        return;
    WaitUntil([this, is] { return FSeekEvent.IsSet() || is->abort_request.load(); });
    if (is->video_stream.load() >= 0)
        WaitUntil([this, is] { return FPictureEvent.IsSet() || is->abort_request.load(); });
}

void TCustomPlayer::Seek(int64_t APTS, TSeekFlags ASeekFlags, bool AWaitForSeekEnd)
{
    TVideoState* is = FState.get();
    if (!is)
        return;
    if (ASeekFlags & sfByte) {
        RequestSeek(APTS, 0, ASeekFlags, AWaitForSeekEnd);
        return;
    }
    int64_t target = APTS;
    if (is->Duration >= 0 && is->Duration < target)
        target = is->Duration;
    target += is->StartTime;
    RequestSeek(target, APTS <= 0 ? 1 : 0, ASeekFlags, AWaitForSeekEnd);
}

void TCustomPlayer::Seek(double ADelta, TSeekFlags ASeekFlags, bool AWaitForSeekEnd)
{
    TVideoState* is = FState.get();
    if (!is)
        return;
    if (ASeekFlags & sfByte) {
        const double amount = is->BitRate > 0 ? ADelta * static_cast<double>(is->BitRate) / 8 : ADelta * 180000;
        const double target = static_cast<double>(is->read_pos.load()) + amount;
        RequestSeek(std::llround(target), std::llround(amount), ASeekFlags, AWaitForSeekEnd);
        return;
    }
    const double target = (GetMasterClock(is) + ADelta) * 1000000.0;
    RequestSeek(std::llround(target), std::llround(ADelta * 1000000.0), ASeekFlags, AWaitForSeekEnd);
}

void TCustomPlayer::ToggleAudioDisplay()
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load())
        return;
    is->show_audio.store((is->show_audio.load() + 1) % 3);
    is->events.Push(TPlayEventKind::ResetMode);
}

void TCustomPlayer::SetShowAudio(TShowAudio Value)
{
    FShowAudio = Value;
    TVideoState* is = FState.get();
    if (is && is->audio_st.load() && !is->opt.disableDisplay)
        is->show_audio.store(Value);
}

void TCustomPlayer::SetAspectRatio(float Value)
{
    if (Value == FAspectRatio.load())
        return;
    FAspectRatio.store(Value);
    TVideoState* is = FState.get();
    if (is && !is->abort_request.load())
        is->events.Push(TPlayEventKind::ResetMode);
}

void TCustomPlayer::SetAudioVolume(TAudioVolume Value)
{
    FAudioVolume.store(std::clamp(Value, 0, SDL_MIX_MAXVOLUME));
}

void TCustomPlayer::SetFormat(const std::string& Value)
{
    if (!AVLibLoaded()) {
        PostError("libav or libsdl not loaded.", true);
        return;
    }
    if (!Value.empty() && !AV.av_find_input_format(Value.c_str()))
        RaiseFmt("Unknown input format: %s", Value.c_str());
    FFormat = Value;
}

int TCustomPlayer::AudioStreamIndex() const
{
    return FState ? FState->audio_stream.load() : -1;
}

int TCustomPlayer::VideoStreamIndex() const
{
    return FState ? FState->video_stream.load() : -1;
}

int TCustomPlayer::SubtitleStreamIndex() const
{
    return FState ? FState->subtitle_stream.load() : -1;
}

void TCustomPlayer::SetAudioStreamIndex(int Value)
{
    SwitchStream(AVMEDIA_TYPE_AUDIO, Value);
}

void TCustomPlayer::SetVideoStreamIndex(int Value)
{
    SwitchStream(AVMEDIA_TYPE_VIDEO, Value);
}

void TCustomPlayer::SetSubtitleStreamIndex(int Value)
{
    SwitchStream(AVMEDIA_TYPE_SUBTITLE, Value);
}

bool TCustomPlayer::SwitchStream(AVMediaType type, int Value)
{
    TVideoState* is = FState.get();
    if (!is || is->abort_request.load())
        return false;
    const std::atomic<int>& current = type == AVMEDIA_TYPE_AUDIO   ? is->audio_stream
                                      : type == AVMEDIA_TYPE_VIDEO ? is->video_stream
                                                                   : is->subtitle_stream;
    if (Value == current.load())
        return true;
    const int lowest = type == AVMEDIA_TYPE_SUBTITLE ? -1 : 0;
    if (current.load() < lowest) {
        PostError("the current stream is not valid.", true);
        return false;
    }
    if (Value < lowest || Value >= static_cast<int>(is->stream_types.size())) {
        PostError("the stream index is not valid.", true);
        return false;
    }
    if (Value >= 0 && is->stream_types[static_cast<size_t>(Value)] != type) {
        PostError("the stream type is not matched.", true);
        return false;
    }
    if (type == AVMEDIA_TYPE_AUDIO && !is->stream_audio_ok[static_cast<size_t>(Value)]) {
        PostError("the audio stream is not invalid.", true);
        return false;
    }
    // The reading thread owns the format context and performs the switch.
    is->switch_type = type;
    is->switch_index = Value;
    is->switch_result.store(0);
    is->switch_req.store(1);
    WaitUntil([is] { return is->switch_req.load() == 0 || is->abort_request.load(); });
    return is->switch_result.load() == 1;
}

const platform::Bitmap& TCustomPlayer::CurrentFrame()
{
    int64_t pts = 0;
    return CurrentFrame(pts);
}

const platform::Bitmap& TCustomPlayer::CurrentFrame(int64_t& APTS)
{
    platform::Bitmap& bmp = FFrameConvert.Bitmap;
    TVideoState* is = FState.get();
    const AVStream* st = is ? is->video_st.load() : nullptr;
    if (!st) {
        bmp.SetSize(0, 0);
        APTS = -1;
        return bmp;
    }
    FramePtr frame;
    double pts = 0;
    {
        std::lock_guard<std::mutex> g(is->current_lock);
        if (is->current_frame)
            frame.reset(AV.av_frame_clone(is->current_frame.get()));
        pts = is->current_pts;
    }
    APTS = std::llround(pts * 1000000.0) - is->StartTime;
    if (!frame) {
        bmp.SetSize(st->codecpar->width, st->codecpar->height);
        bmp.Fill(0, 0, 0);
        return bmp;
    }
    if (!FFrameConvert.ToBitmap(frame.get()))
        bmp.SetSize(0, 0);
    return bmp;
}

void TCustomPlayer::DoFrameHook(TVideoState* is, AVFrame* frame, double pts)
{
    std::lock_guard<std::mutex> g(FHookLock);
    if (!FHookConvert.ToBitmap(frame)) {
        PostError("Cannot initialize the toRGB conversion context", false);
        return;
    }
    try {
        OnHook(this, FHookConvert.Bitmap, std::llround(pts * 1000000.0) - is->StartTime);
    } catch (const std::exception& e) {
        PostError(std::string("Error occurs OnHook: ") + e.what(), false);
        return;
    }
    if (!FHookConvert.FromBitmap(frame))
        PostError("Cannot initialize the fromRGB conversion context", false);
}

void TCustomPlayer::DoPositionReport(TVideoState* is)
{
    if (is->IsImage2)
        return;
    int64_t pos;
    if (is->video_st.load()) {
        pos = std::llround(GetVideoClock(is) * 1000000.0) - is->StartTime;
    } else if (is->audio_st.load()) {
        pos = std::llround(GetAudioClock(is) * 1000000.0) - is->StartTime;
        const int64_t ad = is->AudioDuration.load();
        if (ad > 0 && pos >= ad && pos < is->Duration)
            pos = is->Duration;
    } else {
        return;
    }
    FCurrentPTS.store(pos);
    if (is->Duration > 0 && pos >= is->Duration) {
        pos = is->Duration;
        if (FLastPTS != is->Duration)
            FLastPTS = AV_NOPTS_VALUE;
    }
    if (FLastPTS == AV_NOPTS_VALUE || std::llabs(pos - FLastPTS) > 10000) {
        FLastPTS = pos;
        if (OnPosition)
            FRing.Push(TPlayEventRing::etPosition, pos);
    }
    if (!is->IsDevice && !is->EventEOF.load() && is->ReachEOF.load()) {
        SetPlayState(psEnd);
        if (is->video_st.load())
            is->EventEOF.store(1);
    }
    const int64_t playTime = FPlayTime.load();
    if (playTime != AV_NOPTS_VALUE) {
        const int64_t end = (is->opt.start_time == AV_NOPTS_VALUE ? 0 : is->opt.start_time) + playTime;
        if (pos >= end) {
            switch (FRepeatType.load()) {
            case rtStop:
                Stop(false);
                break;
            case rtLoop:
                if (is->opt.start_time != AV_NOPTS_VALUE)
                    Seek(is->opt.start_time, 0, false);
                else
                    Seek(int64_t{0}, sfAny, false);
                break;
            default:
                break;
            }
        }
    }
}

TAVProbe& TCustomPlayer::AVProbe()
{
    if (!FProbe)
        FProbe = std::make_unique<TAVProbe>();
    if (FProbeFile != FFileName && !FFileName.empty()) {
        FProbeFile = FFileName;
        FProbe->LoadFile(FFileName, FFormat);
    }
    return *FProbe;
}

}  // namespace vexa
