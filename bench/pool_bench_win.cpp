// Batch-conversion throughput: every picture of a folder is loaded into a
// Picture and saved into the sub-folder named after the target at quality
// 100, one task per picture on the completion-port worker pool, the way a
// batch run converts. Prints pictures per second for each target and worker
// count, with the CPU time used and the process memory after each run.
//
//   pool_bench <picture folder> [--workers 1,2,6] [--targets jpg,png,tif] [--repeat N]
//
// A run is timed from the first Post until the task that finishes the last
// picture signals an event, so thread start-up, listing and the pool's stop
// are left out. Every run happens in a fresh child process (this program
// started with --run), so its memory figures are its own and what one run
// leaves behind cannot weigh on the next. Output folders are removed before
// and after every run; the sources are read once beforehand so that every run
// finds them in the file cache.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/win_handles_win.h"
#include "picture/encoder_parameters_win.h"
#include "picture/imaging_service_win.h"
#include "picture/picture_win.h"
#include "pool/worker_pool_win.h"
#include "pool/working_set_win.h"

namespace {

constexpr int32_t kSaveQuality = 100;  // what a batch run saves with
constexpr char kRunOption[] = "--run";
constexpr char kResultTag[] = "RESULT";

struct Target {
  std::string extension;  // also the output sub-folder's name
  PictureFormat format = kFormatJpeg;
};

bool TargetFor(const std::string& extension, Target& target) {
  if (extension == "jpg") {
    target = {extension, kFormatJpeg};
  } else if (extension == "tif") {
    target = {extension, kFormatTiff};
  } else if (extension == "png") {
    target = {extension, kFormatPng};
  } else {
    return false;
  }
  return true;
}

// What the tasks of the run read; written only before the first Post.
struct BenchRun {
  std::string sourceFolder;  // with trailing backslash
  std::vector<std::string> names;
  Target target;
  std::string outputFolder;  // sourceFolder + extension, no trailing backslash
  std::atomic<int32_t> finishedCount{0};
  std::atomic<int32_t> failedCount{0};
  UniqueHandle allFinished;  // manual-reset event, set by the last task
  std::mutex threadIdsLock;
  std::set<DWORD> threadIds;  // workers that took at least one task
};

BenchRun currentRun;

// One task of a batch run: create the output folder, load, save at quality
// 100. A failure is counted, not retried, so that every run ends.
int32_t WINAPI ConvertBenchPicture(int32_t taskValue) {
  BenchRun& run = currentRun;
  {
    const std::string& name = run.names[static_cast<size_t>(taskValue - 1)];
    const std::string base = name.substr(0, name.rfind('.') + 1);  // keeps the dot
    const std::string source = run.sourceFolder + name;
    const std::string output = run.outputFolder + "\\" + base + run.target.extension;
    CreateDirectoryA(run.outputFolder.c_str(), nullptr);  // the first task makes it

    Picture picture;
    picture.LoadFromFile(source.c_str());
    if (!picture.SaveToFile(output.c_str(), run.target.format, kSaveQuality)) {
      run.failedCount.fetch_add(1);
    }
  }  // the picture is released before the task counts as finished
  {
    std::lock_guard<std::mutex> lock(run.threadIdsLock);
    run.threadIds.insert(GetCurrentThreadId());
  }
  if (run.finishedCount.fetch_add(1) + 1 == static_cast<int32_t>(run.names.size())) {
    SetEvent(run.allFinished.Get());
  }
  return 0;
}

bool HasPictureExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == "jpg" || extension == "png" || extension == "tif" || extension == "bmp";
}

// File names (no folders) of folder's pictures, one level deep, sorted so
// every run posts them in the same order.
std::vector<std::string> ListPictures(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  UniqueFindHandle search(FindFirstFileA((folder + "*.*").c_str(), &entry));
  if (!search) return names;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (HasPictureExtension(entry.cFileName)) names.emplace_back(entry.cFileName);
  } while (FindNextFileA(search.Get(), &entry));
  std::sort(names.begin(), names.end());
  return names;
}

// Reads every source once; returns the bytes read.
uint64_t ReadSourcesOnce(const std::string& folder, const std::vector<std::string>& names) {
  std::vector<char> chunk(1 << 16);
  uint64_t total = 0;
  for (const std::string& name : names) {
    UniqueHandle file(CreateFileA((folder + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) continue;
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) &&
           got > 0) {
      total += got;
    }
  }
  return total;
}

// Deletes the files of an output folder and the folder itself.
void RemoveOutputFolder(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  {
    UniqueFindHandle search(FindFirstFileA((folder + "\\*.*").c_str(), &entry));
    if (search) {
      do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        DeleteFileA((folder + "\\" + entry.cFileName).c_str());
      } while (FindNextFileA(search.Get(), &entry));
    }
  }
  RemoveDirectoryA(folder.c_str());
}

struct MemoryFigures {
  double workingSetMb = 0;
  double peakWorkingSetMb = 0;
  double privateMb = 0;
};

