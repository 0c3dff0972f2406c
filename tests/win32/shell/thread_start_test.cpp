// StartThread: the routine runs on a new thread with its parameter; without
// a handle variable no handle is left open, with one the caller gets it.

#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <vector>

#include "base/thread_start_win.h"
#include "base/win_handles_win.h"
#include "shell_test_support.h"

namespace {

// The process's open handles, as the system's handle table lists them
// (GetProcessHandleCount answers 0 under Wine; this list is complete).
int OpenHandleCount() {
  struct Entry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    void* object;
    ACCESS_MASK access;
  };
  struct Table {
    ULONG count;
    Entry entries[1];
  };
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                                     static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // too small
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return -1;
    break;
  }
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  int count = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].processId == GetCurrentProcessId()) ++count;
  }
  return count;
}

struct ThreadRun {
  UniqueHandle started{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle finish{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  void* parameterSeen = reinterpret_cast<void*>(-1);
  DWORD threadId = 0;
};

// Reports itself, then waits until the test lets it end.
DWORD WINAPI ReportingRoutine(void* parameter) {
  ThreadRun* run = static_cast<ThreadRun*>(parameter);
  run->parameterSeen = parameter;
  run->threadId = GetCurrentThreadId();
  SetEvent(run->started.Get());
  WaitForSingleObject(run->finish.Get(), kWaitMs);
  return 7;
}

ThreadRun* globalRun = nullptr;

// For the command form without parameter: reports through globalRun.
DWORD WINAPI RoutineWithoutParameter(void* parameter) {
  globalRun->parameterSeen = parameter;
  globalRun->threadId = GetCurrentThreadId();
  SetEvent(globalRun->started.Get());
  return 0;
}

// Waits until the thread with this id has ended (it cannot be waited on
// through a handle the test does not have).
bool ThreadEnds(DWORD threadId) {
  const DWORD start = GetTickCount();
  for (;;) {
    UniqueHandle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
    if (!thread || WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0) return true;
    if (GetTickCount() - start >= kWaitMs) return false;
    Sleep(10);
  }
}

TEST(StartThread, WithoutAHandleVariableTheRoutineRunsDetachedAndNoHandleStaysOpen) {
  ThreadRun run;
  ASSERT_GE(OpenHandleCount(), 0);
  const int before = OpenHandleCount();
  {
    // The count follows handles: one more event shows.
    UniqueHandle probe(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    ASSERT_EQ(before + 1, OpenHandleCount());
  }

  ASSERT_TRUE(StartThread(ReportingRoutine, &run));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.started.Get(), kWaitMs));
  EXPECT_EQ(&run, run.parameterSeen);
  EXPECT_NE(GetCurrentThreadId(), run.threadId);
  // While it runs, and after it ended, nothing of it is held open here.
  EXPECT_EQ(before, OpenHandleCount());
  SetEvent(run.finish.Get());
  ASSERT_TRUE(ThreadEnds(run.threadId));
  EXPECT_EQ(before, OpenHandleCount());
}

TEST(StartThread, WithAHandleVariableTheCallerOwnsTheThreadsHandle) {
  ThreadRun run;
  HANDLE handle = nullptr;
  ASSERT_TRUE(StartThread(ReportingRoutine, &run, &handle));
  ASSERT_NE(nullptr, handle);
  UniqueHandle owned(handle);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.started.Get(), kWaitMs));
  EXPECT_EQ(run.threadId, GetThreadId(owned.Get()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(owned.Get(), 0));
  SetEvent(run.finish.Get());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(owned.Get(), kWaitMs));
  DWORD exitCode = 0;
  GetExitCodeThread(owned.Get(), &exitCode);
  EXPECT_EQ(7u, exitCode);
}

TEST(StartThread, TheCommandFormPassesTheParameterOnlyWhenGivenAndStoresTheHandleOnlyWhenAsked) {
  ThreadRun run;
  globalRun = &run;
  const int before = OpenHandleCount();

  // The controller's form: the routine alone, two arguments omitted.
  ArgRecord result = MakeOmitted();
  const ArgRecord routineOnly[] = {
      MakeRoutine(reinterpret_cast<const void*>(&RoutineWithoutParameter)), MakeOmitted(),
      MakeOmitted()};
  CmdStartThread(&result, 3, routineOnly);
  EXPECT_EQ(TagValue(TypeTag::Boolean), result.tag);
  EXPECT_EQ(1u, LowWord(result));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(run.started.Get(), kWaitMs));
  EXPECT_EQ(nullptr, run.parameterSeen);
  ASSERT_TRUE(ThreadEnds(run.threadId));
  EXPECT_EQ(before, OpenHandleCount());

  // All three: the parameter goes to the routine, the handle into the
  // variable. Both are whole pointers: in the 64-bit program a handle is 8
  // bytes and the parameter's address may lie above 4 GiB.
  ThreadRun second;
  HANDLE handleVariable = nullptr;
  const ArgRecord all[] = {MakeRoutine(reinterpret_cast<const void*>(&ReportingRoutine)),
                           MakePointer(TagValue(TypeTag::Integer), &second),
                           MakePointer(TagValue(TypeTag::Integer), &handleVariable)};
  CmdStartThread(&result, 3, all);
  EXPECT_EQ(1u, LowWord(result));
  ASSERT_NE(nullptr, handleVariable);
  UniqueHandle owned(handleVariable);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second.started.Get(), kWaitMs));
  EXPECT_EQ(&second, second.parameterSeen);
  EXPECT_EQ(second.threadId, GetThreadId(owned.Get()));
  SetEvent(second.finish.Get());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(owned.Get(), kWaitMs));
  globalRun = nullptr;
}

TEST(StartThread, NoRoutineStartsNothing) {
  HANDLE handle = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(StartThread(nullptr, nullptr, &handle));
  EXPECT_EQ(reinterpret_cast<HANDLE>(1), handle);
}

}  // namespace
