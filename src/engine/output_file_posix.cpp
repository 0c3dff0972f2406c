#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "engine/output_file.h"

namespace engine {

bool CreateNewFile(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool ReplaceFileWith(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}

}  // namespace engine
