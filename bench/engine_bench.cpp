// Engine benchmark: converts one large photograph from JPEG to JPEG, TIFF and
// PNG, a HEIC picture to JPEG and a WebP picture to PNG the way the program's
// single-picture conversion does, and does the same work with the bare
// libraries (libjpeg, libtiff, libpng, libheif, libwebp), so that the
// engine's own cost shows as a ratio. Prints figures; asserts nothing.
//
//   engine_bench [--repeat N] [--temp FOLDER] [--only jpeg,tiff,png,heic,webp]
//                [--heic PICTURE.heic] [--webp PICTURE.webp]
//                PHOTO.jpg OUTPUT_FOLDER
//
// The cases jpeg, tiff and png convert PHOTO.jpg; heic and webp the pictures
// given with --heic and --webp (skipped when not given, unless --only names
// them). Every run happens in a fresh child process (fork + exec natively,
// the same executable through CreateProcess on Windows), so each peak memory
// figure belongs to that one conversion alone. The child is this program
// started as
//
//   engine_bench --run WAY-CASE SOURCE DESTINATION
//
// and prints one result line that the parent collects.
//
// Times: the wall time of the whole conversion, and the processor time (user
// and system) of the converting process, less that of the thread that
// samples memory. libheif decodes HEVC on a worker thread of libde265 and
// libwebp filters on one of its own, so the converting thread's time alone
// would miss work. On a shared machine wall time mostly measures waiting for
// a core; processor time, page faults and system calls included, is the
// figure to compare then.
//
// Memory figures:
//  - working set: the resident memory of the process, everything included.
//    Natively the kernel's high-water mark (ru_maxrss); on Windows
//    PeakWorkingSetSize (under Wine: VmHWM of the process). The engine keeps
//    its pixels in a mapped temporary file, and those pages count here once
//    they are touched, just like the bare libraries' heap buffer.
//  - private: memory that belongs to the process alone and is not backed by a
//    file (natively resident anonymous pages; on Windows PagefileUsage, the
//    commit charge, which Wine fills with the resident anonymous memory).
//    Neither system keeps a high-water mark that is usable everywhere
//    (Wine's PeakPagefileUsage is the current value), so a thread of the
//    child samples it every few milliseconds and keeps the largest value (on
//    Windows combined with PeakPagefileUsage). The engine's mapped pixels are
//    file-backed and never count as private.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <zlib.h>

#include "engine/heif_reader.h"
#include "engine/jpeg_codec.h"
#include "engine/picture_loader.h"
#include "engine/png_codec.h"
#include "engine/raster_image.h"
#include "engine/result_codes.h"
#include "engine/tiff_codec.h"
#include "engine/webp_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

// Options the controller passes to the engine's three commands for a
// single-picture conversion: colour JPEG at quality 100 with optimized
// Huffman tables and no smoothing; 24-bit RGB TIFF; 24-bit PNG.
constexpr int kJpegQuality = 100;
constexpr int kJpegColour = 1;
constexpr int kJpegOptimizeCoding = 1;
constexpr int kJpegSmoothing = 0;
constexpr std::int32_t kTiffBits = 24;
constexpr std::int32_t kPngBits = 24;

constexpr int kDefaultRepeat = 3;
constexpr auto kMemorySampleInterval = std::chrono::milliseconds(2);
// Rows handed to libjpeg per call on the bare road; the library takes what
// it can use of them.
constexpr int kBareRowsPerCall = 16;

enum class Source { Jpeg, Heic, Webp };
enum class Target { Jpeg, Tiff, Png };
enum class Way { Bare, Engine };

// One conversion the benchmark times: a source format to a target format.
struct BenchCase {
  const char* name;   // for --only and the child's --run
  const char* label;  // the table's first column
  Source source;
  Target target;
};

const BenchCase kCases[] = {
    {"jpeg", "jpg>jpg", Source::Jpeg, Target::Jpeg},
    {"tiff", "jpg>tif", Source::Jpeg, Target::Tiff},
    {"png", "jpg>png", Source::Jpeg, Target::Png},
    {"heic", "heic>jpg", Source::Heic, Target::Jpeg},
    {"webp", "webp>png", Source::Webp, Target::Png},
};

const char* TargetExtension(Target target) {
  switch (target) {
    case Target::Jpeg:
      return ".jpg";
    case Target::Tiff:
      return ".tif";
    case Target::Png:
      return ".png";
  }
  return "";
}

const char* WayName(Way way) {
  return way == Way::Bare ? "bare" : "engine";
}

std::string RunName(Way way, const BenchCase& benchCase) {
  return std::string(WayName(way)) + "-" + benchCase.name;
}

bool ParseRunName(const std::string& name, Way& way, const BenchCase*& benchCase) {
  for (Way w : {Way::Bare, Way::Engine}) {
    for (const BenchCase& c : kCases) {
      if (name == RunName(w, c)) {
        way = w;
        benchCase = &c;
        return true;
      }
    }
  }
  return false;
}

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

