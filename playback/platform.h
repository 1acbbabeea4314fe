// The edges the player touches: the millisecond clock, the sound player and
// the thread's message queue. The product links the Windows back-end; the
// schedule tests link a fake clock.
// Contract: ClockNow is a wrapping 32-bit millisecond counter. PlayWaveImage
// starts a RIFF/WAVE image held in memory asynchronously, replacing any sound
// that plays; a null image stops the sound. PumpOneMessage removes one queued
// message of the thread and dispatches it, returning false when the queue was
// empty. SleepOneTick sleeps about one millisecond.
#pragma once

#include <cstdint>

uint32_t ClockNow();
void PlayWaveImage(const void* image);
bool PumpOneMessage();
void SleepOneTick();
