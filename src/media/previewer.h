#pragma once
// The floating window that shows converted frames while a task runs.
//
// The engine paints through this interface from its conversion threads; the
// desktop application installs a factory that makes its own window (which
// hands painting to the main thread). Without a factory no window is made
// and the engine simply stops previewing.
#include "platform/bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace vexa {

// A previewer is made, called and destroyed on the conversion thread of its
// task; an implementation with a window hands painting and the window's
// destruction to the main thread (MainThread::Synchronize).
class TPreviewer {
public:
    virtual ~TPreviewer() = default;
    // Shows one picture with its frame number and time (microseconds).
    // False once the user closed the window: the caller stops previewing and
    // frees the previewer.
    virtual bool PaintFrame(const platform::Bitmap& ABitmap, int AFrameNumber, int64_t APTS) = 0;
};

using TPreviewerFactory = std::function<std::unique_ptr<TPreviewer>()>;

// Installed once by the host, before any conversion starts.
void SetPreviewerFactory(TPreviewerFactory factory);
// A new previewer, or null when no factory is installed.
std::unique_ptr<TPreviewer> CreatePreviewer();

}  // namespace vexa
