// Two measurements for the batch benchmark of scripts/bench:
//   vexa_bench_batch make DIR            eight 10-second 1280x720 H.264/AAC clips
//   vexa_bench_batch addfile DIR N CLIP  median time to make one job of a local
//                                        clip (probe, check task, output set-up)
#include "jobs/job_adder.h"
#include "catalogue/catalogue.h"
#include "catalogue/preset_pickers.h"
#include "engine/ff_engine.h"
#include "media_generator.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vexa;

namespace {

int Make(const fs::path& dir)
{
    fs::create_directories(dir);
    for (int i = 0; i < 8; ++i) {
        testmedia::ClipSpec c;
        c.path = (dir / ("clip" + std::to_string(i) + ".mp4")).string();
        if (fs::exists(c.path))
            continue;
        c.seconds = 10.0;
        c.videoCodec = "libx264";
        c.videoOptions = {{"preset", "veryfast"}};
        c.videoSource = i % 2 ? "testsrc2" : "testsrc";
        c.width = 1280;
        c.height = 720;
        c.fpsNum = 30;
        c.gop = 60;
        c.videoBitrate = 3000000;
        c.audioCodec = "aac";
        c.audioBitrate = 128000;
        testmedia::MakeClip(c);
    }
    return 0;
}

int AddFiles(const fs::path& dir, int count, const fs::path& clip)
{
    // Distinct local files, as a folder of clips would be.
    const fs::path in = dir / "in";
    const fs::path out = dir / "out";
    fs::remove_all(in);
    fs::remove_all(out);
    fs::create_directories(in);
    fs::create_directories(out);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const fs::path f = in / ("clip" + std::to_string(i) + clip.extension().string());
        fs::create_hard_link(clip, f);
        files.push_back(f.string());
    }
    TFFEngine engine;
    app::THeadlessPickerHost host(out.string(), false);
    catalogue::TPresetPickers pickers(host);
    pickers.SetCategoryIndex(0);
    pickers.SetFormatIndex(0);
    app::TJobList jobs;
    app::TJobAdder adder(engine, pickers, jobs);
    std::string err;
    if (!adder.EnsureLibraries(err)) {
        std::fprintf(stderr, "bench: %s\n", err.c_str());
        return 1;
    }
    std::vector<double> ms;
    for (const std::string& f : files) {
        const auto start = std::chrono::steady_clock::now();
        const app::TAddOutcome o = adder.AddFile(f);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (o.Kind != app::TAddOutcome::akAdded) {
            std::fprintf(stderr, "bench: %s: %s\n", f.c_str(), o.Message.c_str());
            return 1;
        }
    }
    engine.ClearTasks();
    std::sort(ms.begin(), ms.end());
    const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("%.2f\n", median);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    try {
        const std::string what = argc > 1 ? argv[1] : "";
        if (what == "make" && argc == 3)
            return Make(argv[2]);
        if (what == "addfile" && argc == 5)
            return AddFiles(argv[2], std::stoi(argv[3]), argv[4]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s make DIR | addfile DIR N CLIP\n", argv[0]);
    return 2;
}
