// Pictures on several threads at once, as the batch conversion runs them:
// one picture per task, six workers.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "picture/picture_win.h"
#include "picture_test_support.h"

using namespace picture_test;

namespace {

constexpr int kThreads = 6;
constexpr int kRounds = 5;

const char* const kSources[] = {"pattern.png", "pattern.bmp", "pattern.tif", "pattern.gif",
                                "pattern.jpg"};

struct RoundResult {
  std::string what;
  bool loaded = false;
  bool savedPng = false, savedTiff = false, savedJpeg = false;
  bool memoryPng = false;
  int pngDifference = 256, tiffDifference = 256, memoryDifference = 256;
  FileFormat jpegFormat = FileFormat::Unknown;
  uint32_t jpegWidth = 0;
};

void RunWorker(int thread, const TempFolder& folder, std::atomic<int>& ready,
               std::vector<RoundResult>& results) {
  // Start all workers together so their GDI+ calls overlap.
  ++ready;
  while (ready.load() < kThreads) std::this_thread::yield();

  for (int round = 0; round < kRounds; ++round) {
    RoundResult& result = results[round];
    const char* name = kSources[(thread + round) % 5];
    result.what =
        "thread " + std::to_string(thread) + " round " + std::to_string(round) + " " + name;
    Picture picture;
    if (round % 2 == 0) {
      result.loaded = picture.LoadFromFile(TestPicturePath(name).c_str());
    } else {
      const std::vector<uint8_t> bytes = ReadFileBytes(TestPicturePath(name));
      result.loaded = picture.LoadFromMemory(bytes.data(), bytes.size());
    }
    if (!result.loaded) continue;
    const Pixels source = PixelsOf(picture.Handle());
    const std::string stem = "t" + std::to_string(thread) + "r" + std::to_string(round);

    const std::string png = folder.File(stem + ".png");
    result.savedPng = picture.SaveToFile(png.c_str(), kFormatPng);
    result.pngDifference = MaxChannelDifference(DecodeFile(png), source);

    const std::string tiff = folder.File(stem + ".tif");
    result.savedTiff = picture.SaveToFile(tiff.c_str(), kFormatTiff);
    result.tiffDifference = MaxChannelDifference(DecodeFile(tiff), source);

    const std::string jpeg = folder.File(stem + ".jpg");
    result.savedJpeg = picture.SaveToFile(jpeg.c_str(), kFormatJpeg, 100);
    result.jpegFormat = SignatureOf(ReadFileBytes(jpeg));
    result.jpegWidth = DecodeFile(jpeg).width;

    const ByteBuffer encoded = picture.SaveToMemory(kFormatPng);
    result.memoryPng = !encoded.Empty();
    result.memoryDifference =
        MaxChannelDifference(DecodeBytes(encoded.Data(), encoded.Size()), source);
  }
}

TEST(PictureThreadsTest, SixThreadsLoadAndSaveTheirOwnPicturesAtOnce) {
  EnsureImagingService();
  TempFolder folder{"pc_picture"};
  std::atomic<int> ready{0};
  std::vector<std::vector<RoundResult>> results(kThreads, std::vector<RoundResult>(kRounds));
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back(RunWorker, t, std::cref(folder), std::ref(ready), std::ref(results[t]));
  }
  for (std::thread& worker : workers) worker.join();

  for (const auto& perThread : results) {
    for (const RoundResult& r : perThread) {
      ASSERT_TRUE(r.loaded) << r.what;
      EXPECT_TRUE(r.savedPng) << r.what;
      EXPECT_EQ(r.pngDifference, 0) << r.what;
      EXPECT_TRUE(r.savedTiff) << r.what;
      EXPECT_EQ(r.tiffDifference, 0) << r.what;
      EXPECT_TRUE(r.savedJpeg) << r.what;
      EXPECT_EQ(r.jpegFormat, FileFormat::Jpeg) << r.what;
      EXPECT_EQ(r.jpegWidth, 64u) << r.what;
      EXPECT_TRUE(r.memoryPng) << r.what;
      EXPECT_EQ(r.memoryDifference, 0) << r.what;
    }
  }
}

}  // namespace
