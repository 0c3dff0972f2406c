#include "pool/worker_pool_win.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>

#include "base/system_commands_win.h"
#include "pool/pumping_delay_win.h"

namespace {

// Idle workers look at the running flag this often; it bounds how long they
// outlive Stop, which posts no wake-up packets.
constexpr DWORD kPortPollMs = 100;

constexpr int32_t kDestructorGraceMs = 1;

// QS_ALLEVENTS with raw input: what wakes a worker waiting for a task thread.
constexpr DWORD kTaskWaitWakeMask = 0x4BF;

// Pause before waiting again when a wait fails outright, so the loop sleeps
// instead of spinning until its deadline.
constexpr DWORD kFailedWaitPauseMs = 10;

// A terminated thread ends asynchronously; its start record is freed only once
// it has. A thread still not ended after this long keeps its record.
constexpr DWORD kTerminationWaitMs = 10000;

// The process-wide pool. Workers read these afresh on every poll without a
// lock; Start and Stop change them under poolLifecycleLock, and Post reads
// them under it, so a port is never posted to after Stop has taken it.
std::atomic<int32_t> poolRunning{0};
std::atomic<HANDLE> poolPort{nullptr};  // owned by the running pool; Stop closes it
std::atomic<TaskRoutine> poolRoutine{nullptr};
SRWLOCK poolLifecycleLock = SRWLOCK_INIT;

std::atomic<WorkerThreadCreator> workerThreadCreator{nullptr};

class ExclusiveLifecycleLock {
 public:
  ExclusiveLifecycleLock() { AcquireSRWLockExclusive(&poolLifecycleLock); }
  ~ExclusiveLifecycleLock() { ReleaseSRWLockExclusive(&poolLifecycleLock); }
  ExclusiveLifecycleLock(const ExclusiveLifecycleLock&) = delete;
  ExclusiveLifecycleLock& operator=(const ExclusiveLifecycleLock&) = delete;
};

class SharedLifecycleLock {
 public:
  SharedLifecycleLock() { AcquireSRWLockShared(&poolLifecycleLock); }
  ~SharedLifecycleLock() { ReleaseSRWLockShared(&poolLifecycleLock); }
  SharedLifecycleLock(const SharedLifecycleLock&) = delete;
  SharedLifecycleLock& operator=(const SharedLifecycleLock&) = delete;
};

HANDLE CreateWorkerThread(LPTHREAD_START_ROUTINE start, void* parameter) {
  if (const WorkerThreadCreator creator = workerThreadCreator.load()) {
    return creator(start, parameter);
  }
  return CreateThread(nullptr, 0, start, parameter, 0, nullptr);
}

// What a task thread runs: the routine and its value. The worker owns it and
// keeps it until the thread has ended.
struct TaskStart {
  TaskRoutine routine;
  int32_t taskValue;
};

DWORD WINAPI RunTaskStart(void* parameter) {
  const TaskStart* start = static_cast<const TaskStart*>(parameter);
  return static_cast<DWORD>(start->routine(start->taskValue));
}

}  // namespace

int32_t StopGraceDelayMs(std::optional<int32_t> waitMs) {
  if (!waitMs) return kStopGraceOmittedMs;
  if (*waitMs == -1) return kStopGraceForMinusOneMs;
  return *waitMs;
}

WorkerPool::~WorkerPool() {
  WorkerPool::Stop(kDestructorGraceMs);
}

void WorkerPool::SuspendAll() {
  for (const UniqueHandle& worker : workerHandles) {
    if (worker) SuspendThread(worker.Get());
  }
}

void WorkerPool::ResumeAll() {
  for (const UniqueHandle& worker : workerHandles) {
    if (worker) ResumeThread(worker.Get());
  }
}

bool WorkerPool::Start(int32_t threadCount, TaskRoutine routine, int32_t perTaskLimitMs) {
  const int32_t count = std::max<int32_t>(threadCount, 1);

  // The list is rebuilt before anything is decided, so a refused Start also
  // leaves only empty entries; the previous workers' handles are closed here
  // (their threads are not touched).
  workerHandles.clear();
  try {
    workerHandles.resize(static_cast<size_t>(count));
  } catch (const std::exception&) {
    return false;  // a list that size cannot exist, nor can its threads
  }

  if (routine == nullptr) return false;
  ExclusiveLifecycleLock lock;
  if (poolRunning.load() != 0) return false;

  UniqueHandle port(
      CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, static_cast<DWORD>(count)));
  if (!port) return false;
  poolPort.store(port.Get());
  poolRoutine.store(routine);
  poolRunning.store(1);

  void* const workerParameter = reinterpret_cast<void*>(static_cast<intptr_t>(perTaskLimitMs));
  for (UniqueHandle& worker : workerHandles) {
    worker.Reset(CreateWorkerThread(&WorkerPool::WorkerLoop, workerParameter));
    if (!worker) {
      // Undo: the workers made so far see the cleared flag (or the closed
      // port) within one poll and end; nothing was posted yet, since Post
      // waits for this lock.
      poolRunning.store(0);
      poolPort.store(nullptr);
      for (UniqueHandle& made : workerHandles) made.Reset();
      return false;  // port closes here
    }
  }
  port.Release();  // from now on the running pool owns it, and Stop closes it
  return true;
}

