// Output files that appear only when complete.
#pragma once

#include <string>
#include <string_view>

namespace engine {

// The temporary name of attempt n for a destination: "<destination>.<n>.part".
// Its extension is "part", so no listing of pictures ever takes it.
std::string OutputTempName(std::string_view destination, int n);

// Whether a file name (without folder) has the shape of a temporary output
// name: "<name>.<digits>.part". A writer that was killed leaves such a file
// behind; the next run into that folder removes it.
bool IsOutputTempName(std::string_view name);

// A writer fills the file under a temporary name beside its destination and
// moves it into place only when the picture is complete, so a failed write
// never leaves a half-written file and never damages an earlier file of the
// destination's name. The temporary name is claimed exclusively, so writers
// on several threads or processes never share one.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Discard(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates an empty temporary file in the destination's folder. 1, or 0 when
  // the folder does not exist or refuses new files.
  int Begin(const char* destination);

  // The temporary file's path, for the library that writes it ("" before Begin).
  const std::string& TempPath() const { return tempPath; }

  // Moves the finished temporary file onto the destination, replacing an
  // existing file. 1, or 0 (the temporary file is removed and the destination
  // left as it was). The writer must have closed the file first.
  int Commit();

  // Removes the temporary file, if any.
  void Discard();

 private:
  std::string destination;
  std::string tempPath;
};

// Creates a new empty file; false when the name exists or cannot be created.
bool CreateNewFile(const char* path);
// Renames from onto to, replacing to when it exists. True on success.
bool ReplaceFileWith(const char* from, const char* to);

}  // namespace engine
