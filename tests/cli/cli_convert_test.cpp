#include "media/av_probe.h"
#include "media_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

const std::string kMedia = VEXA_TEST_MEDIA_DIR;

struct CliRun {
    int status = -1;
    std::string out;  // standard output
    std::string err;
};

// Starts vexa-cli with the arguments; calls onLine for each line of its
// standard output (it may return true to send Ctrl-C once).
CliRun Cli(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& onLine = {})
{
    int outPipe[2], errPipe[2];
    EXPECT_EQ(::pipe(outPipe), 0);
    EXPECT_EQ(::pipe(errPipe), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&fa, outPipe[0]);
    posix_spawn_file_actions_addclose(&fa, errPipe[0]);
    std::vector<std::string> all{VEXA_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    CliRun r;
    const int spawned = posix_spawn(&pid, VEXA_CLI, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0)
        return r;
    std::string pending;
    bool interrupted = false;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(outPipe[0], buf, sizeof buf)) > 0) {
        r.out.append(buf, static_cast<size_t>(n));
        pending.append(buf, static_cast<size_t>(n));
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (onLine && !interrupted && onLine(line)) {
                ::kill(pid, SIGINT);
                interrupted = true;
            }
        }
    }
    while ((n = ::read(errPipe[0], buf, sizeof buf)) > 0)
        r.err.append(buf, static_cast<size_t>(n));
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return r;
}

fs::path Scratch(const std::string& name)
{
    const fs::path dir = fs::path(VEXA_TEST_BINARY_DIR) / "convert" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Duration in seconds of what the probe reads, or -1.
double Seconds(const fs::path& file, std::string* format = nullptr)
{
    vexa::TAVProbe probe;
    if (!probe.LoadAVLib("") || !probe.LoadFile(file.string()))
        return -1;
    if (format)
        *format = probe.FormatName();
    return static_cast<double>(probe.GetFileStreamInfo().Duration) / 1e6;
}

}  // namespace

TEST(CliConvert, JobsConvertWithUniqueNamesAndReportAsJson)
{
    const fs::path out = Scratch("json");
    const CliRun r = Cli({"convert", "--json", "--output", out.string(), kMedia + "/av.mp4", kMedia + "/av.mp4",
                       kMedia + "/中文视频文件.mp4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "\"event\":\"end\""), 4);  // three jobs and the run
    EXPECT_EQ(Count(r.out, "\"finished\":true"), 4);
    EXPECT_GE(Count(r.out, "\"event\":\"progress\""), 3);
    for (const char* name : {"av.avi", "av_1.avi", "中文视频文件.avi"}) {
        std::string format;
        EXPECT_NEAR(Seconds(out / name, &format), 2.0, 0.5) << name;
        EXPECT_EQ(format, "avi") << name;
    }
}

