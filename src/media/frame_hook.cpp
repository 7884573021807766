#include "media/frame_hook.h"

#include "media/av_entries.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace vexa {

namespace {

// Path -> module handle, for the whole process. A module stays loaded until
// the process ends: a context a task still holds may point into it.
struct TModuleList {
    std::mutex lock;
    std::map<std::string, void*> modules;
    ~TModuleList()
    {
        for (auto& m : modules)
            ::dlclose(m.second);
    }
};

TModuleList& Modules()
{
    static TModuleList list;
    return list;
}

void LogError(const char* fmt, const char* arg)
{
    if (AV.av_log)
        AV.av_log(nullptr, AV_LOG_ERROR, fmt, arg);
}

// A path with a folder part is loaded from there; a bare name follows the
// system's library search order.
void* LoadModule(const std::string& path)
{
    TModuleList& list = Modules();
    std::lock_guard<std::mutex> g(list.lock);
    auto it = list.modules.find(path);
    if (it != list.modules.end())
        return it->second;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = ::dlerror();
        LogError("%s\n", err ? err : path.c_str());
        return nullptr;
    }
    list.modules.emplace(path, handle);
    return handle;
}

}  // namespace

int TFrameHookList::Add(const std::vector<std::string>& args)
{
    if (args.empty())
        return -2;
    const std::string& path = args[0];
    void* module = LoadModule(path);
    if (!module)
        return -1;
    try {
        TFrameHookEntry e;
        e.Configure = reinterpret_cast<VexaFrameHookConfigure>(::dlsym(module, "Configure"));
        e.Process = reinterpret_cast<VexaFrameHookProcess>(::dlsym(module, "Process"));
        e.Release = reinterpret_cast<VexaFrameHookRelease>(::dlsym(module, "Release"));
        if (!e.Process) {
            LogError("Failed to find Process entrypoint in %s\n", path.c_str());
            return -2;
        }
        if (!e.Configure && args.size() > 1) {
            LogError("Failed to find Configure entrypoint in %s\n", path.c_str());
            return -2;
        }
        if (e.Configure) {
            std::vector<std::string> copies(args);
            std::vector<char*> argv;
            for (std::string& a : copies)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            if (e.Configure(&e.ctx, static_cast<int>(copies.size()), argv.data()) != 0) {
                LogError("Failed to Configure %s\n", path.c_str());
                return -22;
            }
        }
        entries_.push_back(e);
    } catch (const std::bad_alloc&) {
        return -12;
    }
    return 0;
}

void TFrameHookList::Process(VexaHookPicture* pict, int pixFmt, int width, int height, int64_t pts) const
{
    for (const TFrameHookEntry& e : entries_)
        e.Process(e.ctx, pict, pixFmt, width, height, pts);
}

void TFrameHookList::Release()
{
    for (TFrameHookEntry& e : entries_)
        if (e.Release)
            e.Release(e.ctx);
    entries_.clear();
}

std::vector<std::string> SplitHookArguments(const std::string& value)
{
    const bool bars = value.find('|') != std::string::npos;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < value.size() && parts.size() < 254) {
        if (!bars)
            while (i < value.size() && value[i] == ' ')
                ++i;
        if (i >= value.size())
            break;
        const size_t end = value.find(bars ? '|' : ' ', i);
        parts.push_back(value.substr(i, end == std::string::npos ? std::string::npos : end - i));
        if (end == std::string::npos)
            break;
        i = end + 1;
    }
    return parts;
}

}  // namespace vexa
