// libjpeg calls of the JPEG codec. Every function below that calls into the
// library arms the jump point of its state first; its own locals are plain
// values, so the jump skips no destructor.
#include "engine/jpeg_library.h"

#include <csetjmp>
#include <cstdio>
#include <new>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "base/file_open.h"

namespace engine {
namespace jpeg_library {

namespace {

// The library's standard error manager with the jump target of the
// operation in progress. The manager comes first: libjpeg hands its address
// back as info->err.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// Library messages are never shown: the program has nowhere to show them.
void DropMessage(j_common_ptr) {}

// Replaces the library's exit(): the message is formatted as the library
// expects and dropped, and control returns to the armed jump point.
[[noreturn]] void JumpToTrap(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1);
}

jpeg_error_mgr* PrepareErrorManager(ErrorTrap& trap) {
  jpeg_error_mgr* manager = jpeg_std_error(&trap.manager);
  manager->error_exit = JumpToTrap;
  manager->output_message = DropMessage;
  return manager;
}

// Called by the decompressor between units of input; input_scan_number
// counts the SOS markers read so far.
void RefuseTooManyScans(j_common_ptr info) {
  if (info->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
    // The message code is never shown; any fatal code ends the decoding.
    ERREXIT(info, JERR_BAD_PROGRESSION);
  }
}

}  // namespace

struct DecoderState {
  jpeg_decompress_struct info;
  ErrorTrap error;
  jpeg_progress_mgr progress;
  bool created;  // jpeg_create_decompress was called (destroying is then due)
  bool failed;
};

struct EncoderState {
  jpeg_compress_struct info;
  ErrorTrap error;
  bool created;
  bool failed;
};

void DecoderStateDeleter::operator()(DecoderState* state) const {
  if (state->created) {
    jpeg_destroy_decompress(&state->info);
  }
  delete state;
}

void EncoderStateDeleter::operator()(EncoderState* state) const {
  if (state->created) {
    jpeg_destroy_compress(&state->info);
  }
  delete state;
}

int StdioFile::Open(const char* path, const char* mode) {
  Close();
  if (path == nullptr || mode == nullptr) {
    return 0;
  }
  file = OpenFileStream(path, mode);
  return file != nullptr ? 1 : 0;
}

int StdioFile::Close() {
  if (file == nullptr) {
    return 1;
  }
  const int closed = std::fclose(file);
  file = nullptr;
  return closed == 0 ? 1 : 0;
}

namespace {

// Decoder steps. The struct was zero-filled when allocated, and `created` is
// set before creation starts: destroying a half-created decompressor is safe
// (the library only frees what its memory manager got).
int TrappedReadHeader(DecoderState* state, std::FILE* file, OutputShape* shape) {
  if (setjmp(state->error.jump) != 0) {
    state->failed = true;
    return 0;
  }
  state->info.err = PrepareErrorManager(state->error);
  state->created = true;
  jpeg_create_decompress(&state->info);
  state->info.mem->max_memory_to_use = kMaxDecoderMemoryBytes;
  state->progress.progress_monitor = RefuseTooManyScans;
  state->info.progress = &state->progress;
  jpeg_stdio_src(&state->info, file);
  if (jpeg_read_header(&state->info, TRUE) != JPEG_HEADER_OK) {
    state->failed = true;
    return 0;
  }
  jpeg_calc_output_dimensions(&state->info);
  shape->width = static_cast<std::int32_t>(state->info.output_width);
  shape->height = static_cast<std::int32_t>(state->info.output_height);
  shape->components = state->info.out_color_components;
  return 1;
}

int TrappedStartDecompress(DecoderState* state) {
  if (setjmp(state->error.jump) != 0) {
    state->failed = true;
    return 0;
  }
  // FALSE would mean a suspending source; the stdio source never suspends.
  if (!jpeg_start_decompress(&state->info)) {
    state->failed = true;
    return 0;
  }
  return 1;
}

int TrappedReadScanline(DecoderState* state, std::uint8_t* row) {
  if (setjmp(state->error.jump) != 0) {
    state->failed = true;
    return 0;
  }
  JSAMPROW rows[1] = {row};
  // The stdio source pads a truncated file (with a warning), so a row always
  // arrives; 0 rows would mean a suspending source or reading past the end.
  if (jpeg_read_scanlines(&state->info, rows, 1) != 1) {
    state->failed = true;
    return 0;
  }
  return 1;
}

// Encoder steps.
int TrappedStartCompress(EncoderState* state, std::FILE* file, const EncoderSettings* settings) {
  if (setjmp(state->error.jump) != 0) {
    state->failed = true;
    return 0;
  }
  state->info.err = PrepareErrorManager(state->error);
  state->created = true;
  jpeg_create_compress(&state->info);
  jpeg_stdio_dest(&state->info, file);
  // Negative sizes become huge and are refused by the library (at most 65500).
  state->info.image_width = static_cast<JDIMENSION>(settings->width);
  state->info.image_height = static_cast<JDIMENSION>(settings->height);
  state->info.input_components = settings->components;
  state->info.in_color_space = settings->components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&state->info);
  state->info.optimize_coding = settings->optimizeCoding ? TRUE : FALSE;
  state->info.smoothing_factor = settings->smoothing;
  jpeg_set_quality(&state->info, settings->quality, TRUE);
  jpeg_start_compress(&state->info, TRUE);
  return 1;
}

int TrappedWriteScanline(EncoderState* state, const std::uint8_t* row) {
  if (setjmp(state->error.jump) != 0) {
    state->failed = true;
    return 0;
  }
  // The library only reads the rows it is given.
  JSAMPROW rows[1] = {const_cast<JSAMPLE*>(row)};
  if (jpeg_write_scanlines(&state->info, rows, 1) != 1) {
    state->failed = true;
    return 0;
  }
  return 1;
}

int TrappedFinishCompress(EncoderState* state) {
  if (setjmp(state->error.jump) != 0) {
    state->failed = true;
    return 0;
  }
  // Also flushes the file and fails when a write error is pending.
  jpeg_finish_compress(&state->info);
  return 1;
}

}  // namespace

