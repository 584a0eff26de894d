// One feed's frames on their way to its viewers: the latest frame, and the
// viewers that take each new one as it comes. Every kind of viewer (SWF,
// MJPEG) subscribes here; a snapshot reads the latest frame.
#pragma once
#include <cstddef>
#include <list>

#include "programs/server/limits.h"

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
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        ~Subscription() { Reset(); }
        void Reset();
        explicit operator bool() const { return owner_ != nullptr; }

    private:
        friend class FrameBroadcast;
        Subscription(FrameBroadcast* owner, std::list<FrameSink*>::iterator at) : owner_(owner), at_(at) {}
        FrameBroadcast* owner_ = nullptr;
        std::list<FrameSink*>::iterator at_;
    };

    FrameBroadcast() = default;
    FrameBroadcast(const FrameBroadcast&) = delete;
    FrameBroadcast& operator=(const FrameBroadcast&) = delete;

    Subscription Subscribe(FrameSink& sink);
    // The frame becomes the latest and is offered to every subscriber.
    void Publish(FramePtr frame);
    const FramePtr& latest() const { return latest_; }
    size_t subscribers() const { return sinks_.size(); }

private:
    std::list<FrameSink*> sinks_;
    FramePtr latest_;
};
