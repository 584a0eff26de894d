#include "programs/server/frame_broadcast.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Recorder : FrameSink {
    std::vector<uint64_t> seen;
    void Offer(const FramePtr& frame) override { seen.push_back(frame->sequence); }
};

FramePtr MakeFrame(uint64_t n) {
    auto f = std::make_shared<Frame>();
    f->sequence = n;
    return f;
}

}  // namespace

TEST(FrameBroadcast, EverySubscriberGetsEachFrameUntilItLeaves) {
    FrameBroadcast broadcast;
    EXPECT_EQ(broadcast.latest(), nullptr);
    Recorder a, b;
    FrameBroadcast::Subscription sa = broadcast.Subscribe(a);
    {
        FrameBroadcast::Subscription sb = broadcast.Subscribe(b);
        EXPECT_EQ(broadcast.subscribers(), 2u);
        broadcast.Publish(MakeFrame(1));
    }
    // b's subscription ended with its scope: b is no longer in the list.
    EXPECT_EQ(broadcast.subscribers(), 1u);
    broadcast.Publish(MakeFrame(2));
    EXPECT_EQ(a.seen, (std::vector<uint64_t>{1, 2}));
    EXPECT_EQ(b.seen, (std::vector<uint64_t>{1}));
    EXPECT_EQ(broadcast.latest()->sequence, 2u);

    // A moved subscription is one place, given up once.
    FrameBroadcast::Subscription moved = std::move(sa);
    EXPECT_FALSE(sa);
    EXPECT_TRUE(moved);
    sa.Reset();
    EXPECT_EQ(broadcast.subscribers(), 1u);
    moved.Reset();
    EXPECT_EQ(broadcast.subscribers(), 0u);
    broadcast.Publish(MakeFrame(3));
    EXPECT_EQ(a.seen.size(), 2u);
}

TEST(FrameBroadcast, ViewersThatComeAndGoWithoutFramesLeaveNothing) {
    FrameBroadcast broadcast;
    Recorder r;
    for (int i = 0; i < 10000; ++i) broadcast.Subscribe(r);
    EXPECT_EQ(broadcast.subscribers(), 0u);
}

TEST(ViewerQueue, SlowViewerSkipsFramesInsteadOfQueueingThem) {
    ViewerQueue q;
    EXPECT_EQ(q.Next(), nullptr);
    EXPECT_FALSE(q.Offer(MakeFrame(1)));
    FramePtr sending = q.Next();
    ASSERT_NE(sending, nullptr);
    EXPECT_EQ(sending->sequence, 1u);
    // While frame 1 is being written, 2, 3 and 4 come: only the newest waits.
    EXPECT_FALSE(q.Offer(MakeFrame(2)));
    EXPECT_TRUE(q.Offer(MakeFrame(3)));
    EXPECT_TRUE(q.Offer(MakeFrame(4)));
    EXPECT_EQ(q.Next(), nullptr);  // still writing
    q.Done();
    FramePtr next = q.Next();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->sequence, 4u);
    EXPECT_EQ(q.dropped(), 2u);
    q.Done();
    EXPECT_EQ(q.Next(), nullptr);
}
