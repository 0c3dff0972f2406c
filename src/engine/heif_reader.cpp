// HEIF files (ISO base media file format): an "ftyp" box naming the brands,
// then a "meta" box describing items, one of them the primary picture, whose
// coded data sits elsewhere in the file. libheif reads the boxes, decodes
// the picture's tiles and alpha, and converts them to interleaved RGB.
#include "engine/heif_reader.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/heif_transforms.h"
#include "engine/mapped_file.h"

namespace engine {

namespace {

// The first box: size, "ftyp", major brand, minor version, compatible
// brands, four bytes each.
constexpr std::uint32_t kFtypHeaderBytes = 16;
constexpr std::uint32_t kMaxFtypBytes = 4096;
constexpr std::size_t kBrandBytes = 4;

// libheif's own bound on a picture's width and height, kept when the
// reader narrows it.
constexpr std::int64_t kLibheifMaxSide = 32768;
// A canvas of this side (a tile of 4096 x 4096 samples at most) is always
// allowed, whatever the picture's own size.
constexpr std::int64_t kSmallestCanvasLimit = 4097;

// Brands of HEVC and AV1 picture files and of HEIF in general.
constexpr const char* kPictureBrands[] = {"heic", "heix", "heim", "heis", "hevc",
                                          "hevx", "mif1", "msf1", "avif", "avis"};

bool IsPictureBrand(const std::uint8_t* brand) {
  return std::any_of(
      std::begin(kPictureBrands), std::end(kPictureBrands),
      [brand](const char* known) { return std::memcmp(brand, known, kBrandBytes) == 0; });
}

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

bool HasPictureBrand(InputFile& file) {
  std::uint8_t box[kMaxFtypBytes];
  if (!file.ReadAt(0, box, kFtypHeaderBytes) || std::memcmp(box + 4, "ftyp", 4) != 0) return false;
  const std::uint32_t size = BigEndian32(box);
  if (size < kFtypHeaderBytes || size > kMaxFtypBytes ||
      (size - kFtypHeaderBytes) % kBrandBytes != 0 || !file.ReadAt(0, box, size)) {
    return false;
  }
  if (IsPictureBrand(box + 8)) return true;
  for (std::uint32_t at = kFtypHeaderBytes; at < size; at += kBrandBytes) {
    if (IsPictureBrand(box + at)) return true;
  }
  return false;
}

// libheif reads through these; each answers 0 on success.
std::int64_t SourcePosition(void* userData) {
  return static_cast<HeifReader::Source*>(userData)->position;
}

int ReadSource(void* data, std::size_t size, void* userData) {
  auto* source = static_cast<HeifReader::Source*>(userData);
  if (!source->file.ReadAt(source->position, data, size)) return 1;
  source->position += static_cast<std::int64_t>(size);
  return 0;
}

int SeekSource(std::int64_t position, void* userData) {
  auto* source = static_cast<HeifReader::Source*>(userData);
  if (position < 0 || position > source->file.Size()) return 1;
  source->position = position;
  return 0;
}

heif_reader_grow_status WaitForSourceSize(std::int64_t targetSize, void* userData) {
  // The file is complete: it never grows.
  return targetSize > static_cast<HeifReader::Source*>(userData)->file.Size()
             ? heif_reader_grow_status_size_beyond_eof
             : heif_reader_grow_status_size_reached;
}

const heif_reader kSourceReader = {1, SourcePosition, ReadSource, SeekSource, WaitForSourceSize};

struct ImageDeleter {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
using ImageHandle = std::unique_ptr<heif_image, ImageDeleter>;

struct OptionsDeleter {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using OptionsHandle = std::unique_ptr<heif_decoding_options, OptionsDeleter>;

// What libheif holds at once while decoding, in samples per pixel: the
// decoded planes (luma, two chroma planes at most at full size, alpha), an
// intermediate planar RGB and the interleaved result.
constexpr std::int64_t kWorkingSamplesPerPixel = 4 + 3 + 4;

// Samples of up to 16 bits scaled to 8, rounded: (v x 255 + max / 2) / max.
class SampleScale {
 public:
  explicit SampleScale(int bits) : maximum((1u << bits) - 1) {
    for (std::uint32_t v = 0; v <= maximum; ++v) {
      table[v] = static_cast<std::uint8_t>((v * 255 + maximum / 2) / maximum);
    }
  }
  std::uint8_t operator()(std::uint16_t v) const {
    return table[std::min<std::uint32_t>(v, maximum)];
  }

