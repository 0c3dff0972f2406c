#pragma once

// Files and folders for the Windows tests: a temporary folder that cleans up
// after itself, small text files, and the conversions between the system
// code page and UTF-16 that the checks use instead of the code under test.

#include <windows.h>

#include <string>
#include <vector>

// A fresh empty folder under the temporary folder, named
// <prefix>_<process id>_<counter>, removed with everything in it by its owner.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "pc_test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }  // ANSI, no trailing backslash
  const std::string& Name() const { return name_; }  // the folder's own name
  // ANSI path of name inside the folder; File("") ends with a backslash.
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  // The same for a UTF-16 name, for names outside the system code page.
  std::wstring WideFile(const std::wstring& name) const;

 private:
  std::string path_;
  std::string name_;
};

// Lines of a text file (CR LF or LF), empty when it is missing.
std::vector<std::string> ReadLines(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
// Creates an empty file; false when it could not.
bool CreateEmptyFile(const std::wstring& path);

// Windows form of a path CMake handed over: Wine maps the Unix root to Z:.
std::string WindowsPathOf(std::string path);

// The system code page's form of a UTF-16 text, and back.
std::string AnsiOf(const std::wstring& text);
std::wstring WideOfAnsi(const std::string& text);
