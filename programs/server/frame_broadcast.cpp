#include "programs/server/frame_broadcast.h"

#include <utility>

FrameBroadcast::Subscription::Subscription(Subscription&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), at_(other.at_) {}

FrameBroadcast::Subscription& FrameBroadcast::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        Reset();
        owner_ = std::exchange(other.owner_, nullptr);
        at_ = other.at_;
    }
    return *this;
}

void FrameBroadcast::Subscription::Reset() {
    if (owner_) owner_->sinks_.erase(at_);
    owner_ = nullptr;
}

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
