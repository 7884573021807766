#include "media/av_probe.h"
#include "media_generator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
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