double Mebibytes(std::int64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// ---------------------------------------------------------------------------
// Memory of the running process.

struct MemoryNow {
  std::int64_t workingSet = 0;
  std::int64_t peakWorkingSet = 0;
  std::int64_t privateBytes = 0;
  std::int64_t peakPrivateBytes = 0;  // what the system keeps, if anything
};

#ifdef _WIN32
MemoryNow ReadOwnMemory() {
  MemoryNow now;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    now.workingSet = static_cast<std::int64_t>(counters.WorkingSetSize);
    now.peakWorkingSet = static_cast<std::int64_t>(counters.PeakWorkingSetSize);
    // PagefileUsage is the commit charge (Windows reports PrivateUsage as the
    // same value; Wine leaves PrivateUsage at 0 and fills PagefileUsage with
    // the resident anonymous memory).
    now.privateBytes = static_cast<std::int64_t>(counters.PagefileUsage);
    now.peakPrivateBytes = static_cast<std::int64_t>(counters.PeakPagefileUsage);
  }
  return now;
}
#else
MemoryNow ReadOwnMemory() {
  MemoryNow now;
  // statm: size resident shared text lib data dt, in pages; "shared" holds
  // the file-backed and shared-memory pages, the rest of resident is private.
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm != nullptr) {
    long long size = 0;
    long long resident = 0;
    long long shared = 0;
    if (std::fscanf(statm, "%lld %lld %lld", &size, &resident, &shared) == 3) {
      const long long page = sysconf(_SC_PAGESIZE);
      now.workingSet = resident * page;
      now.privateBytes = (resident - shared) * page;
    }
    std::fclose(statm);
  }
  struct rusage usage {};
  if (getrusage(RUSAGE_SELF, &usage) == 0) {
    now.peakWorkingSet = static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
  }
  return now;
}
#endif

// Processor time, in ms (under Wine in 10-ms ticks).
struct CpuTime {
  double userMs = 0;
  double systemMs = 0;
  double TotalMs() const { return userMs + systemMs; }
  CpuTime operator-(const CpuTime& earlier) const {
    return {userMs - earlier.userMs, systemMs - earlier.systemMs};
  }
};

#ifdef _WIN32
double FiletimeMs(const FILETIME& time) {
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<double>(ticks) / 10000.0;  // 100-ns ticks
}

CpuTime ThreadCpuTime() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return {};
  return {FiletimeMs(user), FiletimeMs(kernel)};
}

CpuTime ProcessCpuTime() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return {};
  return {FiletimeMs(user), FiletimeMs(kernel)};
}
#else
CpuTime UsageCpuTime(int who) {
  struct rusage usage {};
  if (getrusage(who, &usage) != 0) return {};
  const auto ms = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_usec) / 1000.0;
  };
  return {ms(usage.ru_utime), ms(usage.ru_stime)};
}

CpuTime ThreadCpuTime() {
  return UsageCpuTime(RUSAGE_THREAD);
}

CpuTime ProcessCpuTime() {
  return UsageCpuTime(RUSAGE_SELF);
}
#endif

// Samples the private memory on a thread of its own while a run works, and
// keeps its own processor time so that the run's figure can leave it out.
class PrivateMemorySampler {
 public:
  // Returns once the thread has taken its first sample, so that the
  // processor time of its start is already in OwnCpuTime when a run begins.
  PrivateMemorySampler() : thread([this] { Sample(); }) {
    while (!sampled.load()) std::this_thread::yield();
  }
  ~PrivateMemorySampler() { Stop(); }
  PrivateMemorySampler(const PrivateMemorySampler&) = delete;
  PrivateMemorySampler& operator=(const PrivateMemorySampler&) = delete;

  // Stops sampling and returns the largest value seen.
  std::int64_t Stop() {
    if (thread.joinable()) {
      stopping.store(true);
      thread.join();
      Record(ReadOwnMemory().privateBytes);
    }
    return largest.load();
  }

  // The sampling thread's processor time as of its latest sample.
  CpuTime OwnCpuTime() const { return {ownUserMs.load(), ownSystemMs.load()}; }

 private:
  void Sample() {
    while (!stopping.load()) {
      Record(ReadOwnMemory().privateBytes);
      const CpuTime own = ThreadCpuTime();
      ownUserMs.store(own.userMs);
      ownSystemMs.store(own.systemMs);
      sampled.store(true);
      std::this_thread::sleep_for(kMemorySampleInterval);
    }
  }
  void Record(std::int64_t value) {
    std::int64_t seen = largest.load();
    while (value > seen && !largest.compare_exchange_weak(seen, value)) {
    }
  }

  std::atomic<bool> stopping{false};
  std::atomic<std::int64_t> largest{0};
  std::atomic<double> ownUserMs{0};
  std::atomic<double> ownSystemMs{0};
  std::atomic<bool> sampled{false};
  std::thread thread;  // last: starts once the fields above exist
};

// The processor time of the conversion: every thread of the process (the
// libraries' workers included) but the memory sampler.
CpuTime ConversionCpuTime(const PrivateMemorySampler& sampler) {
  return ProcessCpuTime() - sampler.OwnCpuTime();
}

// Marks the end of the load step so the table can split load and write time.
struct StepClock {
  explicit StepClock(const PrivateMemorySampler& s) : sampler(s) {}
  const PrivateMemorySampler& sampler;
  Clock::time_point loaded;
  CpuTime loadedCpu;
  bool hasLoaded = false;
  void MarkLoaded() {
    loaded = Clock::now();
    loadedCpu = ConversionCpuTime(sampler);
    hasLoaded = true;
  }
};

// ---------------------------------------------------------------------------
// The engine road.

// One conversion as the program's single-picture conversion runs it: the
// engine's ConvertToJpeg, ConvertToTiff and ConvertToPng commands load the
// source with LoadPicture (which probes the readers in order, decodes into a
// RasterImage, flattens and turns it upright) and hand the picture to the
// writer of the target with the controller's fixed options. The same steps
// are spelled out here rather than calling the command, so that the table
// can split load and write time. Returns an engine result code.
int ConvertWithEngine(Target target, const char* source, const char* destination,
                      StepClock& clock) {
  engine::RasterImage image;
  const int loaded = engine::LoadPicture(source, image);
  if (loaded != engine::ResultOk) return loaded;
  clock.MarkLoaded();
  int written = 0;
  switch (target) {
    case Target::Jpeg: {
      engine::JpegCodec writer;
      written = writer.Write(destination, image, kJpegQuality, kJpegColour, kJpegOptimizeCoding,
                             kJpegSmoothing);
      break;
    }
    case Target::Tiff: {
      engine::TiffCodec writer;
      written = writer.OpenWrite(destination, &image, kTiffBits) && writer.Write();
      break;
    }
    case Target::Png: {
      engine::PngCodec writer;
      written = writer.OpenWrite(destination, image, kPngBits, 0) && writer.Write();
      break;
    }
  }
  image.Release();
  return written ? engine::ResultOk : engine::ResultWriteFailed;
}

