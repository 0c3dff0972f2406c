// The completion-port worker pool: worker counts, delivery of task values,
// the lifecycle of the process-wide pool, stopping (also from inside a task)
// and the per-task time limit.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "pool/worker_pool_win.h"
#include "pool_test_support.h"

namespace {

// What task routines saw, reset for every test.
struct Deliveries {
  std::mutex mutex;
  std::vector<int32_t> values;
  std::vector<int32_t> otherRoutineValues;
};
Deliveries* deliveries = nullptr;

std::vector<int32_t> DeliveredValues() {
  std::lock_guard<std::mutex> lock(deliveries->mutex);
  return deliveries->values;
}

bool WasDelivered(int32_t value) {
  const auto values = DeliveredValues();
  return std::find(values.begin(), values.end(), value) != values.end();
}

int32_t WINAPI RecordValue(int32_t value) {
  std::lock_guard<std::mutex> lock(deliveries->mutex);
  deliveries->values.push_back(value);
  return 0;
}

int32_t WINAPI RecordValueAsOtherRoutine(int32_t value) {
  std::lock_guard<std::mutex> lock(deliveries->mutex);
  deliveries->otherRoutineValues.push_back(value);
  return 0;
}

// Tasks that hold their worker until the gate opens.
HANDLE taskGate = nullptr;  // manual-reset event
std::atomic<int> tasksInFlight{0};
std::atomic<int> mostTasksInFlight{0};

int32_t WINAPI RecordThenWaitForGate(int32_t value) {
  RecordValue(value);
  const int now = ++tasksInFlight;
  int most = mostTasksInFlight.load();
  while (now > most && !mostTasksInFlight.compare_exchange_weak(most, now)) {
  }
  WaitForSingleObject(taskGate, kWaitMs);
  --tasksInFlight;
  return 0;
}

class WorkerPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    deliveries = new Deliveries;
    taskGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    tasksInFlight = 0;
    mostTasksInFlight = 0;
    ASSERT_FALSE(pool_.IsRunning()) << "an earlier test left the pool running";
    baselineThreads_ = ProcessThreadCount();
    ASSERT_GT(baselineThreads_, 0);
  }

  void TearDown() override {
    SetWorkerThreadCreatorForTesting(nullptr);
    SetEvent(taskGate);
    if (pool_.IsRunning()) pool_.Stop(0);
    // The next test starts with no worker left over from this one. After a
    // failure the count is no guide: reporting it can start a thread of its own
    // under Wine.
    if (HasFailure()) {
      WaitUntil([&] { return ThreadsAddedSinceSetUp() <= 0; }, 1000);
    } else {
      EXPECT_TRUE(WorkersHaveLeft()) << "workers outlived the test";
    }
    CloseHandle(taskGate);
    taskGate = nullptr;
    delete deliveries;
    deliveries = nullptr;
  }

  int ThreadsAddedSinceSetUp() const { return ProcessThreadCount() - baselineThreads_; }
  bool WorkersHaveLeft() const {
    return WaitUntil([&] { return ThreadsAddedSinceSetUp() <= 0; });
  }

  WorkerPool pool_;
  int baselineThreads_ = 0;
};

TEST_F(WorkerPoolTest, CountsBelowOneStartExactlyOneWorker) {
  for (const int32_t count : {0, -3}) {
    ASSERT_TRUE(pool_.Start(count, &RecordValue)) << "count " << count;
    EXPECT_EQ(ThreadsAddedSinceSetUp(), 1) << "count " << count;
    ASSERT_TRUE(pool_.Post(count));
    EXPECT_TRUE(WaitUntil([&] { return WasDelivered(count); })) << "count " << count;
    ASSERT_TRUE(pool_.Stop(0));
    ASSERT_TRUE(WorkersHaveLeft());
  }
}

