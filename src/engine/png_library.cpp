// libpng calls for PngCodec. Each entry point arms its own jump point: the
// error routine below never returns but jumps back into the entry point that
// is running, which marks the state failed and answers 0. Only trivially
// destructible locals live in these frames.
#include "engine/png_library.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace engine {
namespace png_library {

struct PngReadState {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool failed = false;
};

struct PngWriteState {
  std::FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_color palette[kMaxPaletteEntries] = {};
  bool failed = false;
};

namespace {

// The message is already formatted by the library; the program shows none.
void DropError(png_structp png, png_const_charp /*message*/) {
  png_longjmp(png, 1);
}

// Warnings (damaged ancillary chunks and the like) change nothing and are
// not shown either; without this routine the library prints them to stderr.
void DropWarning(png_structp /*png*/, png_const_charp /*message*/) {}

void ReadBytes(png_structp png, png_bytep data, std::size_t length) {
  auto* state = static_cast<PngReadState*>(png_get_io_ptr(png));
  if (length == 0) return;
  if (std::fread(data, 1, length, state->file) != length) {
    png_error(png, "reading png image error");
  }
}

void WriteBytes(png_structp png, png_bytep data, std::size_t length) {
  auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
  if (length == 0) return;
  if (std::fwrite(data, 1, length, state->file) != length) {
    png_error(png, "write png image error");
  }
}

void FlushFile(png_structp png) {
  auto* state = static_cast<PngWriteState*>(png_get_io_ptr(png));
  if (std::fflush(state->file) != 0) png_error(png, "fulsh file error");
}

}  // namespace

void ReadStateDeleter::operator()(PngReadState* state) const {
  if (state == nullptr) return;
  if (state->png != nullptr) {
    png_destroy_read_struct(&state->png, state->info != nullptr ? &state->info : nullptr, nullptr);
  }
  delete state;
}

void WriteStateDeleter::operator()(PngWriteState* state) const {
  if (state == nullptr) return;
  if (state->png != nullptr) {
    png_destroy_write_struct(&state->png, state->info != nullptr ? &state->info : nullptr);
  }
  delete state;
}

ReadStateHandle CreateReader(std::FILE* file) {
  if (file == nullptr) return nullptr;
  ReadStateHandle state(new (std::nothrow) PngReadState);
  if (!state) return nullptr;
  state->file = file;
  // Creation catches its own errors and answers null.
  state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, state.get(), DropError, DropWarning);
  if (state->png == nullptr) return nullptr;
  state->info = png_create_info_struct(state->png);
  if (state->info == nullptr) return nullptr;
  png_set_read_fn(state->png, state.get(), ReadBytes);
  return state;
}

int ReadHeader(PngReadState* state, PngHeader* header) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  // Only the image data and the chunks that shape it (palette,
  // transparency, gamma) are looked at. The rest (texts, profiles, unknown
  // chunks) are skipped unread: the library merely warns about an oversized
  // ancillary chunk and would otherwise allocate whatever length it claims.
  static const png_byte kDecodedChunks[] = {'g', 'A', 'M', 'A', '\0', 's', 'R', 'G', 'B', '\0'};
  png_set_keep_unknown_chunks(state->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_keep_unknown_chunks(state->png, PNG_HANDLE_CHUNK_AS_DEFAULT, kDecodedChunks,
                              static_cast<int>(sizeof kDecodedChunks / 5));
  png_read_info(state->png, state->info);

  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colourType = 0;
  int interlaceMethod = 0;
  int compressionMethod = 0;
  int filterMethod = 0;
  png_get_IHDR(state->png, state->info, &width, &height, &bitDepth, &colourType, &interlaceMethod,
               &compressionMethod, &filterMethod);
  header->width = width;
  header->height = height;
  header->bitDepth = bitDepth;
  header->colourType = colourType;
  header->interlaceMethod = interlaceMethod;
  header->compressionMethod = compressionMethod;
  header->filterMethod = filterMethod;

  header->paletteCount = 0;
  png_colorp palette = nullptr;
  int paletteCount = 0;
  if (png_get_PLTE(state->png, state->info, &palette, &paletteCount) != 0 && palette != nullptr) {
    if (paletteCount > kMaxPaletteEntries) paletteCount = kMaxPaletteEntries + 1;  // caller refuses
    const int copied = paletteCount < kMaxPaletteEntries ? paletteCount : kMaxPaletteEntries;
    for (int i = 0; i < copied; ++i) {
      header->palette[i].red = palette[i].red;
      header->palette[i].green = palette[i].green;
      header->palette[i].blue = palette[i].blue;
    }
    header->paletteCount = paletteCount;
  }

  header->hasTransparency = png_get_valid(state->png, state->info, PNG_INFO_tRNS) != 0;
  header->hasSrgb = png_get_valid(state->png, state->info, PNG_INFO_sRGB) != 0;
  png_fixed_point gamma = 0;
  header->hasGamma = png_get_gAMA_fixed(state->png, state->info, &gamma) != 0 && gamma > 0;
  header->fileGammaFixed = header->hasGamma ? gamma : 0;
  return 1;
}

