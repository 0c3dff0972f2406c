// Replays inputs through a fuzz target without libFuzzer, so every corpus file
// and every crash reproducer also runs as an ordinary test (natively and under
// the sanitizers). Arguments are files or folders of files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Inputs above this are cut, as the fuzzer's own -max_len would.
constexpr std::size_t kMaxInputBytes = 4 << 20;

bool ReplayFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (bytes.size() > kMaxInputBytes) bytes.resize(kMaxInputBytes);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
        if (!entry.is_regular_file()) continue;
        ok = ReplayFile(entry.path()) && ok;
        ++replayed;
      }
    } else if (std::filesystem::exists(arg, ec)) {
      ok = ReplayFile(arg) && ok;
      ++replayed;
    }
  }
  std::printf("replayed %zu inputs\n", replayed);
  if (replayed == 0) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  return ok ? 0 : 1;
}
