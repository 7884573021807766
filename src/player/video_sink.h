#pragma once
// Where the player's pictures go.
//
// A playback never draws by itself: each picture due on screen is handed
// to a sink as a reference-counted frame (4:2:0 YUV) with the rectangle of
// the video area it should fill. The desktop application gives a widget
// that keeps the newest picture and repaints; tests give a recording sink;
// without a host the player opens a plain SDL window (SDLWindowSink).
//
// Every call comes from the playback's play thread, one at a time. A sink
// must not wait for the main thread inside a call (Stop waits for the play
// thread while serving hand-offs, but a widget repaint belongs to the main
// loop): keep the frame and ask for a repaint instead.
#include "media/av_ptr.h"

namespace vexa {

struct TVideoRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

class IVideoSink {
public:
    virtual ~IVideoSink() = default;

    // Sets the video area. width/height come in as the wanted size (the
    // picture's size, or the user's screen size) and go out as the size in
    // use; a sink with a fixed area (a widget) answers with its own size.
    // False: no area can be had ("SDL: could not set video mode.").
    virtual bool SetMode(int& width, int& height, bool fullScreen) = 0;

    // Shows a picture in rect (inside the area). The sink owns the frame
    // reference it is given and may keep it as long as it likes.
    virtual void Present(FramePtr frame, const TVideoRect& rect) = 0;

    // Fills the area black.
    virtual void Clear() = 0;

    // Called on the play thread between events: a chance for a sink with a
    // window of its own to read that window's events. Returns false when
    // the user closed the window.
    virtual bool Pump() { return true; }
};

}  // namespace vexa
