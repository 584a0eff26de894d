// The lazy deadline of the feed and viewer watches: due once, never after it was replaced or cancelled.
#include "programs/server/lazy_deadline.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Clock = std::chrono::steady_clock;
// Far enough never to pass while a test runs: such a deadline only ends by being replaced or cancelled.
const auto kNever = std::chrono::hours(1);

}  // namespace

TEST(LazyDeadline, RunsOnceWhenDueAndLetsItsOwnerArmAgain) {
    asio::io_context io;
    LazyDeadline deadline(io);
    std::string ran;
    deadline.Arm(Clock::now(), [&] {
        ran += "first ";
        EXPECT_FALSE(deadline.armed());
        deadline.Arm(Clock::now(), [&] { ran += "second"; });
    });
    io.run_for(std::chrono::seconds(30));
    EXPECT_EQ(ran, "first second");
    EXPECT_FALSE(deadline.armed());
}

TEST(LazyDeadline, AReplacedOrCancelledDeadlineNeverRunsAndLeavesANewOneInForce) {
    asio::io_context io;
    LazyDeadline deadline(io);
    std::string ran;
    deadline.Arm(Clock::now() + kNever, [&] { ran += "replaced "; });
    deadline.Arm(Clock::now() + kNever, [&] { ran += "cancelled "; });
    // The replaced wait ends now, after the new one was armed: the new one stays armed,
    // so activity in the meantime does not arm yet another.
    io.poll();
    EXPECT_TRUE(deadline.armed());

    deadline.Cancel();
    EXPECT_FALSE(deadline.armed());
    deadline.Arm(Clock::now(), [&] { ran += "due"; });
    io.run_for(std::chrono::seconds(30));
    EXPECT_EQ(ran, "due");
    EXPECT_FALSE(deadline.armed());
}