// ---------------------------------------------------------------------------
// The bare-library road: the same work as a plain program would do it, with
// the picture in one heap buffer. Library errors are printed by the
// libraries' own handlers. Each setjmp sits in a small function whose locals
// are plain values; what the jump must not lose lives in a job struct.

struct FreeDeleter {
  void operator()(std::uint8_t* bytes) const { std::free(bytes); }
};

struct HeifContextDeleter {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HeifHandleDeleter {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct HeifImageDeleter {
  void operator()(heif_image* image) const { heif_image_release(image); }
};

// A decoded picture, RGB rows top first, in one heap buffer of its own or in
// the plane of the libheif image that decoded it (used where it lies).
struct BarePicture {
  std::unique_ptr<std::uint8_t, FreeDeleter> pixels;
  std::unique_ptr<heif_image, HeifImageDeleter> heifImage;
  const std::uint8_t* first = nullptr;
  std::size_t stride = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  void TakeBuffer(std::uint8_t* buffer, std::uint32_t w, std::uint32_t h) {
    pixels.reset(buffer);
    first = buffer;
    width = w;
    height = h;
    stride = static_cast<std::size_t>(w) * 3;
  }
  // The libraries take rows as non-const pointers but only read them.
  std::uint8_t* Row(std::uint32_t row) const {
    return const_cast<std::uint8_t*>(first + row * stride);
  }
};

struct BareJpegErrorTrap {
  jpeg_error_mgr manager;  // first: libjpeg hands its address back
  std::jmp_buf jump;
};

[[noreturn]] void PrintJpegErrorAndJump(j_common_ptr info) {
  (*info->err->output_message)(info);
  std::longjmp(reinterpret_cast<BareJpegErrorTrap*>(info->err)->jump, 1);
}

struct JpegDecodeJob {
  std::FILE* file;
  jpeg_decompress_struct info;
  BareJpegErrorTrap trap;
  bool created;
  std::uint8_t* pixels;  // malloc'd, handed to the caller
  std::uint32_t width;
  std::uint32_t height;
};

int TrappedDecodeJpeg(JpegDecodeJob* job) {
  if (setjmp(job->trap.jump) != 0) return 0;
  job->info.err = jpeg_std_error(&job->trap.manager);
  job->trap.manager.error_exit = PrintJpegErrorAndJump;
  job->created = true;
  jpeg_create_decompress(&job->info);
  jpeg_stdio_src(&job->info, job->file);
  jpeg_read_header(&job->info, TRUE);
  job->info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&job->info);
  if (job->info.output_components != 3) return 0;
  job->width = job->info.output_width;
  job->height = job->info.output_height;
  const std::size_t stride = static_cast<std::size_t>(job->width) * 3;
  job->pixels = static_cast<std::uint8_t*>(std::malloc(stride * job->height));
  if (job->pixels == nullptr) return 0;
  JSAMPROW rows[kBareRowsPerCall];
  while (job->info.output_scanline < job->info.output_height) {
    const JDIMENSION first = job->info.output_scanline;
    const JDIMENSION count =
        std::min<JDIMENSION>(kBareRowsPerCall, job->info.output_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = job->pixels + (first + i) * stride;
    jpeg_read_scanlines(&job->info, rows, count);
  }
  jpeg_finish_decompress(&job->info);
  return 1;
}

int BareDecodeJpeg(const char* path, BarePicture& picture) {
  JpegDecodeJob job{};
  job.file = std::fopen(path, "rb");
  if (job.file == nullptr) return 0;
  const int decoded = TrappedDecodeJpeg(&job);
  if (job.created) jpeg_destroy_decompress(&job.info);
  std::fclose(job.file);
  picture.TakeBuffer(job.pixels, job.width, job.height);
  return decoded;
}

// libheif as a plain program uses it: the file by name, the primary picture,
// decoded to interleaved 8-bit RGB with the default options (which apply the
// rotation, mirror and crop the file records, as the engine's reader does).
int BareDecodeHeic(const char* path, BarePicture& picture) {
  std::unique_ptr<heif_context, HeifContextDeleter> context(heif_context_alloc());
  if (!context || heif_context_read_from_file(context.get(), path, nullptr).code != heif_error_Ok) {
    return 0;
  }
  heif_image_handle* handle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok) return 0;
  const std::unique_ptr<heif_image_handle, HeifHandleDeleter> primary(handle);
  heif_image* image = nullptr;
  if (heif_decode_image(primary.get(), &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                        nullptr)
          .code != heif_error_Ok) {
    heif_image_release(image);
    return 0;
  }
  picture.heifImage.reset(image);
  int stride = 0;
  picture.first = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
  picture.stride = static_cast<std::size_t>(stride);
  picture.width = static_cast<std::uint32_t>(heif_image_get_width(image, heif_channel_interleaved));
  picture.height =
      static_cast<std::uint32_t>(heif_image_get_height(image, heif_channel_interleaved));
  return picture.first != nullptr ? 1 : 0;
}

// libwebp decodes from memory: the whole file is read, then decoded straight
// into one heap buffer as RGB, with the options the engine's reader uses (a
// worker thread for the filtering).
int BareDecodeWebp(const char* path, BarePicture& picture) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return 0;
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(file);
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config) ||
      WebPGetFeatures(bytes.data(), bytes.size(), &config.input) != VP8_STATUS_OK) {
    return 0;
  }
  const std::uint32_t width = static_cast<std::uint32_t>(config.input.width);
  const std::uint32_t height = static_cast<std::uint32_t>(config.input.height);
  const std::size_t size = static_cast<std::size_t>(width) * 3 * height;
  auto* pixels = static_cast<std::uint8_t*>(std::malloc(size));
  if (pixels == nullptr) return 0;
  picture.TakeBuffer(pixels, width, height);
  config.options.use_threads = 1;
  config.output.colorspace = MODE_RGB;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels;
  config.output.u.RGBA.stride = static_cast<int>(picture.stride);
  config.output.u.RGBA.size = size;
  const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
  WebPFreeDecBuffer(&config.output);
  return status == VP8_STATUS_OK ? 1 : 0;
}

