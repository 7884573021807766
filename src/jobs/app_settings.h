#pragma once
// The settings file "option.ini": the output folder, the skin and the
// conversion options. Every read treats a missing key, an empty value and the
// value "Error" alike, and writes the default back at once.
#include "platform/ini_file.h"

#include <string>

namespace vexa::app {

// Where the settings file is and which home folder the default folders live
// in; tests point both at a scratch folder.
struct TSettingsLocation {
    std::string IniPath;
    std::string HomeFolder;
};
// platform::SettingsFile("option.ini") and the user's home folder.
TSettingsLocation DefaultSettingsLocation();

inline constexpr int kSkinCount = 7;

std::string DefaultOutputFolder(const std::string& home);    // home/Vexa视频软件/输出
std::string DefaultSnapshotFolder(const std::string& home);  // home/Vexa视频软件/快照

enum TAfterDone : int { adOpenFolder, adShutdown, adPlaySound, adNothing };
enum TThreadPriorityChoice : int { tpIdle, tpLowest, tpLower, tpNormal };

struct TConversionOptions {
    int ThreadCount = 1;           // 1 to 19
    TAfterDone AfterDone = adOpenFolder;
    bool ShowPreview = false;
    TThreadPriorityChoice ThreadPriority = tpNormal;
    bool OverwriteFile = false;    // false: the new output is renamed

    bool operator==(const TConversionOptions&) const = default;
};

class TAppSettings {
public:
    explicit TAppSettings(TSettingsLocation location);

    const TSettingsLocation& Location() const { return location_; }
    platform::IniFile& Ini() { return ini_; }

    // The stored output folder, created with its parents when missing; the
    // default folder (created and written) when nothing usable is stored. A
    // folder that cannot be created is still returned.
    std::string LoadOutputFolder();
    // Writes the folder only when it is an existing folder.
    bool SaveOutputFolder(const std::string& folder);

    // The stored skin index; a missing, non-numeric or out-of-range value is
    // rewritten as "0".
    int LoadSkin();
    void SaveSkin(int index);

    // Reads the options, repairing and writing back every value that is
    // missing or not one of its choices.
    TConversionOptions ReadConversionOptions();
    void WriteConversionOptions(const TConversionOptions& options);

private:
    std::string Read(const char* section, const char* key);

    TSettingsLocation location_;
    platform::IniFile ini_;
};

}  // namespace vexa::app
