#include "base/text_commands.h"

#include <algorithm>
#include <cstring>

namespace {

// Double-byte walk: a lead byte (0x80 or above) carries its trail byte along.
size_t StepAt(std::string_view text, size_t pos) {
  return static_cast<unsigned char>(text[pos]) >= 0x80 ? 2 : 1;
}

// ASCII-only case folding, byte by byte, as _strnicmp does in the C locale;
// bytes of double-byte characters are compared as they stand unless they fall
// in the ASCII letter range.
unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool MatchesAt(std::string_view text, size_t pos, size_t rangeEnd, std::string_view sought,
               bool ignoreCase) {
  if (sought.size() > rangeEnd - pos) return false;
  if (!ignoreCase) return std::memcmp(text.data() + pos, sought.data(), sought.size()) == 0;
  for (size_t i = 0; i < sought.size(); ++i) {
    if (FoldAscii(static_cast<unsigned char>(text[pos + i])) !=
        FoldAscii(static_cast<unsigned char>(sought[i]))) {
      return false;
    }
  }
  return true;
}

// Walks [rangeStart, rangeEnd) and answers the first (or last) match as a
// 1-based position, or -1.
int WalkFind(std::string_view text, size_t rangeStart, size_t rangeEnd, std::string_view sought,
             bool ignoreCase, bool wantLast) {
  if (rangeStart >= rangeEnd) return -1;
  if (sought.empty()) return 1;
  int found = -1;
  for (size_t pos = rangeStart; pos < rangeEnd; pos += StepAt(text, pos)) {
    if (MatchesAt(text, pos, rangeEnd, sought, ignoreCase)) {
      found = static_cast<int>(pos) + 1;
      if (!wantLast) break;
    }
  }
  return found;
}

size_t StartOffset(std::optional<int> start) {
  return start && *start > 1 ? static_cast<size_t>(*start) - 1 : 0;
}

size_t ClampedCount(std::string_view text, int count) {
  return count <= 0 ? 0 : std::min(static_cast<size_t>(count), text.size());
}

}  // namespace

int TextLength(const char* text) {
  return text == nullptr ? 0 : static_cast<int>(std::strlen(text));
}

std::string LeftText(std::string_view text, int count) {
  return std::string(text.substr(0, ClampedCount(text, count)));
}

std::string RightText(std::string_view text, int count) {
  const size_t n = ClampedCount(text, count);
  return std::string(text.substr(text.size() - n));
}

int FindText(std::string_view text, std::string_view sought, std::optional<int> start,
             bool ignoreCase) {
  return WalkFind(text, StartOffset(start), text.size(), sought, ignoreCase, false);
}

int FindTextFromEnd(std::string_view text, std::string_view sought, std::optional<int> start,
                    bool ignoreCase) {
  // With a start position s only the bytes before s are searched; a start past
  // the end searches the whole text.
  const size_t rangeEnd = start ? std::min(StartOffset(start), text.size()) : text.size();
  return WalkFind(text, 0, rangeEnd, sought, ignoreCase, true);
}

std::vector<std::string> SplitText(std::string_view text, std::optional<std::string_view> separator,
                                   std::optional<int> maxCount) {
  const std::string_view sep = separator ? *separator : std::string_view(",");
  const bool limited = maxCount.has_value();
  const int limit = limited ? std::max(*maxCount, 0) : 0;

  std::vector<std::string> elements;
  if (text.empty() || (limited && limit == 0)) return elements;
  if (sep.empty()) {
    elements.emplace_back(text);
    return elements;
  }

  bool exhausted = false;
  size_t cut = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    if (MatchesAt(text, pos, text.size(), sep, false)) {
      elements.emplace_back(text.substr(cut, pos - cut));
      pos += sep.size();
      cut = pos;
      if (limited && static_cast<int>(elements.size()) >= limit) {
        exhausted = true;
        break;
      }
      continue;
    }
    pos += StepAt(text, pos);
  }
  if (!exhausted && cut < text.size()) elements.emplace_back(text.substr(cut));
  return elements;
}