TEST_F(WorkerPoolTest, SixWorkersRunSixTasksAtOnce) {
  ASSERT_TRUE(pool_.Start(6, &RecordThenWaitForGate));
  EXPECT_EQ(ThreadsAddedSinceSetUp(), 6);
  for (int32_t value = 1; value <= 7; ++value) ASSERT_TRUE(pool_.Post(value));
  EXPECT_TRUE(WaitUntil([] { return tasksInFlight.load() == 6; }));
  Sleep(200);  // a seventh worker, if there were one, would take value 7 now
  EXPECT_EQ(mostTasksInFlight.load(), 6);
  SetEvent(taskGate);
  EXPECT_TRUE(WaitUntil([] { return DeliveredValues().size() == 7; }));
}

TEST_F(WorkerPoolTest, RefusedSecondStartStartsNothingAndLeavesNoWorkersToSuspend) {
  ASSERT_TRUE(pool_.Start(2, &RecordValue));
  ASSERT_EQ(ThreadsAddedSinceSetUp(), 2);

  EXPECT_FALSE(pool_.Start(3, &RecordValueAsOtherRoutine));
  EXPECT_EQ(ThreadsAddedSinceSetUp(), 2) << "a refused Start made threads";
  EXPECT_TRUE(pool_.IsRunning());

  // The refused Start emptied this object's worker list, so this suspends no
  // one: the running workers go on taking values.
  pool_.SuspendAll();
  ASSERT_TRUE(pool_.Post(41));
  EXPECT_TRUE(WaitUntil([] { return WasDelivered(41); })) << "SuspendAll suspended a worker";
  pool_.ResumeAll();

  WorkerPool other;
  EXPECT_FALSE(other.Start(1, &RecordValueAsOtherRoutine));
  ASSERT_TRUE(pool_.Post(42));
  EXPECT_TRUE(WaitUntil([] { return WasDelivered(42); }));
  std::lock_guard<std::mutex> lock(deliveries->mutex);
  EXPECT_TRUE(deliveries->otherRoutineValues.empty()) << "a refused Start replaced the routine";
}

TEST_F(WorkerPoolTest, SuspendedWorkersTakeNoValuesUntilResumed) {
  ASSERT_TRUE(pool_.Start(2, &RecordValue));
  pool_.SuspendAll();
  ASSERT_TRUE(pool_.Post(5));
  Sleep(400);
  EXPECT_FALSE(WasDelivered(5)) << "a suspended worker took a value";
  pool_.ResumeAll();
  EXPECT_TRUE(WaitUntil([] { return WasDelivered(5); }));
}

TEST_F(WorkerPoolTest, PostAndStopAreRefusedWhileNoPoolRuns) {
  EXPECT_FALSE(pool_.IsRunning());
  EXPECT_FALSE(pool_.Post(1)) << "Post before Start";
  EXPECT_FALSE(pool_.Stop(0)) << "Stop before Start";

  ASSERT_TRUE(pool_.Start(2, &RecordValue));
  EXPECT_TRUE(pool_.IsRunning());
  EXPECT_TRUE(pool_.Stop(0));
  EXPECT_FALSE(pool_.IsRunning());
  EXPECT_FALSE(pool_.Post(2)) << "Post after Stop";
  EXPECT_FALSE(pool_.Stop(0)) << "second Stop";
  ASSERT_TRUE(WorkersHaveLeft());
  EXPECT_TRUE(DeliveredValues().empty());
}

TEST_F(WorkerPoolTest, ValueZeroAndNegativeValuesArriveUnchanged) {
  ASSERT_TRUE(pool_.Start(1, &RecordValue));
  for (const int32_t value : {0, -1, INT32_MIN, INT32_MAX}) ASSERT_TRUE(pool_.Post(value));
  ASSERT_TRUE(WaitUntil([] { return DeliveredValues().size() == 4; }));
  EXPECT_EQ(DeliveredValues(), (std::vector<int32_t>{0, -1, INT32_MIN, INT32_MAX}));
}

// Delivery counts per value for the many-values test.
constexpr int32_t kManyValues = 10000;
std::atomic<int>* deliveryCounts = nullptr;
std::atomic<int> deliveredTotal{0};

int32_t WINAPI CountDelivery(int32_t value) {
  if (value >= 1 && value <= kManyValues) ++deliveryCounts[value];
  ++deliveredTotal;
  return 0;
}

