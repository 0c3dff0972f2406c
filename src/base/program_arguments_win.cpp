#include "base/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "base/wide_text_win.h"

namespace {
struct LocalMemoryFree {
  void operator()(wchar_t** block) const { LocalFree(block); }
};
}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  const std::unique_ptr<wchar_t*, LocalMemoryFree> wide(
      CommandLineToArgvW(GetCommandLineW(), &count));
  if (!wide) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide.get()[i]));
  return arguments;
}
