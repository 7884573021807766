#include "cli/console.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    int status;
    std::string out;  // standard output and standard error together
};

Result RunCli(const std::string& args)
{
    const std::string cmd = std::string("'") + VEXA_CLI + "' " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    Result r{-1, {}};
    if (!p)
        return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int raw = ::pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

const std::string kMedia = VEXA_TEST_MEDIA_DIR;

}  // namespace

TEST(CliInfo, PresetsListsKeysAndTitles)
{
    const Result all = RunCli("presets");
    EXPECT_EQ(all.status, 0);
    EXPECT_NE(all.out.find("1 常用视频"), std::string::npos);
    EXPECT_NE(all.out.find("   200  MP3 - MPEG Layer-3音频格式(*.mp3)"), std::string::npos);
    const Result one = RunCli("presets --category 2");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out.find("1 常用视频"), std::string::npos);
    EXPECT_NE(one.out.find("2 常用音频"), std::string::npos);
}

TEST(CliInfo, ProbeDescribesFilesAndReportsBadOnes)
{
    const Result good = RunCli("probe '" + kMedia + "/中文视频文件.mp4'");
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_NE(good.out.find("Duration: 00:00:02.000"), std::string::npos) << good.out;
    EXPECT_EQ(good.out.find('\r'), std::string::npos);

    const Result bad = RunCli("probe '" + kMedia + "/av.avi' '" + kMedia + "/random.avi' /no/such/file.mp4");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Format Name: avi"), std::string::npos);  // the good file is still described
    EXPECT_NE(bad.out.find("vexa-cli: " + kMedia + "/random.avi: "), std::string::npos) << bad.out;
    EXPECT_NE(bad.out.find("/no/such/file.mp4"), std::string::npos);
}

TEST(CliInfo, UsageErrorsExitWithTwo)
{
    const char* cases[] = {"", "frobnicate", "presets --category 36", "presets --category x", "probe",
                           "probe --bogus a.mp4", "probe --log-level loud a.mp4"};
    for (const char* args : cases) {
        const Result r = RunCli(args);
        EXPECT_EQ(r.status, 2) << args << ": " << r.out;
    }
    EXPECT_EQ(RunCli("--help").status, 0);
}

// JSON text is Unicode; a file name is bytes. Well-formed UTF-8 passes, every
// other byte becomes U+FFFD, control characters are escaped.
TEST(CliJson, StringsAreValidJsonForAnyBytes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain.mp4", "\"plain.mp4\""},
        {"中文 名.mp4", "\"中文 名.mp4\""},
        {"\xf0\x9f\x8e\xac", "\"\xf0\x9f\x8e\xac\""},              // four bytes, well formed
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\t\n\r\x01\x1f\x7f", "\"\\t\\n\\r\\u0001\\u001f\\u007f\""},
        {"bad\xff.mp4", "\"bad\\ufffd.mp4\""},
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                           // overlong '/'
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},             // a surrogate
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""}, // beyond U+10FFFF
        {"\xe4\xb8", "\"\\ufffd\\ufffd\""},                           // cut short at the end
        {"\xe4\xb8x", "\"\\ufffd\\ufffdx\""},                         // cut short before a letter
        {"\x80\xbf", "\"\\ufffd\\ufffd\""},                           // stray continuation bytes
    };
    for (const auto& [bytes, json] : cases)
        EXPECT_EQ(vexa::cli::JsonString(bytes), json) << bytes;
}
