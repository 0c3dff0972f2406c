// Paths in any script through the engine: the conversion commands read and
// write pictures in a folder and under file names from the shared table, the
// codecs open what they wrote by the same paths, and the mapped temporary
// files live in temporary folders of such names. The engine takes UTF-8 on
// Windows and bytes natively; the checks look at the disk through
// std::filesystem with the compiler's UTF-16 of the names on Windows (so they
// hold under any ANSI code page) and with their UTF-8 bytes natively.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <system_error>

#include "engine/engine_commands.h"
#include "engine/jpeg_codec.h"
#include "engine/mapped_file.h"
#include "engine/png_codec.h"
#include "engine/raster_image.h"
#include "engine/tiff_codec.h"
#include "picture_file_checks.h"
#include "private_temp_folder.h"
#include "unicode_file_names.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace engine {
namespace {

namespace fs = std::filesystem;
using command_test::Bytes;
using command_test::CompareWith;
using command_test::DataPath;
using command_test::FileBytes;
using command_test::ReadReference;
using engine_test::kNativeSeparator;
using engine_test::ScratchFolder;

using NativeText = fs::path::string_type;

// A name as the file system keeps it, with an ASCII suffix.
NativeText NativeName(const UnicodeFileName& name, const std::string& suffix = "") {
#ifdef _WIN32
  return std::wstring(name.wide) + std::wstring(suffix.begin(), suffix.end());
#else
  return std::string(name.utf8) + suffix;
#endif
}

// The names in a folder, as the file system keeps them.
std::set<NativeText> EntriesOf(const fs::path& folder) {
  std::set<NativeText> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().native());
  }
  return names;
}

// A whole file, opened by its native name.
Bytes BytesAt(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The engine's form of an ASCII path.
std::string AsciiText(const fs::path& path) {
  return path.string();
}

const UnicodeFileName& MixedName() {
  return kUnicodeFileNames[std::size(kUnicodeFileNames) - 1];
}

struct Source {
  const char* file;  // in the test data, made by Debian's tools
  const char* extension;
  const char* reference;  // its pixels, decoded by an independent decoder
};
const Source kSources[] = {{"jpeg.jpg", "jpg", "jpeg.ppm"},
                           {"tiff.tif", "tif", "tiff.ppm"},
                           {"png_rgb.png", "png", "png_rgb.ppm"}};

int Convert(const std::string& target, const std::string& source, const std::string& destination) {
  if (target == "jpg") return ConvertToJpeg(source.c_str(), destination.c_str(), 0, 100, 1, 0);
  if (target == "tif") return ConvertToTiff(source.c_str(), destination.c_str(), 0);
  return ConvertToPng(source.c_str(), destination.c_str(), 24);
}

// Decodes a written file with the engine's codec for its format, opened by path.
int ReadBack(const std::string& target, const std::string& path, RasterImage& image) {
  if (target == "jpg") {
    JpegCodec codec;
    return codec.OpenRead(path.c_str(), image) && codec.Read();
  }
  if (target == "tif") {
    TiffCodec codec;
    return codec.OpenRead(path.c_str(), image) && codec.Read();
  }
  PngCodec codec;
  return codec.OpenRead(path.c_str(), image) && codec.Read();
}

// Every name of the table takes a turn as source and destination name, inside
// a folder whose own name mixes every script; each source format goes to
// every target format. The output must be the very file the same conversion
// writes under an ASCII name.
TEST(EngineCommandsUnicode, PicturesUnderNamesInAnyScriptConvertToEveryFormat) {
  ScratchFolder scratch;  // made before the temporary folder moves, so not in it
  engine_test::PrivateTempFolder temp;
  const fs::path ascii = scratch.Path() / "ascii";
  const fs::path folder = scratch.Path() / NativeName(MixedName());
  fs::create_directory(ascii);
  fs::create_directory(folder);
  const std::string folderText =
      AsciiText(scratch.Path()) + kNativeSeparator + MixedName().utf8 + kNativeSeparator;

  const char* const targets[] = {"jpg", "tif", "png"};
  std::map<std::string, Bytes> asciiOutputs;  // by source extension and target
  for (const Source& source : kSources) {
    for (const std::string target : targets) {
      const std::string destination =
          AsciiText(ascii / (std::string("out.") + source.extension + "." + target));
      ASSERT_EQ(Convert(target, DataPath(source.file), destination), ResultOk);
      asciiOutputs[std::string(source.extension) + target] = FileBytes(destination);
    }
  }

  std::set<NativeText> expected;
  std::size_t turn = 0;
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    const Source& source = kSources[turn++ % std::size(kSources)];
    SCOPED_TRACE(std::string(name.utf8) + " from " + source.file);
    const std::string sourceSuffix = std::string(".") + source.extension;
    fs::copy_file(DataPath(source.file), folder / NativeName(name, sourceSuffix));
    expected.insert(NativeName(name, sourceSuffix));
    const std::string sourceText = folderText + name.utf8 + sourceSuffix;

    for (const std::string target : targets) {
      SCOPED_TRACE(target);
      const std::string suffix = sourceSuffix + "." + target;
      const std::string destination = folderText + name.utf8 + suffix;
      ASSERT_EQ(Convert(target, sourceText, destination), ResultOk);
      const fs::path written = folder / NativeName(name, suffix);
      ASSERT_TRUE(fs::is_regular_file(written)) << "no file under the exact name";
      expected.insert(NativeName(name, suffix));
      EXPECT_TRUE(BytesAt(written) == asciiOutputs[std::string(source.extension) + target])
          << "the output differs from the same conversion under an ASCII name";

      RasterImage image;
      ASSERT_EQ(ReadBack(target, destination, image), 1) << "the codec cannot open it by name";
      if (target != "jpg") {
        EXPECT_EQ(CompareWith(image, ReadReference(DataPath(source.reference))).largest, 0);
      }
    }
  }
  // Nothing else: no file under a name lost to a code page, no writer's
  // temporary file.
  EXPECT_EQ(EntriesOf(folder), expected);
  for (const NativeText& left : EntriesOf(temp.Path())) {
    ADD_FAILURE() << "left in the temporary folder: " << fs::path(left).u8string();
  }
}

