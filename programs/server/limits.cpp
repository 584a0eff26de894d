#include "programs/server/limits.h"

Admission AdmitViewer(const ServerConfig& config, int viewers, int64_t kbpsInUse, int64_t streamKbps) {
    if (viewers + 1 > config.maxClients) return Admission::TooManyClients;
    if (kbpsInUse + streamKbps > config.maxBandwidthKbps) return Admission::TooMuchBandwidth;
    return Admission::Ok;
}

bool AdmitConnection(const ServerConfig& config, int openConnections) {
    return openConnections + 1 <= config.maxHttpConnections;
}

uint64_t FeedFrameLimit(const FeedConfig& feed) { return feed.maxSize < kMaxFrameBytes ? feed.maxSize : kMaxFrameBytes; }

void RateMeter::Add(uint64_t bytes, int64_t nowMs) {
    Expire(nowMs);
    samples_.emplace_back(nowMs, bytes);
    total_ += bytes;
}

int64_t RateMeter::Kbps(int64_t nowMs) {
    Expire(nowMs);
    if (total_ == 0) return 0;
    uint64_t bits = total_ * 8;
    uint64_t perKbit = static_cast<uint64_t>(windowMs_);  // bits per ms over the window = kbit/s
    return static_cast<int64_t>((bits + perKbit - 1) / perKbit);
}

void RateMeter::Expire(int64_t nowMs) {
    while (!samples_.empty() && samples_.front().first <= nowMs - windowMs_) {
        total_ -= samples_.front().second;
        samples_.pop_front();
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
