#include "app/name_rules.h"

namespace {

// Position just after the last c, or 0 when there is none. In UTF-8 an ASCII
// byte is always a character of its own, never part of a longer one.
size_t AfterLast(std::string_view text, char c) {
  const size_t found = text.rfind(c);
  return found == std::string_view::npos ? 0 : found + 1;
}

bool IsContinuationByte(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool MatchesIgnoringAsciiCase(std::string_view text, size_t pos, std::string_view sought) {
  for (size_t i = 0; i < sought.size(); ++i) {
    if (FoldAscii(static_cast<unsigned char>(text[pos + i])) !=
        FoldAscii(static_cast<unsigned char>(sought[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string FolderOf(std::string_view path) {
  return std::string(path.substr(0, AfterLast(path, '\\')));
}

std::string NameOf(std::string_view path) {
  return std::string(path.substr(AfterLast(path, '\\')));
}

std::string BaseOf(std::string_view name) {
  return std::string(name.substr(0, AfterLast(name, '.')));
}

std::string ExtensionOf(std::string_view name) {
  return std::string(name.substr(AfterLast(name, '.')));
}

bool IsSupportedExtension(std::string_view supportedList, std::string_view ext) {
  if (ext.empty()) return true;
  if (ext.size() > supportedList.size()) return false;
  // A match starts on a character, never inside one, so no part of the
  // separator between two extensions can be taken for an extension.
  for (size_t pos = 0; pos + ext.size() <= supportedList.size(); ++pos) {
    if (IsContinuationByte(static_cast<unsigned char>(supportedList[pos]))) continue;
    if (MatchesIgnoringAsciiCase(supportedList, pos, ext)) return true;
  }
  return false;
}

std::string OutputFolderFor(std::string_view folder, std::string_view target) {
  std::string result(folder);
  result += target;
  return result;
}

std::string OutputPathFor(std::string_view folder, std::string_view target, std::string_view base) {
  std::string result = OutputFolderFor(folder, target);
  result += '\\';
  result += base;
  result += target;
  return result;
}
