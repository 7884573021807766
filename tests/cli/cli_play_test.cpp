// vexa-cli play without a window: sound to SDL's silent driver, events as
// JSON lines.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct PlayResult {
    int status = -1;
    std::vector<std::string> lines;  // standard output
    std::string err;
};

PlayResult Play(const std::string& args)
{
    const std::string errFile = std::string(VEXA_TEST_BINARY_DIR) + "/play_stderr.txt";
    const std::string cmd = std::string("SDL_AUDIODRIVER=dummy '") + VEXA_CLI + "' play " + args + " 2>'" + errFile + "'";
    PlayResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    std::string out;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    const int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        r.lines.push_back(line);
    if (FILE* f = std::fopen(errFile.c_str(), "r")) {
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0)
            r.err.append(buf.data(), n);
        std::fclose(f);
    }
    return r;
}

double Field(const std::string& line, const std::string& name)
{
    const size_t at = line.find("\"" + name + "\":");
    return at == std::string::npos ? -1 : std::stod(line.substr(at + name.size() + 3));
}

const std::string kMedia = VEXA_TEST_MEDIA_DIR;

}  // namespace

TEST(CliPlay, PlaysToTheEndPrintingStatesAndPositions)
{
    const PlayResult r = Play("--no-video --no-audio --json '" + kMedia + "/av.mp4'");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_GE(r.lines.size(), 4u);
    EXPECT_EQ(r.lines.front().rfind("{\"event\":\"open\"", 0), 0u) << r.lines.front();
    EXPECT_EQ(r.lines[1], "{\"event\":\"state\",\"state\":\"psPlay\"}");
    std::vector<std::string> states;
    double last = -1;
    for (const std::string& line : r.lines) {
        if (line.find("\"state\":\"") != std::string::npos)
            states.push_back(line.substr(line.find("\"state\":\"") + 9, 6));
        if (line.find("\"position\"") != std::string::npos) {
            EXPECT_DOUBLE_EQ(Field(line, "duration"), 2.0) << line;
            last = Field(line, "position");
        }
    }
    // Without video the end comes when the sound ran out of packets; the
    // device may still be playing its last buffer.
    EXPECT_GT(last, 1.9);
    EXPECT_LE(last, 2.0);
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states.front(), "psPlay");
    EXPECT_EQ(states.back(), "psStop");
    for (size_t i = 1; i + 1 < states.size(); i++)
        EXPECT_EQ(states[i], "psEnd\"");
}

TEST(CliPlay, SeekStartsLater)
{
    const PlayResult r = Play("--no-video --no-audio --json --seek 1.5 '" + kMedia + "/long.avi'");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& line : r.lines) {
        if (line.find("\"position\"") != std::string::npos) {
            EXPECT_GE(Field(line, "position"), 0.9) << line;  // the key picture before 1.5 s at the earliest
            break;
        }
    }
}

TEST(CliPlay, FailuresAndUsageErrors)
{
    const PlayResult missing = Play("--no-video --no-audio /no/such/file.mp4");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("vexa-cli: /no/such/file.mp4: No such file or directory"), std::string::npos)
        << missing.err;
    for (const char* args : {"", "--no-video", "--seek x a.mp4", "--seek -1 a.mp4", "a.mp4 b.mp4", "--bogus a.mp4"}) {
        const PlayResult r = Play(args);
        EXPECT_EQ(r.status, 2) << args << ": " << r.err;
    }
}
