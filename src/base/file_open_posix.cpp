#include "base/file_open.h"

std::FILE* OpenFileStream(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return std::fopen(path, mode);
}
