// POSIX side of the mapped temporary storage: descriptors, mmap and the
// temporary folder from TMPDIR.
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "engine/mapped_file.h"

namespace engine {

const char kPathSeparator = '/';
const FileHandle::Native FileHandle::kEmpty = -1;

bool FileHandle::IsUsable(Native handle) {
  return handle >= 0;
}

void FileHandle::CloseNative(Native handle) {
  ::close(static_cast<int>(handle));
}

void MappedView::Reset() {
  if (address != nullptr) {
    ::munmap(address, length);
  }
  address = nullptr;
  length = 0;
}

MappedBuffer::OpenResult MappedBuffer::OpenNewFile(const char* filePath, FileHandle& opened) {
  // Owner-only permissions stand in for the hidden attribute of Windows.
  int descriptor;
  do {
    descriptor = ::open(filePath, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    return errno == EEXIST ? OpenResult::NameTaken : OpenResult::Failed;
  }
  opened.Reset(descriptor);
  return OpenResult::Opened;
}

int MappedBuffer::MapCreatedFile(std::int64_t byteCount) {
  const int descriptor = static_cast<int>(file.Get());
  // A sparse file would turn a full disk into SIGBUS on first touch;
  // reserving the blocks now makes it a failure of Create instead.
  int status;
  do {
    status = ::posix_fallocate(descriptor, 0, static_cast<off_t>(byteCount));
  } while (status == EINTR);
  if (status != 0) {
    return 0;
  }
  void* address = ::mmap(nullptr, static_cast<std::size_t>(byteCount), PROT_READ | PROT_WRITE,
                         MAP_SHARED, descriptor, 0);
  if (address == MAP_FAILED) {
    return 0;
  }
  view = MappedView(address, static_cast<std::size_t>(byteCount));
  return 1;
}

int MappedBuffer::Flush(const void* address, std::int64_t byteCount) {
  if (!IsOpen() || byteCount < 0) {
    return 0;
  }
  const auto base = reinterpret_cast<std::uintptr_t>(view.Address());
  const std::uintptr_t end = base + view.Length();
  const std::uintptr_t start = address ? reinterpret_cast<std::uintptr_t>(address) : base;
  if (start < base || start >= end) {
    return 0;
  }
  std::uintptr_t stop = end;
  if (byteCount > 0 && static_cast<std::uint64_t>(byteCount) < end - start) {
    stop = start + static_cast<std::uintptr_t>(byteCount);
  }
  // msync wants a page-aligned start; the view itself starts on a page.
  const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t alignedStart = start - (start - base) % pageSize;
  return ::msync(reinterpret_cast<void*>(alignedStart), stop - alignedStart, MS_ASYNC) == 0 ? 1 : 0;
}

std::string TemporaryFolder() {
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string folder =
      (fromEnvironment != nullptr && fromEnvironment[0] != '\0') ? fromEnvironment : "/tmp";
  if (!EndsWithPathSeparator(folder)) {
    folder += kPathSeparator;
  }
  return folder;
}

bool PathExists(const char* path) {
  struct stat info;
  return path != nullptr && ::lstat(path, &info) == 0;
}

bool IsFolder(const char* path) {
  struct stat info;
  return path != nullptr && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool RemoveFile(const char* path) {
  if (path == nullptr) {
    return false;
  }
  return ::unlink(path) == 0 || errno == ENOENT;
}

bool EndsWithPathSeparator(const std::string& folder) {
  return !folder.empty() && folder.back() == kPathSeparator;
}

}  // namespace engine
