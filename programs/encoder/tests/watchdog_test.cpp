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
    // A call given more time than the one before it, whose deadline the watchdog may still
    // be waiting for: reported at its own deadline, as itself.
    { Watchdog::Guard quick(dog, "grabbing a frame", std::chrono::milliseconds(30)); }
    {
        const auto start = Watchdog::Clock::now();
        Watchdog::Guard hung(dog, "disconnecting", std::chrono::milliseconds(150));
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(called.wait_for(lock, std::chrono::seconds(30), [&] { return reports.size() == 2; }));
        EXPECT_GE(Watchdog::Clock::now() - start, std::chrono::milliseconds(150));
    }
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(reports, (std::vector<std::string>{"grabbing a frame 20", "disconnecting 150"}));
}
