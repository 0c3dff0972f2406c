// RasterImage: creation over mapped storage, copies, the direct pixel-format
// conversions and the popularity quantiser.
#include "engine/raster_image.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace engine {

namespace {

// An 8-bit index can only address this many palette entries.
constexpr std::int32_t kMaxPaletteSize = 256;

// Conversions go through runs of this many pixels held as red, green, blue.
constexpr std::int32_t kRunPixels = 4096;

constexpr std::int32_t kHistogramBins = 65536;

bool IsLayout(std::int32_t bits, std::int32_t paletteSize) {
  if (bits == 8) {
    return paletteSize >= 0 && paletteSize <= kMaxPaletteSize;
  }
  return bits == 16 || bits == 24 || bits == 32;
}

std::uint16_t ReadWord(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

void WriteWord(std::uint8_t* bytes, std::uint16_t word) {
  bytes[0] = static_cast<std::uint8_t>(word);
  bytes[1] = static_cast<std::uint8_t>(word >> 8);
}

std::uint32_t KeyOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<std::uint32_t>(blue) << 16 | static_cast<std::uint32_t>(green) << 8 | red;
}

}  // namespace

int Palette::Resize(std::int32_t n) {
  Release();
  if (n < 0) {
    return 0;
  }
  if (n == 0) {
    return 1;
  }
  entries.reset(new (std::nothrow) PaletteEntry[static_cast<std::size_t>(n)]());
  if (!entries) {
    return 0;
  }
  count = n;
  return 1;
}

void Palette::Release() {
  entries.reset();
  count = 0;
}

void Palette::Swap(Palette& other) noexcept {
  entries.swap(other.entries);
  std::swap(count, other.count);
}

void RasterImage::Swap(RasterImage& other) noexcept {
  std::swap(width, other.width);
  std::swap(height, other.height);
  std::swap(bitsPerPixel, other.bitsPerPixel);
  std::swap(pixelData, other.pixelData);
  std::swap(paletteSize, other.paletteSize);
  std::swap(storage, other.storage);
  palette.Swap(other.palette);
}

int RasterImage::Create(std::int32_t newWidth, std::int32_t newHeight, std::int32_t bits,
                        std::int32_t newPaletteSize) {
  Release();
  if (newWidth < 1 || newHeight < 1 || !IsLayout(bits, newPaletteSize)) {
    return 0;
  }
  const std::int32_t keptPaletteSize = bits == 8 ? newPaletteSize : 0;
  // At most (2^31 - 1)^2 x 4, which fits 64 unsigned bits.
  const std::uint64_t byteCount = static_cast<std::uint64_t>(newWidth) *
                                  static_cast<std::uint64_t>(newHeight) *
                                  static_cast<std::uint64_t>(bits / 8);
  if (byteCount > static_cast<std::uint64_t>(kMaxMappedBytes)) {
    return 0;
  }
  if (!storage.Create(static_cast<std::int64_t>(byteCount), kTempFilePrefix)) {
    return 0;
  }
  if (keptPaletteSize > 0 && !palette.Resize(keptPaletteSize)) {
    storage.Release(true);
    return 0;
  }
  width = newWidth;
  height = newHeight;
  bitsPerPixel = bits;
  paletteSize = keptPaletteSize;
  pixelData = storage.Data();
  return 1;
}

int RasterImage::Release() {
  palette.Release();
  storage.Release(true);
  width = 0;
  height = 0;
  bitsPerPixel = 0;
  paletteSize = 0;
  pixelData = nullptr;
  return 1;
}

int RasterImage::Flush() {
  return storage.Flush();
}

int RasterImage::CopyFrom(const RasterImage& source) {
  if (&source == this) {
    return IsEmpty() ? 0 : 1;
  }
  if (source.IsEmpty() || source.width < 1 || source.height < 1) {
    return 0;
  }
  if (!Create(source.width, source.height, source.bitsPerPixel, source.paletteSize)) {
    return 0;
  }
  std::memcpy(pixelData, source.pixelData, static_cast<std::size_t>(storage.Size()));
  if (paletteSize > 0) {
    std::memcpy(palette.Entries(), source.palette.Entries(),
                static_cast<std::size_t>(paletteSize) * sizeof(PaletteEntry));
  }
  Flush();
  return 1;
}

int RasterImage::ConvertTo(RasterImage& destination, std::int32_t bits,
                           std::int32_t requestedPaletteSize) const {
  if (IsEmpty() || &destination == this) {
    return 0;
  }
  if (bits == 8 && requestedPaletteSize > kMaxPaletteSize) {
    // An 8-bit index addresses at most 256 colours, which is "at most n".
    requestedPaletteSize = kMaxPaletteSize;
  }
  if (!IsLayout(bits, requestedPaletteSize)) {
    destination.Release();
    return 0;
  }
  const bool sameLayout =
      bits == bitsPerPixel && (bits != 8 || (requestedPaletteSize > 0) == (paletteSize > 0));
  if (sameLayout) {
    return destination.CopyFrom(*this);
  }
  if (!destination.Create(width, height, bits, requestedPaletteSize)) {
    return 0;
  }
  const int converted = (bits == 8 && requestedPaletteSize > 0)
                            ? Quantise(destination, requestedPaletteSize)
                            : ConvertDirect(destination);
  if (!converted) {
    destination.Release();
    return 0;
  }
  destination.Flush();
  return 1;
}

