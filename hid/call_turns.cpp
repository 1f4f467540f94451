#include "call_turns.h"

uint64_t TakeTurn(CallTurns& turns) {
    std::unique_lock<std::mutex> hold(turns.lock);
    const uint64_t turn = turns.next++;
    turns.ended.wait(hold, [&turns, turn] { return turns.serving == turn; });
    return turn;
}

void EndTurn(CallTurns& turns) {
    std::lock_guard<std::mutex> hold(turns.lock);
    ++turns.serving;
    turns.ended.notify_all();
}