bool WorkerPool::Post(int32_t taskValue) {
  SharedLifecycleLock lock;
  if (poolRunning.load() == 0) return false;
  // The value travels as the packet's byte count; key 0, no OVERLAPPED.
  return PostQueuedCompletionStatus(poolPort.load(), static_cast<DWORD>(taskValue), 0, nullptr) ==
         TRUE;
}

bool WorkerPool::Stop(std::optional<int32_t> waitMs) {
  HANDLE port;
  {
    ExclusiveLifecycleLock lock;
    if (poolRunning.load() == 0) return false;
    poolRunning.store(0);
    // Taken now, so the port closed below is this run's even if another
    // Start runs during the grace delay.
    port = poolPort.exchange(nullptr);
  }
  DelayPumping(StopGraceDelayMs(waitMs));
  return CloseHandle(port) != 0;
}

bool WorkerPool::IsRunning() const {
  return poolRunning.load() != 0;
}

DWORD WINAPI WorkerPool::WorkerLoop(void* perTaskLimitParameter) {
  const int32_t perTaskLimitMs =
      static_cast<int32_t>(reinterpret_cast<intptr_t>(perTaskLimitParameter));
  while (poolRunning.load() != 0) {
    DWORD taskBytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    // Fails at once when the port has gone; the flag is then already clear.
    if (GetQueuedCompletionStatus(poolPort.load(), &taskBytes, &key, &overlapped, kPortPollMs) !=
        TRUE) {
      continue;
    }
    const TaskRoutine routine = poolRoutine.load();
    const int32_t taskValue = static_cast<int32_t>(taskBytes);
    if (perTaskLimitMs <= 0) {
      routine(taskValue);
    } else {
      RunTaskWithLimit(routine, taskValue, perTaskLimitMs);
    }
  }
  return 0;
}

void WorkerPool::RunTaskWithLimit(TaskRoutine routine, int32_t taskValue, int32_t limitMs) {
  std::unique_ptr<TaskStart> start(new (std::nothrow) TaskStart{routine, taskValue});
  UniqueHandle taskThread;
  if (start) taskThread.Reset(CreateThread(nullptr, 0, &RunTaskStart, start.get(), 0, nullptr));
  if (!taskThread) {
    // Without a thread of its own the task cannot be limited; running it here
    // still delivers the value, which is what the producer counts on.
    routine(taskValue);
    return;
  }
  if (WaitForThreadPumping(taskThread.Get(), limitMs)) return;
  KillThread(taskThread.Get());
  if (WaitForSingleObject(taskThread.Get(), kTerminationWaitMs) != WAIT_OBJECT_0) {
    start.release();  // the thread may still read it: leaked on purpose
  }
}

bool WorkerPool::WaitForThreadPumping(HANDLE thread, int32_t limitMs) {
  const uint32_t startTick = TickCount();
  DWORD outcome;
  do {
    outcome = MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(limitMs),
                                        kTaskWaitWakeMask);
    if (outcome == WAIT_FAILED) Sleep(kFailedWaitPauseMs);
    // The deadline counts from the first wait: a thread that ends just as it
    // passes has still overrun.
    if (TickCount() - startTick >= static_cast<uint32_t>(limitMs)) outcome = WAIT_TIMEOUT;
    ProcessEvents();
  } while (outcome != WAIT_OBJECT_0 && outcome != WAIT_TIMEOUT);
  return outcome == WAIT_OBJECT_0;
}

void WorkerPool::KillThread(HANDLE thread) {
  // Ends the thread with the exit code it reports right now (STILL_ACTIVE
  // while it runs).
  DWORD exitCode = 0;
  if (!GetExitCodeThread(thread, &exitCode)) exitCode = 0;
  TerminateThread(thread, exitCode);
}

void SetWorkerThreadCreatorForTesting(WorkerThreadCreator creator) {
  workerThreadCreator.store(creator);
}
