#pragma once
// The player's own window when no host gives a sink: a plain SDL2 window
// titled "FFPlayer" with a renderer and a YUV texture. It lives on the play
// thread: created on the first SetMode, released by the play thread when
// the playback ends.
#include "media/av_entries.h"
#include "player/video_sink.h"

#include <memory>

namespace vexa {

struct SDLWindowDeleter { void operator()(SDL_Window* p) const { AV.SDL_DestroyWindow(p); } };
struct SDLRendererDeleter { void operator()(SDL_Renderer* p) const { AV.SDL_DestroyRenderer(p); } };
struct SDLTextureDeleter { void operator()(SDL_Texture* p) const { AV.SDL_DestroyTexture(p); } };

class TSDLWindowSink : public IVideoSink {
public:
    ~TSDLWindowSink() override { Release(); }
    bool SetMode(int& width, int& height, bool fullScreen) override;
    void Present(FramePtr frame, const TVideoRect& rect) override;
    void Clear() override;
    bool Pump() override;
    void Release();

private:
    std::unique_ptr<SDL_Texture, SDLTextureDeleter> texture_;
    std::unique_ptr<SDL_Renderer, SDLRendererDeleter> renderer_;
    std::unique_ptr<SDL_Window, SDLWindowDeleter> window_;
    int texW_ = 0, texH_ = 0;
    bool closed_ = false;
};

}  // namespace vexa
