// Win32 side of the mapped temporary storage: hidden files in the temporary
// folder (GetTempPathW) mapped with CreateFileMapping and MapViewOfFile.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "base/wide_text_win.h"
#include "engine/mapped_file.h"

namespace engine {

const char kPathSeparator = '\\';
const FileHandle::Native FileHandle::kEmpty = 0;

namespace {

HANDLE AsHandle(FileHandle::Native handle) {
  return reinterpret_cast<HANDLE>(handle);
}

FileHandle::Native AsNative(HANDLE handle) {
  return reinterpret_cast<FileHandle::Native>(handle);
}

}  // namespace

bool FileHandle::IsUsable(Native handle) {
  return handle != 0 && AsHandle(handle) != INVALID_HANDLE_VALUE;
}

void FileHandle::CloseNative(Native handle) {
  ::CloseHandle(AsHandle(handle));
}

void MappedView::Reset() {
  if (address != nullptr) {
    ::UnmapViewOfFile(address);
  }
  address = nullptr;
  length = 0;
}

MappedBuffer::OpenResult MappedBuffer::OpenNewFile(const char* filePath, FileHandle& opened) {
  HANDLE handle = ::CreateFileW(WideFromUtf8(filePath).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // A name whose file is deleted but still held open by another process
    // (a virus scanner, say) reports access denied until that handle closes;
    // it is as good as taken.
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
        error == ERROR_ACCESS_DENIED) {
      return OpenResult::NameTaken;
    }
    return OpenResult::Failed;
  }
  opened.Reset(AsNative(handle));
  return OpenResult::Opened;
}

int MappedBuffer::MapCreatedFile(std::int64_t byteCount) {
  const auto total = static_cast<std::uint64_t>(byteCount);
  // Mapping more than the file holds extends it with zero bytes on disk.
  HANDLE mappingHandle =
      ::CreateFileMappingW(AsHandle(file.Get()), nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(total >> 32), static_cast<DWORD>(total), nullptr);
  if (mappingHandle == nullptr) {
    return 0;
  }
  mapping.Reset(AsNative(mappingHandle));
  void* address = ::MapViewOfFile(mappingHandle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                  static_cast<SIZE_T>(total));
  if (address == nullptr) {
    return 0;
  }
  view = MappedView(address, static_cast<std::size_t>(total));
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
  SIZE_T count = 0;  // 0: from start to the end of the view
  if (byteCount > 0 && static_cast<std::uint64_t>(byteCount) < end - start) {
    count = static_cast<SIZE_T>(byteCount);
  }
  // Hands the dirty pages to the system's writer; does not wait for the disk.
  return ::FlushViewOfFile(reinterpret_cast<const void*>(start), count) ? 1 : 0;
}

std::string TemporaryFolder() {
  const DWORD needed = ::GetTempPathW(0, nullptr);
  if (needed == 0) {
    return std::string();
  }
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD length = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) {
    return std::string();
  }
  std::string folder = Utf8FromWide(std::wstring_view(buffer.data(), length));
  if (!EndsWithPathSeparator(folder)) {
    folder += kPathSeparator;
  }
  return folder;
}

bool PathExists(const char* path) {
  return path != nullptr &&
         ::GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
  if (path == nullptr) {
    return false;
  }
  const DWORD attributes = ::GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool RemoveFile(const char* path) {
  if (path == nullptr) {
    return false;
  }
  if (::DeleteFileW(WideFromUtf8(path).c_str())) {
    return true;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool EndsWithPathSeparator(const std::string& folder) {
  // Paths are UTF-8, where every byte of a multi-byte character is 0x80 or
  // above: a last byte 0x5C is always a backslash of its own.
  return !folder.empty() && folder.back() == kPathSeparator;
}

}  // namespace engine