TEST(CliConvert, OverridesAndOverwrite)
{
    const fs::path out = Scratch("overrides");
    const CliRun first = Cli({"convert", "--preset", "200", "--abitrate", "64 kbps", "--samplerate", "22050",
                           "--output", out.string(), kMedia + "/av.mp4"});
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_TRUE(fs::exists(out / "av.mp3"));
    const auto firstSize = fs::file_size(out / "av.mp3");
    // Replacing keeps the name; a plain second run would have made av_1.mp3.
    const CliRun again = Cli({"convert", "--preset", "200", "--overwrite", "--output", out.string(), kMedia + "/av.mp4"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_FALSE(fs::exists(out / "av_1.mp3"));
    EXPECT_GT(fs::file_size(out / "av.mp3"), firstSize);  // 128 kbps by default is larger than 64
    vexa::TAVProbe probe;
    ASSERT_TRUE(probe.LoadAVLib("") && probe.LoadFile((out / "av.mp3").string()));
    EXPECT_EQ(probe.FirstVideoStreamIndex(), -1);
}

TEST(CliConvert, ExtraOptionsReachTheEngine)
{
    const fs::path out = Scratch("options");
    const CliRun r = Cli({"convert", "--option", "t=1", "--option", "an=", "--output", out.string(),
                          kMedia + "/av.mp4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(Seconds(out / "av.avi"), 1.0, 0.2);
    vexa::TAVProbe probe;
    ASSERT_TRUE(probe.LoadAVLib("") && probe.LoadFile((out / "av.avi").string()));
    EXPECT_EQ(probe.AudioStreamCount(), 0);
    EXPECT_EQ(Cli({"convert", "--option", "novalue", kMedia + "/av.mp4"}).status, 2);
}

TEST(CliConvert, ClearErrors)
{
    const fs::path out = Scratch("errors");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"convert", "--preset", "9999", kMedia + "/av.mp4"}, 2, "--preset takes a number"},
        {{"convert", "--preset", "150", kMedia + "/av.mp4"}, 2, "unknown preset key 150"},
        {{"convert", "--preset", "200", "--size", "1280*720", kMedia + "/av.mp4"}, 2, "is not offered by format 200"},
        {{"convert", "--threads", "20", kMedia + "/av.mp4"}, 2, "--threads takes a number from 1 to 19"},
        {{"convert", "--output", "/proc/no-such-folder", kMedia + "/av.mp4"}, 1, "cannot write to the output folder"},
        {{"convert", "--output", out.string(), "/no/such/clip.mp4"}, 1, "/no/such/clip.mp4: no such file"},
        {{"convert", "--output", out.string(), kMedia + "/random.avi"}, 1, "Invalid data found when processing input"},
    };
    for (const Case& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[2];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        if (c.status == 2) {
            EXPECT_EQ(Count(r.err, "\n"), 2) << r.err;  // the error and the hint
        }
    }
    EXPECT_TRUE(fs::is_empty(out));  // nothing half-made is left behind
}

TEST(CliConvert, CtrlCLeavesAValidShorterOutputAndNoEmptyFiles)
{
    const fs::path out = Scratch("interrupt");
    const fs::path src = out.parent_path() / "long-source.avi";
    if (!fs::exists(src)) {
        vexa::testmedia::ClipSpec spec;
        spec.path = src.string();
        spec.videoCodec = "mpeg4";
        spec.audioCodec = "libmp3lame";
        spec.width = 1280;
        spec.height = 720;
        spec.seconds = 20;
        vexa::testmedia::MakeClip(spec);
    }
    const fs::path dest = out / "dest";
    fs::create_directories(dest);
    // Two jobs at one thread: the second has not started when Ctrl-C comes.
    // At this size the first job takes seconds; Ctrl-C comes with its first
    // progress line, half a second in.
    const CliRun r = Cli({"convert", "--preset", "100", "--size", "1280*720", "--output", dest.string(), src.string(),
                          src.string()},
                      [](const std::string& line) { return line.rfind("[1] ", 0) == 0; });
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("stopped"), std::string::npos) << r.out;
    const double seconds = Seconds(dest / "long-source.avi");
    EXPECT_GT(seconds, 0.0);
    EXPECT_LT(seconds, 19.0);
    for (const auto& entry : fs::directory_iterator(dest))
        EXPECT_GT(entry.file_size(), 0u) << entry.path();
}

// Lines given with --option decide over the preset and the picker choices;
// a name nobody knows is named in a warning.
TEST(CliConvert, OptionLinesAreTheUsersLastWord)
{
    struct Case {
        std::vector<std::string> options;
        int status;
        const char* inErr;    // expected on standard error, or null
        const char* notInErr; // must not be there, or null
        std::function<void(const fs::path&)> check;
    };
    const auto probe = [](const fs::path& file) {
        auto p = std::make_shared<vexa::TAVProbe>();
        EXPECT_TRUE(p->LoadAVLib("") && p->LoadFile(file.string())) << file;
        return p;
    };
    const Case cases[] = {
        {{"vcodec=nosuchcodec"}, 1, "Unknown encoder 'nosuchcodec'", nullptr, nullptr},
        {{"vcodec=libx264"}, 0, nullptr, "warning",
         [&](const fs::path& f) { EXPECT_EQ(probe(f)->FirstVideoStreamInfo().CodecName.rfind("h264", 0), 0u); }},
        {{"ar=22050", "ac=1"}, 0, nullptr, "warning",
         [&](const fs::path& f) {
             const auto a = probe(f)->FirstAudioStreamInfo();
             EXPECT_EQ(a.SampleRate, 22050);
             EXPECT_EQ(a.Channels, 1);
         }},
        {{"s=160x120", "r=10"}, 0, nullptr, "warning",
         [&](const fs::path& f) {
             const auto v = probe(f)->FirstVideoStreamInfo();
             EXPECT_EQ(v.Width, 160);
             EXPECT_EQ(v.Height, 120);
             EXPECT_EQ(v.FrameRate.num / std::max(v.FrameRate.den, 1), 10);
         }},
        {{"frobnicate=1", "qmin=3"}, 0, "warning: option 'frobnicate' is known neither", "'qmin'",
         [&](const fs::path& f) { EXPECT_TRUE(probe(f)->FileSize() > 0); }},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.front());
        const fs::path out = Scratch("last-word-" + std::to_string(n++));
        std::vector<std::string> args{"convert", "--output", out.string()};
        for (const std::string& o : c.options) {
            args.push_back("--option");
            args.push_back(o);
        }
        args.push_back(kMedia + "/av.mp4");
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.inErr) {
            EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
        }
        if (c.notInErr) {
            EXPECT_EQ(r.err.find(c.notInErr), std::string::npos) << r.err;
        }
        if (c.check && r.status == 0)
            c.check(out / "av.avi");
        if (c.status != 0) {
            EXPECT_TRUE(fs::is_empty(out));
        }
    }
}