struct JpegEncodeJob {
  std::FILE* file;
  jpeg_compress_struct info;
  BareJpegErrorTrap trap;
  bool created;
  const BarePicture* picture;
};

int TrappedEncodeJpeg(JpegEncodeJob* job) {
  if (setjmp(job->trap.jump) != 0) return 0;
  job->info.err = jpeg_std_error(&job->trap.manager);
  job->trap.manager.error_exit = PrintJpegErrorAndJump;
  job->created = true;
  jpeg_create_compress(&job->info);
  jpeg_stdio_dest(&job->info, job->file);
  job->info.image_width = job->picture->width;
  job->info.image_height = job->picture->height;
  job->info.input_components = 3;
  job->info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&job->info);
  job->info.optimize_coding = kJpegOptimizeCoding ? TRUE : FALSE;
  job->info.smoothing_factor = kJpegSmoothing;
  jpeg_set_quality(&job->info, kJpegQuality, TRUE);
  jpeg_start_compress(&job->info, TRUE);
  JSAMPROW rows[kBareRowsPerCall];
  while (job->info.next_scanline < job->info.image_height) {
    const JDIMENSION first = job->info.next_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kBareRowsPerCall, job->info.image_height - first);
    for (JDIMENSION i = 0; i < count; ++i) rows[i] = job->picture->Row(first + i);
    jpeg_write_scanlines(&job->info, rows, count);
  }
  jpeg_finish_compress(&job->info);
  return 1;
}

int BareEncodeJpeg(const char* path, const BarePicture& picture) {
  JpegEncodeJob job{};
  job.picture = &picture;
  job.file = std::fopen(path, "wb");
  if (job.file == nullptr) return 0;
  const int encoded = TrappedEncodeJpeg(&job);
  if (job.created) jpeg_destroy_compress(&job.info);
  const bool closed = std::fclose(job.file) == 0;
  return encoded && closed ? 1 : 0;
}

int BareEncodeTiff(const char* path, const BarePicture& picture) {
  TIFF* tiff = TIFFOpen(path, "wl");  // little-endian ("II")
  if (tiff == nullptr) return 0;
  int ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, picture.width) &&
           TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, picture.height) &&
           TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
           TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
           TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) &&
           TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
           TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
           TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
           TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  for (std::uint32_t row = 0; ok && row < picture.height; ++row) {
    // Uncompressed rows are copied out by the library, never changed.
    ok = TIFFWriteScanline(tiff, picture.Row(row), row, 0) >= 0;
  }
  ok = ok && TIFFFlush(tiff);
  TIFFClose(tiff);
  return ok ? 1 : 0;
}

struct PngEncodeJob {
  std::FILE* file;
  png_structp png;
  png_infop info;
  const BarePicture* picture;
  png_bytepp rows;
};

