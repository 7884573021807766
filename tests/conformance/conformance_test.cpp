// Every format preset converts each of two short clips of different kinds
// into a file the probe reads back with the right container, streams,
// channels and length -- or fails with a message that expected_failures.tsv
// names for that clip and key, with the reason. Each clip's run writes
// conformance-<clip>.csv in the build folder.
#include "jobs/job_adder.h"
#include "jobs/job_records.h"
#include "catalogue/catalogue.h"
#include "catalogue/job_defaults.h"
#include "catalogue/presets.h"
#include "catalogue/preset_pickers.h"
#include "engine/ff_engine.h"
#include "media/av_probe.h"
#include "media/av_ptr.h"
#include "media_generator.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace vexa;

namespace {

// A clip every preset converts.
struct TSource {
    std::string name;  // in test names, folders and the expected-failure table
    std::string path;
    double seconds = 0;
};

// H.264 and stereo AAC at 44.1 kHz, 25 frames/s, made here; and the standard
// set's MPEG-4 with 5.1 AC-3 at 48 kHz, 30000/1001 frames/s, in Matroska.
TSource Source(const std::string& name)
{
    if (name == "stereo_pal") {
        const fs::path path = fs::path(VEXA_TEST_BINARY_DIR) / "conformance" / "source.mp4";
        if (!fs::exists(path)) {
            fs::create_directories(path.parent_path());
            testmedia::ClipSpec spec;
            spec.path = path.string();
            spec.videoCodec = "libx264";
            spec.videoOptions = {{"preset", "veryfast"}};
            spec.audioCodec = "aac";
            spec.width = 640;
            spec.height = 480;
            spec.seconds = 2.0;
            testmedia::MakeClip(spec);
        }
        return {name, path.string(), 2.0};
    }
    return {name, std::string(VEXA_TEST_MEDIA_DIR) + "/surround.mkv", 1.0};
}

struct TOutcome {
    int key = 0;
    std::string title;
    bool passed = false;
    std::string stage;  // "set-up", "run", "check" or "ok"
    double seconds = 0;
    std::string message;
    std::string container;  // what the probe read
    int channels = -1;      // of the first audio stream
    int sampleRate = -1;
};

struct TExpected {
    std::string message;  // a part of the failure message
    std::string reason;
};

// Containers the probe may name for an output extension.
const std::map<std::string, std::set<std::string>>& Containers()
{
    static const std::map<std::string, std::set<std::string>> table = {
        {".avi", {"avi"}},
        {".mp4", {"mov,mp4,m4a,3gp,3g2,mj2"}},
        {".m4v", {"mov,mp4,m4a,3gp,3g2,mj2"}},
        {".m4a", {"mov,mp4,m4a,3gp,3g2,mj2"}},
        {".mov", {"mov,mp4,m4a,3gp,3g2,mj2"}},
        {".3gp", {"mov,mp4,m4a,3gp,3g2,mj2"}},
        {".3g2", {"mov,mp4,m4a,3gp,3g2,mj2"}},
        {".mkv", {"matroska,webm"}},
        {".mpg", {"mpeg"}},
        {".mpeg", {"mpeg"}},
        {".vob", {"mpeg"}},
        {".dat", {"mpeg"}},
        {".ts", {"mpegts"}},
        {".wmv", {"asf"}},
        {".asf", {"asf"}},
        {".flv", {"flv"}},
        {".swf", {"swf"}},
        {".rm", {"rm"}},
        {".ra", {"rm"}},
        {".mp3", {"mp3"}},
        {".wav", {"wav"}},
        {".aac", {"aac"}},
        {".ac3", {"ac3"}},
        {".amr", {"amr"}},
        {".flac", {"flac"}},
        {".ogg", {"ogg"}},
        {".mp2", {"mp3"}},
        {".wma", {"asf"}},
        {".dv", {"dv"}},
        {".gif", {"gif"}},
        {".aiff", {"aiff"}},
        {".aif", {"aiff"}},
    };
    return table;
}

// Length from the packets themselves, for containers that store none.
double PacketSeconds(AVFormatContext* ctx)
{
    PacketPtr pkt(AV.av_packet_alloc());
    double end = -1;
    while (AV.av_read_frame(ctx, pkt.get()) >= 0) {
        const AVStream* st = ctx->streams[pkt->stream_index];
        const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE) {
            const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            end = std::max(end, static_cast<double>(ts - start + pkt->duration) * av_q2d(st->time_base));
        }
        AV.av_packet_unref(pkt.get());
    }
    return end;
}