MemoryFigures ProcessMemory() {
  PROCESS_MEMORY_COUNTERS_EX counters;
  std::memset(&counters, 0, sizeof counters);
  counters.cb = sizeof counters;
  MemoryFigures figures;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    constexpr double kMb = 1024.0 * 1024.0;
    figures.workingSetMb = counters.WorkingSetSize / kMb;
    figures.peakWorkingSetMb = counters.PeakWorkingSetSize / kMb;
    // Wine leaves PrivateUsage at 0; on Windows it equals PagefileUsage (the
    // commit charge), which Wine does fill in.
    const SIZE_T privateBytes =
        counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    figures.privateMb = privateBytes / kMb;
  }
  return figures;
}

// User plus kernel time of all this process's threads so far.
double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const auto ticks = [](const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100-ns units
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct RunResult {
  double seconds = 0;
  double cpuSeconds = 0;
  int failed = 0;
  unsigned threadsUsed = 0;
  MemoryFigures beforeRun;
  MemoryFigures afterRun;
  MemoryFigures afterTrim;
};

// One timed run in this process. False when the pool did not start.
bool RunOnce(const std::string& folder, const std::vector<std::string>& names, const Target& target,
             int32_t workers, RunResult& result) {
  BenchRun& run = currentRun;
  run.sourceFolder = folder;
  run.names = names;
  run.target = target;
  run.outputFolder = folder + target.extension;
  run.allFinished.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  RemoveOutputFolder(run.outputFolder);

  WorkerPool pool;
  if (!run.allFinished || !pool.Start(workers, &ConvertBenchPicture)) return false;
  result.beforeRun = ProcessMemory();
  LARGE_INTEGER started;
  LARGE_INTEGER finished;
  const double cpuAtStart = ProcessCpuSeconds();
  QueryPerformanceCounter(&started);
  for (size_t n = 1; n <= names.size(); ++n) pool.Post(static_cast<int32_t>(n));
  WaitForSingleObject(run.allFinished.Get(), INFINITE);
  QueryPerformanceCounter(&finished);
  const double cpuAtEnd = ProcessCpuSeconds();
  pool.Stop(0);

  result.seconds = Seconds(started, finished);
  result.cpuSeconds = cpuAtEnd - cpuAtStart;
  result.failed = run.failedCount.load();
  result.threadsUsed = static_cast<unsigned>(run.threadIds.size());
  result.afterRun = ProcessMemory();
  TrimWorkingSet();  // as a batch run does once it has finished
  result.afterTrim = ProcessMemory();
  RemoveOutputFolder(run.outputFolder);
  return true;
}

// The child's answer to its parent, one line.
void PrintResultLine(const RunResult& r) {
  std::printf("%s %.6f %.6f %d %u %.3f %.3f %.3f %.3f %.3f\n", kResultTag, r.seconds, r.cpuSeconds,
              r.failed, r.threadsUsed, r.beforeRun.workingSetMb, r.afterRun.workingSetMb,
              r.afterRun.peakWorkingSetMb, r.afterRun.privateMb, r.afterTrim.workingSetMb);
}

bool ParseResultLine(const std::string& line, RunResult& r) {
  char tag[16] = {};
  return std::sscanf(line.c_str(), "%15s %lf %lf %d %u %lf %lf %lf %lf %lf", tag, &r.seconds,
                     &r.cpuSeconds, &r.failed, &r.threadsUsed, &r.beforeRun.workingSetMb,
                     &r.afterRun.workingSetMb, &r.afterRun.peakWorkingSetMb, &r.afterRun.privateMb,
                     &r.afterTrim.workingSetMb) == 10 &&
         std::strcmp(tag, kResultTag) == 0;
}

// Runs this program again with --run for one target and worker count and
// reads its result line. False when the child failed or gave no result.
bool RunInChildProcess(const std::string& folder, const Target& target, int32_t workers,
                       RunResult& result) {
  char exePath[MAX_PATH];
  if (GetModuleFileNameA(nullptr, exePath, MAX_PATH) == 0) return false;
  // Without its trailing backslash, which would escape the closing quote.
  std::string folderArgument = folder;
  while (!folderArgument.empty() && folderArgument.back() == '\\') folderArgument.pop_back();
  std::string commandLine = std::string("\"") + exePath + "\" \"" + folderArgument + "\" " +
                            kRunOption + " " + target.extension + " " + std::to_string(workers);

  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return false;
  UniqueHandle output(readEnd);
  UniqueHandle childOutput(writeEnd);
  SetHandleInformation(output.Get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = childOutput.Get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &child)) {
    return false;
  }
  UniqueHandle childProcess(child.hProcess);
  UniqueHandle childThread(child.hThread);
  childOutput.Reset();  // the pipe ends when the child's copy closes

  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(output.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
    text.append(chunk, got);
  }
  WaitForSingleObject(childProcess.Get(), INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(childProcess.Get(), &exitCode);

  const size_t tagAt = text.find(kResultTag);
  if (exitCode != 0 || tagAt == std::string::npos) {
    std::fprintf(stderr, "run %s with %d workers failed (exit code %lu): %s\n",
                 target.extension.c_str(), static_cast<int>(workers),
                 static_cast<unsigned long>(exitCode), text.c_str());
    return false;
  }
  return ParseResultLine(text.substr(tagAt), result);
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = text.find(',', start);
    const size_t end = comma == std::string::npos ? text.size() : comma;
    if (end > start) parts.push_back(text.substr(start, end - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

int Usage() {
  std::fprintf(stderr,
               "usage: pool_bench <picture folder> [--workers 1,2,6] [--targets jpg,png,tif] "
               "[--repeat N]\n");
  return 2;
}

// The child: one run, answered with one result line.
int RunChild(const std::string& folder, const std::vector<std::string>& names, const Target& target,
             int32_t workers) {
  StartImagingService();
  RunResult result;
  if (!RunOnce(folder, names, target, workers, result)) {
    std::fprintf(stderr, "the pool did not start\n");
    return 1;
  }
  PrintResultLine(result);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string folder = argv[1];
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  std::vector<int32_t> workerCounts = {1, 2, 6};
  std::vector<std::string> targetNames = {"jpg", "png", "tif"};
  int repeat = 1;
  bool isChild = false;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--workers") {
      workerCounts.clear();
      for (const std::string& part : SplitCommas(value)) {
        workerCounts.push_back(std::atoi(part.c_str()));
      }
    } else if (option == "--targets") {
      targetNames = SplitCommas(value);
    } else if (option == "--repeat") {
      repeat = std::max(1, std::atoi(value.c_str()));
    } else if (option == kRunOption && i + 2 < argc) {  // --run <target> <workers>
      isChild = true;
      targetNames = {value};
      workerCounts = {std::atoi(argv[i + 2])};
      ++i;
    } else {
      return Usage();
    }
  }
  std::vector<Target> targets;
  for (const std::string& name : targetNames) {
    if (!TargetFor(name, targets.emplace_back())) return Usage();
  }
  if (workerCounts.empty() || targets.empty()) return Usage();

  const std::vector<std::string> names = ListPictures(folder);
  if (names.empty()) {
    std::fprintf(stderr, "no pictures in %s\n", folder.c_str());
    return 1;
  }
  if (isChild) return RunChild(folder, names, targets[0], workerCounts[0]);

  for (const Target& target : targets) RemoveOutputFolder(folder + target.extension);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const uint64_t sourceBytes = ReadSourcesOnce(folder, names);
  std::printf("pictures: %u in %s (%.1f MB), processors: %lu, repeats: %d\n\n",
              static_cast<unsigned>(names.size()), folder.c_str(), sourceBytes / 1048576.0,
              static_cast<unsigned long>(system.dwNumberOfProcessors), repeat);
  std::printf("%-6s %7s %6s %8s %10s %7s %8s %8s %6s %7s %6s | %6s %6s %7s %7s %7s\n", "target",
              "workers", "repeat", "seconds", "pictures/s", "speedup", "cpu s", "cpu ms/p", "cores",
              "threads", "failed", "ws0 MB", "ws MB", "peak MB", "priv MB", "trim MB");
  std::fflush(stdout);

  bool allGood = true;
  for (const Target& target : targets) {
    double oneWorkerRate = 0;
    for (const int32_t workers : workerCounts) {
      for (int r = 1; r <= repeat; ++r) {
        RunResult result;
        if (!RunInChildProcess(folder, target, workers, result)) {
          allGood = false;
          continue;
        }
        const double rate = names.size() / result.seconds;
        // Against the best one-worker run of this target, when there was one.
        if (workers == 1) oneWorkerRate = std::max(oneWorkerRate, rate);
        char speedup[16] = "-";
        if (oneWorkerRate > 0) std::snprintf(speedup, sizeof speedup, "%.2f", rate / oneWorkerRate);
        std::printf(
            "%-6s %7d %6d %8.2f %10.2f %7s %8.1f %8.0f %6.2f %7u %6d | %6.1f %6.1f %7.1f %7.1f "
            "%7.1f\n",
            target.extension.c_str(), static_cast<int>(workers), r, result.seconds, rate, speedup,
            result.cpuSeconds, 1000 * result.cpuSeconds / names.size(),
            result.cpuSeconds / result.seconds, result.threadsUsed, result.failed,
            result.beforeRun.workingSetMb, result.afterRun.workingSetMb,
            result.afterRun.peakWorkingSetMb, result.afterRun.privateMb,
            result.afterTrim.workingSetMb);
        std::fflush(stdout);
        if (result.failed > 0) allGood = false;
      }
    }
  }
  std::printf(
      "\nEach run in a fresh process. seconds: first Post to the end of the last task; "
      "speedup: against 1 worker;\ncpu s: user + kernel time of the process meanwhile; "
      "cpu ms/p: that per picture; cores: cpu s per second;\nthreads: workers that took "
      "tasks; failed: pictures not saved.\nws0 MB: working set with the pool started, before "
      "the first Post; ws MB / peak MB / priv MB: working set,\npeak working set and private "
      "bytes right after the run; trim MB: working set after TrimWorkingSet.\n");
  return allGood ? 0 : 1;
}
