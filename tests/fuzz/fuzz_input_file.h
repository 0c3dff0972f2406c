// The readers take paths, so every fuzz target writes its input to a private
// temporary file first; the file goes away with the object.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>

#include "engine/mapped_file.h"

class FuzzInputFile {
 public:
  // Writes data into a new file named after tag in the temporary folder, then
  // extends it with zeros to paddedLength when that is larger.
  FuzzInputFile(const std::uint8_t* data, std::size_t size, const char* tag,
                std::size_t paddedLength = 0) {
    std::string pattern = engine::TemporaryFolder() + tag + "-fuzz-XXXXXX";
    const int fd = mkstemp(&pattern[0]);
    if (fd < 0) return;
    path = pattern;
    std::size_t written = 0;
    while (written < size) {
      const ssize_t n = write(fd, data + written, size - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    const bool padded =
        paddedLength <= size || ftruncate(fd, static_cast<off_t>(paddedLength)) == 0;
    close(fd);
    ok = written == size && padded;
  }
  ~FuzzInputFile() {
    if (!path.empty()) engine::RemoveFile(path.c_str());
  }
  FuzzInputFile(const FuzzInputFile&) = delete;
  FuzzInputFile& operator=(const FuzzInputFile&) = delete;

  // The file's path when it holds the whole input, else null.
  const char* Path() const { return ok ? path.c_str() : nullptr; }

 private:
  std::string path;
  bool ok = false;
};
