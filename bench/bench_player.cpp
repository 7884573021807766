// The player's figures, each against its own reference in the same run:
//   vexa_bench_player first CLIP      open paused to the first picture, ms (median of 5)
//   vexa_bench_player drift WORKDIR   largest audio/video clock difference while playing a
//                                     generated 10 s clip, ms
//   vexa_bench_player cpu CLIP        CPU time of playing the clip's first 10 s against a plain
//                                     decode loop of the same 10 s
// Sound goes to SDL's silent driver unless SDL_AUDIODRIVER says otherwise.
#include "media/codec_lock.h"
#include "media/ffmpeg_loader.h"
#include "media/unicode_protocol.h"
#include "media_generator.h"
#include "platform/main_thread.h"
#include "platform/paths.h"
#include "player/ff_player.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using vexa::platform::MainThread;

class BenchPlayer : public vexa::TFFPlayer {
public:
    // Video clock less audio clock, seconds; 0 without a playback. On the
    // play thread while a picture is presented, the video clock is that
    // picture's time: the difference is how far the picture on screen is
    // from the sound heard.
    double ClockDifference()
    {
        vexa::TVideoState* is = FState.get();
        if (!is || !is->video_st.load() || !is->audio_st.load())
            return 0;
        return vexa::GetVideoClock(is) - vexa::GetAudioClock(is);
    }
};

class CountingSink : public vexa::IVideoSink {
public:
    bool SetMode(int&, int&, bool) override { return true; }
    void Present(vexa::FramePtr, const vexa::TVideoRect&) override
    {
        if (presented.fetch_add(1) == 0)
            first = Clock::now();
        if (measure && Clock::now() > measureFrom) {
            const double d = std::fabs(measure->ClockDifference());
            largest.store(std::max(largest.load(), d));
        }
    }
    void Clear() override {}
    std::atomic<int> presented{0};
    Clock::time_point first;
    BenchPlayer* measure = nullptr;
    Clock::time_point measureFrom;
    std::atomic<double> largest{0};
};

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Serve(int ms)
{
    MainThread::WaitServing([] { return false; }, std::chrono::milliseconds(ms));
}

