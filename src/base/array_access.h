#pragma once

// 1-based array element access with the runtime's bounds checks: an index
// below 1 is error 4, an index past the end is error 1 (both fatal).

#include <cstdint>
#include <vector>

#include "base/error_report.h"

namespace array_access_detail {
inline void CheckIndex(int index, size_t size) {
  const int64_t offset = static_cast<int64_t>(index) - 1;  // no overflow at INT_MIN
  if (offset < 0) ReportRuntimeError(4);
  if (static_cast<uint64_t>(offset) >= size) ReportRuntimeError(1);
}
}  // namespace array_access_detail

template <class T>
T& ElementAt(std::vector<T>& elements, int index) {
  array_access_detail::CheckIndex(index, elements.size());
  return elements[static_cast<size_t>(index - 1)];
}

template <class T>
const T& ElementAt(const std::vector<T>& elements, int index) {
  array_access_detail::CheckIndex(index, elements.size());
  return elements[static_cast<size_t>(index - 1)];
}
