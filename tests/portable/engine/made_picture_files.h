// Encoders of the reader tests for layouts no Debian tool writes: SGI files
// of two channels or of 16-bit run-length rows, and Softimage PIC files
// (nothing in Debian writes those). Each follows the format's published
// layout and is kept plain, so that a reader fault does not hide behind the
// same fault here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "test_files.h"

namespace engine_test {

inline void PutBigEndian16(Bytes& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(value);
}
inline void PutBigEndian32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  PutBigEndian16(bytes, at, value >> 16);
  PutBigEndian16(bytes, at + 2, value & 0xFFFF);
}
inline void AppendUnit(Bytes& out, std::uint32_t value, int bytesPerUnit) {
  if (bytesPerUnit == 2) out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

// ---------------------------------------------------------------- SGI

// Samples of an SGI picture: channels planes of width x height values, each
// plane's rows top first (the writer turns them bottom up).
struct SgiPicture {
  int width = 0;
  int height = 0;
  int channels = 0;
  int bytesPerChannel = 1;
  std::vector<std::vector<std::uint16_t>> planes;
  std::uint16_t At(int channel, int x, int y) const {
    return planes[channel][static_cast<std::size_t>(y) * width + x];
  }
};

constexpr std::size_t kSgiHeaderBytes = 512;

// One row of one channel in SGI run-length packets: runs of three or more
// equal values as runs, the rest as literals, 127 units at the most, and the
// end mark.
inline Bytes EncodeSgiRow(const std::vector<std::uint16_t>& row, int bytesPerUnit) {
  Bytes out;
  std::size_t at = 0;
  while (at < row.size()) {
    std::size_t run = 1;
    while (at + run < row.size() && run < 127 && row[at + run] == row[at]) ++run;
    if (run >= 3) {
      AppendUnit(out, static_cast<std::uint32_t>(run), bytesPerUnit);
      AppendUnit(out, row[at], bytesPerUnit);
      at += run;
      continue;
    }
    std::size_t literal = 0;
    while (at + literal < row.size() && literal < 127) {
      const std::size_t here = at + literal;
      if (here + 2 < row.size() && row[here] == row[here + 1] && row[here] == row[here + 2]) break;
      ++literal;
    }
    AppendUnit(out, static_cast<std::uint32_t>(0x80 | literal), bytesPerUnit);
    for (std::size_t i = 0; i < literal; ++i) AppendUnit(out, row[at + i], bytesPerUnit);
    at += literal;
  }
  AppendUnit(out, 0, bytesPerUnit);
  return out;
}

// A whole SGI file; dimension 3 unless told (1 and 2 need a single channel,
// 1 a single row).
inline Bytes SgiFile(const SgiPicture& picture, bool runLength, int dimension = 3) {
  Bytes file(kSgiHeaderBytes, 0);
  PutBigEndian16(file, 0, 474);
  file[2] = runLength ? 1 : 0;
  file[3] = static_cast<std::uint8_t>(picture.bytesPerChannel);
  PutBigEndian16(file, 4, static_cast<std::uint32_t>(dimension));
  PutBigEndian16(file, 6, static_cast<std::uint32_t>(picture.width));
  PutBigEndian16(file, 8, static_cast<std::uint32_t>(picture.height));
  PutBigEndian16(file, 10, static_cast<std::uint32_t>(picture.channels));
  PutBigEndian32(file, 16, picture.bytesPerChannel == 1 ? 255 : 65535);
  const std::size_t rows = static_cast<std::size_t>(picture.height) * picture.channels;
  std::vector<Bytes> encoded;
  for (int channel = 0; channel < picture.channels; ++channel) {
    for (int fileRow = 0; fileRow < picture.height; ++fileRow) {
      const int y = picture.height - 1 - fileRow;
      std::vector<std::uint16_t> row(picture.width);
      for (int x = 0; x < picture.width; ++x) row[x] = picture.At(channel, x, y);
      if (runLength) {
        encoded.push_back(EncodeSgiRow(row, picture.bytesPerChannel));
      } else {
        Bytes verbatim;
        for (std::uint16_t value : row) AppendUnit(verbatim, value, picture.bytesPerChannel);
        encoded.push_back(verbatim);
      }
    }
  }
  if (runLength) {
    const std::size_t tablesAt = file.size();
    file.resize(tablesAt + 8 * rows, 0);
    for (std::size_t i = 0; i < rows; ++i) {
      PutBigEndian32(file, tablesAt + 4 * i, static_cast<std::uint32_t>(file.size()));
      PutBigEndian32(file, tablesAt + 4 * (rows + i),
                     static_cast<std::uint32_t>(encoded[i].size()));
      file.insert(file.end(), encoded[i].begin(), encoded[i].end());
    }
  } else {
    for (const Bytes& row : encoded) file.insert(file.end(), row.begin(), row.end());
  }
  return file;
}

// ---------------------------------------------------------------- Softimage PIC

constexpr std::size_t kPicHeaderBytes = 104;
constexpr std::uint8_t kPicRed = 0x80;
constexpr std::uint8_t kPicGreen = 0x40;
constexpr std::uint8_t kPicBlue = 0x20;
constexpr std::uint8_t kPicAlpha = 0x10;
constexpr std::uint8_t kPicUncompressed = 0;
constexpr std::uint8_t kPicPureRunLength = 1;
constexpr std::uint8_t kPicMixedRunLength = 2;

struct PicPacket {
  std::uint8_t encoding;
  std::uint8_t channels;
};

// Pixels of a PIC picture: red, green, blue, alpha, top row first.
struct PicPicture {
  int width = 0;
  int height = 0;
  Bytes rgba;
};

inline Bytes PicHeader(int width, int height) {
  Bytes header(kPicHeaderBytes, 0);
  PutBigEndian32(header, 0, 0x5380F634);
  PutBigEndian32(header, 4, 0x406D70A4);  // version 3.71 as a big-endian float
  const char comment[] = "made by the reader tests";
  std::copy(comment, comment + sizeof comment - 1, header.begin() + 8);
  std::copy_n("PICT", 4, header.begin() + 88);
  PutBigEndian16(header, 92, static_cast<std::uint32_t>(width));
  PutBigEndian16(header, 94, static_cast<std::uint32_t>(height));
  PutBigEndian32(header, 96, 0x3F800000);  // aspect ratio 1.0
  PutBigEndian16(header, 100, 3);          // both fields: a full frame
  return header;
}

// One row of one packet: its channels of every pixel, in the packet's
// encoding. Pure runs are at most 255 pixels; mixed literals at most 128,
// short runs 2 to 128, longer runs in the 16-bit form.
inline Bytes EncodePicRow(const PicPicture& picture, int y, const PicPacket& packet) {
  std::vector<Bytes> pixels;
  for (int x = 0; x < picture.width; ++x) {
    Bytes pixel;
    const std::size_t at = (static_cast<std::size_t>(y) * picture.width + x) * 4;
    const std::uint8_t masks[4] = {kPicRed, kPicGreen, kPicBlue, kPicAlpha};
    for (int c = 0; c < 4; ++c) {
      if ((packet.channels & masks[c]) != 0) pixel.push_back(picture.rgba[at + c]);
    }
    pixels.push_back(pixel);
  }
  Bytes out;
  auto append = [&](const Bytes& pixel) { out.insert(out.end(), pixel.begin(), pixel.end()); };
  std::size_t at = 0;
  const std::size_t width = pixels.size();
  while (at < width) {
    std::size_t run = 1;
    while (at + run < width && pixels[at + run] == pixels[at]) ++run;
    switch (packet.encoding) {
      case kPicUncompressed:
        append(pixels[at]);
        at += 1;
        break;
      case kPicPureRunLength:
        run = std::min<std::size_t>(run, 255);
        out.push_back(static_cast<std::uint8_t>(run));
        append(pixels[at]);
        at += run;
        break;
      default:
        if (run >= 2 && run <= 128) {
          out.push_back(static_cast<std::uint8_t>(run + 127));
          append(pixels[at]);
          at += run;
        } else if (run > 128) {
          run = std::min<std::size_t>(run, 65535);
          out.push_back(128);
          out.push_back(static_cast<std::uint8_t>(run >> 8));
          out.push_back(static_cast<std::uint8_t>(run));
          append(pixels[at]);
          at += run;
        } else {
          std::size_t literal = 1;
          while (at + literal < width && literal < 128 &&
                 !(at + literal + 1 < width && pixels[at + literal] == pixels[at + literal + 1])) {
            ++literal;
          }
          out.push_back(static_cast<std::uint8_t>(literal - 1));
          for (std::size_t i = 0; i < literal; ++i) append(pixels[at + i]);
          at += literal;
        }
        break;
    }
  }
  return out;
}

inline Bytes PicFile(const PicPicture& picture, const std::vector<PicPacket>& packets) {
  Bytes file = PicHeader(picture.width, picture.height);
  for (std::size_t i = 0; i < packets.size(); ++i) {
    file.insert(file.end(), {static_cast<std::uint8_t>(i + 1 < packets.size() ? 1 : 0), 8,
                             packets[i].encoding, packets[i].channels});
  }
  for (int y = 0; y < picture.height; ++y) {
    for (const PicPacket& packet : packets) {
      const Bytes row = EncodePicRow(picture, y, packet);
      file.insert(file.end(), row.begin(), row.end());
    }
  }
  return file;
}

}  // namespace engine_test
