// Packet queues, the playback's event queue and the clocks.
#include "player/ff_play.h"

#include <algorithm>

#include <pthread.h>

namespace vexa {

void NameThread(const char* name)
{
    pthread_setname_np(pthread_self(), name);
}

double PlayNow()
{
    return static_cast<double>(AV.av_gettime_relative()) / 1000000.0;
}

void TPacketQueue::Init()
{
    Flush();
    abort_request.store(false);
    PutFlush();
}

int TPacketQueue::Put(PacketPtr pkt)
{
    if (pkt->data && !pkt->buf && AV.av_packet_make_refcounted(pkt.get()) < 0)
        return -1;
    std::lock_guard<std::mutex> g(mutex);
    size += pkt->size + kNodeOverhead;
    nb_packets++;
    nodes.push_back(Node{std::move(pkt), false});
    cond.notify_one();
    return 0;
}

void TPacketQueue::PutFlush()
{
    std::lock_guard<std::mutex> g(mutex);
    nodes.push_back(Node{nullptr, true});
    nb_packets++;
    size += kNodeOverhead;
    cond.notify_one();
}

int TPacketQueue::Get(PacketPtr& pkt, bool& flush, bool block)
{
    std::unique_lock<std::mutex> g(mutex);
    for (;;) {
        if (abort_request.load())
            return -1;
        if (!nodes.empty()) {
            Node n = std::move(nodes.front());
            nodes.pop_front();
            nb_packets--;
            size -= (n.pkt ? n.pkt->size : 0) + kNodeOverhead;
            flush = n.flush;
            pkt = std::move(n.pkt);
            return 1;
        }
        if (!block)
            return 0;
        cond.wait(g);
    }
}

void TPacketQueue::Flush()
{
    std::deque<Node> old;
    {
        std::lock_guard<std::mutex> g(mutex);
        old.swap(nodes);
        nb_packets = 0;
        size = 0;
    }
    // Packets are freed outside the lock.
}

void TPacketQueue::Abort()
{
    std::lock_guard<std::mutex> g(mutex);
    abort_request.store(true);
    cond.notify_all();
}

int TPacketQueue::Count() const
{
    std::lock_guard<std::mutex> g(mutex);
    return nb_packets;
}

int64_t TPacketQueue::Size() const
{
    std::lock_guard<std::mutex> g(mutex);
    return size;
}

void TPlayEventQueue::Push(TPlayEventKind kind)
{
    std::lock_guard<std::mutex> g(lock);
    events.push_back(kind);
    cond.notify_one();
}

bool TPlayEventQueue::Wait(TPlayEventKind& kind, int timeoutMs)
{
    std::unique_lock<std::mutex> g(lock);
    if (!cond.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return !events.empty(); }))
        return false;
    kind = events.front();
    events.pop_front();
    return true;
}

double GetAudioClock(TVideoState* is)
{
    // The sound that leaves the device now: the callback published what was
    // at the output when it ran; time has passed since, by at most one
    // device buffer.
    double pts = is->audio_clock_pts.load();
    if (!is->paused.load() && is->audio_rate > 0 && is->audio_channels > 0) {
        const double buffer = static_cast<double>(is->audio_hw_buf_size) / (2.0 * is->audio_channels * is->audio_rate);
        const double since = PlayNow() - is->audio_clock_time.load();
        pts += std::clamp(since, 0.0, buffer);
    }
    return pts;
}

double GetVideoClock(TVideoState* is)
{
    if (is->paused.load())
        return is->video_current_pts.load();
    const double drift = is->video_current_pts_drift.load();
    if (drift != 0)
        return drift + PlayNow();
    return static_cast<double>(is->StartTime) / 1000000.0;
}

double GetExternalClock(TVideoState* is)
{
    const double now = static_cast<double>(AV.av_gettime_relative());
    return is->external_clock.load() + (now - static_cast<double>(is->external_clock_time.load())) * 1e-6;
}

double GetMasterClock(TVideoState* is)
{
    switch (is->av_sync_type) {
    case AV_SYNC_VIDEO_MASTER:
        return is->video_st ? GetVideoClock(is) : GetAudioClock(is);
    case AV_SYNC_AUDIO_MASTER:
        return is->audio_st ? GetAudioClock(is) : GetVideoClock(is);
    default:
        return GetExternalClock(is);
    }
}

}  // namespace vexa
