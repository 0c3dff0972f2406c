#pragma once

// Waiting that keeps the calling thread's window messages processed.

#include <cstdint>

// Milliseconds per unit of a delay: 0 milliseconds, 1 seconds, 2 minutes,
// 3 hours; any other value v counts as v milliseconds per unit.
int64_t MillisecondsPerDelayUnit(int32_t unit);

// Due time of a delay for a waitable timer, in 100-ns units, negative meaning
// relative to now: amount x milliseconds per unit x -10,000. A delay of zero
// or less gives 0, a due time already past; a delay beyond the 64-bit range
// is held at the longest relative due time.
int64_t DelayDueTime(int32_t amount, int32_t unit = 0);

// Waits amount x unit on a one-shot waitable timer. Messages arriving for the
// calling thread (keys, mouse, posted, sent, timers, paint, hot keys) are
// dispatched as they come and the wait resumes on the same timer. Amounts of 0
// and below return at once. When the timer cannot be made, armed or waited
// on, the rest of the delay is waited without it, still dispatching messages.
// Always returns true.
bool DelayPumping(int32_t amount = 0, int32_t unit = 0);

// The timer-less wait DelayPumping falls back on: waits until totalMs have
// passed since startTick64 (a GetTickCount64 reading), dispatching the calling
// thread's messages as they arrive. Never spins.
void WaitPumpingUntil(uint64_t startTick64, double totalMs);