int StartRows(PngReadState* state, const ReadTransforms& transforms, int* passes,
              std::size_t* rowBytes) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  if (transforms.unpackSamples) png_set_packing(state->png);
  if (transforms.expandGreyToByte) png_set_expand_gray_1_2_4_to_8(state->png);
  if (transforms.expandToAlpha) png_set_expand(state->png);
  if (transforms.greyToRgb) png_set_gray_to_rgb(state->png);
  // Rounds to the nearest 8-bit value, (v x 255 + 32767) / 65535, where
  // png_set_strip_16 would truncate.
  if (transforms.scale16To8) png_set_scale_16(state->png);
  // The library leaves the pixels alone when the two gammas nearly cancel.
  if (transforms.correctGamma) {
    png_set_gamma_fixed(state->png, transforms.screenGammaFixed, transforms.fileGammaFixed);
  }
  if (transforms.alphaFirst) png_set_swap_alpha(state->png);
  *passes = png_set_interlace_handling(state->png);
  png_read_update_info(state->png, state->info);
  *rowBytes = png_get_rowbytes(state->png, state->info);
  return 1;
}

int ReadRow(PngReadState* state, std::uint8_t* row) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  png_read_row(state->png, row, nullptr);
  return 1;
}

int ReadEnd(PngReadState* state) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  png_read_end(state->png, state->info);
  return 1;
}

WriteStateHandle CreateWriter(std::FILE* file) {
  if (file == nullptr) return nullptr;
  WriteStateHandle state(new (std::nothrow) PngWriteState);
  if (!state) return nullptr;
  state->file = file;
  state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, state.get(), DropError, DropWarning);
  if (state->png == nullptr) return nullptr;
  state->info = png_create_info_struct(state->png);
  if (state->info == nullptr) return nullptr;
  png_set_write_fn(state->png, state.get(), WriteBytes, FlushFile);
  return state;
}

int WriteInfo(PngWriteState* state, const WriteHeader& header, int* passes) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  png_set_IHDR(state->png, state->info, header.width, header.height, 8, header.colourType,
               PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  if (header.colourType == kColourTypePalette) {
    if (header.palette == nullptr || header.paletteCount < 1 ||
        header.paletteCount > kMaxPaletteEntries) {
      state->failed = true;
      return 0;
    }
    for (int i = 0; i < header.paletteCount; ++i) {
      state->palette[i].red = header.palette[i].red;
      state->palette[i].green = header.palette[i].green;
      state->palette[i].blue = header.palette[i].blue;
    }
    png_set_PLTE(state->png, state->info, state->palette, header.paletteCount);
  }
  png_write_info(state->png, state->info);
  if (header.alphaFirst) png_set_swap_alpha(state->png);
  *passes = png_set_interlace_handling(state->png);
  return 1;
}

int WriteRow(PngWriteState* state, const std::uint8_t* row) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  png_write_row(state->png, row);
  return 1;
}

int WriteEnd(PngWriteState* state) {
  if (state == nullptr || state->failed) return 0;
  if (setjmp(png_jmpbuf(state->png))) {
    state->failed = true;
    return 0;
  }
  png_write_end(state->png, state->info);
  return 1;
}

}  // namespace png_library
}  // namespace engine
