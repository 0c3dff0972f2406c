// Bounded file and memory reading for the hand-written readers.
#include "engine/byte_cursor.h"

#include "base/file_open.h"

namespace engine {

namespace {

// 64-bit positions, so files beyond 2 GiB are measured and refused correctly
// rather than wrapped.
int SeekTo(std::FILE* file, std::int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin);
#else
  return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

std::int64_t Tell(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<std::int64_t>(ftello(file));
#endif
}

}  // namespace

int InputFile::Open(const char* path) {
  Close();
  if (path == nullptr) return 0;
  file = OpenFileStream(path, "rb");
  if (file == nullptr) return 0;
  std::int64_t measured = -1;
  if (SeekTo(file, 0, SEEK_END) == 0) measured = Tell(file);
  if (measured < 0 || SeekTo(file, 0, SEEK_SET) != 0) {
    Close();
    return 0;
  }
  size = measured;
  position = 0;
  return 1;
}

void InputFile::Close() {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
  size = 0;
  position = 0;
}

int InputFile::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
  if (file == nullptr || offset < 0 || offset > size ||
      static_cast<std::uint64_t>(count) > static_cast<std::uint64_t>(size - offset)) {
    return 0;
  }
  if (count == 0) return 1;
  // Reads that follow each other need no seek, which would drop stdio's buffer.
  if (offset != position) {
    position = -1;
    if (SeekTo(file, offset, SEEK_SET) != 0) return 0;
    position = offset;
  }
  const std::size_t got = std::fread(buffer, 1, count, file);
  position += static_cast<std::int64_t>(got);
  return got == count ? 1 : 0;
}

}  // namespace engine