int TrappedEncodePng(PngEncodeJob* job) {
  if (setjmp(png_jmpbuf(job->png)) != 0) return 0;
  png_init_io(job->png, job->file);
  // The library's default compression level and row filters, as the engine's
  // writer leaves them.
  png_set_IHDR(job->png, job->info, job->picture->width, job->picture->height, 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_write_info(job->png, job->info);
  png_write_image(job->png, job->rows);  // runs the seven interlace passes
  png_write_end(job->png, job->info);
  return 1;
}

int BareEncodePng(const char* path, const BarePicture& picture) {
  std::unique_ptr<png_bytep[]> rows(new png_bytep[picture.height]);
  for (std::uint32_t row = 0; row < picture.height; ++row) rows[row] = picture.Row(row);
  PngEncodeJob job{};
  job.picture = &picture;
  job.rows = rows.get();
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (job.png == nullptr) return 0;
  job.info = png_create_info_struct(job.png);
  job.file = std::fopen(path, "wb");
  int encoded = 0;
  if (job.info != nullptr && job.file != nullptr) encoded = TrappedEncodePng(&job);
  png_destroy_write_struct(&job.png, job.info != nullptr ? &job.info : nullptr);
  const bool closed = job.file != nullptr && std::fclose(job.file) == 0;
  return encoded && closed ? 1 : 0;
}

int BareDecode(Source source, const char* path, BarePicture& picture) {
  switch (source) {
    case Source::Jpeg:
      return BareDecodeJpeg(path, picture);
    case Source::Heic:
      return BareDecodeHeic(path, picture);
    case Source::Webp:
      return BareDecodeWebp(path, picture);
  }
  return 0;
}

int ConvertWithBareLibraries(Source sourceFormat, Target target, const char* source,
                             const char* destination, StepClock& clock) {
  BarePicture picture;
  if (!BareDecode(sourceFormat, source, picture)) return 0;
  clock.MarkLoaded();
  int written = 0;
  switch (target) {
    case Target::Jpeg:
      written = BareEncodeJpeg(destination, picture);
      break;
    case Target::Tiff:
      written = BareEncodeTiff(destination, picture);
      break;
    case Target::Png:
      written = BareEncodePng(destination, picture);
      break;
  }
  return written;
}

// ---------------------------------------------------------------------------
// One run, in the child process.

struct RunResult {
  bool ok = false;
  double loadMs = -1;  // -1 when the road does not tell
  double totalMs = 0;
  double loadCpuMs = -1;
  double totalCpuMs = 0;
  double totalSystemMs = 0;  // the part of totalCpuMs spent in the system
  std::int64_t startWorkingSet = 0;
  std::int64_t peakWorkingSet = 0;
  std::int64_t startPrivate = 0;
  std::int64_t peakPrivate = 0;
};

constexpr char kResultTag[] = "RUN";

int RunOneCase(const std::string& runName, const char* source, const char* destination) {
  Way way;
  const BenchCase* benchCase = nullptr;
  if (!ParseRunName(runName, way, benchCase)) {
    std::fprintf(stderr, "unknown case %s\n", runName.c_str());
    return 2;
  }
  const Target target = benchCase->target;
  const MemoryNow start = ReadOwnMemory();
  PrivateMemorySampler sampler;
  StepClock clock(sampler);
  const CpuTime beganCpu = ConversionCpuTime(sampler);
  const Clock::time_point began = Clock::now();
  const bool ok =
      way == Way::Engine
          ? ConvertWithEngine(target, source, destination, clock) == engine::ResultOk
          : ConvertWithBareLibraries(benchCase->source, target, source, destination, clock) == 1;
  const Clock::time_point ended = Clock::now();
  const CpuTime endedCpu = ConversionCpuTime(sampler);
  const std::int64_t sampledPrivate = sampler.Stop();
  const MemoryNow end = ReadOwnMemory();

  RunResult result;
  result.ok = ok;
  result.totalMs = Milliseconds(ended - began);
  result.loadMs = clock.hasLoaded ? Milliseconds(clock.loaded - began) : -1;
  result.totalCpuMs = (endedCpu - beganCpu).TotalMs();
  // The system splits each thread's time into user and system parts by
  // estimate, separately for the process and for the sampler, so the part
  // left once the sampler's is taken away can come out a little off, even
  // below 0 (under Wine, in 10-ms ticks); the total is exact.
  result.totalSystemMs = std::max(0.0, (endedCpu - beganCpu).systemMs);
  result.loadCpuMs = clock.hasLoaded ? (clock.loadedCpu - beganCpu).TotalMs() : -1;
  result.startWorkingSet = start.workingSet;
  result.peakWorkingSet = std::max(end.peakWorkingSet, end.workingSet);
  result.startPrivate = start.privateBytes;
  result.peakPrivate = std::max({sampledPrivate, end.peakPrivateBytes, end.privateBytes});
  std::printf("%s %d %.3f %.3f %.3f %.3f %.3f %" PRId64 " %" PRId64 " %" PRId64 " %" PRId64 "\n",
              kResultTag, result.ok ? 1 : 0, result.loadMs, result.totalMs, result.loadCpuMs,
              result.totalCpuMs, result.totalSystemMs, result.startWorkingSet,
              result.peakWorkingSet, result.startPrivate, result.peakPrivate);
  std::fflush(stdout);
  return ok ? 0 : 1;
}

bool ParseRunResult(const std::string& output, RunResult& result) {
  const std::size_t at = output.find(kResultTag);
  if (at == std::string::npos) return false;
  int ok = 0;
  long long values[4] = {};
  const int parsed =
      std::sscanf(output.c_str() + at, "RUN %d %lf %lf %lf %lf %lf %lld %lld %lld %lld", &ok,
                  &result.loadMs, &result.totalMs, &result.loadCpuMs, &result.totalCpuMs,
                  &result.totalSystemMs, &values[0], &values[1], &values[2], &values[3]);
  if (parsed != 10) return false;
  result.ok = ok == 1;
  result.startWorkingSet = values[0];
  result.peakWorkingSet = values[1];
  result.startPrivate = values[2];
  result.peakPrivate = values[3];
  return true;
}

// ---------------------------------------------------------------------------
// Starting a run in a fresh process.

#ifdef _WIN32
std::string QuoteArgument(const std::string& argument) {
  // The paths used here hold no quotes; a trailing backslash would escape
  // the closing quote, so it is doubled.
  std::string quoted = "\"" + argument;
  if (!argument.empty() && argument.back() == '\\') quoted += '\\';
  return quoted + "\"";
}

struct OwnedHandle {
  HANDLE handle = nullptr;
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : handle(h) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  void Reset() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = nullptr;
  }
};

