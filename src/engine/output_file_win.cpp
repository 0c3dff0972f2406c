#include <windows.h>

#include "base/wide_text_win.h"
#include "engine/output_file.h"

namespace engine {

bool CreateNewFile(const char* path) {
  HANDLE file =
      CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool ReplaceFileWith(const char* from, const char* to) {
  // MOVEFILE_REPLACE_EXISTING makes this one rename on the same volume; the
  // destination is never missing or partial in between.
  return MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace engine
