// A run's progress and elapsed time: the bar never goes back however the
// tasks' counts arrive, and the elapsed time survives the tick counter's wrap.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "app/run_plan.h"

namespace {

TEST(RunProgress, CountsArrivingOutOfOrderFromManyTasksNeverSetTheBarBack) {
  constexpr int kTasks = 6;
  constexpr int32_t kCount = 600;
  for (int round = 0; round < 5; ++round) {
    ForwardProgress progress;
    std::vector<int32_t> shown;  // written under the progress's own lock
    std::atomic<int32_t> finished{0};
    std::vector<std::thread> tasks;
    for (int t = 0; t < kTasks; ++t) {
      tasks.emplace_back([&, t] {
        std::mt19937 random(static_cast<unsigned>(round * 31 + t));
        for (;;) {
          const int32_t mine = finished.fetch_add(1) + 1;
          if (mine > kCount) return;
          // The way to the window takes a different time for every task.
          std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
          progress.Advance(mine, [&](int32_t value) { shown.push_back(value); });
        }
      });
    }
    for (std::thread& task : tasks) task.join();
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end()), shown.end()) << "a count shown twice";
    EXPECT_EQ(shown.back(), kCount) << "the finishing task leaves the bar at the count";
  }
}

TEST(RunProgress, ElapsedTimeIsRightAcrossTheTickCounterWrap) {
  struct Case {
    uint32_t start, now, elapsed;
  } const cases[] = {
      {1000, 3500, 2500},
      {0x7FFFFF00u, 0x80000100u, 0x200},  // past 2^31: a signed difference overflows
      {0xFFFFFF00u, 0x00000100u, 0x200},  // past 2^32: the counter wraps to 0
      {42, 42, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ElapsedTicks(c.start, c.now), c.elapsed) << c.start << " -> " << c.now;
  }
}

}  // namespace