// Reads `count` pixels of this image's row `row` from column `first` on as
// red, green, blue triples. Palette indices beyond the palette read as black.
static void ReadRun(const RasterImage& image, std::int32_t row, std::int32_t first,
                    std::int32_t count, std::uint8_t* rgb) {
  const std::uint8_t* pixel =
      image.Row(row) + static_cast<std::ptrdiff_t>(first) * image.BytesPerPixel();
  switch (image.BitsPerPixel()) {
    case 8:
      if (image.PaletteSize() == 0) {
        for (std::int32_t i = 0; i < count; ++i, rgb += 3) {
          rgb[0] = rgb[1] = rgb[2] = pixel[i];
        }
      } else {
        const PaletteEntry* entries = image.PaletteEntries();
        for (std::int32_t i = 0; i < count; ++i, rgb += 3) {
          if (pixel[i] < image.PaletteSize()) {
            const PaletteEntry& entry = entries[pixel[i]];
            rgb[0] = entry.red;
            rgb[1] = entry.green;
            rgb[2] = entry.blue;
          } else {
            rgb[0] = rgb[1] = rgb[2] = 0;
          }
        }
      }
      break;
    case 16:
      for (std::int32_t i = 0; i < count; ++i, rgb += 3, pixel += 2) {
        const std::uint16_t word = ReadWord(pixel);
        rgb[0] = Red16(word);
        rgb[1] = Green16(word);
        rgb[2] = Blue16(word);
      }
      break;
    case 24:
      std::memcpy(rgb, pixel, static_cast<std::size_t>(count) * 3);
      break;
    case 32:
      for (std::int32_t i = 0; i < count; ++i, rgb += 3, pixel += 4) {
        rgb[0] = pixel[1];
        rgb[1] = pixel[2];
        rgb[2] = pixel[3];
      }
      break;
    default:
      break;
  }
}

int RasterImage::ConvertDirect(RasterImage& destination) const {
  std::uint8_t rgb[kRunPixels * 3];
  const std::int32_t outBytes = destination.BytesPerPixel();
  for (std::int32_t row = 0; row < height; ++row) {
    for (std::int32_t first = 0; first < width; first += kRunPixels) {
      const std::int32_t count = std::min(kRunPixels, width - first);
      ReadRun(*this, row, first, count, rgb);
      std::uint8_t* out = destination.Row(row) + static_cast<std::ptrdiff_t>(first) * outBytes;
      const std::uint8_t* in = rgb;
      switch (destination.bitsPerPixel) {
        case 8:
          for (std::int32_t i = 0; i < count; ++i, in += 3) {
            out[i] = GreyOf(in[0], in[1], in[2]);
          }
          break;
        case 16:
          for (std::int32_t i = 0; i < count; ++i, in += 3, out += 2) {
            WriteWord(out, PackRgb16(in[0], in[1], in[2]));
          }
          break;
        case 24:
          std::memcpy(out, in, static_cast<std::size_t>(count) * 3);
          break;
        case 32:
          for (std::int32_t i = 0; i < count; ++i, in += 3, out += 4) {
            out[0] = 255;
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
          }
          break;
        default:
          return 0;
      }
    }
  }
  return 1;
}

// The popularity quantiser's steps. Every pixel stands for its 5-5-5 word:
// 16-bit pixels are that word, other layouts are packed to it.

