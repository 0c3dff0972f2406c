// The platform-neutral half of the mapped temporary storage: ownership moves,
// the search for a free backing-file name and the release order.
#include "engine/mapped_file.h"

#include <limits>
#include <utility>

namespace engine {

namespace {

// A Create gives up after this many names that turned out to be taken (or,
// on Windows, locked) at the moment it tried to claim them. Each such name
// was claimed by someone else, so only a folder that refuses every new file
// gets near this bound.
constexpr int kMaxTakenNames = 1024;

std::string FolderWithSeparator(const char* folder) {
  std::string result = folder ? std::string(folder) : TemporaryFolder();
  if (result.empty() || !IsFolder(result.c_str())) {
    return std::string();
  }
  if (!EndsWithPathSeparator(result)) {
    result += kPathSeparator;
  }
  return result;
}

std::string Candidate(const std::string& folder, const char* prefix, std::int64_t number) {
  return folder + prefix + std::to_string(number) + ".tmp";
}

// The lowest number from `first` on whose name does not exist, or -1.
std::int64_t FirstFreeNumber(const std::string& folder, const char* prefix, std::int64_t first) {
  for (std::int64_t number = first; number < kTempNumberLimit; ++number) {
    if (!PathExists(Candidate(folder, prefix, number).c_str())) {
      return number;
    }
  }
  return -1;
}

}  // namespace

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Reset(other.Take());
  }
  return *this;
}

FileHandle::Native FileHandle::Take() {
  return std::exchange(handle, kEmpty);
}

void FileHandle::Reset(Native replacement) {
  const Native old = std::exchange(handle, replacement);
  if (IsUsable(old)) {
    CloseNative(old);
  }
}

MappedView::MappedView(MappedView&& other) noexcept
    : address(std::exchange(other.address, nullptr)), length(std::exchange(other.length, 0)) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Reset();
    address = std::exchange(other.address, nullptr);
    length = std::exchange(other.length, 0);
  }
  return *this;
}

MappedBuffer::MappedBuffer(MappedBuffer&& other) noexcept
    : file(std::move(other.file)),
      mapping(std::move(other.mapping)),
      view(std::move(other.view)),
      path(std::exchange(other.path, std::string())),
      size(std::exchange(other.size, 0)) {}

MappedBuffer& MappedBuffer::operator=(MappedBuffer&& other) noexcept {
  if (this != &other) {
    Release(true);
    file = std::move(other.file);
    mapping = std::move(other.mapping);
    view = std::move(other.view);
    path = std::exchange(other.path, std::string());
    size = std::exchange(other.size, 0);
  }
  return *this;
}

int MappedBuffer::Create(std::int64_t byteCount, const char* prefix, const char* explicitPath) {
  Release(true);
  if (byteCount < 1 || byteCount > kMaxMappedBytes ||
      static_cast<std::uint64_t>(byteCount) > std::numeric_limits<std::size_t>::max() ||
      prefix == nullptr || prefix[0] == '\0') {
    return 0;
  }

  if (explicitPath != nullptr) {
    RemoveFile(explicitPath);
    if (OpenNewFile(explicitPath, file) != OpenResult::Opened) {
      return 0;
    }
    path = explicitPath;
  } else {
    const std::string folder = FolderWithSeparator(nullptr);
    if (folder.empty()) {
      return 0;
    }
    std::int64_t number = 0;
    int takenNames = 0;
    for (;;) {
      number = FirstFreeNumber(folder, prefix, number);
      if (number < 0) {
        return 0;
      }
      const std::string candidate = Candidate(folder, prefix, number);
      const OpenResult result = OpenNewFile(candidate.c_str(), file);
      if (result == OpenResult::Opened) {
        path = candidate;
        break;
      }
      if (result == OpenResult::Failed || ++takenNames >= kMaxTakenNames) {
        return 0;
      }
      ++number;  // someone claimed it between the test and the create
    }
  }

  size = byteCount;
  if (!MapCreatedFile(byteCount)) {
    Release(true);
    return 0;
  }
  return 1;
}

int MappedBuffer::Release(bool deleteFile) {
  // The file can only be deleted once nothing maps or holds it open.
  view.Reset();
  mapping.Reset();
  file.Reset();
  if (deleteFile && !path.empty()) {
    RemoveFile(path.c_str());
  }
  path.clear();
  size = 0;
  return 1;
}

std::string MakeTempFileName(const char* prefix, const char* folder) {
  if (prefix == nullptr) {
    return std::string();
  }
  const std::string base = FolderWithSeparator(folder);
  if (base.empty()) {
    return std::string();
  }
  const std::int64_t number = FirstFreeNumber(base, prefix, 0);
  return number < 0 ? std::string() : Candidate(base, prefix, number);
}

}  // namespace engine
