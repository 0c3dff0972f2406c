#include "app/name_rules.h"

#include "base/text_commands.h"

namespace {

int Length(std::string_view text) { return static_cast<int>(text.size()); }

}  // namespace

std::string FolderOf(std::string_view path) {
  return LeftText(path, FindTextFromEnd(path, "\\"));
}

std::string NameOf(std::string_view path) {
  return RightText(path, Length(path) - FindTextFromEnd(path, "\\"));
}

std::string BaseOf(std::string_view name) {
  return LeftText(name, FindTextFromEnd(name, "."));
}

std::string ExtensionOf(std::string_view name) {
  return RightText(name, Length(name) - FindTextFromEnd(name, "."));
}

bool IsSupportedExtension(std::string_view supportedList, std::string_view ext) {
  return FindText(supportedList, ext, std::nullopt, true) != -1;
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
