#pragma once
// Where the application lives and keeps its files.
#include <string>

namespace vexa::platform {

// Folder of the running executable, without a trailing "/".
std::string ApplicationFolder();

// The application folder followed by "LibAV": where bundled media libraries go.
std::string LibraryFolder();

// Full name of a settings file: beside the executable when that folder is
// writable, else under $XDG_CONFIG_HOME/vexa (default ~/.config/vexa), which
// is created on demand.
std::string SettingsFile(const std::string& name);

// The user's home folder.
std::string HomeFolder();

// Creates a folder with every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Size of a file in bytes, -1 when it cannot be read.
long long FileSize(const std::string& path);

std::string ExtractFileDir(const std::string& path);   // "/a/b.avi" -> "/a"
std::string ExtractFileName(const std::string& path);  // "/a/b.avi" -> "b.avi"
std::string ExtractFileExt(const std::string& path);   // "/a/b.avi" -> ".avi"
std::string IncludeTrailingPathDelimiter(const std::string& path);

}  // namespace vexa::platform
