// HEIF boxes: a 32-bit big-endian size (1: a 64-bit size follows the type;
// 0: to the end of the parent) and a four-letter type. The "meta" box holds
// "pitm" (the primary item's ID) and "iprp", whose "ipco" lists properties
// and whose "ipma" associates items with 1-based property indices.
#include "engine/heif_transforms.h"

#include <algorithm>
#include <cstring>

#include "engine/picture_orientation.h"

namespace engine {

namespace {

// Property lists and associations beyond these are not pictures' own.
constexpr std::int64_t kMaxAssociationBytes = std::int64_t{16} << 20;
constexpr int kMaxProperties = 20000;

std::uint64_t BigEndian(const std::uint8_t* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

// Fractions are kept to 16-bit denominators (and numerators, where the
// denominator allows), halving both as libheif does, so the crop arithmetic
// stays well within 64 bits and agrees with libheif's own.
constexpr std::int64_t kMaxFractionPart = 0x10000;

void Shorten(std::int64_t* fraction) {
  while (fraction[1] > kMaxFractionPart) {
    fraction[0] /= 2;
    fraction[1] /= 2;
  }
  while (fraction[1] > 1 && (fraction[0] > kMaxFractionPart || fraction[0] < -kMaxFractionPart)) {
    fraction[0] /= 2;
    fraction[1] /= 2;
  }
}

struct Box {
  char type[4] = {};
  std::int64_t body = 0;  // first byte after the header
  std::int64_t end = 0;   // first byte after the box
};

// The box that starts at offset and ends within limit.
bool ReadBox(InputFile& file, std::int64_t offset, std::int64_t limit, Box& box) {
  std::uint8_t header[16];
  if (limit - offset < 8 || !file.ReadAt(offset, header, 8)) return false;
  std::memcpy(box.type, header + 4, 4);
  std::uint64_t size = BigEndian(header, 4);
  std::int64_t headerBytes = 8;
  if (size == 1) {
    if (limit - offset < 16 || !file.ReadAt(offset + 8, header + 8, 8)) return false;
    size = BigEndian(header + 8, 8);
    headerBytes = 16;
  } else if (size == 0) {
    size = static_cast<std::uint64_t>(limit - offset);
  }
  if (size < static_cast<std::uint64_t>(headerBytes) ||
      size > static_cast<std::uint64_t>(limit - offset)) {
    return false;
  }
  box.body = offset + headerBytes;
  box.end = offset + static_cast<std::int64_t>(size);
  return true;
}

// The first child of type within [from, to); false when there is none or a
// box on the way is damaged.
bool FindBox(InputFile& file, std::int64_t from, std::int64_t to, const char* type, Box& found) {
  for (std::int64_t at = from; at < to; at = found.end) {
    if (!ReadBox(file, at, to, found)) return false;
    if (std::memcmp(found.type, type, 4) == 0) return true;
  }
  return false;
}

// Reads count bytes of a box body into bytes.
bool ReadBody(InputFile& file, const Box& box, std::vector<std::uint8_t>& bytes) {
  const std::int64_t count = box.end - box.body;
  if (count > kMaxAssociationBytes) return false;
  bytes.resize(static_cast<std::size_t>(count));
  return count == 0 || file.ReadAt(box.body, bytes.data(), bytes.size());
}

// Sequential big-endian reads over a body; every read past its end fails.
class BodyReader {
 public:
  explicit BodyReader(const std::vector<std::uint8_t>& bytes) : bytes(bytes) {}
  bool Read(int count, std::uint64_t& value) {
    if (bytes.size() - at < static_cast<std::size_t>(count)) return false;
    value = BigEndian(bytes.data() + at, count);
    at += static_cast<std::size_t>(count);
    return true;
  }

 private:
  const std::vector<std::uint8_t>& bytes;
  std::size_t at = 0;
};

bool PrimaryItem(InputFile& file, const Box& meta, std::uint64_t& item) {
  Box pitm;
  std::vector<std::uint8_t> body;
  if (!FindBox(file, meta.body + 4, meta.end, "pitm", pitm) || !ReadBody(file, pitm, body)) {
    return false;
  }
  BodyReader reader(body);
  std::uint64_t versionAndFlags = 0;
  return reader.Read(4, versionAndFlags) && reader.Read(versionAndFlags >> 24 == 0 ? 2 : 4, item);
}

// The 1-based property indices associated with item, in their order.
bool ItemProperties(InputFile& file, const Box& ipma, std::uint64_t item,
                    std::vector<int>& indices) {
  std::vector<std::uint8_t> body;
  if (!ReadBody(file, ipma, body)) return false;
  BodyReader reader(body);
  std::uint64_t versionAndFlags = 0, entries = 0;
  if (!reader.Read(4, versionAndFlags) || !reader.Read(4, entries)) return false;
  const int idBytes = versionAndFlags >> 24 == 0 ? 2 : 4;
  const bool wideIndices = (versionAndFlags & 1) != 0;
  for (std::uint64_t e = 0; e < entries; ++e) {
    std::uint64_t id = 0, count = 0;
    if (!reader.Read(idBytes, id) || !reader.Read(1, count)) return false;
    for (std::uint64_t a = 0; a < count; ++a) {
      std::uint64_t association = 0;
      if (!reader.Read(wideIndices ? 2 : 1, association)) return false;
      const int index = static_cast<int>(association & (wideIndices ? 0x7FFF : 0x7F));
      if (id == item && index != 0) indices.push_back(index);
    }
  }
  return true;
}

bool ReadTransform(InputFile& file, const Box& property, HeifTransform& transform) {
  std::vector<std::uint8_t> body;
  if (!ReadBody(file, property, body)) return false;
  BodyReader reader(body);
  std::uint64_t value = 0;
  if (std::memcmp(property.type, "irot", 4) == 0) {
    if (!reader.Read(1, value)) return false;
    transform.kind = HeifTransform::Kind::Rotate;
    transform.quarterTurnsAnticlockwise = static_cast<int>(value & 3);
    return true;
  }
  if (std::memcmp(property.type, "imir", 4) == 0) {
    if (!reader.Read(1, value)) return false;
    transform.kind = HeifTransform::Kind::Mirror;
    transform.leftToRight = (value & 1) != 0;
    return true;
  }
  transform.kind = HeifTransform::Kind::Crop;
  std::int64_t* fractions[] = {transform.width, transform.height, transform.horizontalOffset,
                               transform.verticalOffset};
  for (int f = 0; f < 4; ++f) {
    std::uint64_t numerator = 0, denominator = 0;
    if (!reader.Read(4, numerator) || !reader.Read(4, denominator) || denominator == 0 ||
        denominator > 0x7FFFFFFF) {
      return false;
    }
    // Widths and heights are unsigned, the offsets signed.
    fractions[f][0] = f < 2 ? static_cast<std::int64_t>(numerator)
                            : static_cast<std::int32_t>(static_cast<std::uint32_t>(numerator));
    fractions[f][1] = static_cast<std::int64_t>(denominator);
    Shorten(fractions[f]);
  }
  return true;
}

// numerator / denominator rounded down, and rounded half up (denominator > 0).
std::int64_t Floor(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t quotient = numerator / denominator;
  return quotient * denominator > numerator ? quotient - 1 : quotient;
}
std::int64_t Round(std::int64_t numerator, std::int64_t denominator) {
  return Floor(2 * numerator + denominator, 2 * denominator);
}

// The clean aperture of a width x height picture, centred on the picture's
// centre moved by the offsets: left and top are where it starts (left
// rounded down, top to the nearest), right and bottom its last column and
// row, all kept within the picture.
int Crop(RasterImage& image, const HeifTransform& clap) {
  const std::int64_t w = image.Width(), h = image.Height();
  const std::int64_t* cw = clap.width;
  const std::int64_t* ch = clap.height;
  const std::int64_t* ho = clap.horizontalOffset;
  const std::int64_t* vo = clap.verticalOffset;
  // offset + (size - 1) / 2 - (aperture - 1) / 2 over one denominator.
  const std::int64_t leftDenominator = 2 * ho[1] * cw[1];
  const std::int64_t leftNumerator =
      2 * ho[0] * cw[1] + (w - 1) * ho[1] * cw[1] - (cw[0] - cw[1]) * ho[1];
  const std::int64_t topDenominator = 2 * vo[1] * ch[1];
  const std::int64_t topNumerator =
      2 * vo[0] * ch[1] + (h - 1) * vo[1] * ch[1] - (ch[0] - ch[1]) * vo[1];
  std::int64_t left = Floor(leftNumerator, leftDenominator);
  std::int64_t top = Round(topNumerator, topDenominator);
  std::int64_t right = Round(cw[0] - cw[1] + left * cw[1], cw[1]);
  std::int64_t bottom = Round(ch[0] - ch[1] + top * ch[1], ch[1]);
  left = std::max<std::int64_t>(left, 0);
  top = std::max<std::int64_t>(top, 0);
  right = std::min(right, w - 1);
  bottom = std::min(bottom, h - 1);
  if (right < left || bottom < top) return 0;

  RasterImage cropped;
  const std::int32_t width = static_cast<std::int32_t>(right - left + 1);
  const std::int32_t height = static_cast<std::int32_t>(bottom - top + 1);
  if (!cropped.Create(width, height, image.BitsPerPixel(), image.PaletteSize())) return 0;
  const std::size_t rowBytes = static_cast<std::size_t>(cropped.Stride());
  for (std::int32_t y = 0; y < height; ++y) {
    std::memcpy(cropped.Row(y),
                image.Row(static_cast<std::int32_t>(top) + y) + left * image.BytesPerPixel(),
                rowBytes);
  }
  image.Swap(cropped);
  return 1;
}

// EXIF orientations that undo the rotation and the mirror.
constexpr int kOrientationOfTurns[4] = {1, 8, 3, 6};
constexpr int kMirrorLeftToRight = 2;
constexpr int kMirrorTopToBottom = 4;

}  // namespace

bool ReadPrimaryTransforms(InputFile& file, std::vector<HeifTransform>& transforms) {
  transforms.clear();
  Box meta, iprp, ipco, ipma;
  std::uint64_t item = 0;
  std::vector<int> indices;
  if (!FindBox(file, 0, file.Size(), "meta", meta) || !PrimaryItem(file, meta, item) ||
      !FindBox(file, meta.body + 4, meta.end, "iprp", iprp) ||
      !FindBox(file, iprp.body, iprp.end, "ipco", ipco) ||
      !FindBox(file, iprp.body, iprp.end, "ipma", ipma) ||
      !ItemProperties(file, ipma, item, indices)) {
    return false;
  }
  for (const int index : indices) {
    if (index > kMaxProperties) return false;
    Box property;
    std::int64_t at = ipco.body;
    for (int i = 1; i <= index; ++i, at = property.end) {
      if (!ReadBox(file, at, ipco.end, property)) return false;
    }
    const bool transformation = std::memcmp(property.type, "irot", 4) == 0 ||
                                std::memcmp(property.type, "imir", 4) == 0 ||
                                std::memcmp(property.type, "clap", 4) == 0;
    if (!transformation) continue;
    HeifTransform transform;
    if (!ReadTransform(file, property, transform)) return false;
    transforms.push_back(transform);
  }
  return true;
}

int ApplyHeifTransforms(RasterImage& image, const std::vector<HeifTransform>& transforms) {
  for (const HeifTransform& transform : transforms) {
    int done = 0;
    switch (transform.kind) {
      case HeifTransform::Kind::Rotate:
        done = ApplyOrientation(image, kOrientationOfTurns[transform.quarterTurnsAnticlockwise]);
        break;
      case HeifTransform::Kind::Mirror:
        done = ApplyOrientation(image,
                                transform.leftToRight ? kMirrorLeftToRight : kMirrorTopToBottom);
        break;
      case HeifTransform::Kind::Crop:
        done = Crop(image, transform);
        break;
    }
    if (!done) return 0;
  }
  return 1;
}

}  // namespace engine