TEST_F(WorkerPoolTest, TenThousandValuesAcrossSixWorkersAreEachDeliveredOnce) {
  std::unique_ptr<std::atomic<int>[]> counts(new std::atomic<int>[kManyValues + 1]);
  for (int32_t value = 0; value <= kManyValues; ++value) counts[value] = 0;
  deliveryCounts = counts.get();
  deliveredTotal = 0;

  ASSERT_TRUE(pool_.Start(6, &CountDelivery));
  for (int32_t value = 1; value <= kManyValues; ++value) ASSERT_TRUE(pool_.Post(value));
  EXPECT_TRUE(WaitUntil([] { return deliveredTotal.load() >= kManyValues; }, 60000));
  EXPECT_TRUE(pool_.Stop(100));
  ASSERT_TRUE(WorkersHaveLeft());

  EXPECT_EQ(deliveredTotal.load(), kManyValues);
  int wrong = 0;
  for (int32_t value = 1; value <= kManyValues; ++value) {
    if (counts[value] != 1 && ++wrong <= 5) {
      ADD_FAILURE() << "value " << value << " delivered " << counts[value] << " times";
    }
  }
  EXPECT_EQ(wrong, 0);
  deliveryCounts = nullptr;
}

TEST_F(WorkerPoolTest, ValuesStillQueuedAtStopAreNeverDelivered) {
  ASSERT_TRUE(pool_.Start(1, &RecordThenWaitForGate));
  ASSERT_TRUE(pool_.Post(1));
  ASSERT_TRUE(WaitUntil([] { return tasksInFlight.load() == 1; }));
  for (int32_t value = 2; value <= 5; ++value) ASSERT_TRUE(pool_.Post(value));

  ASSERT_TRUE(pool_.Stop(0));
  SetEvent(taskGate);  // the only worker finishes value 1 and must then leave
  ASSERT_TRUE(WorkersHaveLeft());
  EXPECT_EQ(DeliveredValues(), (std::vector<int32_t>{1}));
}

TEST_F(WorkerPoolTest, PoolStartsAgainAfterStopWithNewWorkersAndRoutine) {
  ASSERT_TRUE(pool_.Start(2, &RecordValue));
  ASSERT_TRUE(pool_.Post(1));
  ASSERT_TRUE(WaitUntil([] { return WasDelivered(1); }));
  ASSERT_TRUE(pool_.Stop(0));
  ASSERT_TRUE(WorkersHaveLeft());

  ASSERT_TRUE(pool_.Start(3, &RecordValueAsOtherRoutine));
  EXPECT_EQ(ThreadsAddedSinceSetUp(), 3);
  ASSERT_TRUE(pool_.Post(2));
  EXPECT_TRUE(WaitUntil([] {
    std::lock_guard<std::mutex> lock(deliveries->mutex);
    return deliveries->otherRoutineValues == std::vector<int32_t>{2};
  }));
  EXPECT_EQ(DeliveredValues(), (std::vector<int32_t>{1}));
}

// A Stop in its grace delay has already let go of the pool; a Start meanwhile
// makes a new port, which that Stop must not close when its delay ends.
TEST_F(WorkerPoolTest, StartDuringAnotherStopsGraceDelayKeepsItsOwnPort) {
  ASSERT_TRUE(pool_.Start(1, &RecordValue));
  std::atomic<int> stopResult{-1};
  HelperThread stopper([&] { stopResult = pool_.Stop(500) ? 1 : 0; });
  ASSERT_TRUE(WaitUntil([&] { return !pool_.IsRunning(); }));
  ASSERT_TRUE(pool_.Start(1, &RecordValueAsOtherRoutine));
  ASSERT_TRUE(stopper.Join());
  EXPECT_EQ(stopResult.load(), 1);

  EXPECT_TRUE(pool_.IsRunning());
  ASSERT_TRUE(pool_.Post(3)) << "the new run's port was closed by the earlier Stop";
  EXPECT_TRUE(WaitUntil([] {
    std::lock_guard<std::mutex> lock(deliveries->mutex);
    return deliveries->otherRoutineValues == std::vector<int32_t>{3};
  }));
}

