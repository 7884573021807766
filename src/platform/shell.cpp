#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace vexa::platform {

bool SystemShell::Spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return false;
    // Reap the child in the background so it never lingers as a zombie.
    std::thread([pid] {
        int status = 0;
        ::waitpid(pid, &status, 0);
    }).detach();
    return true;
}

bool SystemShell::OpenFolder(const std::string& path)
{
    return Spawn({"xdg-open", path});
}

bool SystemShell::OpenUrl(const std::string& url)
{
    return Spawn({"xdg-open", url});
}

bool SystemShell::PlaySound(const std::string&)
{
    return false;
}

bool SystemShell::Shutdown()
{
    return Spawn({"systemctl", "poweroff"});
}

bool RecordingShell::Record(const char* action, const std::string& argument)
{
    std::lock_guard<std::mutex> g(lock_);
    calls_.push_back({action, argument});
    return true;
}

std::vector<RecordingShell::Call> RecordingShell::Calls() const
{
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
}

void RecordingShell::Clear()
{
    std::lock_guard<std::mutex> g(lock_);
    calls_.clear();
}

namespace {
std::mutex g_shellLock;
std::unique_ptr<Shell> g_shell;
}  // namespace

Shell& CurrentShell()
{
    std::lock_guard<std::mutex> g(g_shellLock);
    if (!g_shell)
        g_shell = std::make_unique<SystemShell>();
    return *g_shell;
}

void InstallShell(std::unique_ptr<Shell> shell)
{
    std::lock_guard<std::mutex> g(g_shellLock);
    g_shell = std::move(shell);
}

}  // namespace vexa::platform
