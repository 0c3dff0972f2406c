#include "picture/picture_win.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace gdip = Gdiplus::DllExports;

// Loads and creations are judged by the handle that comes back, not by the
// status: what GDI+ hands out is owned and released whatever it reported.

namespace {

// A failed size query counts as 0.
uint32_t ImageWidthOf(Gdiplus::GpImage* image) {
  UINT value = 0;
  if (gdip::GdipGetImageWidth(image, &value) != Gdiplus::Ok) value = 0;
  return value;
}

uint32_t ImageHeightOf(Gdiplus::GpImage* image) {
  UINT value = 0;
  if (gdip::GdipGetImageHeight(image, &value) != Gdiplus::Ok) value = 0;
  return value;
}

ComPtr<IStream> OpenStreamOn(HGLOBAL block) {
  IStream* opened = nullptr;
  // The block stays ours: the stream must not free it on its last release.
  CreateStreamOnHGlobal(block, FALSE, &opened);
  return ComPtr<IStream>::Adopt(opened);
}

// How many bytes were written into a stream over a global block. The block
// itself may be larger, as it grows in rounded steps.
size_t WrittenLength(IStream* output, size_t blockSize) {
  STATSTG status{};
  if (FAILED(output->Stat(&status, STATFLAG_NONAME))) return blockSize;
  return static_cast<size_t>(std::min<ULONGLONG>(status.cbSize.QuadPart, blockSize));
}

}  // namespace

uint32_t ColorToArgb(int32_t colour, uint8_t alpha) {
  const uint32_t value = static_cast<uint32_t>(colour);
  const uint32_t red = value & 0xFF;
  const uint32_t green = (value >> 8) & 0xFF;
  const uint32_t blue = (value >> 16) & 0xFF;
  const uint32_t rgb = blue + green * 256 + red * 65536;
  return (static_cast<uint32_t>(alpha) << 24) | rgb;
}

Picture::~Picture() {
  Dispose();
  backgroundBrush.Reset();
}

void Picture::Dispose() {
  // The image reads from the stream, which reads from the block.
  image.Reset();
  stream.Reset();
  memoryBlock.Reset();
  width = 0;
  height = 0;
}

bool Picture::LoadFromMemory(const void* data, size_t size) {
  Dispose();
  if (data == nullptr || size < 5) return false;

  // Whatever is created below stays attached on failure and goes with the
  // next Dispose.
  memoryBlock.Reset(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!memoryBlock) return false;
  // Opened before the bytes go in; its size is the block's size.
  stream = OpenStreamOn(memoryBlock.Get());
  if (!stream) return false;
  {
    GlobalLockView lock(memoryBlock.Get());
    if (lock.Data() == nullptr) return false;
    std::memcpy(lock.Data(), data, size);
  }
  IStream* source = stream.Get();
  if (source == nullptr) return false;

  Gdiplus::GpBitmap* decoded = nullptr;
  gdip::GdipCreateBitmapFromStream(source, &decoded);
  image.Reset(decoded);
  return static_cast<bool>(image);
}

bool Picture::LoadFromFile(const char* path) {
  Dispose();
  if (path == nullptr || path[0] == '\0') return false;

  const ByteBuffer widePath = ToWideText(path);
  Gdiplus::GpImage* decoded = nullptr;
  gdip::GdipLoadImageFromFile(WideOf(widePath), &decoded);
  image.Reset(decoded);
  return static_cast<bool>(image);
}

