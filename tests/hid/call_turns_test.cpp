// Call turns: callers get the device in the order they came, so a caller that loops
// cannot keep another out.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "call_turns.h"
#include "wait_until.h"

namespace {

// Waits, at most a few seconds, until `count` turns have been handed out.
bool WaitForTurnsTaken(CallTurns& turns, uint64_t count) {
    return WaitUntil(
        [&] {
            std::lock_guard<std::mutex> hold(turns.lock);
            return turns.next >= count;
        },
        5000);
}

TEST(CallTurns, CallersAreServedInTheOrderTheyCame) {
    CallTurns turns;
    std::vector<int> served; // written only inside a turn
    ASSERT_EQ(TakeTurn(turns), 0u);
    std::vector<std::thread> callers;
    for (int caller = 1; caller <= 4; ++caller) {
        callers.emplace_back([&turns, &served, caller] {
            TakeTurn(turns);
            served.push_back(caller);
            EndTurn(turns);
        });
        EXPECT_TRUE(WaitForTurnsTaken(turns, static_cast<uint64_t>(caller) + 1)) << caller;
    }
    EndTurn(turns);
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(served, (std::vector<int>{1, 2, 3, 4}));
}

// A reader takes turn after turn; a writer that comes meanwhile is served right
// after the turns handed out before its own: the reader's turn in progress and the
// one it may have taken just before, never more, since the reader holds one turn at
// a time. Each caller notes its turn inside the turn, so what is checked is the
// order of service, whatever the scheduling.
TEST(CallTurns, ALoopingCallerCannotKeepAnotherOut) {
    CallTurns turns;
    std::atomic<bool> stop{false};
    std::vector<uint64_t> served; // appended to inside a turn only
    std::thread reader([&] {
        while (!stop) {
            served.push_back(TakeTurn(turns));
            EndTurn(turns);
        }
    });
    int writes = 0;
    for (; writes < 20; ++writes) {
        served.push_back(TakeTurn(turns));
        EndTurn(turns);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(writes, 20);
    for (size_t i = 0; i < served.size(); ++i) {
        ASSERT_EQ(served[i], i) << "turns served out of the order they were taken";
    }
}

} // namespace