// Rows of expected_failures.tsv for one source, by key.
std::map<int, TExpected> LoadExpected(const std::string& sourceName)
{
    std::map<int, TExpected> expected;
    std::ifstream in(std::string(VEXA_SOURCE_DIR) + "/tests/conformance/expected_failures.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string source, key, message, reason;
        std::getline(fields, source, '\t');
        std::getline(fields, key, '\t');
        std::getline(fields, message, '\t');
        std::getline(fields, reason);
        if (source == sourceName)
            expected[std::stoi(key)] = {message, reason};
    }
    return expected;
}

std::string Csv(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c == '\n' || c == '\r' ? ' ' : c);
    return out + "\"";
}

TOutcome ConvertWith(int key, const TSource& source, const fs::path& root)
{
    TOutcome o;
    o.key = key;
    o.title = std::string(catalogue::FindFormat(key)->Title);
    const fs::path folder = root / std::to_string(key);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto start = std::chrono::steady_clock::now();

    TFFEngine engine;
    engine.SetTriggerEventInMainThread(false);
    app::THeadlessPickerHost host(folder.string(), true);
    catalogue::TPresetPickers pickers(host);
    pickers.SetCategoryIndex(catalogue::KeyCategory(key));
    pickers.SetFormatIndex(catalogue::KeyFormat(key));
    app::TJobList jobs;
    app::TJobAdder adder(engine, pickers, jobs);
    std::string err;
    if (!adder.EnsureLibraries(err)) {
        o.stage = "set-up";
        o.message = err;
        return o;
    }
    const app::TAddOutcome added = adder.AddFile(source.path);
    if (added.Kind != app::TAddOutcome::akAdded) {
        o.stage = "set-up";
        o.message = added.Message;
        return o;
    }
    const std::vector<app::TRunTask> tasks = app::BuildRunTasks(jobs, folder.string());
    engine.ClearTasks();
    const int t = engine.AddTask(tasks[0].InputFile, &tasks[0].Input);
    if (t < 0 || !engine.SetOutputFile(t, tasks[0].OutputFile, &tasks[0].Output)) {
        o.stage = "set-up";
        o.message = engine.LastErrMsg();
        return o;
    }
    TTerminateInfo end;
    engine.OnTerminate = [&](TCustomFFEngine*, const TTerminateInfo& info) {
        if (info.TaskIndex == 0)
            end = info;
    };
    engine.Start(0);  // on this thread, to the end
    engine.ClearTasks();
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (end.Exception || !end.Finished) {
        o.stage = "run";
        o.message = end.Exception ? end.ExceptionMsg : "the task did not finish";
        return o;
    }

    // Read the result back.
    o.stage = "check";
    const std::string output = tasks[0].OutputFile;
    TAVProbe probe;
    if (!probe.LoadFile(output)) {
        o.message = "output unreadable: " + probe.LastErrMsg();
        return o;
    }
    o.container = probe.FormatName();
    const std::string ext = platform::ExtractFileExt(output);
    const auto accepted = Containers().find(ext);
    if (accepted == Containers().end() || !accepted->second.count(o.container)) {
        o.message = "container " + o.container + " for " + ext;
        return o;
    }
    const catalogue::TPresetEntry* preset = catalogue::FindPreset(key);
    const bool audioOnly = preset->Kind == catalogue::pkAudioOnly;
    if (!audioOnly && probe.VideoStreamCount() < 1) {
        o.message = "no video stream";
        return o;
    }
    if (audioOnly && probe.VideoStreamCount() > 0) {
        o.message = "a video stream in an audio-only output";
        return o;
    }
    if (probe.AudioStreamCount() < 1) {
        o.message = "no audio stream";
        return o;
    }
    const TAudioStreamInfo audio = probe.FirstAudioStreamInfo();
    o.channels = audio.Channels;
    o.sampleRate = audio.SampleRate;
    catalogue::TJobDefaults defaults;
    catalogue::LoadPreset(defaults, key, folder.string(), true);
    if (!defaults.Video_AudioChannels.empty() && std::to_string(o.channels) != defaults.Video_AudioChannels) {
        o.message = std::to_string(o.channels) + " audio channels where the preset asks for " +
                    defaults.Video_AudioChannels;
        return o;
    }
    double seconds = static_cast<double>(probe.GetFileStreamInfo().Duration) / 1e6;
    if (seconds <= 0)
        seconds = PacketSeconds(probe.FileHandle());
    if (std::abs(seconds - source.seconds) > 0.5) {
        o.message = "duration " + std::to_string(seconds);
        return o;
    }
    o.stage = "ok";
    o.passed = true;
    fs::remove_all(folder);  // keep only what failed, for a look
    return o;
}

}  // namespace

