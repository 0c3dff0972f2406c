#include "engine/output_file.h"

#include <string>

#include "engine/mapped_file.h"

namespace engine {

namespace {

// Names tried before giving up: each one failing means another writer holds
// it, or the folder refuses files, which more names will not change.
constexpr int kMaxTempNames = 1000;

constexpr std::string_view kTempSuffix = ".part";

}  // namespace

std::string OutputTempName(std::string_view destination, int n) {
  return std::string(destination) + "." + std::to_string(n) + std::string(kTempSuffix);
}

bool IsOutputTempName(std::string_view name) {
  if (name.size() <= kTempSuffix.size() ||
      name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
    return false;
  }
  name.remove_suffix(kTempSuffix.size());
  size_t digits = 0;
  while (digits < name.size() && name[name.size() - 1 - digits] >= '0' &&
         name[name.size() - 1 - digits] <= '9') {
    ++digits;
  }
  // At least one digit, then a dot with a name before it.
  return digits > 0 && name.size() >= digits + 2 && name[name.size() - 1 - digits] == '.';
}

int OutputFile::Begin(const char* destinationPath) {
  Discard();
  if (destinationPath == nullptr || *destinationPath == '\0') return 0;
  for (int n = 0; n < kMaxTempNames; ++n) {
    std::string candidate = OutputTempName(destinationPath, n);
    if (PathExists(candidate.c_str())) continue;
    if (CreateNewFile(candidate.c_str())) {
      destination = destinationPath;
      tempPath = std::move(candidate);
      return 1;
    }
    // The name was free a moment ago: another writer took it, or the folder
    // does not accept files at all. Only the first case is worth a new name.
    if (!PathExists(candidate.c_str())) return 0;
  }
  return 0;
}

int OutputFile::Commit() {
  if (tempPath.empty()) return 0;
  if (!ReplaceFileWith(tempPath.c_str(), destination.c_str())) {
    Discard();
    return 0;
  }
  tempPath.clear();
  destination.clear();
  return 1;
}

void OutputFile::Discard() {
  if (!tempPath.empty()) {
    RemoveFile(tempPath.c_str());
    tempPath.clear();
  }
  destination.clear();
}

}  // namespace engine
