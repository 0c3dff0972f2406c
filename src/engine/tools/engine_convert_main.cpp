// engine-convert: runs one of the engine's conversion commands from the
// command line, with the options the program's single-picture conversion
// uses, and prints the command's result code.
//
//   engine-convert jpg|tif|png SOURCE DESTINATION
//
// Output: the result code alone on one line. Exit status 0 when the code is
// 1 (success), 1 for any other code, 2 for a usage error.
#include <cstdio>
#include <cstring>

#include "engine/engine_commands.h"

namespace {

constexpr int kExitConverted = 0;
constexpr int kExitNotConverted = 1;
constexpr int kExitUsage = 2;

// The single-picture conversion's fixed options: colour JPEG at quality 100
// with optimized Huffman tables and no smoothing; 24-bit TIFF; 24-bit PNG.
int RunCommand(const char* target, const char* source, const char* destination, int& code) {
  if (std::strcmp(target, "jpg") == 0) {
    code = engine::ConvertToJpeg(source, destination, 0, 100, 1, 0);
  } else if (std::strcmp(target, "tif") == 0) {
    code = engine::ConvertToTiff(source, destination, 0);
  } else if (std::strcmp(target, "png") == 0) {
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
  if (argc != 4) {
    return Usage();
  }
  int code = 0;
  if (!RunCommand(argv[1], argv[2], argv[3], code)) {
    return Usage();
  }
  std::printf("%d\n", code);
  std::fflush(stdout);
  return code == engine::ResultOk ? kExitConverted : kExitNotConverted;
}