// A file name is bytes: colons, a leading dash, bytes that are not UTF-8,
// blanks and Chinese all name local files, for probe and convert alike.
TEST(CliConvert, OddFileNamesAreLocalFiles)
{
    const fs::path dir = Scratch("odd-names");
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const std::string names[] = {"a:b.mp4", "-dash.mp4", "bad\xff\xfe.mp4", "two  blanks .mp4", "中文 名.mp4"};
    const fs::path old = fs::current_path();
    fs::current_path(dir);  // relative names, as a user in that folder types them
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        fs::copy_file(kMedia + "/av.mp4", name, fs::copy_options::overwrite_existing);
        const CliRun p = Cli({"probe", "--", name});
        EXPECT_EQ(p.status, 0) << p.err;
        EXPECT_NE(p.out.find("Format Name: mov,mp4"), std::string::npos) << p.out;
        const CliRun c = Cli({"convert", "--option", "t=0.5", "--output", out.string(), "--", name});
        EXPECT_EQ(c.status, 0) << c.err;
        const std::string stem = name.substr(0, name.size() - 4);
        EXPECT_GT(Seconds(out / (stem + ".avi")), 0.3);
    }
    // Without "--", a colon needs nothing special; a leading dash reads as an option.
    const CliRun colon = Cli({"probe", "a:b.mp4"});
    EXPECT_EQ(colon.status, 0) << colon.err;
    EXPECT_EQ(colon.err.find("protocol"), std::string::npos) << colon.err;
    EXPECT_EQ(Cli({"probe", "-dash.mp4"}).status, 2);
    fs::current_path(old);
}

// Every event line is JSON, whatever bytes the file name holds.
TEST(CliConvert, JsonStaysValidForAnyFileName)
{
    const fs::path dir = Scratch("json-names");
    const std::string name = (dir / "bad\xff name \"q\"\t\x01.mp4").string();
    fs::copy_file(kMedia + "/av.mp4", name);
    const CliRun r = Cli({"convert", "--json", "--option", "t=0.5", "--output", (dir / "out").string(), name});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.out.empty());
    EXPECT_NE(r.out.find("bad\\ufffd name \\\"q\\\"\\t\\u0001.mp4"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\xff'), std::string::npos);
    EXPECT_EQ(r.out.find('\t'), std::string::npos);
    EXPECT_EQ(r.out.find('\x01'), std::string::npos);
}

// A cut-off download converts what it holds, and the summary says the
// input ended early instead of a plain "finished".
TEST(CliConvert, SummaryTellsOfAnInputThatEndedEarly)
{
    const fs::path out = Scratch("ended-early");
    vexa::testmedia::ClipSpec clip;
    clip.path = (out / "whole.mkv").string();
    clip.videoCodec = "mpeg4";
    clip.audioCodec = "libvorbis";
    clip.seconds = 6.0;
    vexa::testmedia::MakeClip(clip);
    const fs::path cut = out / "cut.mkv";
    vexa::testmedia::Truncate(clip.path, cut.string(), 0.5);
    const fs::path converted = out / "converted";
    fs::create_directories(converted);
    const CliRun r = Cli({"convert", "--output", converted.string(), cut.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("finished, input ended early"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" of 00:00:06"), std::string::npos) << r.out;
    const CliRun whole = Cli({"convert", "--output", converted.string(), clip.path});
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(whole.out.find("ended early"), std::string::npos) << whole.out;
}
