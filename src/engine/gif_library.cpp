// giflib calls of the GIF reader (GIF87a and GIF89a). Only the first image
// record is decoded, line by line, so nothing the file declares about later
// frames is ever allocated (DGifSlurp would read them all).
#include "engine/gif_library.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstddef>

namespace engine {

int GifDecoder::ReadBytes(GifFileType* gif, std::uint8_t* buffer, int count) {
  auto* decoder = static_cast<GifDecoder*>(gif->UserData);
  if (count <= 0) return 0;
  const std::int64_t left = decoder->source->Size() - decoder->readOffset;
  const auto taken =
      static_cast<int>(std::min<std::int64_t>(count, std::max<std::int64_t>(left, 0)));
  if (taken == 0 ||
      !decoder->source->ReadAt(decoder->readOffset, buffer, static_cast<std::size_t>(taken))) {
    return 0;
  }
  decoder->readOffset += taken;
  return taken;
}

int GifDecoder::Open(InputFile& file) {
  Close();
  source = &file;
  readOffset = 0;
  int error = 0;
  handle = DGifOpen(this, ReadBytes, &error);
  if (handle == nullptr) {
    source = nullptr;
    return 0;
  }
  return 1;
}

void GifDecoder::Close() {
  if (handle != nullptr) {
    int error = 0;
    DGifCloseFile(handle, &error);
    handle = nullptr;
  }
  source = nullptr;
  readOffset = 0;
}

int GifDecoder::ScreenWidth() const {
  return handle != nullptr ? handle->SWidth : 0;
}

int GifDecoder::ScreenHeight() const {
  return handle != nullptr ? handle->SHeight : 0;
}

int GifDecoder::ReadFirstFrame(GifFrame& frame) {
  if (handle == nullptr) return 0;
  frame = GifFrame();
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(handle, &record) != GIF_OK) return 0;
    if (record == IMAGE_DESC_RECORD_TYPE) break;
    if (record != EXTENSION_RECORD_TYPE) return 0;  // the trailer, or no record at all
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(handle, &code, &block) != GIF_OK) return 0;
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
      GraphicsControlBlock control;
      // The first byte of a block counts the bytes after it.
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
        frame.transparentIndex = control.TransparentColor;
      }
    }
    // Every sub-block is read; the file's end stops an endless chain.
    while (block != nullptr) {
      if (DGifGetExtensionNext(handle, &block) != GIF_OK) return 0;
    }
  }
  if (DGifGetImageDesc(handle) != GIF_OK) return 0;
  const GifImageDesc& image = handle->Image;
  frame.left = image.Left;
  frame.top = image.Top;
  frame.width = image.Width;
  frame.height = image.Height;
  frame.interlaced = image.Interlace;
  const ColorMapObject* table = image.ColorMap != nullptr ? image.ColorMap : handle->SColorMap;
  if (table != nullptr && table->Colors != nullptr) {
    frame.colourCount = std::clamp(table->ColorCount, 0, kGifMaxColours);
    for (int i = 0; i < frame.colourCount; ++i) {
      frame.colours[i] = {table->Colors[i].Red, table->Colors[i].Green, table->Colors[i].Blue};
    }
  }
  return 1;
}

int GifDecoder::ReadLine(std::uint8_t* line, int width) {
  if (handle == nullptr || width < 1) return 0;
  return DGifGetLine(handle, line, width) == GIF_OK ? 1 : 0;
}

}  // namespace engine
