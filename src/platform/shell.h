#pragma once
// Actions the application asks of the desktop: open a folder or a web page,
// play a sound, power the machine off. Tests install a RecordingShell so no
// test ever opens a browser, makes a sound or shuts a machine down.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vexa::platform {

class Shell {
public:
    virtual ~Shell() = default;
    virtual bool OpenFolder(const std::string& path) = 0;
    virtual bool OpenUrl(const std::string& url) = 0;
    // Starts playing a WAV file and returns at once.
    virtual bool PlaySound(const std::string& wavFile) = 0;
    virtual bool Shutdown() = 0;
};

// xdg-open for folders and pages, systemctl poweroff for shutdown. It plays
// no sound itself: the media layer's shell adds that through SDL.
class SystemShell : public Shell {
public:
    bool OpenFolder(const std::string& path) override;
    bool OpenUrl(const std::string& url) override;
    bool PlaySound(const std::string& wavFile) override;
    bool Shutdown() override;

protected:
    // Starts a program without waiting for it; true when it could be started.
    static bool Spawn(const std::vector<std::string>& argv);
};

class RecordingShell : public Shell {
public:
    struct Call {
        std::string action;  // "OpenFolder", "OpenUrl", "PlaySound", "Shutdown"
        std::string argument;
    };
    bool OpenFolder(const std::string& path) override { return Record("OpenFolder", path); }
    bool OpenUrl(const std::string& url) override { return Record("OpenUrl", url); }
    bool PlaySound(const std::string& wavFile) override { return Record("PlaySound", wavFile); }
    bool Shutdown() override { return Record("Shutdown", {}); }

    std::vector<Call> Calls() const;
    void Clear();

private:
    bool Record(const char* action, const std::string& argument);
    mutable std::mutex lock_;
    std::vector<Call> calls_;
};

// The shell the application uses; a SystemShell until one is installed.
Shell& CurrentShell();
// Installs a shell (ownership passes); nullptr restores the SystemShell.
void InstallShell(std::unique_ptr<Shell> shell);

}  // namespace vexa::platform
