// The watchdog that ends the encoder when a driver call never comes back.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "programs/encoder/watchdog.h"

TEST(Watchdog, AnOverstayingCallIsReportedOnceAndFinishedCallsAreNot) {
    std::mutex mutex;
    std::condition_variable called;
    std::vector<std::string> reports;
    Watchdog dog([&](const std::string& what, Watchdog::Clock::duration limit) {
        std::lock_guard<std::mutex> lock(mutex);
        reports.push_back(what + " " +
                          std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count()));
        called.notify_all();
    });
    // Calls that end in time, one of them given far more time than the next: its deadline
    // must not linger.
    { Watchdog::Guard quick(dog, "connecting", std::chrono::hours(1)); }
    { Watchdog::Guard quick(dog, "reading the format", std::chrono::hours(1)); }
    {
        Watchdog::Guard hung(dog, "grabbing a frame", std::chrono::milliseconds(20));
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(called.wait_for(lock, std::chrono::seconds(30), [&] { return !reports.empty(); }));
    }
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(reports, std::vector<std::string>{"grabbing a frame 20"});
}
