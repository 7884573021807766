#pragma once
// Running the engine component in tests: collecting its events, waiting for
// the end of a run while serving main-thread hand-offs, and reading back
// what a conversion wrote.
#include "engine/ff_engine.h"
#include "engine_test_support.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexa::test {

// What a finished output holds, read with the probe.
struct OutputFacts {
    bool opened = false;
    int64_t duration = -1;  // microseconds
    int videoStreams = 0;
    int audioStreams = 0;
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
    int sampleRate = 0, channels = 0;
};
OutputFacts ReadOutput(const std::string& path);
// What decoding a whole file gives: every picture of its first video
// stream and every sample of its first audio stream.
struct DecodedCounts {
    bool opened = false;
    int64_t videoFrames = 0;
    int64_t audioSamples = 0;  // per channel
    int sampleRate = 0;
    int channels = 0;
    double audioRms = 0;       // of every sample, full scale 1.0
};
DecodedCounts CountDecoded(const std::string& path);

// The picture at about `atUs` microseconds, as a bitmap; false when none.
bool PictureAt(const std::string& path, int64_t atUs, platform::Bitmap& bitmap);

struct TerminateRecord {
    TTerminateInfo info;
    std::thread::id thread;
};

// Collects the events of one engine and waits for the end of its run.
// Declare it before the engine: the engine's event threads end when the
// engine goes, and they write here.
class EngineEvents {
public:
    void Attach(TCustomFFEngine& engine);
    // Serves main-thread hand-offs until the run's final event arrived.
    bool WaitForEnd(int seconds = 120);
    std::vector<TerminateRecord> Terminates() const;
    std::vector<TProgressInfo> Progress() const;

private:
    mutable std::mutex lock_;
    std::vector<TerminateRecord> terminates_;
    std::vector<TProgressInfo> progress_;
    bool ended_ = false;
};

// Engine test fixture: the engine's and the probe's libraries, this thread
// as the main thread, quiet log.
class EngineRunTest : public EngineTest {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
};

// Output options of the usual re-encode: AVI, MPEG-4 "XVID" and MP3.
TOutputOptions AviOptions();

// A task that finished without an error.
inline void ExpectClean(const TTerminateInfo& end)
{
    EXPECT_TRUE(end.Finished);
    EXPECT_FALSE(end.Exception) << end.ExceptionMsg;
}

}  // namespace vexa::test
