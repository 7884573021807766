// The real application in a real X server: it must come up at its size with
// its caption, and its Chinese captions must have glyphs.
#include <gtest/gtest.h>

#include <QImage>

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

}  // namespace
