#include "programs/server/frame_broadcast.h"

#include <utility>

FrameBroadcast::Subscription FrameBroadcast::Subscribe(FrameSink& sink) {
    return Subscription(this, sinks_.insert(sinks_.end(), &sink));
}

void FrameBroadcast::Publish(FramePtr frame) {
    latest_ = std::move(frame);
    for (auto it = sinks_.begin(); it != sinks_.end();) {
        FrameSink* sink = *it++;  // step on first, should the sink leave after all
        sink->Offer(latest_);
    }
}

bool ViewerQueue::Offer(FramePtr frame) {
    bool dropped = waiting_ != nullptr;
    if (dropped) ++dropped_;
    waiting_ = std::move(frame);
    return dropped;
}

FramePtr ViewerQueue::Next() {
    if (inFlight_ || !waiting_) return nullptr;
    inFlight_ = true;
    FramePtr next = std::move(waiting_);
    waiting_ = nullptr;
    return next;
}
