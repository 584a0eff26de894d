// What the server has surely read of the feed, and so since when no frame has got through.
// A frame written on the connection may still sit unread in the buffers on the way (ours
// and the server's): only one followed by more than those buffers hold has surely been
// read. The wait for the server runs from the last frame that got through, or from the
// first attempt to feed.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>

class DeliveryLedger {
public:
    using Clock = std::chrono::steady_clock;

    explicit DeliveryLedger(std::chrono::milliseconds wait) : wait_(wait) {}

    // The first attempt to feed starts the wait; later calls leave it as it is.
    void StartWaitOnce(Clock::time_point now);
    // True once the wait has started and no frame has got through for all of it.
    bool WaitIsOver(Clock::time_point now) const { return waitStarted_ && now >= WaitEnd(); }
    Clock::time_point WaitEnd() const { return lastDelivered_ + wait_; }
    std::chrono::milliseconds Wait() const { return wait_; }
    // The last frame that got through, as far as is known (or when the wait started).
    Clock::time_point LastDelivered() const { return lastDelivered_; }

    // The server accepted a new connection: frames count from here. `buffersHold`: how much
    // of the feed the buffers on the way may hold without the server having read it.
    void NewConnection(uint64_t buffersHold);
    // A frame of `bytes` was written at `now`: it counts as delivered for the time being.
    void Written(uint64_t bytes, Clock::time_point now);
    // The server stopped reading: the frames that may still sit in the buffers did not get
    // through.
    void ServerStoppedReading() { lastDelivered_ = surelyRead_; }

private:
    struct Frame {
        uint64_t end;  // bytes written on the connection up to the end of the frame
        Clock::time_point at;
    };
    std::chrono::milliseconds wait_;
    bool waitStarted_ = false;
    Clock::time_point lastDelivered_;
    std::deque<Frame> unsure_;  // written on this connection, perhaps not read yet
    uint64_t written_ = 0, buffersHold_ = 0;
    Clock::time_point surelyRead_;  // the last frame surely read
};