// --- Stopping from inside a task ---------------------------------------------

WorkerPool* stoppingPool = nullptr;
std::atomic<int> stopResultInTask{-1};
std::atomic<int> runningAfterStopInTask{-1};
HANDLE stopReturned = nullptr;

int32_t WINAPI StopThePool(int32_t) {
  stopResultInTask = stoppingPool->Stop(50) ? 1 : 0;
  runningAfterStopInTask = stoppingPool->IsRunning() ? 1 : 0;
  SetEvent(stopReturned);
  return 0;
}

TEST_F(WorkerPoolTest, StopIssuedFromInsideATaskCompletes) {
  stoppingPool = &pool_;
  stopReturned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(pool_.Start(2, &StopThePool));
  ASSERT_TRUE(pool_.Post(1));

  EXPECT_EQ(WaitForSingleObject(stopReturned, kWaitMs), WAIT_OBJECT_0) << "Stop in a task hung";
  EXPECT_EQ(stopResultInTask.load(), 1);
  EXPECT_EQ(runningAfterStopInTask.load(), 0);
  EXPECT_FALSE(pool_.IsRunning());
  EXPECT_FALSE(pool_.Post(2));
  EXPECT_TRUE(WorkersHaveLeft()) << "the stopping worker did not end";
  CloseHandle(stopReturned);
  stopReturned = nullptr;
}

// --- Grace delay of Stop -------------------------------------------------------

TEST(StopGrace, OmittedMeansFiveSecondsMinusOneAboutSevenHoursOthersThemselves) {
  EXPECT_EQ(StopGraceDelayMs(std::nullopt), 5000);
  EXPECT_EQ(StopGraceDelayMs(-1), 25000000);
  EXPECT_EQ(StopGraceDelayMs(0), 0);
  EXPECT_EQ(StopGraceDelayMs(1000), 1000);
  EXPECT_EQ(StopGraceDelayMs(-2), -2);
}

TEST_F(WorkerPoolTest, StopWithoutWaitTimeWaitsFiveSecondsBeforeClosingThePort) {
  ASSERT_TRUE(pool_.Start(1, &RecordValue));
  const double start = NowMs();
  EXPECT_TRUE(pool_.Stop());
  EXPECT_GE(NowMs() - start, 5000 - 16);
}

TEST_F(WorkerPoolTest, StopKeepsHandlingTheCallersMessagesDuringItsGraceDelay) {
  RecordingWindow window;
  ASSERT_NE(window.Get(), nullptr);
  const HWND target = window.Get();
  ASSERT_TRUE(pool_.Start(1, &RecordValue));

  DWORD_PTR answer = 0;
  LRESULT sent = 0;
  HelperThread helper([&] {
    Sleep(150);
    sent = SendMessageTimeoutA(target, WM_APP + 7, 0, 0, SMTO_NORMAL, kWaitMs, &answer);
  });
  const double start = NowMs();
  EXPECT_TRUE(pool_.Stop(1000));
  const double end = NowMs();
  ASSERT_TRUE(helper.Join());

  EXPECT_GE(end - start, 1000 - 16);
  EXPECT_NE(sent, 0);
  EXPECT_EQ(answer, 1007u);
  const auto handled = window.HandledMessages();
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_LT(handled[0].atMs, end) << "the sent message waited for the grace delay's end";
}

// --- Destruction -------------------------------------------------------------

TEST_F(WorkerPoolTest, DestroyingTheObjectStopsTheRunningPool) {
  {
    WorkerPool doomed;
    ASSERT_TRUE(doomed.Start(3, &RecordValue));
  }
  EXPECT_FALSE(pool_.IsRunning());
  EXPECT_FALSE(pool_.Post(1));
  EXPECT_TRUE(WorkersHaveLeft());
}

// --- Failure to start --------------------------------------------------------

std::atomic<int> threadsToAllow{0};

