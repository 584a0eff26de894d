// The sources' frame schedule, on a clock of our own.
#include <gtest/gtest.h>

#include <vector>

#include "programs/encoder/frame_pacer.h"

TEST(FramePacer, KeepsTheScheduleAndSkipsWhatWasMissedInsteadOfCatchingUp) {
    struct Case {
        const char* what;
        double rate;
        std::vector<int> takenAtMs;   // when each frame is taken, from the first
        std::vector<int64_t> number;  // the number each one gets
        int nextDueMs;                // when the one after the last is due
    };
    const Case cases[] = {
        {"on time", 10, {0, 100, 200, 300}, {0, 1, 2, 3}, 400},
        {"late within a period: the next is due on the schedule, no drift", 10, {0, 150, 200}, {0, 1, 2}, 300},
        {"late by two periods: those frames are skipped, the next is not due at once", 10, {0, 350}, {0, 3}, 400},
        {"a stall of seconds", 10, {0, 100, 5030}, {0, 1, 50}, 5100},
        {"a rate that is no whole number of milliseconds", 30, {0, 34, 67, 100, 134}, {0, 1, 2, 3, 4}, 166},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FramePacer::Clock::time_point t0{std::chrono::hours(1)};
        FramePacer pacer(c.rate);
        EXPECT_LE(pacer.Due(), t0) << "the first frame is due at once";
        std::vector<int64_t> numbers;
        for (int ms : c.takenAtMs) numbers.push_back(pacer.Take(t0 + std::chrono::milliseconds(ms)));
        EXPECT_EQ(numbers, c.number);
        EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(pacer.Due() - t0).count(), c.nextDueMs);
    }
}
