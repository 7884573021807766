#include "platform/bitmap.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vexa::platform;

TEST(Paths, ApplicationFolderHoldsTheTestBinary)
{
    const std::string folder = ApplicationFolder();
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(LibraryFolder(), folder + "/LibAV");
}

TEST(Paths, NameParts)
{
    EXPECT_EQ(ExtractFileDir("/a/b/clip.avi"), "/a/b");
    EXPECT_EQ(ExtractFileName("/a/b/clip.avi"), "clip.avi");
    EXPECT_EQ(ExtractFileExt("/a/b.d/clip"), "");
    EXPECT_EQ(ExtractFileExt("/a/b/视频.片段.mp4"), ".mp4");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
}

TEST(Paths, ForceDirectoriesCreatesParents)
{
    const auto base = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "force";
    std::filesystem::remove_all(base);
    const std::string deep = (base / "Vexa视频软件" / "输出").string();
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(deep));
    EXPECT_TRUE(ForceDirectories(deep));  // already there
    EXPECT_FALSE(ForceDirectories("/proc/forbidden/x"));
}

TEST(Shell, RecordingShellRecordsAndIsInstallable)
{
    auto fake = std::make_unique<RecordingShell>();
    RecordingShell* rec = fake.get();
    InstallShell(std::move(fake));
    CurrentShell().OpenFolder("/out");
    CurrentShell().PlaySound("/app/sounds/ring001.wav");
    CurrentShell().Shutdown();
    const auto calls = rec->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].action, "OpenFolder");
    EXPECT_EQ(calls[0].argument, "/out");
    EXPECT_EQ(calls[1].action, "PlaySound");
    EXPECT_EQ(calls[2].action, "Shutdown");
    InstallShell(nullptr);
}

TEST(Bitmap, RowsArePaddedAndPixelsAreBgr)
{
    Bitmap bmp(5, 2);
    EXPECT_EQ(bmp.Stride(), 16);  // 15 bytes rounded up to a multiple of 4
    bmp.SetPixel(4, 1, 10, 20, 30);
    EXPECT_EQ(bmp.ScanLine(1)[12], 30);  // blue first
    EXPECT_EQ(bmp.ScanLine(1)[14], 10);
    uint8_t r, g, b;
    bmp.GetPixel(4, 1, r, g, b);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
}

TEST(Error, FormatGrowsPastItsSmallBuffer)
{
    const std::string long_text(2000, 'x');
    EXPECT_EQ(vexa::Format("%s-%d", long_text.c_str(), 7), long_text + "-7");
    EXPECT_THROW(vexa::RaiseFmt("Cannot %s while working.", "AddTask"), vexa::Error);
}
