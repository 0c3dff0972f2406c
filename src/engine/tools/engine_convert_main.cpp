// engine-convert: runs one of the engine's conversion commands from the
// command line, with the options the program's single-picture conversion
// uses, and prints the command's result code.
//
//   engine-convert jpg|tif|png SOURCE DESTINATION
//
// SOURCE and DESTINATION may name files in any script: on Windows they are
// taken from the wide command line, natively as argv's bytes.
//
// Output: the result code alone on one line. Exit status 0 when the code is
// 1 (success), 1 for any other code, 2 for a usage error.
#include <cstdio>
#include <string>
#include <vector>

#include "base/program_arguments.h"
#include "engine/engine_commands.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitNotConverted = 1;
constexpr int kExitUsage = 2;

// The single-picture conversion's fixed options: colour JPEG at quality 100
// with optimized Huffman tables and no smoothing; 24-bit TIFF; 24-bit PNG.
int RunCommand(const std::string& target, const char* source, const char* destination, int& code) {
  if (target == "jpg") {
    code = engine::ConvertToJpeg(source, destination, 0, 100, 1, 0);
  } else if (target == "tif") {
    code = engine::ConvertToTiff(source, destination, 0);
  } else if (target == "png") {
    code = engine::ConvertToPng(source, destination, 24);
  } else {
    return 0;
  }
  return 1;
}

int Usage() {
  std::fputs("usage: engine-convert jpg|tif|png SOURCE DESTINATION\n", stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = ProgramArguments(argc, argv);
  if (arguments.size() != 4) {
    return Usage();
  }
  int code = 0;
  if (!RunCommand(arguments[1], arguments[2].c_str(), arguments[3].c_str(), code)) {
    return Usage();
  }
  std::printf("%d\n", code);
  std::fflush(stdout);
  return code == engine::ResultOk ? kExitConverted : kExitNotConverted;
}
