#include "player/sdl_window_sink.h"

namespace vexa {

bool TSDLWindowSink::SetMode(int& width, int& height, bool fullScreen)
{
    if (!window_) {
        const Uint32 flags = static_cast<Uint32>(SDL_WINDOW_RESIZABLE) |
                             (fullScreen ? static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP) : 0u);
        window_.reset(AV.SDL_CreateWindow("FFPlayer", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                          flags));
        if (!window_)
            return false;
        renderer_.reset(AV.SDL_CreateRenderer(window_.get(), -1, 0));
        if (!renderer_) {
            window_.reset();
            return false;
        }
    } else {
        AV.SDL_SetWindowSize(window_.get(), width, height);
    }
    Clear();
    return true;
}

void TSDLWindowSink::Present(FramePtr frame, const TVideoRect& rect)
{
    if (!renderer_ || !frame || frame->format != AV_PIX_FMT_YUV420P)
        return;
    if (!texture_ || texW_ != frame->width || texH_ != frame->height) {
        texture_.reset(AV.SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_IYUV, SDL_TEXTUREACCESS_STREAMING,
                                            frame->width, frame->height));
        texW_ = frame->width;
        texH_ = frame->height;
        if (!texture_)
            return;
    }
    AV.SDL_UpdateYUVTexture(texture_.get(), nullptr, frame->data[0], frame->linesize[0], frame->data[1],
                            frame->linesize[1], frame->data[2], frame->linesize[2]);
    const SDL_Rect dst{rect.x, rect.y, rect.w, rect.h};
    AV.SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
    AV.SDL_RenderClear(renderer_.get());
    AV.SDL_RenderCopy(renderer_.get(), texture_.get(), nullptr, &dst);
    AV.SDL_RenderPresent(renderer_.get());
}

void TSDLWindowSink::Clear()
{
    if (!renderer_)
        return;
    AV.SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
    AV.SDL_RenderClear(renderer_.get());
    AV.SDL_RenderPresent(renderer_.get());
}

bool TSDLWindowSink::Pump()
{
    if (!window_)
        return !closed_;
    SDL_Event ev;
    while (AV.SDL_PollEvent(&ev)) {
        if (ev.type == SDL_QUIT ||
            (ev.type == SDL_WINDOWEVENT && ev.window.event == SDL_WINDOWEVENT_CLOSE))
            closed_ = true;
    }
    return !closed_;
}

void TSDLWindowSink::Release()
{
    texture_.reset();
    renderer_.reset();
    window_.reset();
}

}  // namespace vexa
