#pragma once
// Shared helpers of the player tests: a recording video sink, an event
// recorder and waits that serve main-thread hand-offs.
#include "media/av_ptr.h"
#include "platform/main_thread.h"
#include "player/ff_player.h"
#include "player/video_sink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace vexa::playertest {

inline std::string Media(const std::string& name)
{
    return std::string(VEXA_TEST_MEDIA_DIR) + "/" + name;
}

// Sound goes to SDL's dummy driver: no test needs a sound card.
inline void UseDummyAudio()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Waits on the main thread, serving hand-offs, until pred() or the timeout.
template <typename Pred>
bool WaitFor(Pred pred, int timeoutMs = 20000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        platform::MainThread::WaitServing([&] { return pred(); }, std::chrono::milliseconds(20));
    }
    return true;
}

// Serves hand-offs for a while (lets the playback run).
inline void Serve(int ms)
{
    platform::MainThread::WaitServing([] { return false; }, std::chrono::milliseconds(ms));
}

// Keeps what the player presents: the number of pictures, their times and
// the newest picture.
class RecordingSink : public IVideoSink {
public:
    bool SetMode(int& width, int& height, bool) override
    {
        std::lock_guard<std::mutex> g(lock_);
        modes_++;
        width_ = width;
        height_ = height;
        return true;
    }
    void Present(FramePtr frame, const TVideoRect& rect) override
    {
        std::lock_guard<std::mutex> g(lock_);
        presented_++;
        rect_ = rect;
        last_ = std::move(frame);
    }
    void Clear() override
    {
        std::lock_guard<std::mutex> g(lock_);
        clears_++;
    }

    int Presented() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return presented_;
    }
    int Modes() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return modes_;
    }
    TVideoRect Rect() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return rect_;
    }
    // Width x height of the newest picture, 0 x 0 before any.
    std::pair<int, int> LastSize() const
    {
        std::lock_guard<std::mutex> g(lock_);
        return last_ ? std::make_pair(last_->width, last_->height) : std::make_pair(0, 0);
    }
    // Mean luma of the newest picture (tells a black picture from another).
    double LastLuma() const
    {
        std::lock_guard<std::mutex> g(lock_);
        if (!last_)
            return -1;
        double sum = 0;
        for (int y = 0; y < last_->height; y++)
            for (int x = 0; x < last_->width; x++)
                sum += last_->data[0][y * last_->linesize[0] + x];
        return sum / (last_->width * last_->height);
    }

private:
    mutable std::mutex lock_;
    int presented_ = 0;
    int modes_ = 0;
    int clears_ = 0;
    int width_ = 0, height_ = 0;
    TVideoRect rect_;
    FramePtr last_;
};

// Records the player's events as they reach the main thread.
struct EventLog {
    std::vector<TPlayState> states;
    std::vector<int64_t> positions;

    void Attach(TCustomPlayer& player)
    {
        player.OnState = [this](TCustomPlayer*, TPlayState s) { states.push_back(s); };
        player.OnPosition = [this](TCustomPlayer*, int64_t pts) { positions.push_back(pts); };
    }
    bool Has(TPlayState s) const { return std::find(states.begin(), states.end(), s) != states.end(); }
    int Count(TPlayState s) const { return static_cast<int>(std::count(states.begin(), states.end(), s)); }
    std::string Text() const
    {
        std::string t;
        for (TPlayState s : states)
            t += std::string(PlayStateName(s)) + " ";
        return t;
    }
};

}  // namespace vexa::playertest