int FirstPicture(const std::string& clip)
{
    std::vector<double> ms;
    for (int round = 0; round < 5; round++) {
        BenchPlayer player;
        CountingSink sink;
        const auto start = Clock::now();
        if (!player.Open(clip, &sink, true)) {
            std::fprintf(stderr, "bench_player: %s\n", player.LastErrMsg().c_str());
            return 1;
        }
        while (sink.presented.load() == 0)
            Serve(1);
        ms.push_back(std::chrono::duration<double, std::milli>(sink.first - start).count());
        player.Stop(true);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("player first picture ms: %.0f\n", ms[ms.size() / 2]);
    return 0;
}

int Drift(const std::string& workDir)
{
    const std::string clip = workDir + "/sync-10s.mkv";
    if (!vexa::platform::FileExists(clip)) {
        vexa::testmedia::ClipSpec c;
        c.path = clip;
        c.seconds = 10.5;
        c.videoCodec = "mpeg4";
        c.width = 640;
        c.height = 360;
        c.audioCodec = "libvorbis";
        vexa::testmedia::MakeClip(c);
    }
    BenchPlayer player;
    CountingSink sink;
    sink.measure = &player;
    // The first half second settles the clocks (the first pictures wait for
    // the sound to start); then every picture shown for 10 s is compared.
    sink.measureFrom = Clock::now() + std::chrono::milliseconds(500);
    if (!player.Open(clip, &sink, false)) {
        std::fprintf(stderr, "bench_player: %s\n", player.LastErrMsg().c_str());
        return 1;
    }
    const auto end = Clock::now() + std::chrono::milliseconds(10500);
    while (Clock::now() < end && player.PlayState() != vexa::psEnd)
        Serve(50);
    player.Stop(true);
    const double largest = sink.largest.load();
    std::printf("player av drift ms: %.0f\n", largest * 1000.0);
    return 0;
}

// Decodes every video and audio packet of the first `seconds` seconds, one
// thread per decoder, as the player's decoders run.
bool DecodeLoop(const std::string& clip, double seconds)
{
    AVFormatContext* raw = nullptr;
    if (vexa::OpenInputFile(&raw, vexa::EncodeLibFileName(clip), nullptr, nullptr) < 0)
        return false;
    vexa::InputContextPtr ic(raw);
    if (vexa::FindStreamInfo(ic.get(), nullptr) < 0)
        return false;
    std::vector<vexa::CodecContextPtr> decoders(ic->nb_streams);
    for (unsigned i = 0; i < ic->nb_streams; i++) {
        const AVCodecParameters* par = ic->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_VIDEO && par->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        const AVCodec* codec = vexa::AV.avcodec_find_decoder(par->codec_id);
        vexa::CodecContextPtr dec(vexa::AV.avcodec_alloc_context3(codec));
        vexa::AV.avcodec_parameters_to_context(dec.get(), par);
        dec->thread_count = 1;
        if (!codec || vexa::OpenCodec(dec.get(), codec, nullptr) < 0)
            return false;
        decoders[i] = std::move(dec);
    }
    vexa::PacketPtr pkt(vexa::AV.av_packet_alloc());
    vexa::FramePtr frame(vexa::AV.av_frame_alloc());
    while (vexa::AV.av_read_frame(ic.get(), pkt.get()) >= 0) {
        AVCodecContext* dec = decoders[static_cast<size_t>(pkt->stream_index)].get();
        const AVStream* st = ic->streams[pkt->stream_index];
        const bool late = pkt->pts != AV_NOPTS_VALUE && pkt->pts * av_q2d(st->time_base) > seconds;
        if (dec && !late && vexa::AV.avcodec_send_packet(dec, pkt.get()) >= 0)
            while (vexa::AV.avcodec_receive_frame(dec, frame.get()) >= 0)
                vexa::AV.av_frame_unref(frame.get());
        vexa::AV.av_packet_unref(pkt.get());
    }
    return true;
}

int Cpu(const std::string& clip)
{
    const double seconds = 10.0;
    double before = CpuSeconds();
    if (!DecodeLoop(clip, seconds)) {
        std::fprintf(stderr, "bench_player: cannot decode %s\n", clip.c_str());
        return 1;
    }
    const double decode = CpuSeconds() - before;

    BenchPlayer player;
    CountingSink sink;
    player.SetPlayTime(static_cast<int64_t>(seconds * 1000000));
    player.SetRepeatType(vexa::rtStop);
    before = CpuSeconds();
    if (!player.Open(clip, &sink, false)) {
        std::fprintf(stderr, "bench_player: %s\n", player.LastErrMsg().c_str());
        return 1;
    }
    const double opening = CpuSeconds() - before;
    while (player.PlayState() != vexa::psStop && player.PlayState() != vexa::psEnd)
        Serve(50);
    player.Stop(true);
    const double play = CpuSeconds() - before;
    std::fprintf(stderr, "(opening took %.2fs CPU)\n", opening);
    std::printf("player cpu ratio vs decode: %.2f\n", play / decode);
    std::fprintf(stderr, "(player %.2fs CPU, decode loop %.2fs CPU, %d pictures shown)\n", play, decode,
                 sink.presented.load());
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    MainThread::SetCurrentAsMain();
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s first|drift|cpu CLIP-OR-FOLDER\n", argv[0]);
        return 2;
    }
    setenv("SDL_AUDIODRIVER", std::getenv("SDL_AUDIODRIVER") ? std::getenv("SDL_AUDIODRIVER") : "dummy", 1);
    try {
        vexa::testmedia::LoadLibraries();
        std::string err;
        if (!vexa::LoadAVLibSet(vexa::kPlayerLibraries, vexa::platform::LibraryFolder(), err)) {
            std::fprintf(stderr, "bench_player: %s\n", err.c_str());
            return 1;
        }
        const std::string mode = argv[1];
        if (mode == "first")
            return FirstPicture(argv[2]);
        if (mode == "drift")
            return Drift(argv[2]);
        if (mode == "cpu")
            return Cpu(argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_player: %s\n", e.what());
        return 1;
    }
    return 2;
}
