#include "jobs/app_settings.h"

#include "platform/paths.h"

#include <string_view>

namespace vexa::app {

namespace {

constexpr const char* kMissing = "Error";

// The single-digit choice 0..count-1, or -1.
int Choice(const std::string& text, int count)
{
    if (text.size() != 1 || text[0] < '0' || text[0] >= '0' + count)
        return -1;
    return text[0] - '0';
}

}  // namespace

TSettingsLocation DefaultSettingsLocation()
{
    return {platform::SettingsFile("option.ini"), platform::HomeFolder()};
}

std::string DefaultOutputFolder(const std::string& home)
{
    return home + "/Vexa视频软件/输出";
}

std::string DefaultSnapshotFolder(const std::string& home)
{
    return home + "/Vexa视频软件/快照";
}

TAppSettings::TAppSettings(TSettingsLocation location)
    : location_(std::move(location)), ini_(location_.IniPath)
{
}

std::string TAppSettings::Read(const char* section, const char* key)
{
    return ini_.ReadString(section, key, kMissing);
}

std::string TAppSettings::LoadOutputFolder()
{
    const std::string stored = ini_.Exists() ? Read("OutPath", "OutPath") : kMissing;
    if (stored != kMissing) {
        platform::ForceDirectories(stored);
        return stored;
    }
    const std::string folder = DefaultOutputFolder(location_.HomeFolder);
    platform::ForceDirectories(folder);
    ini_.WriteString("OutPath", "OutPath", folder);
    return folder;
}

bool TAppSettings::SaveOutputFolder(const std::string& folder)
{
    return platform::DirectoryExists(folder) && ini_.WriteString("OutPath", "OutPath", folder);
}

int TAppSettings::LoadSkin()
{
    // Any unusable value falls back to the first skin instead of stopping the
    // start-up half way.
    const int index = Choice(Read("Skin", "SetSkin"), kSkinCount);
    if (index >= 0)
        return index;
    SaveSkin(0);
    return 0;
}

void TAppSettings::SaveSkin(int index)
{
    ini_.WriteString("Skin", "SetSkin", std::to_string(index));
}

TConversionOptions TAppSettings::ReadConversionOptions()
{
    TConversionOptions options;
    if (!ini_.Exists()) {
        ini_.WriteString("Options", "Thread_Count", "0");
        ini_.WriteString("Options", "After_Done", "0");
        ini_.WriteString("Options", "Show_Preview", "0");
        ini_.WriteString("Options", "Thread_Priority", "3");
        ini_.WriteString("Options", "Overwrite_File", "1");
        return options;
    }

    const std::string count = Read("Options", "Thread_Count");
    if (count == kMissing) {
        ini_.WriteString("Options", "Thread_Count", "0");
    } else if (count.size() <= 2 && count.find_first_not_of("0123456789") == std::string::npos) {
        // The saved count is put back; "0" (never chosen) keeps the first entry.
        const int n = std::stoi(count);
        if (n >= 1 && n <= 19)
            options.ThreadCount = n;
    }

    if (const int v = Choice(Read("Options", "After_Done"), 4); v >= 0)
        options.AfterDone = static_cast<TAfterDone>(v);
    else
        ini_.WriteString("Options", "After_Done", "0");

    if (const int v = Choice(Read("Options", "Thread_Priority"), 4); v >= 0)
        options.ThreadPriority = static_cast<TThreadPriorityChoice>(v);
    else
        ini_.WriteString("Options", "Thread_Priority", "3");

    if (const int v = Choice(Read("Options", "Overwrite_File"), 2); v >= 0)
        options.OverwriteFile = v == 0;
    else
        ini_.WriteString("Options", "Overwrite_File", "1");

    if (const int v = Choice(Read("Options", "Show_Preview"), 2); v >= 0)
        options.ShowPreview = v == 1;
    else
        ini_.WriteString("Options", "Show_Preview", "0");
    return options;
}

void TAppSettings::WriteConversionOptions(const TConversionOptions& options)
{
    ini_.WriteString("Options", "Thread_Count", std::to_string(options.ThreadCount));
    ini_.WriteString("Options", "After_Done", std::to_string(static_cast<int>(options.AfterDone)));
    ini_.WriteString("Options", "Show_Preview", options.ShowPreview ? "1" : "0");
    ini_.WriteString("Options", "Thread_Priority", std::to_string(static_cast<int>(options.ThreadPriority)));
    ini_.WriteString("Options", "Overwrite_File", options.OverwriteFile ? "0" : "1");
}

}  // namespace vexa::app