HANDLE CreateSomeThreadsThenFail(LPTHREAD_START_ROUTINE start, void* parameter) {
  if (threadsToAllow.fetch_sub(1) <= 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return CreateThread(nullptr, 0, start, parameter, 0, nullptr);
}

TEST_F(WorkerPoolTest, StartThatCannotMakeItsWorkersLeavesThePoolStopped) {
  threadsToAllow = 2;
  SetWorkerThreadCreatorForTesting(&CreateSomeThreadsThenFail);
  EXPECT_FALSE(pool_.Start(6, &RecordValue));
  SetWorkerThreadCreatorForTesting(nullptr);

  EXPECT_FALSE(pool_.IsRunning());
  EXPECT_FALSE(pool_.Post(1));
  EXPECT_FALSE(pool_.Stop(0));
  EXPECT_TRUE(WorkersHaveLeft()) << "the two workers made before the failure stayed";
  pool_.SuspendAll();  // holds no handles: must not touch anything

  ASSERT_TRUE(pool_.Start(2, &RecordValue));
  ASSERT_TRUE(pool_.Post(9));
  EXPECT_TRUE(WaitUntil([] { return WasDelivered(9); }));
  EXPECT_EQ(DeliveredValues(), (std::vector<int32_t>{9}));
}

TEST_F(WorkerPoolTest, StartWithoutRoutineIsRefused) {
  EXPECT_FALSE(pool_.Start(2, nullptr));
  EXPECT_FALSE(pool_.IsRunning());
  EXPECT_EQ(ThreadsAddedSinceSetUp(), 0);
}

// --- Per-task time limit -----------------------------------------------------

constexpr int32_t kLimitMs = 1000;
constexpr DWORD kOverrunningTaskMs = 60000;  // far beyond any wait of the test
constexpr int32_t kQuickTaskResult = 42;

// Handles to the task threads, duplicated by the tasks themselves.
std::atomic<HANDLE> overrunningThread{nullptr};
std::atomic<HANDLE> quickThread{nullptr};

HANDLE DuplicateOwnThreadHandle() {
  HANDLE own = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &own, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  return own;
}

int32_t WINAPI OverrunOrFinishQuickly(int32_t value) {
  if (value == 1) {
    overrunningThread = DuplicateOwnThreadHandle();
    RecordValue(value);
    Sleep(kOverrunningTaskMs);
    RecordValue(-value);  // only reached if the task was not terminated
    return 0;
  }
  quickThread = DuplicateOwnThreadHandle();
  RecordValue(value);
  return kQuickTaskResult;
}

TEST_F(WorkerPoolTest, TaskOverItsTimeLimitIsTerminatedAndTheWorkerTakesTheNextValue) {
  overrunningThread = nullptr;
  quickThread = nullptr;
  ASSERT_TRUE(pool_.Start(1, &OverrunOrFinishQuickly, kLimitMs));
  ASSERT_TRUE(pool_.Post(1));
  ASSERT_TRUE(pool_.Post(2));

  // One worker: value 2 can only come once value 1's thread is dealt with.
  ASSERT_TRUE(WaitUntil([] { return WasDelivered(2); })) << "the worker never took value 2";
  UniqueHandle overrun(overrunningThread.exchange(nullptr));
  UniqueHandle quick(quickThread.exchange(nullptr));
  ASSERT_TRUE(overrun);
  ASSERT_TRUE(quick);

  ASSERT_EQ(WaitForSingleObject(overrun.Get(), kWaitMs), WAIT_OBJECT_0)
      << "the overrunning task was not terminated";
  DWORD exitCode = 0;
  ASSERT_TRUE(GetExitCodeThread(overrun.Get(), &exitCode));
  EXPECT_EQ(exitCode, STILL_ACTIVE) << "terminated with the code it reported while running";

  // A task that ends within the limit runs to its end on its own thread.
  ASSERT_EQ(WaitForSingleObject(quick.Get(), kWaitMs), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(quick.Get(), &exitCode));
  EXPECT_EQ(exitCode, static_cast<DWORD>(kQuickTaskResult));
  EXPECT_EQ(DeliveredValues(), (std::vector<int32_t>{1, 2}));
}

}  // namespace
