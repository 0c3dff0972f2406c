#include "picture_test_support.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "picture/imaging_service_win.h"

namespace picture_test {

namespace gdip = Gdiplus::DllExports;

void EnsureImagingService() {
  static std::once_flag started;
  std::call_once(started, [] { StartImagingService(); });
}

bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string TestPicturePath(const std::string& name) {
  return std::string(PC_TESTDATA_DIR) + "/picture/" + name;
}

const char kChinesePictureName[] = "中文图片.png";

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  const DWORD size = GetFileSize(file, nullptr);
  if (size != INVALID_FILE_SIZE) {
    bytes.resize(size);
    DWORD read = 0;
    if (size == 0 || !ReadFile(file, bytes.data(), size, &read, nullptr)) read = 0;
    bytes.resize(read);
  }
  CloseHandle(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileFormat SignatureOf(const std::vector<uint8_t>& bytes) {
  auto startsWith = [&bytes](const char* signature, size_t length) {
    return bytes.size() >= length && std::memcmp(bytes.data(), signature, length) == 0;
  };
  if (startsWith("BM", 2)) return FileFormat::Bmp;
  if (startsWith("\xFF\xD8\xFF", 3)) return FileFormat::Jpeg;
  if (startsWith("GIF87a", 6) || startsWith("GIF89a", 6)) return FileFormat::Gif;
  if (startsWith("II*\0", 4) || startsWith("MM\0*", 4)) return FileFormat::Tiff;
  if (startsWith("\x89PNG\r\n\x1A\n", 8)) return FileFormat::Png;
  return FileFormat::Unknown;
}

const char* FormatName(FileFormat format) {
  switch (format) {
    case FileFormat::Bmp:
      return "BMP";
    case FileFormat::Jpeg:
      return "JPEG";
    case FileFormat::Gif:
      return "GIF";
    case FileFormat::Tiff:
      return "TIFF";
    case FileFormat::Png:
      return "PNG";
    default:
      return "unknown";
  }
}

Pixels PixelsOf(Gdiplus::GpImage* image) {
  Pixels pixels;
  if (image == nullptr) return pixels;
  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(image, &width);
  gdip::GdipGetImageHeight(image, &height);
  if (width == 0 || height == 0) return pixels;
  auto* bitmap = static_cast<Gdiplus::GpBitmap*>(image);
  Gdiplus::GpRect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData locked{};
  if (gdip::GdipBitmapLockBits(bitmap, &area, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                               &locked) != Gdiplus::Ok) {
    return pixels;
  }
  pixels.width = width;
  pixels.height = height;
  pixels.argb.resize(static_cast<size_t>(width) * height);
  for (UINT y = 0; y < height; ++y) {
    const auto* row =
        static_cast<const uint8_t*>(locked.Scan0) + static_cast<ptrdiff_t>(y) * locked.Stride;
    std::memcpy(&pixels.argb[static_cast<size_t>(y) * width], row, width * 4);
  }
  gdip::GdipBitmapUnlockBits(bitmap, &locked);
  return pixels;
}

Pixels DecodeFile(const std::string& path) {
  Gdiplus::GpImage* image = nullptr;
  gdip::GdipLoadImageFromFile(WideFromUtf8(path).c_str(), &image);
  Pixels pixels = PixelsOf(image);
  if (image != nullptr) gdip::GdipDisposeImage(image);
  return pixels;
}

Pixels DecodeBytes(const uint8_t* data, size_t size) {
  Pixels pixels;
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || stream == nullptr) return pixels;
  ULONG written = 0;
  stream->Write(data, static_cast<ULONG>(size), &written);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  Gdiplus::GpBitmap* bitmap = nullptr;
  gdip::GdipCreateBitmapFromStream(stream, &bitmap);
  pixels = PixelsOf(bitmap);
  if (bitmap != nullptr) gdip::GdipDisposeImage(bitmap);
  stream->Release();
  return pixels;
}

Pixels ExpectedPattern() {
  static const uint32_t kTop[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  static const uint32_t kBottom[4] = {0xFF000000, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
  Pixels pattern;
  pattern.width = 64;
  pattern.height = 32;
  pattern.argb.resize(64 * 32);
  for (uint32_t y = 0; y < 32; ++y) {
    for (uint32_t x = 0; x < 64; ++x) {
      pattern.argb[y * 64 + x] = (y < 16 ? kTop : kBottom)[x / 16];
    }
  }
  return pattern;
}

namespace {
int ChannelDifference(uint32_t a, uint32_t b) {
  int largest = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int d =
        std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    largest = std::max(largest, d);
  }
  return largest;
}

bool SameSize(const Pixels& a, const Pixels& b) {
  return a.width == b.width && a.height == b.height && !a.argb.empty() &&
         a.argb.size() == b.argb.size();
}
}  // namespace

int MaxChannelDifference(const Pixels& a, const Pixels& b) {
  if (!SameSize(a, b)) return 256;
  int largest = 0;
  for (size_t i = 0; i < a.argb.size(); ++i)
    largest = std::max(largest, ChannelDifference(a.argb[i], b.argb[i]));
  return largest;
}

double MeanChannelDifference(const Pixels& a, const Pixels& b) {
  if (!SameSize(a, b)) return 256;
  double total = 0;
  for (size_t i = 0; i < a.argb.size(); ++i) {
    for (int shift = 0; shift < 32; shift += 8) {
      total += std::abs(static_cast<int>((a.argb[i] >> shift) & 0xFF) -
                        static_cast<int>((b.argb[i] >> shift) & 0xFF));
    }
  }
  return total / (a.argb.size() * 4.0);
}

int MaxDifferenceInsideBlocks(const Pixels& a, const Pixels& b, uint32_t margin) {
  if (!SameSize(a, b)) return 256;
  int largest = 0;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      const uint32_t bx = x % 16, by = y % 16;
      if (bx < margin || by < margin || bx >= 16 - margin || by >= 16 - margin) continue;
      largest = std::max(largest, ChannelDifference(a.At(x, y), b.At(x, y)));
    }
  }
  return largest;
}

}  // namespace picture_test
