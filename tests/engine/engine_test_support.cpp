#include "engine_test_support.h"

#include "media/ffmpeg_loader.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <filesystem>

namespace vexa::test {

void LoadEngineLibraries()
{
    std::string err;
    if (!LoadAVLibSet(kEngineLibraries, platform::LibraryFolder(), err))
        throw Error(err);
}

std::string Media(const std::string& name)
{
    return std::string(VEXA_TEST_MEDIA_DIR) + "/" + name;
}

std::string ScratchDir(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "engine-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

LogCapture::LogCapture()
{
    TFFLogger& logger = TFFLogger::Instance();
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([this](void*, uint32_t, TLogLevel, const std::string& msg) {
        std::lock_guard<std::mutex> g(lock_);
        lines_.push_back(msg);
    });
}

LogCapture::~LogCapture()
{
    TFFLogger::Instance().SetOnLog(nullptr);
}

bool LogCapture::Contains(const std::string& text) const
{
    std::lock_guard<std::mutex> g(lock_);
    for (const std::string& l : lines_)
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> g(lock_);
    return lines_;
}

std::string ErrorOf(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

}  // namespace vexa::test
