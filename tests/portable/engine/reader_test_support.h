// What the reader and codec tests share: one progress recorder, the loader's
// open-and-read sequence for any reader, and a fixture whose made-up and
// written files go beside the private temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "engine/mapped_file.h"
#include "engine/picture_reader.h"
#include "engine/raster_image.h"
#include "private_temp_folder.h"
#include "test_files.h"

namespace engine_test {

// One progress report, as the engine's callback receives it.
struct ProgressCall {
  std::int32_t direction;
  std::int32_t percent;
  std::int32_t row;
  std::int32_t reserved;
  bool operator==(const ProgressCall& other) const {
    return direction == other.direction && percent == other.percent && row == other.row &&
           reserved == other.reserved;
  }
};
inline std::ostream& operator<<(std::ostream& out, const ProgressCall& call) {
  return out << "(" << call.direction << ", " << call.percent << ", " << call.row << ", "
             << call.reserved << ")";
}

// Reports recorded by RecordProgress since the test began (ReaderTest clears
// them before each test).
inline std::vector<ProgressCall> progressCalls;
inline void RecordProgress(std::int32_t direction, std::int32_t percent, std::int32_t row,
                           std::int32_t reserved) {
  progressCalls.push_back({direction, percent, row, reserved});
}

// The calls a codec owes for `rows` rows: one per row, then the final one.
inline std::vector<ProgressCall> ExpectedProgress(std::int32_t direction, std::int32_t rows) {
  std::vector<ProgressCall> calls;
  for (std::int32_t row = 0; row < rows; ++row) {
    calls.push_back({direction, static_cast<std::int32_t>((row + 1) * 100 / rows), row, 0});
  }
  calls.push_back({direction, 100, rows - 1, 0});
  return calls;
}

// Backing files present in watchedFolder while rows were decoded or
// written, at the most: a progress callback that counts them.
inline std::string watchedFolder;
inline std::size_t mostBackingFiles = 0;
inline void CountBackingFiles(std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
  std::size_t count = 0;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(watchedFolder, error)) {
    if (entry.path().filename().string().rfind(engine::kTempFilePrefix, 0) == 0) ++count;
  }
  mostBackingFiles = std::max(mostBackingFiles, count);
}

// Opens and reads as the loader does; 1 only when both steps succeed.
inline int Load(engine::PictureReader&& reader, const std::string& path, engine::RasterImage& image,
                engine::ProgressCallback callback = nullptr) {
  if (reader.OpenRead(path.c_str(), image, callback) != 1) return 0;
  return reader.Read();
}

// The open step alone, closed again: whether the reader accepts the file.
inline int Opens(engine::PictureReader&& reader, const std::string& path) {
  engine::RasterImage image;
  const int opened = reader.OpenRead(path.c_str(), image);
  reader.Close();
  return opened;
}

// A reader test: a private temporary folder that must end empty, made-up
// and written files beside it, and no progress recorded yet.
class ReaderTest : public TempFolderTest {
 protected:
  void SetUp() override { progressCalls.clear(); }

  std::string FilePath(const std::string& name) const { return files.FilePath(name); }
  // Writes bytes into a file of the files folder and returns its path.
  std::string MakeFile(const std::string& name, const Bytes& bytes) const {
    const std::string path = FilePath(name);
    WriteBytes(path, bytes);
    return path;
  }
};

// A test of one reader kind, made with its default constructor.
template <typename Reader>
class ReaderTestOf : public ReaderTest {
 protected:
  static int Load(const std::string& path, engine::RasterImage& image) {
    return engine_test::Load(Reader(), path, image);
  }
  static int Opens(const std::string& path) { return engine_test::Opens(Reader(), path); }
  int OpensBytes(const Bytes& bytes) const { return Opens(MakeFile("made", bytes)); }
  int LoadBytes(const Bytes& bytes, engine::RasterImage& image) const {
    return Load(MakeFile("made", bytes), image);
  }
};

}  // namespace engine_test
