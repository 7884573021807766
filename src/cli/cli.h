#pragma once
// The headless converter's commands. Each returns the process exit status:
// 0 success, 1 a file or job failed, 2 a usage error.
#include <string>
#include <vector>

namespace vexa::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A usage error: reported as "vexa-cli: <text>" plus a hint, exit status 2.
struct UsageError {
    std::string text;
};

// A whole decimal number from lo to hi, or a UsageError naming the option.
int ParseInt(const std::string& text, const char* option, int lo, int hi);

int RunPresets(const std::vector<std::string>& args);
int RunProbe(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& args);

// Loads a library set from the library folder; prints the loader's message
// and returns false on failure.
bool LoadLibraries(bool forConversion);

// Routes the log relay to standard error at the given level ("quiet" ...
// "debug" or a number); raises UsageError for a bad level.
void SetupLogging(const std::string& level);

}  // namespace vexa::cli
