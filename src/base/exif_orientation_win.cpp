#include "base/exif_orientation_win.h"

#include <windows.h>

#include <cstdint>

#include "base/exif_orientation.h"
#include "base/wide_text_win.h"
#include "base/win_handles_win.h"

namespace {

bool ReadFileAt(void* context, std::uint64_t offset, void* buffer, std::size_t count) {
  const HANDLE file = static_cast<HANDLE>(context);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
      !SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
    return false;
  }
  // The parser asks for a few bytes at a time; a count beyond one read call
  // is no answer it can use.
  if (count > MAXDWORD) return false;
  DWORD read = 0;
  return ReadFile(file, buffer, static_cast<DWORD>(count), &read, nullptr) && read == count;
}

}  // namespace

int FileOrientation(const char* path) {
  if (path == nullptr || path[0] == '\0') return kOrientationUpright;
  // Shared for writing too: another program may hold the picture open.
  UniqueHandle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kOrientationUpright;
  const ByteSource source{ReadFileAt, file.Get()};
  const int jpeg = JpegOrientation(source);
  return jpeg != kOrientationUpright ? jpeg : TiffOrientation(source);
}
