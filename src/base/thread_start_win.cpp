// Starting routines on threads of their own.

#include "base/thread_start_win.h"

#include "base/win_handles_win.h"

bool StartThread(ThreadRoutine routine, void* parameter, HANDLE* handleVariable) {
  if (routine == nullptr) return false;
  UniqueHandle thread(CreateThread(nullptr, 0, routine, parameter, 0, nullptr));
  if (!thread) return false;
  if (handleVariable != nullptr) *handleVariable = thread.Release();
  return true;
}

void CmdStartThread(ArgRecord* result, int argCount, const ArgRecord* args) {
  const auto routine = reinterpret_cast<ThreadRoutine>(AsPointer(ArgAt(argCount, args, 0)));
  const ArgRecord parameterRecord = ArgAt(argCount, args, 1);
  void* parameter = IsOmitted(parameterRecord) ? nullptr : AsPointer(parameterRecord);
  const ArgRecord handleRecord = ArgAt(argCount, args, 2);
  HANDLE* handleVariable =
      IsOmitted(handleRecord) ? nullptr : static_cast<HANDLE*>(AsPointer(handleRecord));
  const bool started = StartThread(routine, parameter, handleVariable);
  if (result != nullptr) *result = MakeBoolean(started);
}