class Conformance : public ::testing::TestWithParam<std::string> {};

TEST_P(Conformance, EveryPresetConvertsOrFailsAsExpected)
{
    const TSource source = Source(GetParam());
    const fs::path root = fs::path(VEXA_TEST_BINARY_DIR) / "conformance" / source.name;
    fs::create_directories(root);
    ASSERT_TRUE(fs::exists(source.path)) << source.path;
    std::vector<int> keys;
    for (const catalogue::TFormatItem& f : catalogue::AllFormats())
        keys.push_back(f.Key);
    ASSERT_EQ(keys.size(), 308u);

    // Two converters side by side, one per core, each taking the next key.
    std::vector<TOutcome> outcomes(keys.size());
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; (i = next++) < keys.size();)
            outcomes[i] = ConvertWith(keys[i], source, root);
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();

    const fs::path report = fs::path(VEXA_TEST_BINARY_DIR) / "conformance" / ("conformance-" + source.name + ".csv");
    std::ofstream csv(report);
    csv << "key,title,outcome,seconds,channels,sample rate,message\n";
    const std::map<int, TExpected> expected = LoadExpected(source.name);
    int passed = 0;
    double total = 0;
    for (const TOutcome& o : outcomes) {
        total += o.seconds;
        const auto e = expected.find(o.key);
        std::string outcome = o.passed ? "pass" : "fail (" + o.stage + ")";
        if (!o.passed && e != expected.end())
            outcome = "expected failure (" + o.stage + ")";
        csv << o.key << "," << Csv(o.title) << "," << Csv(outcome) << "," << o.seconds << "," << o.channels << ","
            << o.sampleRate << ","
            << Csv(o.passed ? o.container : o.message + (e != expected.end() ? " -- " + e->second.reason : "")) << "\n";
        if (o.passed) {
            ++passed;
            EXPECT_TRUE(e == expected.end()) << o.key << " passes now: take it out of expected_failures.tsv";
        } else if (e == expected.end()) {
            ADD_FAILURE() << o.key << " " << o.title << " failed at " << o.stage << ": " << o.message;
        } else {
            EXPECT_NE(o.message.find(e->second.message), std::string::npos)
                << o.key << " failed for another reason: " << o.message;
        }
    }
    std::printf("conformance %s: %d of %zu presets pass in %.0f s of conversion; report in %s\n",
                source.name.c_str(), passed, keys.size(), total, report.c_str());
}

INSTANTIATE_TEST_SUITE_P(Sources, Conformance, ::testing::Values("stereo_pal", "surround_ntsc"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });
