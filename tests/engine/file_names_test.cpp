// File names are bytes: a colon, a leading dash, bytes that are not UTF-8,
// blanks or Chinese never change which local file the probe and the engine
// open or write.
#include "engine_run_support.h"

#include <filesystem>

using namespace vexa;
using namespace vexa::test;
namespace fs = std::filesystem;

namespace {

class FileNamesTest : public EngineRunTest {
protected:
    void SetUp() override
    {
        EngineRunTest::SetUp();
        old_ = fs::current_path();
    }
    void TearDown() override { fs::current_path(old_); }

private:
    fs::path old_;
};

// Relative names are taken from the current folder.
const char* const kNames[] = {
    "a:b.avi",          // reads as a protocol "a" to the libraries
    "-dash.avi",        // reads as an option to many programs
    "bad\xff\xfe.avi",  // not UTF-8
    "two  blanks .avi",
    "中文 名.avi",
    "dir:1/clip.avi",   // a colon in a folder name
};

}  // namespace

TEST_F(FileNamesTest, ProbeAndEngineOpenAndWriteExactlyTheNamedFiles)
{
    const std::string dir = ScratchDir("odd-names");
    fs::current_path(dir);
    for (const std::string name : kNames) {
        SCOPED_TRACE(name);
        fs::create_directories(fs::path(name).parent_path().empty() ? "." : fs::path(name).parent_path());
        fs::copy_file(Media("av.avi"), name, fs::copy_options::overwrite_existing);

        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(name)) << probe.LastErrMsg();
        EXPECT_EQ(probe.FileName(), name);
        EXPECT_EQ(probe.FileSize(), static_cast<int64_t>(fs::file_size(name)));

        const std::string output = name + ".mkv";
        EngineEvents events;
        TFFEngine engine;
        events.Attach(engine);
        const int t = engine.AddTask(name, static_cast<const TInputOptions*>(nullptr));
        ASSERT_GE(t, 0) << engine.LastErrMsg();
        EXPECT_EQ(engine.TaskInputProbe(t, 0)->FileName(), name);
        TOutputOptions o = AviOptions();
        o.TimeLength = 500000;
        ASSERT_TRUE(engine.SetOutputFile(t, output, &o)) << engine.LastErrMsg();
        engine.Start(0);
        ASSERT_EQ(events.Terminates().size(), 2u);
        EXPECT_TRUE(events.Terminates()[0].info.Finished) << events.Terminates()[0].info.ExceptionMsg;
        engine.ClearTasks();
        const OutputFacts f = ReadOutput(output);
        EXPECT_TRUE(f.opened);
        EXPECT_EQ(f.videoStreams, 1);
        EXPECT_TRUE(fs::exists(fs::current_path() / output));
    }
    // Only the files named above were written: no "a" protocol, no stray
    // file under a mangled name.
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2 * std::size(kNames));
}
