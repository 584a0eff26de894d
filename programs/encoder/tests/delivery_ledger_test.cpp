// What the server has surely read: frames count as delivered as they are written, until the
// server is found to have stopped reading.
#include <gtest/gtest.h>

#include <vector>

#include "programs/encoder/delivery_ledger.h"

TEST(DeliveryLedger, AStallTakesBackWhatTheBuffersMayHold) {
    using std::chrono::seconds;
    const DeliveryLedger::Clock::time_point t0{};
    const seconds wait(20);
    enum Kind { kStartWait, kConnect, kWrite, kStall };
    struct Step {
        Kind kind;
        uint64_t bytes;  // written, or what the connection's buffers hold
    };
    // The wait starts at second 0, step i comes at second i + 1; when the last frame got
    // through after the steps.
    struct Case {
        const char* what;
        std::vector<Step> steps;
        int lastDelivered;
    };
    const Case cases[] = {
        {"frames count as they are written", {{kConnect, 100}, {kWrite, 50}, {kWrite, 50}}, 3},
        {"the wait starts at the first attempt only", {{kStartWait, 0}, {kStartWait, 0}}, 0},
        {"a stall takes back all that the buffers may hold",
         {{kConnect, 100}, {kWrite, 50}, {kWrite, 50}, {kStall, 0}},
         0},
        {"frames followed by the buffers' worth were read",
         {{kConnect, 100}, {kWrite, 10}, {kWrite, 10}, {kWrite, 200}, {kWrite, 100}, {kStall, 0}},
         4},
        {"one byte less, and it may still sit in them", {{kConnect, 100}, {kWrite, 50}, {kWrite, 99}, {kStall, 0}}, 0},
        {"a new connection counts from the last frame that got through",
         {{kConnect, 100}, {kWrite, 200}, {kWrite, 200}, {kConnect, 100}, {kWrite, 10}, {kStall, 0}},
         3},
    };
    for (const Case& c : cases) {
        DeliveryLedger ledger(wait);
        ledger.StartWaitOnce(t0);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const auto now = t0 + seconds(i + 1);
            const Step& s = c.steps[i];
            if (s.kind == kStartWait) ledger.StartWaitOnce(now);
            if (s.kind == kConnect) ledger.NewConnection(s.bytes);
            if (s.kind == kWrite) ledger.Written(s.bytes, now);
            if (s.kind == kStall) ledger.ServerStoppedReading();
        }
        const auto delivered = t0 + seconds(c.lastDelivered);
        EXPECT_EQ(ledger.LastDelivered(), delivered) << c.what;
        EXPECT_FALSE(ledger.WaitIsOver(delivered + wait - std::chrono::milliseconds(1))) << c.what;
        EXPECT_TRUE(ledger.WaitIsOver(delivered + wait)) << c.what;
    }
    // Before the first attempt there is no wait to be over.
    EXPECT_FALSE(DeliveryLedger(wait).WaitIsOver(t0 + seconds(1000)));
}
