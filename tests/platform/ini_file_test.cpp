#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using vexa::platform::IniFile;
namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::path(VEXA_TEST_BINARY_DIR) / "ini" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "option.ini").string();
    }
    void Put(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Get() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
    std::string path_;
};

}  // namespace

TEST_F(IniFileTest, MissingFileGivesDefaultAndFirstWriteCreatesIt)
{
    IniFile ini(path_);
    EXPECT_FALSE(ini.Exists());
    EXPECT_EQ(ini.ReadString("OutPath", "OutPath", "Error"), "Error");
    ASSERT_TRUE(ini.WriteString("OutPath", "OutPath", "/home/u/Vexa视频软件/输出"));
    EXPECT_TRUE(ini.Exists());
    EXPECT_EQ(ini.ReadString("OutPath", "OutPath", "Error"), "/home/u/Vexa视频软件/输出");
    EXPECT_EQ(Get(), "[OutPath]\nOutPath=/home/u/Vexa视频软件/输出\n");
}

TEST_F(IniFileTest, CaseFreeNamesBlanksAndEmptyValues)
{
    Put("; settings\r\n[options]\r\n  thread_count = 4 \r\nAfter_Done=\r\n[Skin]\r\nSetSkin=2\r\n");
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString("Options", "Thread_Count", "Error"), "4");
    EXPECT_EQ(ini.ReadString("OPTIONS", "THREAD_COUNT", "Error"), "4");
    EXPECT_EQ(ini.ReadString("Options", "After_Done", "Error"), "Error");  // empty counts as missing
    EXPECT_EQ(ini.ReadString("Options", "SetSkin", "Error"), "Error");     // key of another section
    EXPECT_EQ(ini.ReadString("skin", "setskin", "Error"), "2");
}

TEST_F(IniFileTest, WritesReplaceInPlaceAndKeepOtherLines)
{
    Put("# kept comment\n[Options]\nThread_Count=0\nstray line\n\n[Skin]\nSetSkin=1\n");
    IniFile ini(path_);
    ASSERT_TRUE(ini.WriteString("options", "THREAD_COUNT", "3"));
    ASSERT_TRUE(ini.WriteString("Options", "After_Done", "2"));
    ASSERT_TRUE(ini.WriteString("SnapShot", "Picture", "PNG"));
    EXPECT_EQ(Get(),
              "# kept comment\n[Options]\nTHREAD_COUNT=3\nstray line\nAfter_Done=2\n\n"
              "[Skin]\nSetSkin=1\n\n[SnapShot]\nPicture=PNG\n");
}

TEST_F(IniFileTest, AWriteKeepsTheByteOrderMarkAndWhatOtherLinesMean)
{
    // The second text came from fuzzing: after the first mark another one
    // hides "[options]", so "key==B" belongs to no section; a write that
    // dropped the first mark made that line the key of [Options].
    const std::string bom = "\xEF\xBB\xBF";
    const std::string texts[] = {
        bom + "[Options]\r\nkey=1\r\n[Skin]\r\nSetSkin=2\r\n",
        bom + bom + "[options]\r\nkey==B\n[ Options ]\nkey=1\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        Put(text);
        IniFile ini(path_);
        const std::string skin = ini.ReadString("Skin", "SetSkin", "Error");
        EXPECT_EQ(ini.ReadString("Options", "key", "Error"), "1");
        ASSERT_TRUE(ini.WriteString("Options", "key", "D:/输出"));
        EXPECT_EQ(ini.ReadString("Options", "key", "Error"), "D:/输出");
        EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), skin);
        EXPECT_EQ(Get().rfind(bom, 0), 0u);
    }
}

TEST_F(IniFileTest, TwoObjectsOnOneFileSeeEachOthersWrites)
{
    IniFile a(path_), b(path_);
    ASSERT_TRUE(a.WriteString("Options", "Show_Preview", "1"));
    EXPECT_EQ(b.ReadString("Options", "Show_Preview", "Error"), "1");
    ASSERT_TRUE(b.WriteString("Options", "Show_Preview", "0"));
    EXPECT_EQ(a.ReadString("Options", "Show_Preview", "Error"), "0");
}

TEST_F(IniFileTest, GarbageFileReadsAsEmptyAndIsRepairedEntryByEntry)
{
    std::string junk;
    for (int i = 0; i < 512; ++i)
        junk += static_cast<char>((i * 73 + 11) % 256);
    Put(junk);
    IniFile ini(path_);
    EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "Error");
    ASSERT_TRUE(ini.WriteString("Skin", "SetSkin", "0"));
    EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "0");
    ASSERT_TRUE(ini.WriteString("Options", "After_Done", "0"));
    EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "0");
    EXPECT_EQ(ini.ReadString("Options", "After_Done", "Error"), "0");
}

TEST_F(IniFileTest, UnwritableFolderFailsAndLeavesNothing)
{
    IniFile ini((dir_ / "no-such-folder" / "option.ini").string());
    EXPECT_FALSE(ini.WriteString("Skin", "SetSkin", "0"));
    EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "Error");
}
