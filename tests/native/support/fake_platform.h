// The player's edges for the schedule tests: a fake millisecond clock that
// moves only when the code under test sleeps (1 ms a tick) or when a test
// moves it, scripted "messages" that the pump delivers once the clock has
// reached their time, and a log of the sound player's calls.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace fake_platform {

struct SoundCall {
    uint32_t time;
    const void* image;  // null: stop
};

// Starts afresh at `start` with no events and an empty log. A run that moves
// the clock more than `limit` ms past the start is taken for a hang and
// aborts the test program with a message.
void Reset(uint32_t start = 0, uint32_t limit = 600000);
uint32_t Now();
void Advance(uint32_t milliseconds);  // e.g. a long handler or a slow blit
// Runs `event` from the message pump once the clock has reached `time`
// (compared across the wrap). Events run in time order, one per pump call.
void At(uint32_t time, std::function<void()> event);
const std::vector<SoundCall>& Sounds();
uint64_t Elapsed();  // ms moved since Reset, not wrapped
int PumpCalls();     // PumpOneMessage calls since Reset

}  // namespace fake_platform
