#include "programs/server/limits.h"

#include <algorithm>

namespace {

size_t Slot(int64_t slice) {
    return static_cast<size_t>((slice % RateMeter::kSlices + RateMeter::kSlices) % RateMeter::kSlices);
}

}  // namespace

Admission AdmitViewer(const ServerConfig& config, int viewers, int64_t kbpsInUse, int64_t streamKbps) {
    if (viewers + 1 > config.maxClients) return Admission::TooManyClients;
    if (kbpsInUse + streamKbps > config.maxBandwidthKbps) return Admission::TooMuchBandwidth;
    return Admission::Ok;
}

bool AdmitConnection(const ServerConfig& config, int openConnections) {
    return openConnections + 1 <= config.maxHttpConnections;
}

uint64_t FeedFrameLimit(const FeedConfig& feed) {
    return feed.maxSize < kMaxFrameBytes ? feed.maxSize : kMaxFrameBytes;
}

RateMeter::RateMeter(int64_t windowMs)
    : windowMs_(std::max<int64_t>(windowMs, kSlices)), sliceMs_(windowMs_ / kSlices) {}

void RateMeter::Add(uint64_t bytes, int64_t nowMs) {
    Advance(nowMs);
    slices_[Slot(newest_)] += bytes;
    total_ += bytes;
}

int64_t RateMeter::Kbps(int64_t nowMs) {
    Advance(nowMs);
    if (total_ == 0) return 0;
    uint64_t bits = total_ * 8;
    uint64_t perKbit = static_cast<uint64_t>(windowMs_);  // bits per ms over the window = kbit/s
    return static_cast<int64_t>((bits + perKbit - 1) / perKbit);
}

// Empties the slices that have fallen out of the window. A clock that goes
// back counts into the newest slice.
void RateMeter::Advance(int64_t nowMs) {
    int64_t slice = nowMs >= 0 ? nowMs / sliceMs_ : -((-nowMs + sliceMs_ - 1) / sliceMs_);
    if (slice <= newest_) return;
    int64_t steps = std::min<int64_t>(slice - newest_, kSlices);
    for (int64_t i = 1; i <= steps; ++i) {
        uint64_t& old = slices_[Slot(newest_ + i)];
        total_ -= old;
        old = 0;
    }
    newest_ = slice;
}

int FittedSendBuffer(int current, uint64_t bytes, int64_t tookUs) {
    constexpr uint64_t kBufferedUs = 250000;
    uint64_t wanted = kViewerSendBufferMax;
    if (tookUs > 0) wanted = std::min<uint64_t>(bytes * kBufferedUs / static_cast<uint64_t>(tookUs), wanted);
    wanted = std::max<uint64_t>(wanted, kViewerSendBufferMin);
    uint64_t now = static_cast<uint64_t>(current);
    if (wanted * 2 > now * 3 || wanted * 3 < now * 2) return static_cast<int>(wanted);
    return current;
}
