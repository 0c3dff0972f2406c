#include "pool/pumping_delay_win.h"

#include <windows.h>

#include <algorithm>

#include "base/system_commands_win.h"
#include "base/win_handles_win.h"

namespace {

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;

// Waitable timers count in 100-ns units; negative due times are relative.
constexpr double kTimerUnitsPerMs = 10000.0;

// About 3,170 years. Longer relative due times are held here: the system adds
// the due time to the present, which must not overflow.
constexpr int64_t kLongestRelativeDueTime = -1000000000000000000LL;

// QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER |
// QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY. Raw input (QS_RAWINPUT) does not
// wake the delay.
constexpr DWORD kDelayWakeMask = 0xFF;

// Longest single wait of the timer-less fallback; longer delays wait in steps.
constexpr DWORD kLongestFallbackStepMs = 0x7FFFFFFF;

// Pause before retrying when even the timer-less wait fails, so the fallback
// sleeps instead of spinning.
constexpr DWORD kFailedWaitPauseMs = 10;

double DelayMilliseconds(int32_t amount, int32_t unit) {
  return static_cast<double>(amount) * static_cast<double>(MillisecondsPerDelayUnit(unit));
}

// Waits on a one-shot timer armed with dueTime, dispatching messages as they
// arrive. False when the timer could not be made, armed or waited on.
bool WaitOnTimerPumping(int64_t dueTime) {
  UniqueHandle timer(CreateWaitableTimerA(nullptr, FALSE, nullptr));
  if (!timer) return false;
  LARGE_INTEGER due;
  due.QuadPart = dueTime;
  if (!SetWaitableTimer(timer.Get(), &due, 0, nullptr, nullptr, FALSE)) return false;

  const HANDLE timerHandle = timer.Get();
  for (;;) {
    const DWORD woke = MsgWaitForMultipleObjects(1, &timerHandle, FALSE, INFINITE, kDelayWakeMask);
    if (woke == WAIT_OBJECT_0) return true;       // the timer fired
    if (woke != WAIT_OBJECT_0 + 1) return false;  // the wait itself failed
    ProcessEvents();
  }
}

}  // namespace

int64_t MillisecondsPerDelayUnit(int32_t unit) {
  switch (unit) {
    case 0:
      return 1;
    case 1:
      return kMsPerSecond;
    case 2:
      return kMsPerMinute;
    case 3:
      return kMsPerHour;
    default:
      return unit;
  }
}

int64_t DelayDueTime(int32_t amount, int32_t unit) {
  const double totalMs = DelayMilliseconds(amount, unit);
  // Zero or less means "now". Taken literally, a negative delay would become a
  // positive due time, an absolute date that for large values lies ahead.
  if (totalMs <= 0) return 0;
  const double dueTime = totalMs * -kTimerUnitsPerMs;
  if (dueTime <= static_cast<double>(kLongestRelativeDueTime)) return kLongestRelativeDueTime;
  return static_cast<int64_t>(dueTime);  // truncates toward zero
}

void WaitPumpingUntil(uint64_t startTick64, double totalMs) {
  for (;;) {
    const double elapsedMs = static_cast<double>(GetTickCount64() - startTick64);
    if (elapsedMs >= totalMs) return;
    const double remainingMs = totalMs - elapsedMs;
    const DWORD stepMs = remainingMs >= kLongestFallbackStepMs
                             ? kLongestFallbackStepMs
                             : static_cast<DWORD>(remainingMs + 0.999);  // round up
    const DWORD woke = MsgWaitForMultipleObjects(0, nullptr, FALSE, stepMs, kDelayWakeMask);
    if (woke == WAIT_FAILED) Sleep(std::min(stepMs, kFailedWaitPauseMs));
    // With no handles, WAIT_OBJECT_0 means input arrived.
    if (woke != WAIT_TIMEOUT) ProcessEvents();
  }
}

bool DelayPumping(int32_t amount, int32_t unit) {
  const uint64_t startTick64 = GetTickCount64();
  if (!WaitOnTimerPumping(DelayDueTime(amount, unit))) {
    WaitPumpingUntil(startTick64, std::max(DelayMilliseconds(amount, unit), 0.0));
  }
  return true;
}
