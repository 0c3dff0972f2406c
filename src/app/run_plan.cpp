#include "app/run_plan.h"

#include "app/name_rules.h"
#include "base/value_commands.h"

bool IsListedPictureName(std::string_view supportedList, std::string_view name) {
  if (name.empty()) return false;
  if (name.find('.') == std::string_view::npos) return false;
  return IsSupportedExtension(supportedList, ExtensionOf(name));
}

std::vector<RunEntry> EntriesFromDroppedPaths(std::string_view supportedList,
                                              std::string_view droppedPaths) {
  std::vector<RunEntry> entries;
  // One path a line; CR and LF never occur inside a UTF-8 character.
  size_t start = 0;
  while (start < droppedPaths.size()) {
    size_t end = droppedPaths.find("\r\n", start);
    if (end == std::string_view::npos) end = droppedPaths.size();
    const std::string_view path = droppedPaths.substr(start, end - start);
    start = end + 2;
    std::string name = NameOf(path);
    if (!IsListedPictureName(supportedList, name)) continue;
    entries.push_back(RunEntry{FolderOf(path), std::move(name)});
  }
  return entries;
}

std::string RunSummaryText(int converted, double seconds,
                           const std::vector<std::string>& failedPaths) {
  std::string text = "转换" + ToText(RuntimeValue(int32_t{converted})) + "张图片，用时" +
                     ToText(RuntimeValue(seconds)) + "秒";
  if (failedPaths.empty()) return text;
  text +=
      "\r\n" + ToText(RuntimeValue(static_cast<int32_t>(failedPaths.size()))) + "张图片转换失败：";
  const size_t named =
      failedPaths.size() < kNamedFailuresMax ? failedPaths.size() : kNamedFailuresMax;
  for (size_t i = 0; i < named; ++i) text += "\r\n" + failedPaths[i];
  if (failedPaths.size() > named) {
    text += "\r\n另有" + ToText(RuntimeValue(static_cast<int32_t>(failedPaths.size() - named))) +
            "张未列出";
  }
  return text;
}
