#include <windows.h>

#include "engine/output_file.h"

namespace engine {

bool CreateNewFile(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool ReplaceFileWith(const char* from, const char* to) {
  // MOVEFILE_REPLACE_EXISTING makes this one rename on the same volume; the
  // destination is never missing or partial in between.
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace engine
