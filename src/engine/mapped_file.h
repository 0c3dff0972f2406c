// Mapped temporary storage and the few file-system queries the engine needs.
// Paths are UTF-8 on Windows (opened through the wide functions), bytes as the
// file system gives them elsewhere.
// This is the engine's only platform seam: mapped_file_win.cpp implements it
// with Win32 file mappings, mapped_file_posix.cpp with mmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine {

// Largest mapped storage the engine accepts, in bytes. The program runs as a
// 32-bit process whose user address space is 2 GiB, so no larger view could
// ever be mapped; both build trees refuse the same sizes.
constexpr std::int64_t kMaxMappedBytes = 0x7FFFFFFF;

// Temporary file numbers run from 0 while below this bound.
constexpr std::int64_t kTempNumberLimit = 2047483648;

// Separator appended to a folder name ('\\' on Windows, '/' elsewhere).
extern const char kPathSeparator;

// Owns one native kernel handle: a file or file-mapping HANDLE on Windows
// (both null and INVALID_HANDLE_VALUE count as empty), a descriptor on POSIX.
class FileHandle {
 public:
  using Native = std::intptr_t;
  static const Native kEmpty;

  FileHandle() = default;
  explicit FileHandle(Native handle) : handle(handle) {}
  ~FileHandle() { Reset(); }
  FileHandle(FileHandle&& other) noexcept : handle(other.Take()) {}
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool IsOpen() const { return IsUsable(handle); }
  Native Get() const { return handle; }
  Native Take();
  void Reset(Native replacement = kEmpty);

  static bool IsUsable(Native handle);

 private:
  static void CloseNative(Native handle);

  Native handle = kEmpty;
};

// Owns one mapped view of a file.
class MappedView {
 public:
  MappedView() = default;
  MappedView(void* address, std::size_t length) : address(address), length(length) {}
  ~MappedView() { Reset(); }
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  void* Address() const { return address; }
  std::size_t Length() const { return length; }
  void Reset();

 private:
  void* address = nullptr;
  std::size_t length = 0;
};

// A hidden temporary file mapped whole into the address space for reading and
// writing. A new buffer starts zero-filled. Every path that ends a buffer's
// content (Release(true), a new Create, a failed Create, the destructor)
// deletes its backing file; only Release(false) keeps it.
class MappedBuffer {
 public:
  MappedBuffer() = default;
  ~MappedBuffer() { Release(true); }
  MappedBuffer(MappedBuffer&& other) noexcept;
  MappedBuffer& operator=(MappedBuffer&& other) noexcept;
  MappedBuffer(const MappedBuffer&) = delete;
  MappedBuffer& operator=(const MappedBuffer&) = delete;

  // Maps `size` bytes backed by a new file. Without a path the file is
  // folder + prefix + n + ".tmp" in the temporary folder, with the lowest n
  // whose name is free; the file is created exclusively, so a name taken by
  // another thread or process moves the search on to the next number. With
  // a path, a file of that name is deleted first. Returns 1 or 0; on 0 the
  // buffer is empty and no file it created is left behind.
  int Create(std::int64_t size, const char* prefix, const char* path = nullptr);

  // Unmaps and closes; deletes the backing file when deleteFile is true.
  int Release(bool deleteFile);

  // Schedules the write-back of dirty pages without waiting for the disk.
  // No address and a count of 0 flush the whole view; an address with a
  // count of 0 flushes from there to the end of the view.
  int Flush(const void* address = nullptr, std::int64_t byteCount = 0);

  bool IsOpen() const { return view.Address() != nullptr; }
  std::uint8_t* Data() const { return static_cast<std::uint8_t*>(view.Address()); }
  std::int64_t Size() const { return size; }
  const std::string& Path() const { return path; }

 private:
  enum class OpenResult { Opened, NameTaken, Failed };
  // Creates a file that must not exist yet: hidden, shared for reading and
  // writing. NameTaken when another creator got there first.
  static OpenResult OpenNewFile(const char* filePath, FileHandle& opened);
  // Sizes the open file to byteCount zero bytes (reserving the disk space, so
  // a full disk fails here rather than on a later write) and maps it whole.
  int MapCreatedFile(std::int64_t byteCount);

  FileHandle file;
  FileHandle mapping;  // stays empty on POSIX, where mmap needs no mapping object
  MappedView view;
  std::string path;
  std::int64_t size = 0;
};

// The first free name folder + prefix + n + ".tmp" (n = 0, 1, 2, ...), folder
// defaulting to the system temporary folder. A separator is appended unless
// the folder already ends in one. Returns "" when the folder does not exist,
// is not a folder, or every number is taken. Only tests for existence:
// MappedBuffer::Create makes the claim on a name atomic.
std::string MakeTempFileName(const char* prefix, const char* folder = nullptr);

// The system temporary folder, ending in a separator; "" when unavailable.
// Windows: GetTempPathW (honours TMP, then TEMP), as UTF-8. POSIX: TMPDIR, else /tmp.
std::string TemporaryFolder();

// True when the path names an existing file or folder.
bool PathExists(const char* path);
// True when the path names an existing folder.
bool IsFolder(const char* path);
// Deletes a file; true when it is gone afterwards.
bool RemoveFile(const char* path);
// True when the text ends in a path separator character. Paths are UTF-8 on
// Windows, so a last byte 0x5C is never part of a longer character.
bool EndsWithPathSeparator(const std::string& folder);

}  // namespace engine
