#include "platform/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa::platform {

std::string ApplicationFolder()
{
    char buf[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0)
        return ".";
    return ExtractFileDir(std::string(buf, static_cast<size_t>(n)));
}

std::string LibraryFolder()
{
    return ApplicationFolder() + "/LibAV";
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

std::string SettingsFile(const std::string& name)
{
    const std::string app = ApplicationFolder();
    if (::access(app.c_str(), W_OK) == 0)
        return app + "/" + name;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else
        base = HomeFolder() + "/.config";
    const std::string dir = base + "/vexa";
    ForceDirectories(dir);
    return dir + "/" + name;
}

bool DirectoryExists(const std::string& path)
{
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path)
{
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

long long FileSize(const std::string& path)
{
    struct stat st{};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

bool ForceDirectories(const std::string& path)
{
    if (path.empty())
        return false;
    if (DirectoryExists(path))
        return true;
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const size_t slash = p.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ForceDirectories(p.substr(0, slash)))
        return false;
    if (::mkdir(p.c_str(), 0777) == 0 || errno == EEXIST)
        return DirectoryExists(p);
    return false;
}

std::string ExtractFileDir(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string ExtractFileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    const std::string name = ExtractFileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string IncludeTrailingPathDelimiter(const std::string& path)
{
    if (!path.empty() && path.back() == '/')
        return path;
    return path + "/";
}

}  // namespace vexa::platform