 private:
  std::uint32_t maximum;
  std::uint8_t table[65536];
};

std::uint8_t Unpremultiplied(std::uint8_t colour, std::uint8_t alpha) {
  if (alpha == 0) return 0;
  return static_cast<std::uint8_t>(std::min(255u, (colour * 255u + alpha / 2u) / alpha));
}

// One decoded row to the engine's layout: RGB stays RGB, RGBA becomes ARGB.
void CopyRow(const std::uint8_t* from, std::uint8_t* to, std::int32_t width, bool alpha,
             bool premultiplied) {
  if (!alpha) {
    std::memcpy(to, from, static_cast<std::size_t>(width) * 3);
    return;
  }
  for (std::int32_t x = 0; x < width; ++x, from += 4, to += 4) {
    const std::uint8_t a = from[3];
    to[0] = a;
    for (int c = 0; c < 3; ++c) to[1 + c] = premultiplied ? Unpremultiplied(from[c], a) : from[c];
  }
}

// The same for samples stored as little-endian 16-bit words.
void CopyWideRow(const std::uint8_t* from, std::uint8_t* to, std::int32_t width, bool alpha,
                 bool premultiplied, const SampleScale& scale) {
  const int channels = alpha ? 4 : 3;
  for (std::int32_t x = 0; x < width; ++x, from += 2 * channels, to += channels) {
    std::uint8_t samples[4];
    for (int c = 0; c < channels; ++c) {
      samples[c] = scale(static_cast<std::uint16_t>(from[2 * c] | from[2 * c + 1] << 8));
    }
    if (!alpha) {
      std::memcpy(to, samples, 3);
      continue;
    }
    to[0] = samples[3];
    for (int c = 0; c < 3; ++c) {
      to[1 + c] = premultiplied ? Unpremultiplied(samples[c], samples[3]) : samples[c];
    }
  }
}

}  // namespace

void HeifReader::ContextDeleter::operator()(heif_context* context) const {
  heif_context_free(context);
}

void HeifReader::HandleDeleter::operator()(heif_image_handle* handle) const {
  heif_image_handle_release(handle);
}

HeifReader::HeifReader() = default;

HeifReader::~HeifReader() {
  Close();
}

int HeifReader::OpenRead(const char* path, RasterImage& image, ProgressCallback progress) {
  Close();
  if (path == nullptr || !source.file.Open(path) || !HasPictureBrand(source.file)) {
    Close();
    return 0;
  }
  // libheif is C++ underneath: an allocation it cannot make throws.
  try {
    context.reset(heif_context_alloc());
    heif_image_handle* handle = nullptr;
    if (!context ||
        heif_context_read_from_reader(context.get(), &kSourceReader, &source, nullptr).code !=
            heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok) {
      Close();
      return 0;
    }
    primary.reset(handle);
  } catch (...) {
    Close();
    return 0;
  }
  width = heif_image_handle_get_width(primary.get());
  height = heif_image_handle_get_height(primary.get());
  // A grid or overlay states its canvas in its own data, which libheif takes
  // only when it decodes, and makes the whole canvas first: a few bytes could
  // ask for gigabytes while the picture's size says little. Canvases more
  // than twice the picture's larger side (room for any crop) are refused,
  // but a small picture may still be cut from a large tile.
  const std::int64_t canvasLimit =
      std::max(2 * static_cast<std::int64_t>(std::max(width, height)) + 1, kSmallestCanvasLimit);
  heif_context_set_maximum_image_size_limit(
      context.get(), static_cast<int>(std::min(canvasLimit, kLibheifMaxSide)));
  hasAlpha = heif_image_handle_has_alpha_channel(primary.get()) != 0;
  const int lumaBits = heif_image_handle_get_luma_bits_per_pixel(primary.get());
  bitsPerSample = lumaBits > 8 ? lumaBits : 8;
  callback = progress;
  targetImage = &image;
  return 1;
}

int HeifReader::Read() {
  int decoded = 0;
  if (targetImage != nullptr) {
    try {
      decoded = Decode(*targetImage);
    } catch (...) {
      decoded = 0;
    }
  }
  if (decoded) ReportProgress(callback, kProgressReading, height - 1, height);
  Close();
  return decoded;
}

int HeifReader::Decode(RasterImage& image) {
  const int bytesPerSample = bitsPerSample > 8 ? 2 : 1;
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (width < 1 || height < 1 || bitsPerSample > 16 ||
      pixels * kWorkingSamplesPerPixel * bytesPerSample > kMaxDecoderHeapBytes ||
      pixels * (hasAlpha ? 4 : 3) > kMaxMappedBytes) {
    return 0;
  }

  // libheif turns, mirrors and crops only pictures of 8 bits per sample;
  // deeper ones are decoded as stored and transformed here.
  std::vector<HeifTransform> ownTransforms;
  const bool transformHere = bytesPerSample == 2 &&
                             ReadPrimaryTransforms(source.file, ownTransforms) &&
                             !ownTransforms.empty();
  OptionsHandle options(heif_decoding_options_alloc());
  if (!options) return 0;
  options->convert_hdr_to_8bit = 0;
  options->ignore_transformations = transformHere ? 1 : 0;
  const heif_chroma chroma =
      bytesPerSample == 1
          ? (hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB)
          : (hasAlpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE);
  heif_image* decodedImage = nullptr;
  if (heif_decode_image(primary.get(), &decodedImage, heif_colorspace_RGB, chroma, options.get())
          .code != heif_error_Ok) {
    heif_image_release(decodedImage);
    return 0;
  }
  const ImageHandle decoded(decodedImage);

  // The decoded picture, not the header, says what the rows hold.
  const std::int32_t decodedWidth = heif_image_get_width(decoded.get(), heif_channel_interleaved);
  const std::int32_t decodedHeight = heif_image_get_height(decoded.get(), heif_channel_interleaved);
  const int range = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
  int stride = 0;
  const std::uint8_t* rows =
      heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
  const bool sizeAsDeclared = transformHere || (decodedWidth == width && decodedHeight == height);
  if (rows == nullptr || !sizeAsDeclared ||
      (bytesPerSample == 1 ? range != 8 : range <= 8 || range > 16)) {
    return 0;
  }
  const bool premultiplied = hasAlpha && heif_image_is_premultiplied_alpha(decoded.get()) != 0;
  if (static_cast<std::int64_t>(decodedWidth) * decodedHeight * (hasAlpha ? 4 : 3) >
          kMaxMappedBytes ||
      !image.Create(decodedWidth, decodedHeight, hasAlpha ? 32 : 24, 0)) {
    return 0;
  }

  std::unique_ptr<SampleScale> scale;
  if (bytesPerSample == 2) {
    scale.reset(new (std::nothrow) SampleScale(range));
    if (!scale) return 0;
  }
  for (std::int32_t y = 0; y < decodedHeight; ++y) {
    const std::uint8_t* from = rows + static_cast<std::ptrdiff_t>(y) * stride;
    if (scale) {
      CopyWideRow(from, image.Row(y), decodedWidth, hasAlpha, premultiplied, *scale);
    } else {
      CopyRow(from, image.Row(y), decodedWidth, hasAlpha, premultiplied);
    }
  }
  return transformHere ? ApplyHeifTransforms(image, ownTransforms) : 1;
}

bool IsHeifFile(const char* path) {
  InputFile file;
  return path != nullptr && file.Open(path) && HasPictureBrand(file);
}

void HeifReader::Close() {
  primary.reset();
  context.reset();
  source.file.Close();
  source.position = 0;
  callback = nullptr;
  width = 0;
  height = 0;
  hasAlpha = false;
  bitsPerSample = 8;
  targetImage = nullptr;
}

}  // namespace engine
