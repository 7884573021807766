#pragma once
// Frame hook modules: external picture-processing libraries loaded by the
// video hook option and run on every converted picture of a task.
#include "media/frame_hook_api.h"

#include <string>
#include <vector>

namespace vexa {

struct TFrameHookEntry {
    VexaFrameHookConfigure Configure = nullptr;
    VexaFrameHookProcess Process = nullptr;
    VexaFrameHookRelease Release = nullptr;
    void* ctx = nullptr;
};

// The hooks of one task, in the order they were added. The module files
// themselves are loaded once per path for the whole process and stay loaded.
class TFrameHookList {
public:
    TFrameHookList() = default;
    TFrameHookList(const TFrameHookList&) = delete;
    TFrameHookList& operator=(const TFrameHookList&) = delete;
    ~TFrameHookList() { Release(); }

    // args[0] is the module path. 0 on success; -1 the module did not load,
    // -2 no arguments or a missing entry point, -22 Configure refused,
    // -12 out of memory. Failures are written to the library log.
    int Add(const std::vector<std::string>& args);
    // Runs every hook on one picture, in list order.
    void Process(VexaHookPicture* pict, int pixFmt, int width, int height, int64_t pts) const;
    // Calls each Release with its context and empties the list.
    void Release();

    bool Empty() const { return entries_.empty(); }
    size_t Count() const { return entries_.size(); }

private:
    std::vector<TFrameHookEntry> entries_;
};

// Splits a video hook option value: at "|" when it has one, else at blanks;
// at most 254 parts, module path first.
std::vector<std::string> SplitHookArguments(const std::string& value);

}  // namespace vexa