int Decoder::ReadHeader(std::FILE* file, OutputShape& shape) {
  state.reset(new (std::nothrow) DecoderState());
  if (state == nullptr || file == nullptr) {
    return 0;
  }
  return TrappedReadHeader(state.get(), file, &shape);
}

int Decoder::Start() {
  if (state == nullptr || state->failed) {
    return 0;
  }
  return TrappedStartDecompress(state.get());
}

std::int32_t Decoder::NextRow() const {
  return state != nullptr && state->created ? static_cast<std::int32_t>(state->info.output_scanline)
                                            : 0;
}

int Decoder::ReadRow(std::uint8_t* row) {
  if (state == nullptr || state->failed || row == nullptr) {
    return 0;
  }
  return TrappedReadScanline(state.get(), row);
}

int Encoder::Start(std::FILE* file, const EncoderSettings& settings) {
  state.reset(new (std::nothrow) EncoderState());
  if (state == nullptr || file == nullptr) {
    return 0;
  }
  return TrappedStartCompress(state.get(), file, &settings);
}

std::int32_t Encoder::NextRow() const {
  return state != nullptr && state->created ? static_cast<std::int32_t>(state->info.next_scanline)
                                            : 0;
}

int Encoder::WriteRow(const std::uint8_t* row) {
  if (state == nullptr || state->failed || row == nullptr) {
    return 0;
  }
  return TrappedWriteScanline(state.get(), row);
}

int Encoder::Finish() {
  if (state == nullptr || state->failed) {
    return 0;
  }
  return TrappedFinishCompress(state.get());
}

}  // namespace jpeg_library
}  // namespace engine
