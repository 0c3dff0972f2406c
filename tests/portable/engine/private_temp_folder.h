// The folders of the engine tests: a scratch folder of a test's own, and the
// system temporary folder (TMPDIR natively; TMP and TEMP, which GetTempPathA
// reads, on Windows) pointed at a fresh private one for one test, so backing
// files can be counted and checked for leftovers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace engine_test {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char kNativeSeparator = '\\';
#else
constexpr char kNativeSeparator = '/';
#endif

class SavedVariable {
 public:
  explicit SavedVariable(const char* name) : name(name) {
#ifdef _WIN32
    char buffer[4096];
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    present = length > 0 && length < sizeof buffer;
    if (present) value.assign(buffer, length);
#else
    const char* current = std::getenv(name);
    present = current != nullptr;
    if (present) value = current;
#endif
  }
  ~SavedVariable() {
    if (present) {
      Set(value);
    } else {
#ifdef _WIN32
      SetEnvironmentVariableA(name, nullptr);
#else
      unsetenv(name);
#endif
    }
  }
  SavedVariable(const SavedVariable&) = delete;
  SavedVariable& operator=(const SavedVariable&) = delete;

  void Set(const std::string& newValue) const {
#ifdef _WIN32
    SetEnvironmentVariableA(name, newValue.c_str());
#else
    setenv(name, newValue.c_str(), 1);
#endif
  }

 private:
  const char* name;
  bool present = false;
  std::string value;
};

// A folder of a test's own, removed with everything in it afterwards: made
// with a fresh name in the system temporary folder, or at a path given
// (emptied first).
class ScratchFolder {
 public:
  ScratchFolder() {
    std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
      fs::path candidate = base / ("pc-engine-test-" + std::to_string(random() % 1000000000));
      std::error_code error;
      if (fs::create_directory(candidate, error)) folder = candidate;
    }
    if (folder.empty()) ADD_FAILURE() << "could not create a private temporary folder";
  }
  explicit ScratchFolder(const fs::path& path) : folder(path) {
    std::error_code error;
    fs::remove_all(folder, error);
    if (!fs::create_directory(folder, error)) ADD_FAILURE() << "cannot create " << folder;
  }
  ~ScratchFolder() {
    std::error_code error;
    if (!folder.empty()) fs::remove_all(folder, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const fs::path& Path() const { return folder; }
  std::string PathText() const { return folder.string(); }
  // The folder as the engine reports it, with a trailing separator.
  std::string WithSeparator() const { return folder.string() + kNativeSeparator; }
  fs::path File(const std::string& name) const { return folder / name; }
  std::string FilePath(const std::string& name) const { return File(name).string(); }

  // Names of everything in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Names and contents of everything in the folder (a sub-folder as "/").
  std::map<std::string, std::vector<std::uint8_t>> Snapshot() const {
    std::map<std::string, std::vector<std::uint8_t>> entries;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      std::vector<std::uint8_t> content{'/'};
      if (entry.is_regular_file()) {
        std::ifstream in(entry.path(), std::ios::binary);
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }
      entries[entry.path().filename().string()] = content;
    }
    return entries;
  }

 private:
  fs::path folder;
};

// A scratch folder that the engine sees as the system temporary folder while
// the object lives.
class PrivateTempFolder : public ScratchFolder {
 public:
  PrivateTempFolder() { PointAt(PathText()); }

  // Makes the engine see `path` as the system temporary folder.
  void PointAt(const std::string& path) const {
#ifdef _WIN32
    tmp.Set(path);
    temp.Set(path);
#else
    tmpdir.Set(path);
#endif
  }

 private:
#ifdef _WIN32
  SavedVariable tmp{"TMP"};
  SavedVariable temp{"TEMP"};
#else
  SavedVariable tmpdir{"TMPDIR"};
#endif
};

// A test whose temporary folder is private and must be empty again at the
// end: every backing file made during the test has to be deleted by then.
class TempFolderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(temp.Entries().empty()) << "left in the temporary folder: " << Join(temp.Entries());
  }

  static std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += name + " ";
    return text;
  }

  bool Exists(const std::string& name) const { return fs::exists(temp.File(name)); }

  PrivateTempFolder temp;
  // The files a test makes or writes, beside the temporary folder (which
  // must stay empty).
  ScratchFolder files{temp.PathText() + "-files"};
};

}  // namespace engine_test
