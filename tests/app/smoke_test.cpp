// The real application in a real X server: it must come up at its size with
// its caption, and its Chinese captions must have glyphs.
#include "media/av_probe.h"
#include "media_generator.h"

#include <gtest/gtest.h>

#include <QImage>

#include <fstream>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

namespace {

std::map<std::string, std::string> RunSmoke(const std::string& command)
{
    std::map<std::string, std::string> values;
    FILE* out = ::popen(command.c_str(), "r");
    if (!out)
        return values;
    char line[1024];
    while (std::fgets(line, sizeof line, out)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t eq = text.find('=');
        if (eq != std::string::npos)
            values[text.substr(0, eq)] = text.substr(eq + 1);
    }
    values["rc"] = std::to_string(::pclose(out));
    return values;
}

TEST(Smoke, TheWindowComesUpUnderXvfb)
{
    ASSERT_EQ(std::system("command -v xvfb-run >/dev/null"), 0) << "xvfb-run is missing: run scripts/setup";
    const std::filesystem::path dir = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "smoke";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "home");
    const std::filesystem::path shot = std::filesystem::path(VEXA_BUILD_DIR) / "vexa-smoke.png";
    std::filesystem::remove(shot);

    std::ostringstream command;
    // Under the leak checker the desktop's libraries report what they keep.
    const std::string suppressions = std::string(VEXA_SOURCE_DIR) + "/tests/app/lsan_suppressions.txt";
    command << "cd '" << dir.string() << "' && HOME='" << (dir / "home").string()
            << "' LSAN_OPTIONS='suppressions=" << suppressions << ":print_suppressions=0'"
            << " QT_QPA_PLATFORM=xcb timeout 120 xvfb-run -a -s '-screen 0 1280x1024x24' '" << VEXA_APP_BINARY
            << "' --settings '" << (dir / "option.ini").string() << "' --home '" << (dir / "home").string()
            << "' --smoke-screenshot '" << shot.string() << "' 2>&1";
    const auto values = RunSmoke(command.str());
    ASSERT_EQ(values.count("caption"), 1u) << "the application printed nothing";
    EXPECT_EQ(values.at("rc"), "0");
    EXPECT_EQ(values.at("caption"), "Vexa全能视频格式转换器");
    EXPECT_EQ(values.at("client"), "839x527");
    EXPECT_EQ(values.at("exposed"), "1");
    EXPECT_EQ(values.at("missing_glyphs"), "0");

    QImage image(QString::fromStdString(shot.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(839, 527));
    // A real picture, not one flat colour.
    int colours = 0;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height() && colours < 2; y += 7)
        for (int x = 0; x < image.width(); x += 7)
            if (image.pixel(x, y) != first) {
                ++colours;
                break;
            }
    EXPECT_GE(colours, 1);
    // Nothing was written outside the scratch folder.
    EXPECT_TRUE(std::filesystem::exists(dir / "home" / "Vexa视频软件" / "输出"));
}

// Two clips on the command line, converted two at a time with preview
// windows, the run started through the toolbar, a grab while a row shows
// progress and one after the run, outputs that probe back at their inputs'
// length.
TEST(Smoke, TheWindowConvertsTheFilesOfItsCommandLine)
{
    ASSERT_EQ(std::system("command -v xvfb-run >/dev/null"), 0) << "xvfb-run is missing: run scripts/setup";
    const std::filesystem::path dir = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "smoke-run";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "home");
    const std::filesystem::path out = dir / "out";
    std::filesystem::create_directories(out);
    // Long enough that the run is seen under way.
    vexa::testmedia::LoadLibraries();
    std::vector<std::string> clips;
    for (const char* name : {"第一段.avi", "second.avi"}) {
        vexa::testmedia::ClipSpec clip;
        clip.path = (dir / name).string();
        clip.videoCodec = "mpeg4";
        clip.audioCodec = "libmp3lame";
        clip.seconds = 30.0;
        vexa::testmedia::MakeClip(clip);
        clips.push_back(clip.path);
    }
    std::ofstream(dir / "option.ini") << "[OutPath]\nOutPath=" << out.string()
                                      << "\n[Options]\nAfter_Done=3\nThread_Count=2\nShow_Preview=1\n";

    const std::filesystem::path shot = std::filesystem::path(VEXA_BUILD_DIR) / "vexa-run.png";
    const std::filesystem::path during = std::filesystem::path(VEXA_BUILD_DIR) / "vexa-run-during.png";
    std::filesystem::remove(shot);
    std::filesystem::remove(during);
    std::ostringstream command;
    const std::string suppressions = std::string(VEXA_SOURCE_DIR) + "/tests/app/lsan_suppressions.txt";
    command << "cd '" << dir.string() << "' && HOME='" << (dir / "home").string()
            << "' LSAN_OPTIONS='suppressions=" << suppressions << ":print_suppressions=0'"
            << " QT_QPA_PLATFORM=xcb timeout 300 xvfb-run -a -s '-screen 0 1280x1024x24' '" << VEXA_APP_BINARY
            << "' --settings '" << (dir / "option.ini").string() << "' --home '" << (dir / "home").string()
            << "' --run-screenshot '" << shot.string() << "' '" << clips[0] << "' '" << clips[1] << "' 2>&1";
    const auto values = RunSmoke(command.str());
    ASSERT_EQ(values.count("jobs"), 1u) << "the run never started";
    EXPECT_EQ(values.at("rc"), "0");
    EXPECT_EQ(values.at("jobs"), "2");
    EXPECT_EQ(values.count("timeout"), 0u);
    ASSERT_EQ(values.count("during"), 1u) << "no grab while the run was under way";
    EXPECT_NE(values.at("during").find("saved"), std::string::npos);
    EXPECT_NE(values.at("during_remaining").find("剩余时间："), std::string::npos);
    // Preview is on: each converting job shows its frames in a window.
    EXPECT_GE(std::stoi(values.at("during_previews")), 1);
    ASSERT_EQ(values.count("after"), 1u);
    EXPECT_NE(values.at("after").find("saved"), std::string::npos);

    for (const std::filesystem::path& file : {shot, during}) {
        QImage image(QString::fromStdString(file.string()));
        ASSERT_FALSE(image.isNull()) << file;
        EXPECT_EQ(image.size(), QSize(839, 527));
    }
    int outputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        vexa::TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(entry.path().string())) << entry.path() << probe.LastErrMsg();
        EXPECT_NEAR(static_cast<double>(probe.GetFileStreamInfo().Duration) / 1e6, 30.0, 0.5) << entry.path();
        ++outputs;
    }
    EXPECT_EQ(outputs, 2);
}

}  // namespace
