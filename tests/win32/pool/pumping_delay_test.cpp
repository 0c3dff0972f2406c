// The message-pumping delay: its unit table and due times, how long it lasts,
// and that the delaying thread keeps handling its messages meanwhile.

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <functional>

#include "pool/pumping_delay_win.h"
#include "pool_test_support.h"

namespace {

// Timers and the performance counter tick on different clocks; a delay may
// look this much shorter than it was.
constexpr double kClockSlackMs = 16;

// "At once" for a delay of zero or less: far below any delay that could be
// mistaken for it in these tests.
constexpr double kAtOnceMs = 2000;

// Lets the delaying thread enter its wait before a helper sends or posts.
constexpr DWORD kHelperHeadStartMs = 150;

double MeasureMs(const std::function<void()>& action) {
  const double start = NowMs();
  action();
  return NowMs() - start;
}

TEST(DelayUnits, MillisecondsPerUnitFollowTheTableAndOtherValuesCountAsThemselves) {
  EXPECT_EQ(MillisecondsPerDelayUnit(0), 1);
  EXPECT_EQ(MillisecondsPerDelayUnit(1), 1000);
  EXPECT_EQ(MillisecondsPerDelayUnit(2), 60000);
  EXPECT_EQ(MillisecondsPerDelayUnit(3), 3600000);
  EXPECT_EQ(MillisecondsPerDelayUnit(7), 7);
  EXPECT_EQ(MillisecondsPerDelayUnit(4), 4);
  EXPECT_EQ(MillisecondsPerDelayUnit(-5), -5);
}

TEST(DelayUnits, DueTimeIsRelativeInHundredNanosecondUnits) {
  EXPECT_EQ(DelayDueTime(2, 1), -20000000);                   // 2 s
  EXPECT_EQ(DelayDueTime(1, 3), -36000000000LL);              // 1 h
  EXPECT_EQ(DelayDueTime(5, 7), -350000);                     // 35 ms
  EXPECT_EQ(DelayDueTime(300), -3000000);                     // unit omitted: ms
  EXPECT_EQ(DelayDueTime(25000000, 0), -250000000000LL);      // the pool's longest grace
  EXPECT_EQ(DelayDueTime(1000000, 3), -36000000000000000LL);  // a million hours
}

TEST(DelayUnits, DelaysOfZeroOrLessAreDueAtOnceAndHugeOnesAreHeldInRange) {
  EXPECT_EQ(DelayDueTime(0, 0), 0);
  EXPECT_EQ(DelayDueTime(0, 3), 0);
  EXPECT_EQ(DelayDueTime(-5, 1), 0);
  EXPECT_EQ(DelayDueTime(5, -7), 0);  // a negative unit value makes the delay negative
  // Taken literally this would be a positive due time, an absolute date in
  // the future (year ~2870), not "now".
  EXPECT_EQ(DelayDueTime(-2000000000, 2000000), 0);
  // Beyond the 64-bit range: the longest relative due time, still negative.
  const int64_t longest = DelayDueTime(INT32_MAX, INT32_MAX);
  EXPECT_LT(longest, -36000000000LL * 24 * 365 * 1000);  // more than 1000 years
  EXPECT_EQ(DelayDueTime(INT32_MIN, INT32_MIN), longest);
}

TEST(PumpingDelay, LastsAtLeastAmountTimesUnit) {
  EXPECT_GE(MeasureMs([] { EXPECT_TRUE(DelayPumping(2, 1)); }), 2000 - kClockSlackMs);
  EXPECT_GE(MeasureMs([] { EXPECT_TRUE(DelayPumping(5, 7)); }), 35 - kClockSlackMs);
  EXPECT_GE(MeasureMs([] { EXPECT_TRUE(DelayPumping(300)); }), 300 - kClockSlackMs);
}

TEST(PumpingDelay, AmountsOfZeroAndBelowReturnAtOnce) {
  EXPECT_LT(MeasureMs([] { EXPECT_TRUE(DelayPumping()); }), kAtOnceMs);
  EXPECT_LT(MeasureMs([] { EXPECT_TRUE(DelayPumping(0, 2)); }), kAtOnceMs);
  EXPECT_LT(MeasureMs([] { EXPECT_TRUE(DelayPumping(-5, 1)); }), kAtOnceMs);
  EXPECT_LT(MeasureMs([] { EXPECT_TRUE(DelayPumping(-3, 3)); }), kAtOnceMs);
  EXPECT_LT(MeasureMs([] { EXPECT_TRUE(DelayPumping(-2000000000, 2000000)); }), kAtOnceMs);
}

// Runs delay on this thread while a helper sends one message to a window of
// this thread and posts three more; checks each was handled here, inside the
// delay, and that the delay still lasted its full length.
void ExpectWindowAnswersDuringDelay(const std::function<void()>& delay, double delayMs) {
  RecordingWindow window;
  ASSERT_NE(window.Get(), nullptr);
  const HWND target = window.Get();

  DWORD_PTR answer = 0;
  LRESULT sent = 0;
  HelperThread helper([&] {
    Sleep(kHelperHeadStartMs);
    sent = SendMessageTimeoutA(target, WM_APP + 1, 0, 0, SMTO_NORMAL, kWaitMs, &answer);
    for (UINT n = 2; n <= 4; ++n) {
      PostMessageA(target, WM_APP + n, 0, 0);
      Sleep(50);
    }
  });

  const double start = NowMs();
  delay();
  const double end = NowMs();
  ASSERT_TRUE(helper.Join());

  EXPECT_NE(sent, 0) << "the window did not answer the sent message";
  EXPECT_EQ(answer, 1001u);
  EXPECT_GE(end - start, delayMs - kClockSlackMs) << "messages cut the delay short";
  const auto handled = window.HandledMessages();
  ASSERT_EQ(handled.size(), 4u) << "not every message was handled during the delay";
  for (UINT n = 1; n <= 4; ++n) {
    EXPECT_EQ(handled[n - 1].message, WM_APP + n);
    EXPECT_EQ(handled[n - 1].threadId, GetCurrentThreadId());
    EXPECT_LT(handled[n - 1].atMs, end) << "message " << n << " waited for the delay's end";
  }
}

TEST(PumpingDelay, WindowOfTheDelayingThreadAnswersSentAndPostedMessagesMeanwhile) {
  ExpectWindowAnswersDuringDelay([] { DelayPumping(1500); }, 1500);
}

TEST(PumpingDelay, TimerlessFallbackAlsoHandlesMessagesAndLastsItsLength) {
  ExpectWindowAnswersDuringDelay([] { WaitPumpingUntil(GetTickCount64(), 1500); }, 1500);
  EXPECT_LT(MeasureMs([] { WaitPumpingUntil(GetTickCount64(), 0); }), kAtOnceMs);
  // The fallback counts from the given start, not from the call.
  EXPECT_LT(MeasureMs([] { WaitPumpingUntil(GetTickCount64() - 5000, 3000); }), kAtOnceMs);
}

// WM_QUIT is left queued for the message loop; it must neither end the delay
// early nor be taken off the queue by it.
TEST(PumpingDelay, PendingQuitMessageDoesNotEndTheDelayAndStaysQueued) {
  PostQuitMessage(3);
  EXPECT_GE(MeasureMs([] { DelayPumping(600); }), 600 - kClockSlackMs);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);
}

}  // namespace
