#pragma once
// Shared pieces of the engine tests: the libraries, captured log lines,
// file names of the generated media and a scratch folder.
#include "engine/custom_ffmpeg.h"
#include "media/ffmpeg_logger.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vexa::test {

// Loads the engine's libraries once; every test fixture below does it.
void LoadEngineLibraries();

std::string Media(const std::string& name);
// A fresh folder under the test binary folder.
std::string ScratchDir(const std::string& name);

// Collects every log line (our own and the libraries') while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    bool Contains(const std::string& text) const;
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// The message of the vexa::Error `fn` raises, or "<no error>".
std::string ErrorOf(const std::function<void()>& fn);

class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadEngineLibraries(); }
};

}  // namespace vexa::test
