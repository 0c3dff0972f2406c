// SoftimagePicReader: the engine's reader of Softimage PIC files: 8-bit
// red, green and blue channels and an optional alpha channel, each group of
// channels uncompressed or run-length encoded.
#pragma once

#include <cstdint>

#include "engine/buffered_input.h"
#include "engine/byte_cursor.h"
#include "engine/codec_conventions.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"

namespace engine {

class SoftimagePicReader final : public PictureReader {
 public:
  SoftimagePicReader() = default;
  ~SoftimagePicReader() override { Close(); }

  // The most channel packets a file can have: each names at least one of
  // the four channels and no channel twice.
  static constexpr int kMostPackets = 4;

  // One channel packet: how a group of channels is encoded in every row.
  struct Packet {
    std::uint8_t encoding = 0;  // 0 uncompressed, 1 pure run-length, 2 mixed
    std::uint8_t channels = 0;  // mask: 0x80 red, 0x40 green, 0x20 blue, 0x10 alpha
  };

  // The open step: accepts a file with the 104-byte header (magic 0x5380F634,
  // id "PICT") and a chain of at most four channel packets of 8 bits per
  // channel, known encodings and channel masks that cover red, green and blue
  // once each (alpha at most once), whose picture the engine can map and
  // whose size can hold every row even at the best compression. Keeps the
  // file open for Read. 1, or 0 with everything released.
  int OpenRead(const char* path, RasterImage& image, ProgressCallback callback = nullptr) override;

  // The read step: creates the image (24 bits, or 32 bits of alpha, red,
  // green, blue when the file has alpha), decodes every row, top row first,
  // reporting progress per row and once more at the end, then closes. A row
  // whose data ends early or whose run passes the end of the row fails. 1/0.
  int Read() override;

  // Closes the file and forgets everything.
  void Close() override;

  std::int32_t Width() const { return width; }
  std::int32_t Height() const { return height; }
  bool HasAlpha() const { return hasAlpha; }
  int PacketCount() const { return packetCount; }
  const Packet& PacketAt(int i) const { return packets[i]; }
  // Of the image Read makes: 24 or 32.
  std::int32_t BitsPerPixel() const { return hasAlpha ? 32 : 24; }

 private:
  bool ReadHeader();
  bool ReadPackets();
  bool DataFits() const;
  int DecodeRows();
  bool DecodePacketRow(const Packet& packet, std::uint8_t* row);

  ProgressCallback callback = nullptr;
  InputFile file;
  BufferedInput input;
  bool readyToRead = false;  // OpenRead succeeded and Read has not run
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool hasAlpha = false;
  Packet packets[kMostPackets];
  int packetCount = 0;
  RasterImage* targetImage = nullptr;
};

}  // namespace engine