TEST(EngineCommandsUnicode, MissingSourceAndMissingFolderKeepTheirCodes) {
  ScratchFolder scratch;  // made before the temporary folder moves, so not in it
  engine_test::PrivateTempFolder temp;
  const std::string folderText = AsciiText(scratch.Path()) + kNativeSeparator;
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    EXPECT_EQ(Convert("png", folderText + name.utf8 + ".png", folderText + "out.png"),
              ResultFileNotFound);
    const std::string inMissingFolder =
        folderText + name.utf8 + kNativeSeparator + name.utf8 + ".png";
    EXPECT_EQ(Convert("png", DataPath("png_rgb.png"), inMissingFolder), ResultWriteFailed);
  }
  EXPECT_TRUE(EntriesOf(scratch.Path()).empty());
}

// --- Mapped temporary files ----------------------------------------------------

// Points the engine's temporary folder at a folder of any name, through the
// wide environment on Windows; the PrivateTempFolder restores it afterwards.
void UseTemporaryFolder(const fs::path& folder) {
#ifdef _WIN32
  SetEnvironmentVariableW(L"TMP", folder.c_str());
  SetEnvironmentVariableW(L"TEMP", folder.c_str());
#else
  setenv("TMPDIR", folder.c_str(), 1);
#endif
}

TEST(MappedBufferUnicode, TemporaryFolderOfAnyNameHoldsTheBackingFiles) {
  engine_test::PrivateTempFolder temp;
  for (const UnicodeFileName& name : kUnicodeFileNames) {
    SCOPED_TRACE(name.utf8);
    const fs::path folder = temp.Path() / NativeName(name);
    ASSERT_TRUE(fs::create_directory(folder));
    UseTemporaryFolder(folder);
    const std::string folderText = AsciiText(temp.Path()) + kNativeSeparator + name.utf8;
    EXPECT_EQ(TemporaryFolder(), folderText + kNativeSeparator);
    EXPECT_TRUE(IsFolder(folderText.c_str()));

    MappedBuffer first, second;
    ASSERT_EQ(first.Create(4096, "CSWCLASS"), 1);
    ASSERT_EQ(second.Create(4096, "CSWCLASS"), 1);
    EXPECT_EQ(first.Path(), folderText + kNativeSeparator + "CSWCLASS0.tmp");
    EXPECT_EQ(second.Path(), folderText + kNativeSeparator + "CSWCLASS1.tmp");
    EXPECT_EQ(MakeTempFileName("CSWCLASS"), folderText + kNativeSeparator + "CSWCLASS2.tmp");
    EXPECT_EQ(EntriesOf(folder), (std::set<NativeText>{fs::path("CSWCLASS0.tmp").native(),
                                                       fs::path("CSWCLASS1.tmp").native()}));
    first.Data()[4095] = 0x5A;
    EXPECT_EQ(first.Flush(), 1);
    EXPECT_EQ(first.Release(true), 1);
    EXPECT_EQ(second.Release(true), 1);
    EXPECT_TRUE(EntriesOf(folder).empty()) << "a backing file was left";

    // A backing file named by path, kept and then removed by name.
    const std::string named = folderText + kNativeSeparator + name.utf8 + ".tmp";
    MappedBuffer kept;
    ASSERT_EQ(kept.Create(100, "unused", named.c_str()), 1);
    kept.Data()[0] = 0x42;
    EXPECT_EQ(kept.Release(false), 1);
    EXPECT_TRUE(PathExists(named.c_str()));
    EXPECT_FALSE(IsFolder(named.c_str()));
    EXPECT_EQ(fs::file_size(folder / NativeName(name, ".tmp")), 100u);
    EXPECT_TRUE(RemoveFile(named.c_str()));
    EXPECT_FALSE(PathExists(named.c_str()));
    EXPECT_TRUE(EntriesOf(folder).empty());
    fs::remove(folder);
  }
}

}  // namespace
}  // namespace engine
