#pragma once

// A fixed set of worker threads fed with 32-bit task values through one I/O
// completion port. The running flag, the port and the task routine belong to
// the process, not to a WorkerPool object: at most one pool runs at a time,
// and any WorkerPool object can post to it or stop it.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "base/win_handles_win.h"

// Runs one task. Its result is ignored, except that a task run on a thread of
// its own (see perTaskLimitMs) ends that thread with it as exit code.
using TaskRoutine = int32_t(WINAPI*)(int32_t taskValue);

// Grace delays of Stop for the special wait times.
constexpr int32_t kStopGraceOmittedMs = 5000;
constexpr int32_t kStopGraceForMinusOneMs = 25000000;  // about 6.9 hours

// The grace delay Stop waits for a given wait time: omitted 5000 ms, -1
// 25,000,000 ms, any other value itself (0 and below end at once).
int32_t StopGraceDelayMs(std::optional<int32_t> waitMs);

class WorkerPool {
 public:
  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Stops a running pool with a 1-ms grace delay, then closes the handles of
  // this object's workers. Workers still inside a task finish it first.
  virtual ~WorkerPool();

  // Suspend / resume every worker this object started with its last Start.
  // After a refused Start the object holds no workers and these do nothing.
  virtual void SuspendAll();
  virtual void ResumeAll();

  // Starts the process-wide pool with threadCount workers (below 1 counts as
  // 1) running routine. With perTaskLimitMs > 0 each task runs on a thread of
  // its own that is terminated when it has not ended within that many ms
  // (window messages arriving on the worker can stretch the limit).
  // The object's worker list is rebuilt first, also when the call is refused.
  // False when a pool is already running, when routine is null, or when the
  // port or a worker thread cannot be made; the pool is then left stopped.
  virtual bool Start(int32_t threadCount, TaskRoutine routine, int32_t perTaskLimitMs = 0);

  // Queues one task value (0 included). False when no pool is running or the
  // value could not be queued.
  virtual bool Post(int32_t taskValue);

  // Clears the running flag, waits the grace delay (StopGraceDelayMs) while
  // dispatching the calling thread's messages, then closes the port: values
  // not taken by then are dropped. Does not wait for the workers; idle ones
  // leave within one 100-ms poll, busy ones after their task. Callable from
  // inside a task. False when no pool is running, else whether the port closed.
  virtual bool Stop(std::optional<int32_t> waitMs = std::nullopt);

  // Whether the process-wide pool is running.
  virtual bool IsRunning() const;

 private:
  // Body of every worker; the parameter carries perTaskLimitMs.
  static DWORD WINAPI WorkerLoop(void* perTaskLimitParameter);
  static void RunTaskWithLimit(TaskRoutine routine, int32_t taskValue, int32_t limitMs);
  // Waits up to limitMs for thread to end, dispatching messages meanwhile;
  // true when it ended in time.
  static bool WaitForThreadPumping(HANDLE thread, int32_t limitMs);
  static void KillThread(HANDLE thread);

  // One entry per worker of this object's last Start; empty entries after a
  // refused or failed Start.
  std::vector<UniqueHandle> workerHandles;
};

// Test seam: replaces the creation of worker threads (CreateThread) so tests
// can make it fail; null restores CreateThread.
using WorkerThreadCreator = HANDLE (*)(LPTHREAD_START_ROUTINE start, void* parameter);
void SetWorkerThreadCreatorForTesting(WorkerThreadCreator creator);
