// Turns on one device, served in the order the calls arrive. A backend whose device
// API cannot take two calls at once runs each call in a turn; unlike a plain mutex,
// a caller that loops (a reader, slice after slice) cannot starve another (a writer):
// each caller waits only for the calls that came before it.
#ifndef TOBRISK_HID_CALL_TURNS_H
#define TOBRISK_HID_CALL_TURNS_H

#include <condition_variable>
#include <cstdint>
#include <mutex>

struct CallTurns {
    std::mutex lock;               // guards the two counters
    std::condition_variable ended; // serving moved on
    uint64_t next = 0;             // the turn the next caller gets
    uint64_t serving = 0;          // the turn now running
};

// Waits until the caller's turn has come; returns its number, counted from 0. The wait
// lasts as long as the calls ahead, each of them bounded (a read slice, or a write).
uint64_t TakeTurn(CallTurns& turns);

// Ends the turn now running and lets the next caller in.
void EndTurn(CallTurns& turns);

#endif
