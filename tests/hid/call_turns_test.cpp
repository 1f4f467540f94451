// Call turns: callers get the device in the order they came, so a caller that loops
// cannot keep another out.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "call_turns.h"

namespace {

// Waits, at most a few seconds, until `count` turns have been handed out.
void WaitForTurnsTaken(CallTurns& turns, uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        std::lock_guard<std::mutex> hold(turns.lock);
        if (turns.next >= count) {
            return;
        }
    }
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
        WaitForTurnsTaken(turns, static_cast<uint64_t>(caller) + 1);
    }
    EndTurn(turns);
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(served, (std::vector<int>{1, 2, 3, 4}));
}

// A reader takes turn after turn; a writer that arrives meanwhile waits for at most
// the reader's turn in progress and the one it may have queued just before.
TEST(CallTurns, ALoopingCallerCannotKeepAnotherOut) {
    CallTurns turns;
    std::atomic<bool> stop{false};
    std::atomic<int> readerTurns{0};
    std::thread reader([&] {
        while (!stop) {
            TakeTurn(turns);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            ++readerTurns;
            EndTurn(turns);
        }
    });
    int worstWait = 0;
    for (int write = 0; write < 20; ++write) {
        while (readerTurns < 3 * (write + 1)) {
            std::this_thread::yield();
        }
        const int before = readerTurns;
        TakeTurn(turns);
        worstWait = std::max(worstWait, readerTurns - before);
        EndTurn(turns);
    }
    stop = true;
    reader.join();
    EXPECT_LE(worstWait, 2) << "reader turns that went ahead of a waiting writer";
}

} // namespace
