#include "picture/picture_win.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "base/over_white.h"

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

// A bitmap's pixels locked in a given layout, unlocked when it goes.
class LockedPixels {
 public:
  LockedPixels(Gdiplus::GpBitmap* bitmap, uint32_t width, uint32_t height, UINT mode,
               Gdiplus::PixelFormat layout)
      : bitmap(bitmap) {
    const Gdiplus::GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    locked = gdip::GdipBitmapLockBits(bitmap, &whole, mode, layout, &data) == Gdiplus::Ok;
  }
  ~LockedPixels() {
    if (locked) gdip::GdipBitmapUnlockBits(bitmap, &data);
  }
  LockedPixels(const LockedPixels&) = delete;
  LockedPixels& operator=(const LockedPixels&) = delete;

  bool IsLocked() const { return locked; }
  uint8_t* Row(uint32_t y) const {
    return static_cast<uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
  }

 private:
  Gdiplus::GpBitmap* bitmap;
  Gdiplus::BitmapData data{};
  bool locked = false;
};

// Whether an image shows anything less than opaque: an alpha channel, or a
// palette with an entry that is not fully opaque (a GIF's transparent colour).
bool HasTransparency(Gdiplus::GpImage* image) {
  Gdiplus::PixelFormat layout = 0;
  if (gdip::GdipGetImagePixelFormat(image, &layout) != Gdiplus::Ok) return false;
  if ((layout & (PixelFormatAlpha | PixelFormatPAlpha)) != 0) return true;
  if ((layout & PixelFormatIndexed) == 0) return false;
  INT paletteBytes = 0;
  if (gdip::GdipGetImagePaletteSize(image, &paletteBytes) != Gdiplus::Ok ||
      paletteBytes < static_cast<INT>(sizeof(Gdiplus::ColorPalette))) {
    return false;
  }
  std::vector<uint8_t> storage(static_cast<size_t>(paletteBytes));
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(storage.data());
  if (gdip::GdipGetImagePalette(image, palette, paletteBytes) != Gdiplus::Ok) return false;
  const UINT entries =
      std::min<UINT>(palette->Count, static_cast<UINT>((static_cast<size_t>(paletteBytes) -
                                                        offsetof(Gdiplus::ColorPalette, Entries)) /
                                                       sizeof(Gdiplus::ARGB)));
  for (UINT i = 0; i < entries; ++i) {
    if ((palette->Entries[i] >> 24) != 0xFF) return true;
  }
  return false;
}

// How GDI+ turns a picture stored with an EXIF/TIFF orientation upright: a
// clockwise turn, then a flip. The combined types (Rotate90FlipX and the
// like) are not taken: Wine flips before it turns, Windows after, so the
// transposed orientations are done in two unambiguous steps.
struct UprightSteps {
  Gdiplus::RotateFlipType turn;
  Gdiplus::RotateFlipType flip;
};

UprightSteps StepsFor(int orientation) {
  using namespace Gdiplus;
  switch (orientation) {
    case 2:
      return {RotateNoneFlipNone, RotateNoneFlipX};
    case 3:
      return {Rotate180FlipNone, RotateNoneFlipNone};
    case 4:
      return {RotateNoneFlipNone, RotateNoneFlipY};
    case 5:
      return {Rotate90FlipNone, RotateNoneFlipX};  // transposed
    case 6:
      return {Rotate90FlipNone, RotateNoneFlipNone};
    case 7:
      return {Rotate270FlipNone, RotateNoneFlipX};  // transversed
    case 8:
      return {Rotate270FlipNone, RotateNoneFlipNone};
    default:
      return {RotateNoneFlipNone, RotateNoneFlipNone};
  }
}

constexpr PROPID kOrientationProperty = 0x0112;

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

bool Picture::TurnUpright(int orientation) {
  if (!image) return false;
  const UprightSteps steps = StepsFor(orientation);
  for (const Gdiplus::RotateFlipType step : {steps.turn, steps.flip}) {
    if (step != Gdiplus::RotateNoneFlipNone &&
        gdip::GdipImageRotateFlip(image.Get(), step) != Gdiplus::Ok) {
      return false;
    }
  }
  if (steps.turn == Gdiplus::RotateNoneFlipNone && steps.flip == Gdiplus::RotateNoneFlipNone) {
    return true;
  }
  // Absent in most pictures; its removal failing then is no fault.
  gdip::GdipRemovePropertyItem(image.Get(), kOrientationProperty);
  width = 0;  // a quarter turn exchanges them
  height = 0;
  return true;
}

bool Picture::FlattenOverWhite() {
  if (!image) return false;
  if (!HasTransparency(image.Get())) return true;
  Gdiplus::PixelFormat layout = 0;
  gdip::GdipGetImagePixelFormat(image.Get(), &layout);
  // The service brings 16-bit colour and alpha down to 8 bits by cutting,
  // which moves a flattened channel by up to 2; such pictures are left to the
  // engine, which rounds.
  if (Gdiplus::GetPixelFormatSize(layout) > 32) return false;
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  if (gdip::GdipGetImageType(image.Get(), &type) != Gdiplus::Ok ||
      type != Gdiplus::ImageTypeBitmap) {
    return false;
  }
  uint32_t columns = 0;
  uint32_t rows = 0;
  GetSize(columns, rows);
  if (columns == 0 || rows == 0) return false;

  Gdiplus::GpBitmap* blank = nullptr;
  gdip::GdipCreateBitmapFromScan0(static_cast<INT>(columns), static_cast<INT>(rows), 0,
                                  PixelFormat24bppRGB, nullptr, &blank);
  GdiplusImage opaque(blank);
  if (!opaque) return false;
  {
    // Un-premultiplied alpha whatever the source stores: the rule is
    // defined on the colours as shown.
    const LockedPixels from(static_cast<Gdiplus::GpBitmap*>(image.Get()), columns, rows,
                            Gdiplus::ImageLockModeRead, PixelFormat32bppARGB);
    const LockedPixels to(blank, columns, rows, Gdiplus::ImageLockModeWrite, PixelFormat24bppRGB);
    if (!from.IsLocked() || !to.IsLocked()) return false;
    for (uint32_t y = 0; y < rows; ++y) {
      const uint8_t* pixel = from.Row(y);  // blue, green, red, alpha
      uint8_t* out = to.Row(y);            // blue, green, red
      for (uint32_t x = 0; x < columns; ++x, pixel += 4, out += 3) {
        out[0] = OverWhite(pixel[3], pixel[0]);
        out[1] = OverWhite(pixel[3], pixel[1]);
        out[2] = OverWhite(pixel[3], pixel[2]);
      }
    }
  }
  Dispose();
  image = std::move(opaque);
  return true;
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
