#include "pool/working_set_win.h"

#include <windows.h>

namespace {

constexpr SIZE_T kTrimmedMinimumBytes = 50000;
constexpr SIZE_T kTrimmedMaximumBytes = 100000;

}  // namespace

void TrimWorkingSet() {
  // A request, not a limit that must hold: the system may refuse or adjust it.
  SetProcessWorkingSetSize(GetCurrentProcess(), kTrimmedMinimumBytes, kTrimmedMaximumBytes);
}
