#include "gui_test_support.h"

std::string RuntimeProbePath() {
  return WindowsPathOf(RUNTIME_PROBE_PATH);
}
