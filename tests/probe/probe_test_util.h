#pragma once
// Shared helpers of the probe tests.
#include "media/av_probe.h"
#include "media/ffmpeg_logger.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexa::probetest {

inline std::string Media(const std::string& name)
{
    return std::string(VEXA_TEST_MEDIA_DIR) + "/" + name;
}

// Loads the probe's libraries through its own LoadAVLib.
inline void LoadProbeLibraries()
{
    TAVProbe probe;
    if (!probe.AVLibLoaded()) {
        ASSERT_TRUE(probe.LoadAVLib(platform::LibraryFolder())) << probe.LastErrMsg();
    }
}

// Records what components post to the log relay while it lives.
class LogCapture {
public:
    struct Entry {
        void* Sender;
        TLogLevel Level;
        std::string Msg;
    };

    LogCapture()
    {
        TFFLogger& logger = TFFLogger::Instance();
        logger.SetTriggerEventInMainThread(false);
        logger.SetLogLevel(llInfo);
        logger.SetOnLog([this](void* sender, uint32_t, TLogLevel level, const std::string& msg) {
            entries_.push_back({sender, level, msg});
        });
    }
    ~LogCapture() { TFFLogger::Instance().SetOnLog(nullptr); }

    // Posts of one sender, library lines excluded.
    std::vector<Entry> From(const void* sender) const
    {
        std::vector<Entry> out;
        for (const Entry& e : entries_)
            if (e.Sender == sender)
                out.push_back(e);
        return out;
    }
    void Clear() { entries_.clear(); }

private:
    std::vector<Entry> entries_;
};

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size()) << "text does not end with a line end";
    return lines;
}

}  // namespace vexa::probetest
