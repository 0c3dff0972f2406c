#include "base/file_open.h"

#include "base/wide_text_win.h"

std::FILE* OpenFileStream(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  return _wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}
