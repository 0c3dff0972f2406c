// The conversion commands, typed and in the uniform calling form, on pictures
// written by other programs (tests/testdata/make_commands.sh): argument
// bounds, result codes, what is left on disk after success and failure, and
// the written files taken apart and decoded again by the engine's readers
// (engine_convert_folder.sh decodes the same kind of output with Debian's
// tools).
#include "engine/engine_commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/jpeg_codec.h"
#include "engine/png_codec.h"
#include "engine/raster_image.h"
#include "engine/tiff_codec.h"
#include "picture_file_checks.h"
#include "private_temp_folder.h"

namespace engine {
namespace {

namespace fs = std::filesystem;
using command_test::Bytes;
using command_test::CompareWith;
using command_test::DataPath;
using command_test::Difference;
using command_test::FileBytes;
using command_test::ReadReference;

// The controller's fixed options.
int ControllerJpeg(const std::string& source, const std::string& destination) {
  return ConvertToJpeg(source.c_str(), destination.c_str(), 0, 100, 1, 0);
}
int ControllerTiff(const std::string& source, const std::string& destination) {
  return ConvertToTiff(source.c_str(), destination.c_str(), 0);
}
int ControllerPng(const std::string& source, const std::string& destination) {
  return ConvertToPng(source.c_str(), destination.c_str(), 24);
}

using Command = int (*)(const std::string&, const std::string&);
struct NamedCommand {
  const char* extension;
  Command run;
};
const NamedCommand kControllerCommands[] = {
    {"jpg", ControllerJpeg}, {"tif", ControllerTiff}, {"png", ControllerPng}};

// Full quality keeps every channel of the smooth test picture within this of
// the source, chroma subsampled 2 x 2 as libjpeg does by default (measured: 3
// and a mean of 0.6 for colour, 1 and 0.05 for grey).
constexpr int kJpegLargestError = 6;
constexpr double kJpegMeanError = 1.0;

class EngineCommandsTest : public engine_test::TempFolderTest {
 protected:
  // The folder must hold exactly what it held before: nothing written, no
  // temporary file of a writer left beside the destination.
  void ExpectUnchanged(const std::map<std::string, Bytes>& before) {
    EXPECT_EQ(files.Snapshot(), before);
  }
};

TEST_F(EngineCommandsTest, JpegQualityAndSmoothingBoundsAreInclusive) {
  const std::string source = DataPath("png_rgb.png");
  const auto before = files.Snapshot();
  const std::string refused = files.FilePath("refused.jpg");
  EXPECT_EQ(ConvertToJpeg(source.c_str(), refused.c_str(), 0, 0, 1, 0), ResultBadArguments);
  EXPECT_EQ(ConvertToJpeg(source.c_str(), refused.c_str(), 0, 101, 1, 0), ResultBadArguments);
  EXPECT_EQ(ConvertToJpeg(source.c_str(), refused.c_str(), 0, 100, 1, -1), ResultBadArguments);
  EXPECT_EQ(ConvertToJpeg(source.c_str(), refused.c_str(), 0, 100, 1, 101), ResultBadArguments);
  EXPECT_EQ(ConvertToJpeg(source.c_str(), refused.c_str(), 0, -2147483647 - 1, 1, 0),
            ResultBadArguments);
  ExpectUnchanged(before);

  struct Accepted {
    int quality;
    int smoothing;
  };
  for (const Accepted& options :
       {Accepted{1, 0}, Accepted{100, 0}, Accepted{1, 100}, Accepted{100, 100}}) {
    const std::string destination = files.FilePath("q" + std::to_string(options.quality) + "_s" +
                                                   std::to_string(options.smoothing) + ".jpg");
    EXPECT_EQ(ConvertToJpeg(source.c_str(), destination.c_str(), 0, options.quality, 1,
                            options.smoothing),
              ResultOk)
        << destination;
    RasterImage image;
    JpegCodec reader;
    ASSERT_EQ(reader.OpenRead(destination.c_str(), image), 1) << destination;
    EXPECT_EQ(reader.Read(), 1);
  }
}

TEST_F(EngineCommandsTest, PngAcceptsOnlyTwentyFourBits) {
  const std::string source = DataPath("png_rgb.png");
  const std::string destination = files.FilePath("out.png");
  const auto before = files.Snapshot();
  for (int bits : {0, 1, 8, 16, 23, 25, 32}) {
    EXPECT_EQ(ConvertToPng(source.c_str(), destination.c_str(), bits), ResultBadArguments) << bits;
  }
  ExpectUnchanged(before);
  EXPECT_EQ(ConvertToPng(source.c_str(), destination.c_str(), 24), ResultOk);
}

// Validation comes before anything is opened: a missing or unreadable source
// still gives -7, and an earlier destination file stays as it was.
TEST_F(EngineCommandsTest, RefusedArgumentsTouchNoFile) {
  const std::string destination = files.FilePath("earlier.out");
  command_test::WriteFileBytes(destination, "an earlier file");
  const auto before = files.Snapshot();
  for (const std::string& source :
       {DataPath("png_rgb.png"), DataPath("no_such_picture.png"), DataPath("text.txt")}) {
    SCOPED_TRACE(source);
    const char* s = source.c_str();
    const char* d = destination.c_str();
    EXPECT_EQ(ConvertToJpeg(s, d, 0, 0, 1, 0), ResultBadArguments);
    EXPECT_EQ(ConvertToJpeg(s, d, 0, 100, 1, 101), ResultBadArguments);
    EXPECT_EQ(ConvertToPng(s, d, 32), ResultBadArguments);
    EXPECT_EQ(ConvertToJpeg(nullptr, d, 0, 100, 1, 0), ResultBadArguments);
    EXPECT_EQ(ConvertToJpeg(s, nullptr, 0, 100, 1, 0), ResultBadArguments);
    EXPECT_EQ(ConvertToTiff(nullptr, d, 0), ResultBadArguments);
    EXPECT_EQ(ConvertToTiff(s, nullptr, 0), ResultBadArguments);
    EXPECT_EQ(ConvertToPng(nullptr, d, 24), ResultBadArguments);
    EXPECT_EQ(ConvertToPng(s, nullptr, 24), ResultBadArguments);
  }
  ExpectUnchanged(before);
}

TEST_F(EngineCommandsTest, MissingSourceIsNotFoundForEveryCommand) {
  const auto before = files.Snapshot();
  for (const NamedCommand& command : kControllerCommands) {
    EXPECT_EQ(command.run(DataPath("no_such_picture.png"),
                          files.FilePath(std::string("a.") + command.extension)),
              ResultFileNotFound)
        << command.extension;
    EXPECT_EQ(command.run("", files.FilePath(std::string("b.") + command.extension)),
              ResultFileNotFound)
        << command.extension;
  }
  ExpectUnchanged(before);
}

TEST_F(EngineCommandsTest, SourcesNoReaderTakesAreNotReadable) {
  const auto before = files.Snapshot();
  for (const NamedCommand& command : kControllerCommands) {
    for (const char* name : {"text.txt", "zstd.tif", "empty.bin"}) {
      EXPECT_EQ(
          command.run(DataPath(name), files.FilePath(std::string("out.") + command.extension)),
          ResultNotReadable)
          << name << " to " << command.extension;
    }
    EXPECT_EQ(command.run(std::string(PC_TESTDATA_DIR) + "/commands",
                          files.FilePath(std::string("folder.") + command.extension)),
              ResultNotReadable);
  }
  ExpectUnchanged(before);
}

TEST_F(EngineCommandsTest, DestinationInAMissingFolderIsWriteFailed) {
  const auto before = files.Snapshot();
  for (const NamedCommand& command : kControllerCommands) {
    const std::string destination = files.FilePath(std::string("missing/out.") + command.extension);
    EXPECT_EQ(command.run(DataPath("png_rgb.png"), destination), ResultWriteFailed)
        << command.extension;
  }
  EXPECT_FALSE(fs::exists(files.Path() / "missing"));
  ExpectUnchanged(before);
}

// A folder in the destination's place cannot be replaced by the finished
// file; it stays, and the writer's temporary file beside it is gone.
TEST_F(EngineCommandsTest, DestinationThatIsAFolderIsWriteFailedAndStays) {
  for (const NamedCommand& command : kControllerCommands) {
    const std::string destination = files.FilePath(std::string("taken.") + command.extension);
    fs::create_directory(destination);
    command_test::WriteFileBytes(destination + "/inside.txt", "kept");
    const auto before = files.Snapshot();
    EXPECT_EQ(command.run(DataPath("bmp24.bmp"), destination), ResultWriteFailed)
        << command.extension;
    ExpectUnchanged(before);
    EXPECT_EQ(FileBytes(destination + "/inside.txt"), Bytes({'k', 'e', 'p', 't'}));
  }
}

TEST_F(EngineCommandsTest, EarlierDestinationIsReplacedOnSuccessAndSurvivesFailure) {
  for (const NamedCommand& command : kControllerCommands) {
    SCOPED_TRACE(command.extension);
    const std::string destination = files.FilePath(std::string("picture.") + command.extension);
    command_test::WriteFileBytes(destination, "an earlier file");
    const auto before = files.Snapshot();
    EXPECT_EQ(command.run(DataPath("no_such_picture.png"), destination), ResultFileNotFound);
    EXPECT_EQ(command.run(DataPath("text.txt"), destination), ResultNotReadable);
    EXPECT_EQ(command.run(DataPath("zstd_pcd.tif"), destination), ResultNotReadable);
    ExpectUnchanged(before);

    EXPECT_EQ(command.run(DataPath("png_rgb.png"), destination), ResultOk);
    auto after = files.Snapshot();
    ASSERT_EQ(after.size(), before.size());  // replaced in place, nothing beside it
    EXPECT_NE(after[std::string("picture.") + command.extension],
              before.at(std::string("picture.") + command.extension));
  }
}

// PNG output: an interlaced 8-bit RGB file of IHDR, IDAT and IEND only,
// holding exactly the source's pixels whatever the source layout.
TEST_F(EngineCommandsTest, PngOutputIsInterlacedRgbWithTheSourcePixelsExactly) {
  struct Case {
    const char* source;
    const char* reference;
  };
  for (const Case& c : {Case{"png_rgb.png", "png_rgb.ppm"}, Case{"png_grey.png", "png_grey.ppm"},
                        Case{"png_palette.png", "png_palette.ppm"},
                        Case{"png_rgba.png", "png_rgba_white.ppm"}, Case{"png16.png", "png16.ppm"},
                        Case{"jpeg.jpg", "jpeg.ppm"}, Case{"grey.jpg", "grey_jpg.ppm"},
                        Case{"tiff.tif", "tiff.ppm"}, Case{"bmp24.bmp", "bmp24.ppm"},
                        Case{"pcx8.pcx", "pcx8.ppm"}, Case{"pcx24.pcx", "pcx24.ppm"}}) {
    SCOPED_TRACE(c.source);
    const std::string destination = files.FilePath(std::string(c.source) + ".png");
    ASSERT_EQ(ConvertToPng(DataPath(c.source).c_str(), destination.c_str(), 24), ResultOk);
    const command_test::PngLayout layout = command_test::ParsePng(FileBytes(destination));
    EXPECT_EQ(layout.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(layout.bitDepth, 8);
    EXPECT_EQ(layout.colourType, 2);
    EXPECT_EQ(layout.interlace, 1);

    RasterImage image;
    PngCodec reader;
    ASSERT_EQ(reader.OpenRead(destination.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_EQ(CompareWith(image, ReadReference(DataPath(c.reference))).largest, 0);
  }
}

// TIFF output: uncompressed little-endian; paletted exactly 1 gives 8-bit grey
// levels with a grey-ramp colour map, any other value (0, 2, -1) 24-bit RGB.
TEST_F(EngineCommandsTest, TiffOutputIsRgbUnlessPalettedIsExactlyOne) {
  const command_test::Reference reference = ReadReference(DataPath("bmp24.ppm"));
  for (int paletted : {0, 1, 2, -1}) {
    SCOPED_TRACE(paletted);
    const std::string destination = files.FilePath("p" + std::to_string(paletted) + ".tif");
    ASSERT_EQ(ConvertToTiff(DataPath("bmp24.bmp").c_str(), destination.c_str(), paletted),
              ResultOk);
    const command_test::TiffLayout layout = command_test::ParseTiff(FileBytes(destination));
    ASSERT_TRUE(layout.littleEndian);
    EXPECT_EQ(layout.One(command_test::kTagCompression), 1u);
    RasterImage image;
    TiffCodec reader;
    ASSERT_EQ(reader.OpenRead(destination.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 1);
    if (paletted == 1) {
      EXPECT_EQ(layout.One(command_test::kTagSamplesPerPixel), 1u);
      EXPECT_EQ(layout.One(command_test::kTagBitsPerSample), 8u);
      EXPECT_EQ(layout.One(command_test::kTagPhotometric), 3u);
      ASSERT_EQ(layout.fields.at(command_test::kTagColorMap).size(), 768u);
      EXPECT_EQ(layout.fields.at(command_test::kTagColorMap)[200], 200u * 256u);
      EXPECT_EQ(CompareWith(image, reference, /*asGrey=*/true).largest, 0);
    } else {
      EXPECT_EQ(layout.One(command_test::kTagSamplesPerPixel), 3u);
      EXPECT_EQ(layout.fields.at(command_test::kTagBitsPerSample),
                (std::vector<std::uint32_t>{8, 8, 8}));
      EXPECT_EQ(layout.One(command_test::kTagPhotometric), 2u);
      EXPECT_FALSE(layout.Has(command_test::kTagColorMap));
      EXPECT_EQ(CompareWith(image, reference).largest, 0);
    }
  }
}

TEST_F(EngineCommandsTest, TiffOutputHoldsTheSourcePixelsExactly) {
  struct Case {
    const char* source;
    const char* reference;
  };
  for (const Case& c : {Case{"png_palette.png", "png_palette.ppm"},
                        Case{"png_rgba.png", "png_rgba_white.ppm"}, Case{"png16.png", "png16.ppm"},
                        Case{"grey.jpg", "grey_jpg.ppm"}, Case{"jpeg.jpg", "jpeg.ppm"},
                        Case{"pcx24.pcx", "pcx24.ppm"}, Case{"tiff.tif", "tiff.ppm"}}) {
    SCOPED_TRACE(c.source);
    const std::string destination = files.FilePath(std::string(c.source) + ".tif");
    ASSERT_EQ(ControllerTiff(DataPath(c.source), destination), ResultOk);
    RasterImage image;
    TiffCodec reader;
    ASSERT_EQ(reader.OpenRead(destination.c_str(), image), 1);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(CompareWith(image, ReadReference(DataPath(c.reference))).largest, 0);
  }
}

// JPEG output at the controller's options stays close to the source; grayscale
// exactly 1 writes one grey channel, other values colour.
TEST_F(EngineCommandsTest, JpegOutputAtFullQualityStaysCloseToTheSource) {
  const command_test::Reference reference = ReadReference(DataPath("smooth.ppm"));
  struct Case {
    int grayscale;
    SourceVariant variant;
  };
  for (const Case& c : {Case{0, SourceVariant::JpegColour}, Case{1, SourceVariant::JpegGrey},
                        Case{2, SourceVariant::JpegColour}, Case{-1, SourceVariant::JpegColour}}) {
    SCOPED_TRACE(c.grayscale);
    const std::string destination = files.FilePath("g" + std::to_string(c.grayscale) + ".jpg");
    ASSERT_EQ(
        ConvertToJpeg(DataPath("smooth.png").c_str(), destination.c_str(), c.grayscale, 100, 1, 0),
        ResultOk);
    RasterImage image;
    JpegCodec reader;
    ASSERT_EQ(reader.OpenRead(destination.c_str(), image), 1);
    EXPECT_EQ(reader.Variant(), c.variant);
    ASSERT_EQ(reader.Read(), 1);
    const Difference difference =
        CompareWith(image, reference, c.variant == SourceVariant::JpegGrey);
    EXPECT_LE(difference.largest, kJpegLargestError);
    EXPECT_LE(difference.mean, kJpegMeanError);
  }
}

// --- The uniform calling form ------------------------------------------------

ArgRecord Text(const std::string& text) {
  return MakeText(text.c_str());
}

// Runs a command with argCount records of args; the result record starts out
// full of noise, so a code that is not stored shows.
int Call(CommandCall command, int argCount, const std::vector<ArgRecord>& args) {
  ArgRecord result = MakeRecord(0xDEADBEEF, 0xDEADBEEFDEADBEEFull);
  command(&result, argCount, args.data());
  EXPECT_EQ(result.tag, TagValue(TypeTag::Integer));
  EXPECT_EQ(HighWord(result), 0u) << "the code is a 32-bit integer";
  return AsInt32(result);
}

int Call(CommandCall command, const std::vector<ArgRecord>& args) {
  return Call(command, static_cast<int>(args.size()), args);
}

TEST_F(EngineCommandsTest, UniformCallsGiveTheCodesOfTheTypedCommands) {
  const std::string png = DataPath("png_rgb.png");
  const std::string missing = DataPath("no_such_picture.png");
  const std::string text = DataPath("text.txt");
  const std::string jpg = files.FilePath("u.jpg");
  const std::string tif = files.FilePath("u.tif");
  const std::string pngOut = files.FilePath("u.png");
  const std::string noFolder = files.FilePath("missing/u.png");

  auto jpeg = [&](const std::string& s, const std::string& d, int grey, int q, int opt, int sm) {
    return Call(CmdConvertToJpeg, {Text(s), Text(d), MakeBoolean(grey != 0), MakeInteger(q),
                                   MakeBoolean(opt != 0), MakeInteger(sm)});
  };
  EXPECT_EQ(jpeg(png, jpg, 0, 100, 1, 0), ResultOk);
  EXPECT_EQ(jpeg(png, jpg, 0, 0, 1, 0), ResultBadArguments);
  EXPECT_EQ(jpeg(png, jpg, 0, 101, 1, 0), ResultBadArguments);
  EXPECT_EQ(jpeg(png, jpg, 0, 100, 1, -1), ResultBadArguments);
  EXPECT_EQ(jpeg(png, jpg, 0, 100, 1, 101), ResultBadArguments);
  EXPECT_EQ(jpeg(png, jpg, 0, 1, 0, 100), ResultOk);
  EXPECT_EQ(jpeg(missing, jpg, 0, 100, 1, 0), ResultFileNotFound);
  EXPECT_EQ(jpeg(text, jpg, 0, 100, 1, 0), ResultNotReadable);
  EXPECT_EQ(jpeg(png, noFolder, 0, 100, 1, 0), ResultWriteFailed);

  EXPECT_EQ(Call(CmdConvertToTiff, {Text(png), Text(tif), MakeBoolean(false)}), ResultOk);
  EXPECT_EQ(Call(CmdConvertToTiff, {Text(missing), Text(tif), MakeBoolean(false)}),
            ResultFileNotFound);
  EXPECT_EQ(Call(CmdConvertToTiff, {Text(text), Text(tif), MakeBoolean(false)}), ResultNotReadable);
  EXPECT_EQ(Call(CmdConvertToTiff, {MakeText(nullptr), Text(tif), MakeBoolean(false)}),
            ResultBadArguments);
  EXPECT_EQ(Call(CmdConvertToTiff, {Text(png), Text(noFolder), MakeBoolean(false)}),
            ResultWriteFailed);

  EXPECT_EQ(Call(CmdConvertToPng, {Text(png), Text(pngOut), MakeInteger(24)}), ResultOk);
  EXPECT_EQ(Call(CmdConvertToPng, {Text(png), Text(pngOut), MakeInteger(8)}), ResultBadArguments);
  EXPECT_EQ(Call(CmdConvertToPng, {Text(png), Text(pngOut), MakeInteger(32)}), ResultBadArguments);
  EXPECT_EQ(Call(CmdConvertToPng, {Text(png), MakeText(nullptr), MakeInteger(24)}),
            ResultBadArguments);
  EXPECT_EQ(Call(CmdConvertToPng, {Text(missing), Text(pngOut), MakeInteger(24)}),
            ResultFileNotFound);
  EXPECT_EQ(Call(CmdConvertToPng, {Text(png), Text(noFolder), MakeInteger(24)}), ResultWriteFailed);
}

// Arguments are read by position from the low word of each value (for a path:
// the whole address); the tags and any extra records change nothing.
TEST_F(EngineCommandsTest, UniformCallsIgnoreTagsHighWordsAndExtraRecords) {
  const std::string png = DataPath("png_rgb.png");
  const std::string jpg = files.FilePath("tags.jpg");
  const std::string tif = files.FilePath("tags.tif");

  // Paths tagged as integers, numbers as texts or omitted records, and the
  // numbers' high words filled with noise.
  const std::uint32_t integerTag = TagValue(TypeTag::Integer);
  const std::uint32_t textTag = TagValue(TypeTag::Text);
  auto number = [&](std::uint32_t tag, std::int32_t value) {
    return MakeRecord(tag, 0xA5A5A5A500000000ull | static_cast<std::uint32_t>(value));
  };
  const ArgRecord source = MakePointer(integerTag, png.c_str());
  const ArgRecord destination = MakePointer(0, jpg.c_str());
  EXPECT_EQ(Call(CmdConvertToJpeg, {source, destination, number(textTag, 1), number(0, 100),
                                    number(integerTag, 1), number(textTag, 0)}),
            ResultOk);
  {
    JpegCodec reader;
    RasterImage image;
    ASSERT_EQ(reader.OpenRead(jpg.c_str(), image), 1);
    EXPECT_EQ(reader.Variant(), SourceVariant::JpegGrey) << "grayscale read from the low word";
  }
  EXPECT_EQ(Call(CmdConvertToJpeg,
                 {source, destination, number(0, 0), number(0, 101), number(0, 1), number(0, 0)}),
            ResultBadArguments);
  // The low word alone decides: 0x18_00000000 is 0.
  const std::string pngOut = files.FilePath("tags.png");
  EXPECT_EQ(Call(CmdConvertToPng, {source, MakePointer(textTag, pngOut.c_str()),
                                   MakeRecord(integerTag, 0x0000000100000000ull | 24)}),
            ResultOk);
  EXPECT_EQ(Call(CmdConvertToPng, {source, MakePointer(textTag, pngOut.c_str()),
                                   MakeRecord(integerTag, 0x0000001800000000ull)}),
            ResultBadArguments);

  // Extra records after the command's own are ignored, whatever they hold.
  EXPECT_EQ(Call(CmdConvertToTiff, {source, MakeText(tif.c_str()), MakeInteger(1), MakeInteger(-7),
                                    MakeText(nullptr), MakeDouble(2.5)}),
            ResultOk);
  EXPECT_EQ(command_test::ParseTiff(FileBytes(tif)).One(command_test::kTagPhotometric), 3u);

  // In the 32-bit program an address fills the low word; what the high word
  // holds is not part of it.
  if (sizeof(void*) == 4) {
    const ArgRecord noisySource =
        MakeRecord(textTag, 0xFFFF000000000000ull | reinterpret_cast<std::uintptr_t>(png.c_str()));
    EXPECT_EQ(Call(CmdConvertToTiff, {noisySource, MakeText(tif.c_str()), MakeInteger(0)}),
              ResultOk);
  }
}

// Records beyond the argument count are never read: they count as zero, which
// is a null path or an out-of-range number for every command except the TIFF
// option, whose zero means 24 bits.
TEST_F(EngineCommandsTest, UniformCallsReadMissingRecordsAsZero) {
  const std::string png = DataPath("png_rgb.png");
  const std::string tif = files.FilePath("short.tif");
  const std::vector<ArgRecord> tiffArgs = {MakeText(png.c_str()), MakeText(tif.c_str()),
                                           MakeInteger(1)};
  EXPECT_EQ(Call(CmdConvertToTiff, 2, tiffArgs), ResultOk);
  EXPECT_EQ(command_test::ParseTiff(FileBytes(tif)).One(command_test::kTagPhotometric), 2u);
  EXPECT_EQ(Call(CmdConvertToTiff, 1, tiffArgs), ResultBadArguments);

  const std::string pngOut = files.FilePath("short.png");
  const std::vector<ArgRecord> pngArgs = {MakeText(png.c_str()), MakeText(pngOut.c_str()),
                                          MakeInteger(24)};
  EXPECT_EQ(Call(CmdConvertToPng, 2, pngArgs), ResultBadArguments);
  EXPECT_EQ(Call(CmdConvertToPng, 0, pngArgs), ResultBadArguments);
  EXPECT_EQ(Call(CmdConvertToPng, 3, pngArgs), ResultOk);

  const std::string jpgOut = files.FilePath("short.jpg");
  const std::vector<ArgRecord> jpegArgs = {MakeText(png.c_str()), MakeText(jpgOut.c_str()),
                                           MakeBoolean(false),    MakeInteger(100),
                                           MakeBoolean(true),     MakeInteger(0)};
  EXPECT_EQ(Call(CmdConvertToJpeg, 3, jpegArgs), ResultBadArguments);  // quality 0
  EXPECT_EQ(Call(CmdConvertToJpeg, 5, jpegArgs), ResultOk);            // smoothing 0
  EXPECT_EQ(Call(CmdConvertToJpeg, -1, jpegArgs), ResultBadArguments);

  ArgRecord result = MakeOmitted();
  CmdConvertToPng(&result, 3, nullptr);
  EXPECT_EQ(AsInt32(result), ResultBadArguments);
  CmdConvertToPng(nullptr, 3, pngArgs.data());  // no result record: nothing is stored
}

}  // namespace
}  // namespace engine