ByteBuffer Picture::SaveToMemory(PictureFormat format, int32_t quality) {
  if (!image) return ByteBuffer();
  Flatten();

  CLSID encoder;
  EncoderClsid(format, encoder);
  const EncoderParameterList parameters(format, quality);

  // A growable block the stream writes into.
  GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, 0));
  if (!block) return ByteBuffer();
  ComPtr<IStream> output = OpenStreamOn(block.Get());
  if (!output) return ByteBuffer();

  // An encoder that fails may already have written a header; those bytes are
  // no picture and must not come back as one.
  if (gdip::GdipSaveImageToStream(image.Get(), output.Get(), &encoder, parameters.Get()) !=
      Gdiplus::Ok) {
    return ByteBuffer();
  }

  ByteBuffer encoded;
  {
    GlobalLockView lock(block.Get());
    if (lock.Data() != nullptr) {
      const size_t length = WrittenLength(output.Get(), GlobalSize(block.Get()));
      encoded = ByteBuffer::CopyOf(lock.Data(), length);
    }
  }
  output.Reset();  // the stream before the block it writes into
  block.Reset();
  return encoded;
}

bool Picture::SaveToFile(const char* path, PictureFormat format, int32_t quality) {
  if (!image) return false;
  if (path == nullptr || path[0] == '\0') return false;
  Flatten();

  CLSID encoder;
  EncoderClsid(format, encoder);
  const EncoderParameterList parameters(format, quality);
  const ByteBuffer widePath = ToWideText(path);
  return gdip::GdipSaveImageToFile(image.Get(), WideOf(widePath), &encoder, parameters.Get()) ==
         Gdiplus::Ok;
}

void Picture::Flatten() {
  if (!image || !backgroundBrush) return;
  if (width == 0 || height == 0) {
    // Unlike GetSize, a zero answer does not discard the picture here; the
    // bitmap below then cannot be made and nothing changes.
    width = ImageWidthOf(image.Get());
    height = ImageHeightOf(image.Get());
  }

  Gdiplus::GpBitmap* blank = nullptr;
  gdip::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                  PixelFormat32bppARGB, nullptr, &blank);
  GdiplusImage flattened(blank);
  if (!flattened) return;

  Gdiplus::GpGraphics* context = nullptr;
  gdip::GdipGetImageGraphicsContext(flattened.Get(), &context);
  GdiplusGraphics graphics(context);
  // Without a surface to draw on, keep the picture rather than an unfilled
  // bitmap.
  if (!graphics) return;

  const Gdiplus::REAL w = static_cast<Gdiplus::REAL>(width);
  const Gdiplus::REAL h = static_cast<Gdiplus::REAL>(height);
  gdip::GdipFillRectangle(graphics.Get(), backgroundBrush.Get(), 0, 0, w, h);
  gdip::GdipDrawImageRectRect(graphics.Get(), image.Get(), 0, 0, w, h, 0, 0, w, h,
                              Gdiplus::UnitPixel, nullptr, nullptr, nullptr);
  graphics.Reset();

  Dispose();
  image = std::move(flattened);
}

uint32_t Picture::Width() {
  if (image && width == 0) {
    uint32_t ignoredWidth, ignoredHeight;
    GetSize(ignoredWidth, ignoredHeight);
  }
  return width;
}

uint32_t Picture::Height() {
  if (image && height == 0) {
    uint32_t ignoredWidth, ignoredHeight;
    GetSize(ignoredWidth, ignoredHeight);
  }
  return height;
}

void Picture::GetSize(uint32_t& widthOut, uint32_t& heightOut) {
  if (image && width == 0) {
    width = ImageWidthOf(image.Get());
    height = ImageHeightOf(image.Get());
    // A picture without a usable size is of no use to anyone.
    if (width == 0 || height == 0) Dispose();
  }
  widthOut = width;
  heightOut = height;
}

Gdiplus::GpImage* Picture::Handle() const {
  return image.Get();
}

void Picture::SetBackground(int32_t colour) {
  backgroundBrush.Reset();
  if (colour < 0) return;
  Gdiplus::GpSolidFill* brush = nullptr;
  gdip::GdipCreateSolidFill(ColorToArgb(colour), &brush);
  backgroundBrush.Reset(brush);
}

void Picture::EncoderClsid(PictureFormat format, CLSID& clsid) {
  clsid = CLSID{};
  const ByteBuffer identifier = ToWideText(EncoderClsidText(format));
  CLSIDFromString(WideOf(identifier), &clsid);
}
