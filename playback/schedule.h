// The arithmetic of the play loop's pacing: deadlines from a pass's start on
// the wrapping millisecond clock.
#pragma once

#include <cstdint>

// A rate the deadlines can be computed from: finite and above 0.
bool IsPacedRate(double framesPerSecond);

// Milliseconds from the pass start to the end of `periods` frame periods,
// truncated toward zero; the low 32 bits, as the clock wraps. Saturates
// instead of overflowing for absurdly slow rates.
uint32_t DeadlineOffset(uint32_t periods, double framesPerSecond);

// How long until `deadline`, seen from `now`, across the clock's wrap: the
// signed difference, so that a deadline just passed reads as late rather
// than as 49 days ahead.
inline int32_t TimeLeft(uint32_t deadline, uint32_t now) {
    return static_cast<int32_t>(deadline - now);  // modulo 2^32, then as signed
}