bool RunInChild(const std::string& runName, const std::string& source,
                const std::string& destination, RunResult& result) {
  char self[MAX_PATH];
  const DWORD selfLength = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (selfLength == 0 || selfLength >= MAX_PATH) return false;
  std::string commandLine = QuoteArgument(self) + " --run " + runName + " " +
                            QuoteArgument(source) + " " + QuoteArgument(destination);

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  OwnedHandle readEnd;
  OwnedHandle writeEnd;
  if (!CreatePipe(&readEnd.handle, &writeEnd.handle, &inheritable, 0)) return false;
  SetHandleInformation(readEnd.handle, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd.handle;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
  mutableLine.push_back('\0');
  if (!CreateProcessA(self, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  OwnedHandle processHandle(process.hProcess);
  OwnedHandle threadHandle(process.hThread);
  writeEnd.Reset();  // the child holds the only write end now: EOF when it ends

  std::string output;
  char chunk[512];
  DWORD got = 0;
  while (ReadFile(readEnd.handle, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    output.append(chunk, got);
  }
  WaitForSingleObject(processHandle.handle, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(processHandle.handle, &exitCode);
  return ParseRunResult(output, result) && exitCode == 0;
}
#else
bool RunInChild(const std::string& runName, const std::string& source,
                const std::string& destination, RunResult& result) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    return false;
  }
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    // A fresh image of this program, so the run starts from a clean heap.
    const char* arguments[] = {"engine_bench",      "--run", runName.c_str(), source.c_str(),
                               destination.c_str(), nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(arguments));
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string output;
  char chunk[512];
  ssize_t got;
  while ((got = read(pipeEnds[0], chunk, sizeof chunk)) > 0) {
    output.append(chunk, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int status = 0;
  struct rusage usage {};
  if (wait4(child, &status, 0, &usage) != child) return false;
  if (!ParseRunResult(output, result)) return false;
  // The kernel's high-water mark of the whole child, as its parent sees it.
  result.peakWorkingSet =
      std::max(result.peakWorkingSet, static_cast<std::int64_t>(usage.ru_maxrss) * 1024);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

void SetTemporaryFolder(const std::string& folder) {
#ifdef _WIN32
  // GetTempPathA looks at TMP first, then TEMP; children inherit both.
  SetEnvironmentVariableA("TMP", folder.c_str());
  SetEnvironmentVariableA("TEMP", folder.c_str());
#else
  setenv("TMPDIR", folder.c_str(), 1);
#endif
}

// ---------------------------------------------------------------------------
// The parent: runs every case, prints the table.

std::string PlatformDescription() {
  std::string text;
#ifdef _WIN32
  text = "win32 (i686)";
  using WineVersion = const char*(__cdecl*)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto wineVersion = ntdll ? reinterpret_cast<WineVersion>(
                                 reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))
                           : nullptr;
  if (wineVersion != nullptr) text += std::string(" under Wine ") + wineVersion();
#else
  text = sizeof(void*) == 8 ? "native (64-bit)" : "native (32-bit)";
#endif
  return text + ", gcc " + __VERSION__;
}

std::string LibraryDescription() {
  char jpegVersion[64];
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
  std::snprintf(jpegVersion, sizeof jpegVersion, "libjpeg-turbo %d.%d.%d",
                LIBJPEG_TURBO_VERSION_NUMBER / 1000000, LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000,
                LIBJPEG_TURBO_VERSION_NUMBER % 1000);
#else
  std::snprintf(jpegVersion, sizeof jpegVersion, "libjpeg %d", JPEG_LIB_VERSION);
#endif
  std::string tiffVersion = TIFFGetVersion();
  tiffVersion = tiffVersion.substr(0, tiffVersion.find('\n'));
  const int webpVersion = WebPGetDecoderVersion();
  char webpText[32];
  std::snprintf(webpText, sizeof webpText, "libwebp %d.%d.%d", webpVersion >> 16 & 0xff,
                webpVersion >> 8 & 0xff, webpVersion & 0xff);
  return std::string(jpegVersion) + ", libpng " + png_get_libpng_ver(nullptr) + ", zlib " +
         zlibVersion() + ", " + tiffVersion + ", libheif " + heif_get_version() + ", " + webpText;
}

std::int64_t FileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return -1;
  std::int64_t size = 0;
  char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) size += got;
  std::fclose(file);
  return size;
}

// 1 identical, 0 different, -1 unreadable.
int SameFileContent(const std::string& first, const std::string& second) {
  std::FILE* a = std::fopen(first.c_str(), "rb");
  std::FILE* b = std::fopen(second.c_str(), "rb");
  int same = (a != nullptr && b != nullptr) ? 1 : -1;
  static char chunkA[1 << 16];
  static char chunkB[1 << 16];
  while (same == 1) {
    const std::size_t gotA = std::fread(chunkA, 1, sizeof chunkA, a);
    const std::size_t gotB = std::fread(chunkB, 1, sizeof chunkB, b);
    if (gotA != gotB || std::memcmp(chunkA, chunkB, gotA) != 0) same = 0;
    if (gotA == 0) break;
  }
  if (a != nullptr) std::fclose(a);
  if (b != nullptr) std::fclose(b);
  return same;
}

struct CaseFigures {
  int runs = 0;
  int failures = 0;
  RunResult best;                   // the run with the shortest wall time
  RunResult bestCpu;                // the run with the least processor time
  std::int64_t peakWorkingSet = 0;  // highest over the runs
  std::int64_t peakPrivate = 0;
  std::int64_t startWorkingSet = 0;
  std::int64_t startPrivate = 0;
  std::int64_t outputBytes = -1;
};

void AddRun(CaseFigures& figures, const RunResult& run) {
  if (figures.runs == 0 || run.totalMs < figures.best.totalMs) figures.best = run;
  if (figures.runs == 0 || run.totalCpuMs < figures.bestCpu.totalCpuMs) figures.bestCpu = run;
  ++figures.runs;
  figures.peakWorkingSet = std::max(figures.peakWorkingSet, run.peakWorkingSet);
  figures.peakPrivate = std::max(figures.peakPrivate, run.peakPrivate);
  // The smallest start values, so "above start" never counts start-up noise.
  figures.startWorkingSet = figures.startWorkingSet == 0
                                ? run.startWorkingSet
                                : std::min(figures.startWorkingSet, run.startWorkingSet);
  figures.startPrivate = figures.startPrivate == 0
                             ? run.startPrivate
                             : std::min(figures.startPrivate, run.startPrivate);
}

// The picture's size from its header, through the engine reader of its
// format (whose open step decodes nothing).
template <typename Reader>
bool ReadPictureSizeWith(const char* path, std::uint32_t& width, std::uint32_t& height) {
  engine::RasterImage unused;
  Reader probe;
  if (!probe.OpenRead(path, unused)) return false;
  width = static_cast<std::uint32_t>(probe.Width());
  height = static_cast<std::uint32_t>(probe.Height());
  probe.Close();
  return true;
}

bool ReadPictureSize(Source source, const char* path, std::uint32_t& width, std::uint32_t& height) {
  switch (source) {
    case Source::Jpeg:
      return ReadPictureSizeWith<engine::JpegCodec>(path, width, height);
    case Source::Heic:
      return ReadPictureSizeWith<engine::HeifReader>(path, width, height);
    case Source::Webp:
      return ReadPictureSizeWith<engine::WebpReader>(path, width, height);
  }
  return false;
}

void PrintCaseRow(const BenchCase& benchCase, Way way, const CaseFigures& figures,
                  double megapixels) {
  char load[16] = "-";
  char write[16] = "-";
  const RunResult& cpu = figures.bestCpu;
  if (cpu.loadCpuMs >= 0) {
    std::snprintf(load, sizeof load, "%.0f", cpu.loadCpuMs);
    std::snprintf(write, sizeof write, "%.0f", cpu.totalCpuMs - cpu.loadCpuMs);
  }
  std::printf("%-8s %-6s %7.0f %6.2f %7.0f %6.2f %6.0f %6s %6s %8.1f %8.1f %8.1f %8.1f %10" PRId64
              "%s\n",
              benchCase.label, WayName(way), figures.best.totalMs,
              megapixels / (figures.best.totalMs / 1000.0), cpu.totalCpuMs,
              megapixels / (cpu.totalCpuMs / 1000.0), cpu.totalSystemMs, load, write,
              Mebibytes(figures.peakWorkingSet),
              Mebibytes(figures.peakWorkingSet - figures.startWorkingSet),
              Mebibytes(figures.peakPrivate), Mebibytes(figures.peakPrivate - figures.startPrivate),
              figures.outputBytes, figures.failures ? "  (FAILED RUNS)" : "");
}

// "1.23x", or "-" when either figure is unknown.
std::string Ratio(double engine, double bare) {
  if (engine < 0 || bare <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2fx", engine / bare);
  return text;
}

// The pictures the cases convert, one per source format (empty: not given).
struct SourcePictures {
  std::string jpeg;
  std::string heic;
  std::string webp;
  const std::string& Of(Source source) const {
    switch (source) {
      case Source::Heic:
        return heic;
      case Source::Webp:
        return webp;
      case Source::Jpeg:
        break;
    }
    return jpeg;
  }
};

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  std::size_t from = 0;
  while (from <= list.size()) {
    const std::size_t comma = std::min(list.find(',', from), list.size());
    if (comma > from) names.push_back(list.substr(from, comma - from));
    from = comma + 1;
  }
  return names;
}

// The cases to run, in table order: those --only names, or every case whose
// picture was given. Unknown names, and named cases without a picture, are
// reported and make the benchmark fail.
bool ChooseCases(const std::string& only, const SourcePictures& pictures,
                 std::vector<const BenchCase*>& chosen) {
  const std::vector<std::string> names = SplitNames(only);
  bool ok = true;
  for (const std::string& name : names) {
    const bool known = std::any_of(std::begin(kCases), std::end(kCases),
                                   [&name](const BenchCase& c) { return name == c.name; });
    if (!known) {
      std::fprintf(stderr, "unknown case %s (cases: jpeg, tiff, png, heic, webp)\n", name.c_str());
      ok = false;
    }
  }
  for (const BenchCase& c : kCases) {
    const bool named = std::find(names.begin(), names.end(), c.name) != names.end();
    if (!names.empty() && !named) continue;
    if (pictures.Of(c.source).empty()) {
      if (named) {
        std::fprintf(stderr, "case %s needs its picture (--%s)\n", c.name, c.name);
        ok = false;
      }
      continue;
    }
    chosen.push_back(&c);
  }
  return ok;
}

// Runs one case on both roads and prints its rows and ratios; false when a
// run failed.
bool RunCase(const BenchCase& benchCase, const std::string& source, const std::string& outputFolder,
             int repeat) {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!ReadPictureSize(benchCase.source, source.c_str(), width, height)) {
    std::printf("%-8s cannot read %s\n", benchCase.label, source.c_str());
    return false;
  }
  const double megapixels = static_cast<double>(width) * height / 1e6;
  // Warms the file cache, so the first run does not pay for the disk.
  FileSize(source);

  const char separator = outputFolder.find('\\') != std::string::npos ? '\\' : '/';
  CaseFigures figures[2];
  std::string destinations[2];
  for (Way way : {Way::Bare, Way::Engine}) {
    destinations[static_cast<int>(way)] =
        outputFolder + separator + RunName(way, benchCase) + TargetExtension(benchCase.target);
  }
  for (int run = 0; run < repeat; ++run) {
    // Alternate the order, so a slow spell of the machine hits both roads.
    const Way order[2] = {run % 2 == 0 ? Way::Bare : Way::Engine,
                          run % 2 == 0 ? Way::Engine : Way::Bare};
    for (Way way : order) {
      const std::string& destination = destinations[static_cast<int>(way)];
      std::remove(destination.c_str());
      RunResult result;
      CaseFigures& into = figures[static_cast<int>(way)];
      if (!RunInChild(RunName(way, benchCase), source, destination, result) || !result.ok) {
        ++into.failures;
        std::fprintf(stderr, "run %s failed\n", RunName(way, benchCase).c_str());
        continue;
      }
      AddRun(into, result);
    }
  }
  bool allOk = true;
  for (Way way : {Way::Bare, Way::Engine}) {
    CaseFigures& f = figures[static_cast<int>(way)];
    f.outputBytes = FileSize(destinations[static_cast<int>(way)]);
    if (f.runs == 0) {
      std::printf("%-8s %-6s all runs failed\n", benchCase.label, WayName(way));
      allOk = false;
      continue;
    }
    if (f.failures) allOk = false;
    PrintCaseRow(benchCase, way, f, megapixels);
  }
  const CaseFigures& bare = figures[0];
  const CaseFigures& eng = figures[1];
  if (bare.runs > 0 && eng.runs > 0) {
    const int same = SameFileContent(destinations[0], destinations[1]);
    const RunResult& engineCpu = eng.bestCpu;
    const RunResult& bareCpu = bare.bestCpu;
    const bool split = engineCpu.loadCpuMs >= 0 && bareCpu.loadCpuMs >= 0;
    const auto asDouble = [](std::int64_t value) { return static_cast<double>(value); };
    std::printf(
        "         %u x %u; engine/bare: wall %s  cpu %s (load %s, write %s)  peak WS %s "
        "(+WS %s)  private %s  output %s\n",
        width, height, Ratio(eng.best.totalMs, bare.best.totalMs).c_str(),
        Ratio(engineCpu.totalCpuMs, bareCpu.totalCpuMs).c_str(),
        Ratio(split ? engineCpu.loadCpuMs : -1, bareCpu.loadCpuMs).c_str(),
        Ratio(split ? engineCpu.totalCpuMs - engineCpu.loadCpuMs : -1,
              bareCpu.totalCpuMs - bareCpu.loadCpuMs)
            .c_str(),
        Ratio(asDouble(eng.peakWorkingSet), asDouble(bare.peakWorkingSet)).c_str(),
        Ratio(asDouble(eng.peakWorkingSet - eng.startWorkingSet),
              asDouble(bare.peakWorkingSet - bare.startWorkingSet))
            .c_str(),
        Ratio(asDouble(eng.peakPrivate), asDouble(bare.peakPrivate)).c_str(),
        same == 1   ? "byte-identical"
        : same == 0 ? "DIFFERS"
                    : "unreadable");
  }
  std::fflush(stdout);
  return allOk;
}

int RunBenchmark(const SourcePictures& pictures, const std::string& outputFolder, int repeat,
                 const std::string& only) {
  std::vector<const BenchCase*> chosen;
  if (!ChooseCases(only, pictures, chosen)) return 1;

  std::printf("engine benchmark: best of %d runs, one process per run\n", repeat);
  for (Source source : {Source::Jpeg, Source::Heic, Source::Webp}) {
    if (!pictures.Of(source).empty()) std::printf("picture: %s\n", pictures.Of(source).c_str());
  }
  std::printf("platform: %s\n", PlatformDescription().c_str());
  std::printf("libraries: %s\n", LibraryDescription().c_str());
  std::printf(
      "engine = LoadPicture into a RasterImage, then the writer with the controller's options\n"
      "bare   = libjpeg / libheif / libwebp decode into one buffer, then libjpeg / libtiff /\n"
      "         libpng straight from it\n"
      "wall = elapsed ms of the whole conversion (best run), with megapixels per second;\n"
      "cpu = processor ms (user + system) of the process's threads but the memory sampler\n"
      "      (best run), with MP/s; sys = its system part; load (decode) + write (encode,\n"
      "      release of the picture)\n"
      "memory in MiB, highest of the runs: WS = peak working set (resident, incl. the engine's\n"
      "      mapped pixels), private = sampled peak of memory not backed by a file;\n"
      "      '+' = above the process's own size at the start of the run\n\n");
  std::printf("%-8s %-6s %7s %6s %7s %6s %6s %6s %6s %8s %8s %8s %8s %10s\n", "case", "road",
              "wall", "MP/s", "cpu", "MP/s", "sys", "load", "write", "peak WS", "+WS", "private",
              "+private", "output B");
  bool allOk = true;
  for (const BenchCase* benchCase : chosen) {
    allOk = RunCase(*benchCase, pictures.Of(benchCase->source), outputFolder, repeat) && allOk;
  }
  return allOk ? 0 : 1;
}

void PrintUsage() {
  std::fprintf(stderr,
               "usage: engine_bench [--repeat N] [--temp FOLDER] [--only jpeg,tiff,png,heic,webp]\n"
               "                    [--heic PICTURE.heic] [--webp PICTURE.webp] PHOTO.jpg "
               "OUTPUT_FOLDER\n"
               "       engine_bench --run WAY-CASE SOURCE DESTINATION\n"
               "WAY: bare, engine; CASE: jpeg, tiff, png (from PHOTO.jpg), heic (to JPEG),\n"
               "webp (to PNG)\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.size() == 4 && arguments[0] == "--run") {
    return RunOneCase(arguments[1], arguments[2].c_str(), arguments[3].c_str());
  }
  int repeat = kDefaultRepeat;
  std::string only;  // names of the cases to run, comma-separated; all when empty
  SourcePictures pictures;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--repeat" && i + 1 < arguments.size()) {
      repeat = std::max(1, std::atoi(arguments[++i].c_str()));
    } else if (arguments[i] == "--temp" && i + 1 < arguments.size()) {
      SetTemporaryFolder(arguments[++i]);
    } else if (arguments[i] == "--only" && i + 1 < arguments.size()) {
      only = arguments[++i];
    } else if (arguments[i] == "--heic" && i + 1 < arguments.size()) {
      pictures.heic = arguments[++i];
    } else if (arguments[i] == "--webp" && i + 1 < arguments.size()) {
      pictures.webp = arguments[++i];
    } else {
      positional.push_back(arguments[i]);
    }
  }
  if (positional.size() != 2) {
    PrintUsage();
    return 2;
  }
  pictures.jpeg = positional[0];
  return RunBenchmark(pictures, positional[1], repeat, only);
}
