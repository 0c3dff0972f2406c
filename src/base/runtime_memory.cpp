#include "base/runtime_memory.h"

#include <cstring>

std::string AllocationFailureText(size_t size) {
  // The report names the requested count in full; a "%d" would turn requests
  // of 2 GB and more into negative numbers.
  return "分配 " + std::to_string(size) + " 字节内存失败!";
}

char* RuntimeTextCopy(std::string_view text) {
  auto* copy = static_cast<char*>(RuntimeAlloc(text.size() + 1));
  if (!text.empty()) std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}
