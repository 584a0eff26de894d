// One feed's frames on their way to its viewers: the latest frame, and the
// viewers that take each new one as it comes. Every kind of viewer (SWF,
// MJPEG) subscribes here; a snapshot reads the latest frame.
#pragma once
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "programs/server/place_handle.h"

// One JPEG frame of a feed, shared by every viewer that sends it.
struct Frame {
    std::string jpeg;
    int width = 0, height = 0;
    uint64_t sequence = 0;
};
using FramePtr = std::shared_ptr<const Frame>;

// What a viewer has yet to send: the frame being written and at most one
// waiting. A newer frame replaces the waiting one, so a slow viewer skips
// frames instead of piling them up.
class ViewerQueue {
public:
    // Returns true when an unsent waiting frame was dropped.
    bool Offer(FramePtr frame);
    // The next frame to write, or null; it stays "in flight" until Done().
    FramePtr Next();
    void Done() { inFlight_ = false; }
    uint64_t dropped() const { return dropped_; }

private:
    FramePtr waiting_;
    bool inFlight_ = false;
    uint64_t dropped_ = 0;
};

// What takes frames: a viewer. Offer must not end the subscription itself
// (a viewer that fails ends it later, from its own handlers).
class FrameSink {
public:
    virtual void Offer(const FramePtr& frame) = 0;

protected:
    ~FrameSink() = default;
};

class FrameBroadcast {
public:
    // A sink's place in the list; it leaves the list when the subscription
    // ends (Reset or destruction), so nothing is left behind by a viewer that
    // goes before any frame came. Must not outlive the broadcast.
    using Subscription = PlaceHandle<FrameBroadcast, std::list<FrameSink*>::iterator>;

    FrameBroadcast() = default;
    FrameBroadcast(const FrameBroadcast&) = delete;
    FrameBroadcast& operator=(const FrameBroadcast&) = delete;

    Subscription Subscribe(FrameSink& sink);
    // The frame becomes the latest and is offered to every subscriber.
    void Publish(FramePtr frame);
    const FramePtr& latest() const { return latest_; }
    size_t subscribers() const { return sinks_.size(); }

private:
    friend Subscription;
    void GiveBack(std::list<FrameSink*>::iterator at) { sinks_.erase(at); }

    std::list<FrameSink*> sinks_;
    FramePtr latest_;
};