// The words of `count` pixels of `image`'s row `row` from column `first` on;
// rgb is scratch room for kRunPixels pixels.
static void ReadWordsOfRun(const RasterImage& image, std::int32_t row, std::int32_t first,
                           std::int32_t count, std::uint8_t* rgb, std::uint16_t* words) {
  if (image.BitsPerPixel() == 16) {
    const std::uint8_t* pixel = image.Row(row) + static_cast<std::ptrdiff_t>(first) * 2;
    for (std::int32_t i = 0; i < count; ++i) {
      words[i] = ReadWord(pixel + 2 * i);
    }
    return;
  }
  ReadRun(image, row, first, count, rgb);
  for (std::int32_t i = 0; i < count; ++i) {
    words[i] = PackRgb16(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
  }
}

// Counts every pixel of image at its word into histogram (kHistogramBins,
// zeroed).
static void CountWords(const RasterImage& image, std::uint32_t* histogram) {
  std::uint8_t rgb[kRunPixels * 3];
  std::uint16_t words[kRunPixels];
  for (std::int32_t row = 0; row < image.Height(); ++row) {
    for (std::int32_t first = 0; first < image.Width(); first += kRunPixels) {
      const std::int32_t count = std::min(kRunPixels, image.Width() - first);
      ReadWordsOfRun(image, row, first, count, rgb, words);
      for (std::int32_t i = 0; i < count; ++i) {
        ++histogram[words[i]];
      }
    }
  }
}

// The at most maxColours most frequent words, ties broken by the lower word.
static std::vector<std::uint32_t> MostFrequentWords(const std::uint32_t* histogram,
                                                    std::int32_t maxColours) {
  std::vector<std::uint32_t> used;
  for (std::uint32_t word = 0; word < kHistogramBins; ++word) {
    if (histogram[word] != 0) {
      used.push_back(word);
    }
  }
  const auto size = static_cast<std::int32_t>(std::min<std::size_t>(used.size(), maxColours));
  std::partial_sort(used.begin(), used.begin() + size, used.end(),
                    [&](std::uint32_t a, std::uint32_t b) {
                      return histogram[a] != histogram[b] ? histogram[a] > histogram[b] : a < b;
                    });
  used.resize(static_cast<std::size_t>(size));
  return used;
}

// Fills entries (one per word) with the words' colours, sorted by key.
static void FillPaletteSortedByKey(const std::vector<std::uint32_t>& words, PaletteEntry* entries) {
  const auto size = static_cast<std::int32_t>(words.size());
  for (std::int32_t j = 0; j < size; ++j) {
    const auto word = static_cast<std::uint16_t>(words[j]);
    PaletteEntry& entry = entries[j];
    entry.red = Red16(word);
    entry.green = Green16(word);
    entry.blue = Blue16(word);
    entry.reserved = 255;
    entry.key = KeyOf(entry.red, entry.green, entry.blue);
  }
  std::stable_sort(entries, entries + size,
                   [](const PaletteEntry& a, const PaletteEntry& b) { return a.key < b.key; });
}

// The index of the entry nearest to word's colour; ties go to the lower
// index, and an exact match ends the search.
static std::int32_t NearestEntry(const PaletteEntry* entries, std::int32_t size,
                                 std::uint16_t word) {
  const int red = Red16(word);
  const int green = Green16(word);
  const int blue = Blue16(word);
  std::int32_t best = 0;
  int bestDistance = -1;
  for (std::int32_t i = 0; i < size && bestDistance != 0; ++i) {
    const int dr = entries[i].red - red;
    const int dg = entries[i].green - green;
    const int db = entries[i].blue - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

// Writes into destination, for each pixel of source, the index of the entry
// nearest to its word. indexOfWord (kHistogramBins, zeroed) remembers the
// answer per word, +1, so each word is searched once.
static void MapToNearestEntries(const RasterImage& source, RasterImage& destination,
                                const PaletteEntry* entries, std::int32_t size,
                                std::uint32_t* indexOfWord) {
  std::uint8_t rgb[kRunPixels * 3];
  std::uint16_t words[kRunPixels];
  for (std::int32_t row = 0; row < source.Height(); ++row) {
    std::uint8_t* out = destination.Row(row);
    for (std::int32_t first = 0; first < source.Width(); first += kRunPixels) {
      const std::int32_t count = std::min(kRunPixels, source.Width() - first);
      ReadWordsOfRun(source, row, first, count, rgb, words);
      for (std::int32_t i = 0; i < count; ++i) {
        std::uint32_t& known = indexOfWord[words[i]];
        if (known == 0) {
          known = static_cast<std::uint32_t>(NearestEntry(entries, size, words[i])) + 1;
        }
        out[first + i] = static_cast<std::uint8_t>(known - 1);
      }
    }
  }
}

// Popularity quantiser: the most frequent 5-5-5 colours become the palette,
// sorted by key, and each pixel takes the entry nearest to its 5-5-5 colour
// (its own colour whenever that made it into the palette).
int RasterImage::Quantise(RasterImage& destination, std::int32_t maxColours) const {
  std::unique_ptr<std::uint32_t[]> histogram(new (std::nothrow) std::uint32_t[kHistogramBins]());
  if (!histogram) {
    return 0;
  }
  CountWords(*this, histogram.get());
  const std::vector<std::uint32_t> paletteWords = MostFrequentWords(histogram.get(), maxColours);
  const auto size = static_cast<std::int32_t>(paletteWords.size());
  if (!destination.palette.Resize(size)) {
    return 0;
  }
  destination.paletteSize = size;
  PaletteEntry* entries = destination.palette.Entries();
  FillPaletteSortedByKey(paletteWords, entries);

  // The histogram's storage is reused for the index of each word.
  std::uint32_t* indexOfWord = histogram.get();
  std::fill(indexOfWord, indexOfWord + kHistogramBins, 0u);
  MapToNearestEntries(*this, destination, entries, size, indexOfWord);
  return 1;
}

}  // namespace engine
